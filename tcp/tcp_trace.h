// The trace_tcp entries of one port: its events, its clients' events and the bytes they send and
// receive, written only at the level that asks for them.
#pragma once

#include <QtGlobal>
#include <cstddef>

class QAbstractSocket;

class Tcp_trace {
public:
    // Bits of trace_tcp.
    enum : unsigned char {
        bad_frames = 0x01,  // the bytes of what was refused
        all = 0x02,         // every event and every byte
    };

    explicit Tcp_trace(quint16 tcp_port) : tcp_port(tcp_port) {}

    void event(const char* event) const;
    void peer(const QAbstractSocket& s, const char* event) const;
    void data(const char* event, const unsigned char* data, size_t size) const;

private:
    const quint16 tcp_port;
};
