// Turns SIGINT and SIGTERM into a Qt signal delivered in the GUI thread: the handler only
// writes one byte to a socket pair that a QSocketNotifier watches.
#include "app/signal_exit.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signal_fds[2] = {-1, -1};

void on_signal(int)
{
    const char byte = 1;
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

}  // namespace

Signal_exit::Signal_exit(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_fds) != 0)
        return;
    notifier = new QSocketNotifier(signal_fds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &Signal_exit::on_notifier_activated);
    set_handler(SIGINT, on_signal);
    set_handler(SIGTERM, on_signal);
}

Signal_exit::~Signal_exit()
{
    if (!notifier)
        return;
    set_handler(SIGINT, SIG_DFL);
    set_handler(SIGTERM, SIG_DFL);
    delete notifier;
    ::close(signal_fds[0]);
    ::close(signal_fds[1]);
    signal_fds[0] = signal_fds[1] = -1;
}

void Signal_exit::on_notifier_activated()
{
    char byte;
    ssize_t got = ::read(signal_fds[1], &byte, 1);
    (void)got;
    emit requested();
}
