// Modbus TCP on a modem's port: MBAP requests cut from the client's stream by their length field,
// sent to the modem one at a time as RTU frames, and the RTU answers returned as MBAP responses.
// A request given to the modem stays owed until its answer came or its time is up, whatever
// happens to its client, so that no answer ever reaches another request.
#pragma once

#include "common/repeated_log.h"
#include "tcp/client_framing.h"

#include <QByteArray>
#include <QQueue>
#include <QtGlobal>

class Modbus_tcp_framing : public Client_framing {
public:
    // The largest MBAP request: the 7-byte header with the unit id, and a PDU of 253 bytes.
    static const int max_request = 260;

    Modbus_tcp_framing(Host& host, quint64 eui, quint16 tcp_port, size_t max_frame);

    // Requests beyond the waiting line stay in the kernel, so a flooding client is slowed down.
    // The client's address is kept for the log.
    void begin(QTcpSocket& client) override;
    // Reads whole requests while the waiting line has room, then sends the next one if the modem
    // is free.
    void read(QIODevice& client) override;
    void timer_expired() override;
    // An answer that does not fit the owed request is dropped; the request then times out.
    void answer_received(const QByteArray& rtu) override;
    // A lost, repeated or shuffled packet: the owed request ends with exception 0x0B.
    void answer_broken(bool joined_before) override;
    void frame_accepted() override;
    bool strict_uplink() const override { return true; }
    // The client's requests not yet given to the modem are dropped; the owed one stays owed.
    void reset() override;

private:
    static const int max_waiting = 16;

    // What the modem owes: nothing, the answer to the awaited request, possibly a late answer
    // (after a timeout or a broken answer, for a guard time), or the acknowledgement of a broadcast.
    enum class Owed { nothing, answer, late_answer, broadcast };

    // Takes bytes of the client; complete requests join the waiting line. False, with a log
    // entry, when a header is malformed: the client has then to be dropped.
    bool take(const char* bytes, int size);
    bool line_full() const { return waiting.size() >= max_waiting; }
    void send_next();
    bool answered_at_once(const QByteArray& request);
    void send(const QByteArray& request, const QByteArray& rtu);
    bool answer_fits(const QByteArray& rtu) const;
    void end_request(const QByteArray& response);
    void log_answer_error(const QString& text, const QByteArray& rtu) const;

    QByteArray input;
    QQueue<QByteArray> waiting;
    // The MBAP request whose answer the modem owes; empty when none.
    QByteArray awaited;
    QString peer;
    Repeated_log bad_headers;
    Owed owed = Owed::nothing;
    // The client that sent the awaited request is still here.
    bool owner_here = false;
    bool client_here = false;
};
