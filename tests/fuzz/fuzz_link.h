// Shared by the libFuzzer targets of the server link and the TCP server: the application object, a
// quiet log kept for the internal-error check, the event loop turned by hand, and a real TCP client.
#pragma once

#include "core/cfg.h"
#include "common/err.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace fuzz_link {

const int wait_ms = 5000;

inline void drop_qt_message(QtMsgType, const QMessageLogContext&, const QString&) {}

// The log of this process; kept in memory-backed storage, since every input writes to it.
inline const QByteArray& log_path()
{
    static const QByteArray path = "/dev/shm/ruvo_fuzz_link_" + QByteArray::number(getpid()) + ".log";
    return path;
}

inline void remove_log()
{
    QFile::remove(QString::fromLatin1(log_path()));
}

// The application, the log and settings under which no timer of the link or of a TCP server fires
// while an input is handled; every trace switch on, so that the traces are exercised too.
inline void init(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler(drop_qt_message);
    log_fname = log_path().constData();
    atexit(remove_log);
    ws_connect_timeout = ws_auth_timeout = ws_reconnect_delay = 60000;
    ws_devlist_period = ws_devlist_timeout = ws_sdata_timeout = 60000;
    tcp_interframe_delay = 60000;
    default_max_frame = 51;
    trace_ws = trace_tcp = 0x03;
}

inline void clear_log()
{
    QFile(QString::fromLatin1(log_path())).resize(0);
}

// Whatever the input, no state that only a fault of the program can cause may be reached.
inline bool internal_error_logged()
{
    QFile file(QString::fromLatin1(log_path()));
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("] Неожиданная ошибка №");
}

[[noreturn]] inline void finding(const char* what)
{
    fprintf(stderr, "FINDING: %s\n", what);
    QFile file(QString::fromLatin1(log_path()));
    if (file.open(QIODevice::ReadOnly))
        fprintf(stderr, "log:\n%s\n", file.readAll().constData());
    abort();
}

// Turns the event loop, deferred deletions included, until done() or the time is up.
template <class Done>
bool turn_until(Done done, int ms = wait_ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// A client on loopback; it resets its connection when it goes, so that millions of runs leave no
// connections waiting in TIME_WAIT behind.
class Peer {
public:
    bool connect_to(quint16 port)
    {
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!socket.waitForConnected(wait_ms))
            return false;
        const linger reset{1, 0};
        setsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        return true;
    }
    void send(const QByteArray& bytes)
    {
        socket.write(bytes);
        socket.flush();
    }
    // Everything the program has written to this client so far.
    QByteArray received()
    {
        while (socket.waitForReadyRead(0)) {
        }
        return socket.readAll();
    }
    void reset() { socket.abort(); }

private:
    QTcpSocket socket;
};

}  // namespace fuzz_link
