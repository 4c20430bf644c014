// How a port's client bytes become frames for the modem and the modem's answers become bytes
// for the client: one framing per port (pauses on a raw port, Modbus TCP on a modbus_tcp port),
// driven by the port's server through this interface.
#pragma once

#include "common/repeated_log.h"
#include "tcp/tcp_trace.h"

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>
#include <vector>

class Modbus_line;
class QIODevice;
class QTcpSocket;

// Beyond the server's wait for accepting a frame, the time a modem may take to answer it.
const qint64 radio_answer_time_ms = 60000;

class Client_framing {
public:
    // The port's clients are numbered from 1 in the order they came; a number is never reused.
    using Client_number = quint64;

    // What the port's server does for its framing.
    class Host {
    public:
        // The data area of the frame being filled: max_frame + 1 bytes.
        virtual unsigned char* frame_area() = 0;
        // Sends the first size bytes of the frame area to the modem; a fresh area follows. False
        // when the frame was refused and the port's clients dropped.
        virtual bool post_frame(size_t size) = 0;
        // Writes to the client; nothing when it has gone.
        virtual void write_to_client(Client_number to, const QByteArray& bytes) = 0;
        // Writes the modem's answer, counted as one.
        virtual void write_answer(Client_number to, const QByteArray& bytes) = 0;
        // Calls read() again for every client while the exchange lasts, whether or not they sent more.
        virtual void read_on() = 0;
        // The next uplink packet starts a new answer.
        virtual void restart_uplink() = 0;
        // The framing's one timer; when it fires, timer_expired() is called.
        virtual void start_timer(int interval, Qt::TimerType type) = 0;
        virtual void kill_timer() = 0;
        // Ends the exchange with the client, with a log entry.
        virtual void read_failed(Client_number from, qint64 result) = 0;
        // Ends the exchange with the client; the framing has said why.
        virtual void drop_client(Client_number client) = 0;
        // A steady clock in milliseconds.
        virtual qint64 now_ms() const = 0;

    protected:
        ~Host() = default;
    };

    Client_framing(Host& host, quint64 eui, quint16 tcp_port, size_t max_frame);
    virtual ~Client_framing() = default;
    Client_framing(const Client_framing&) = delete;
    Client_framing& operator=(const Client_framing&) = delete;

    // A client's exchange begins.
    virtual void begin(Client_number client, QTcpSocket& socket) = 0;
    // The client has bytes to read.
    virtual void read(Client_number client, QIODevice& socket) = 0;
    // Every client was read, as read_on asked.
    virtual void read_all_done() {}
    virtual void timer_expired() = 0;
    // A whole answer of the modem.
    virtual void answer_received(const QByteArray& answer) = 0;
    // A packet of an answer was lost, repeated or shuffled; joined_before: packets of the answer
    // it broke had been joined, so a part of that answer was lost.
    virtual void answer_broken(bool joined_before) = 0;
    // The server accepted a frame of this port for the modem.
    virtual void frame_accepted() {}
    // The server refused a frame of this port: its client cannot be answered.
    virtual void frame_refused() = 0;
    // Repeated uplink packets are dropped.
    virtual bool strict_uplink() const { return false; }
    // A frame given to the link stays the modem's to answer when its client is broken off.
    virtual bool frames_outlive_client() const { return false; }
    // The client's exchange has ended: it left or was broken off. Unless frames outlive their
    // client, the link took back its newest frames not yet sent, unsent_dropped of them.
    virtual void client_left(Client_number client, int unsent_dropped) = 0;
    // The line of Modbus requests of the port's modem, if its clients speak Modbus TCP.
    virtual Modbus_line* modbus_line() { return nullptr; }
    // The port is retired: what it owes its clients ends now.
    virtual void retire() {}
    // Which of the port's clients (oldest first) a newcomer replaces when the port serves no
    // more; 0 when none may be: the newcomer is then turned away.
    virtual Client_number to_displace(const std::vector<Client_number>& clients) { return clients.front(); }

protected:
    // A frame longer than max_frame from the client at the address peer: the client is dropped
    // with a log entry, summed up with the port's others within a minute.
    void refuse_oversize(Client_number client, const QString& peer, const unsigned char* data, size_t size);

    Host& host;
    const quint64 eui;
    const quint16 tcp_port;
    const size_t max_frame;
    const Tcp_trace tracer;

private:
    Repeated_log oversized;
};
