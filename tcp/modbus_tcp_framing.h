// Modbus TCP on a modem's port: MBAP requests cut from the client's stream by their length field,
// sent to the modem one at a time as RTU frames, and the RTU answers returned as MBAP responses.
#pragma once

#include "tcp/client_framing.h"

#include <QByteArray>
#include <QQueue>
#include <QtGlobal>

class Modbus_tcp_framing : public Client_framing {
public:
    // The largest MBAP request: the 7-byte header with the unit id, and a PDU of 253 bytes.
    static const int max_request = 260;

    using Client_framing::Client_framing;

    // Requests beyond the waiting line stay in the kernel, so a flooding client is slowed down.
    void begin(QTcpSocket& client) override;
    // Reads whole requests while the waiting line has room, then sends the next one if the modem
    // is free.
    void read(QIODevice& client) override;
    void timer_expired() override;
    // An answer that does not fit the awaited request is dropped; the request then times out.
    void answer_received(const QByteArray& rtu) override;

    // Takes bytes of the client; complete requests join the waiting line. False, with a log
    // entry, when a header is malformed: the client has then to be dropped.
    bool take(const char* bytes, int size);
    // Enough requests wait: the client's further bytes stay in its socket until some are answered.
    bool line_full() const { return waiting.size() >= max_waiting; }
    // Makes the next waiting request the awaited one and gives its RTU frame (unit id, PDU,
    // CRC); empty while a request is awaited or when none waits (RTU is half-duplex).
    QByteArray next_rtu();
    // The MBAP response to the awaited request from the modem's RTU answer, which ends the
    // request; empty, with a log entry, when the answer is not the awaited one's.
    QByteArray answer(const QByteArray& rtu);
    // Exception 0x0B (gateway target device failed to respond) for the awaited request,
    // which ends it.
    QByteArray timeout_exception();
    // The exchange with the client has ended: every request and partial header is forgotten.
    void reset() override;

private:
    static const int max_waiting = 16;

    void send_next();

    bool answer_fits(const QByteArray& rtu) const;
    QByteArray response(const QByteArray& pdu);
    void log_answer_error(const QString& text, const QByteArray& rtu) const;

    QByteArray input;
    QQueue<QByteArray> waiting;
    // The MBAP request whose answer the modem owes; empty when none.
    QByteArray awaited;
};
