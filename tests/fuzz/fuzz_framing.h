// Shared by the libFuzzer targets of a port's framings: a quiet log, a client's bytes as a device
// the framing reads from, and the way an input is read as a list of events.
#pragma once

#include "common/err.h"
#include "core/cfg.h"

#include <QBuffer>
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fuzz_framing {

inline void drop_qt_message(QtMsgType, const QMessageLogContext&, const QString&) {}

// The application (for the sockets the framings are given), a log that goes nowhere and every
// trace switch on, so that the traces are exercised too.
inline void init(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler(drop_qt_message);
    log_fname = "/dev/null";
    trace_ws = trace_tcp = 0x03;
    // Timers the framings start are only recorded; they fire when an input says so.
    tcp_interframe_delay = 50;
    modbus_timeout = 1000;
    modbus_max_clients = 3;
}

[[noreturn]] inline void finding(const char* what)
{
    fprintf(stderr, "FINDING: %s\n", what);
    abort();
}

// The input read from the front: an event's kind, then its bytes.
class Events {
public:
    Events(const uint8_t* data, size_t size) : at(data), end(data + size) {}
    bool more() const { return at < end; }
    quint8 byte() { return at < end ? *at++ : 0; }
    // A length byte, then up to that many bytes.
    QByteArray bytes()
    {
        const size_t wanted = byte();
        const size_t n = std::min<size_t>(wanted, static_cast<size_t>(end - at));
        QByteArray taken(reinterpret_cast<const char*>(at), static_cast<int>(n));
        at += n;
        return taken;
    }

private:
    const uint8_t* at;
    const uint8_t* end;
};

// What a client has sent and the framing has not read yet.
class Client_bytes {
public:
    Client_bytes() { device.open(QIODevice::ReadWrite); }
    void add(const QByteArray& bytes)
    {
        const qint64 read_to = device.pos();
        device.seek(device.size());
        device.write(bytes);
        device.seek(read_to);
    }
    QIODevice& socket() { return device; }

private:
    QBuffer device;
};

// One input on a port of its own, built afresh so that no input depends on the ones before.
template <class Port>
int run_input(const uint8_t* data, size_t size)
{
    Events events(data, size);
    Port port;
    port.run(events);
    return 0;
}

}  // namespace fuzz_framing
