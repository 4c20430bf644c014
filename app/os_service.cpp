// The operating-system side of running unattended: signals through a socket pair watched by the
// event loop, and sd_notify messages to systemd.
#include "app/os_service.h"

#include "common/err.h"
#include "core/program_end.h"

#include <QByteArray>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <csignal>
#include <limits>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <time.h>
#include <unistd.h>

namespace {

int signal_fds[2] = {-1, -1};

void on_signal(int signal_number)
{
    const char byte = static_cast<char>(signal_number);
    ssize_t written = ::write(signal_fds[0], &byte, 1);
    (void)written;
}

void set_handler(int signal_number, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal_number, &action, nullptr);
}

const int handled_signals[] = {SIGINT, SIGTERM, SIGHUP};

// sd_notify opens a socket for every message. Under the log's lock it cannot take the place the
// log has just freed, out of descriptors, to write the entry that says so.
void notify(const QByteArray& state)
{
    QMutexLocker lock(&mutex_log);
    sd_notify(0, state.constData());
}

quint64 monotonic_usec()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<quint64>(now.tv_sec) * 1000000u + static_cast<quint64>(now.tv_nsec) / 1000u;
}

}  // namespace

void notify_ready()
{
    notify("READY=1");
}

void notify_reloading()
{
    notify("RELOADING=1\nMONOTONIC_USEC=" + QByteArray::number(monotonic_usec()));
}

void notify_stopping()
{
    notify("STOPPING=1");
}

void notify_status(const QString& status)
{
    notify("STATUS=" + status.toUtf8());
}

Os_service::Os_service(QObject* parent) : QObject(parent)
{
    start_watchdog();
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_fds) != 0)
        return;
    notifier = new QSocketNotifier(signal_fds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &Os_service::on_notifier_activated);
    for (int signal_number : handled_signals)
        set_handler(signal_number, on_signal);
}

Os_service::~Os_service()
{
    if (!notifier)
        return;
    for (int signal_number : handled_signals)
        set_handler(signal_number, SIG_DFL);
    delete notifier;
    ::close(signal_fds[0]);
    ::close(signal_fds[1]);
    signal_fds[0] = signal_fds[1] = -1;
}

void Os_service::on_notifier_activated()
{
    char byte;
    if (::read(signal_fds[1], &byte, 1) != 1)
        return;
    if (byte == SIGHUP) {
        emit reload_requested();
        return;
    }
    note_program_end(byte == SIGINT ? Program_end::sigint : Program_end::sigterm);
    emit exit_requested();
}

// The notice goes out at half the period systemd asked for, from the GUI thread's own event
// loop, so that a loop that hangs stops the notices and systemd restarts the program.
void Os_service::start_watchdog()
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    const quint64 half_ms = usec / 2000;
    watchdog_timer.setInterval(static_cast<int>(qBound<quint64>(1, half_ms, std::numeric_limits<int>::max())));
    connect(&watchdog_timer, &QTimer::timeout, this, &Os_service::on_watchdog_timer_timeout);
    watchdog_timer.start();
    notify("WATCHDOG=1");
}

void Os_service::on_watchdog_timer_timeout()
{
    notify("WATCHDOG=1");
}
