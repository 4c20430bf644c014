// SIGTERM and SIGINT through a socket pair: the handler only writes a byte, the event loop does the rest.
#include "stop_signals.h"

#include "output.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signal_pair[2] = {-1, -1};

void on_stop_signal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signal_pair[0], &byte, 1);
}

} // namespace

Stop_signals::Stop_signals(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signal_pair) != 0) {
        print_note(QStringLiteral("cannot catch SIGTERM and SIGINT; they end the simulator at once"));
        return;
    }
    notifier = new QSocketNotifier(signal_pair[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &Stop_signals::on_notifier_activated);
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void Stop_signals::on_notifier_activated()
{
    char byte = 0;
    [[maybe_unused]] const ssize_t got = ::read(signal_pair[1], &byte, 1);
    emit stop_requested();
}
