// Limits that keep one client socket from holding the program: keepalive with the log of the error
// that ends a connection, and the grace of a closing socket.
#include "tcp/client_socket_guard.h"

#include "core/cfg.h"
#include "common/err.h"
#include "tcp/port_log.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {

const int keepalive_probes = 3;
// How often a closing socket is checked for having handed over its data.
const int drain_check_ms = 50;

bool set_option(int fd, int level, int name, int value)
{
    return setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// Bytes written to the socket and not yet acknowledged by the peer: Qt's buffer and the system's.
qint64 unacknowledged(const QTcpSocket& s)
{
    int in_system = 0;
    if (ioctl(static_cast<int>(s.socketDescriptor()), SIOCOUTQ, &in_system) != 0)
        in_system = 0;
    return s.bytesToWrite() + in_system;
}

// Closes with a reset, so that the system drops the unsent data too instead of keeping the
// connection until the peer reads.
void cut_off(QTcpSocket& s)
{
    const linger reset{1, 0};
    setsockopt(static_cast<int>(s.socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    s.abort();
}

}  // namespace

// Half the time is silence, the other half probes; the same time bounds unacknowledged data,
// which keepalive does not probe.
Keepalive_times keepalive_times(int seconds)
{
    if (seconds <= 0)
        return {0, 0, 0, 0};
    const int idle = std::max(1, seconds / 2);
    const int interval = std::max(1, (seconds - idle) / keepalive_probes);
    return {idle, interval, keepalive_probes, 1000 * (idle + interval * keepalive_probes)};
}

bool set_keepalive(QTcpSocket& s)
{
    const Keepalive_times t = keepalive_times(tcp_keepalive);
    if (!t.idle_s)
        return true;
    const int fd = static_cast<int>(s.socketDescriptor());
    return set_option(fd, SOL_SOCKET, SO_KEEPALIVE, 1) && set_option(fd, IPPROTO_TCP, TCP_KEEPIDLE, t.idle_s) &&
           set_option(fd, IPPROTO_TCP, TCP_KEEPINTVL, t.interval_s) &&
           set_option(fd, IPPROTO_TCP, TCP_KEEPCNT, t.probes) &&
           set_option(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, t.user_timeout_ms);
}

void guard_client(QTcpSocket& s, quint16 port)
{
    if (!set_keepalive(s))
        log_debug(0x0891);
    if (!QObject::connect(&s, &QAbstractSocket::errorOccurred, &s,
                          [&s, port](QAbstractSocket::SocketError e) { port_log::client_error(port, s, e); }))
        log_debug(0x0892);
}

// The socket stays open while its peer takes the data: a socket closed at once would leave the
// data, and the connection, to the system for as long as the peer does not read.
void close_with_grace(QTcpSocket& s)
{
    if (unacknowledged(s) == 0) {
        s.disconnectFromHost();
        return;
    }
    // What the peer still sends is of no use; the system holds it back.
    s.setReadBufferSize(1);
    QTcpSocket* socket = &s;
    QTimer* check = new QTimer(socket);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(check, &QTimer::timeout, socket, [socket, check, clock] {
        if (unacknowledged(*socket) == 0) {
            check->stop();
            socket->disconnectFromHost();
        } else if (clock.elapsed() >= close_grace_ms) {
            check->stop();
            cut_off(*socket);
        }
    });
    check->start(drain_check_ms);
}
bool client_has_left(const QTcpSocket& s)
{
    if (s.state() != QAbstractSocket::ConnectedState)
        return s.state() == QAbstractSocket::UnconnectedState;
    char byte;
    // 0 is the peer's end of the stream; data still to be read, or none yet, is a client still there.
    return ::recv(static_cast<int>(s.socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}
