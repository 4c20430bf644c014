// Modbus TCP on a modem's port: MBAP requests cut from each client's stream by their length field,
// sent to the modem one at a time in the order they came from all the port's clients as RTU
// frames, and the RTU answers returned as MBAP responses to the client that asked.
// A request given to the modem stays owed until its answer came or its time is up, whatever
// happens to its client, so that no answer ever reaches another request.
#pragma once

#include "common/repeated_log.h"
#include "tcp/client_framing.h"

#include <QByteArray>
#include <QQueue>
#include <QtGlobal>
#include <vector>

class Modbus_tcp_framing : public Client_framing {
public:
    // The largest MBAP request: the 7-byte header with the unit id, and a PDU of 253 bytes.
    static const int max_request = 260;
    // Requests of the port's clients waiting for the modem; a request beyond them is answered
    // with exception 0x06 (server device busy).
    static const int max_waiting = 32;
    // Requests one client may have waiting; beyond them its requests stay in the kernel, so a
    // client that pipelines is slowed down rather than refused.
    static const int max_waiting_per_client = 16;

    Modbus_tcp_framing(Host& host, quint64 eui, quint16 tcp_port, size_t max_frame);

    // The client's address is kept for the log.
    void begin(Client_number client, QTcpSocket& socket) override;
    // Reads whole requests while the client may have more waiting, then sends the next one if
    // the modem is free.
    void read(Client_number client, QIODevice& socket) override;
    void timer_expired() override;
    // An answer that does not fit the owed request is dropped; the request then times out.
    void answer_received(const QByteArray& rtu) override;
    // A lost, repeated or shuffled packet: the owed request ends with exception 0x0B.
    void answer_broken(bool joined_before) override;
    void frame_accepted() override;
    // The owed request ends with exception 0x0A; the connections stay.
    void frame_refused() override;
    bool strict_uplink() const override { return true; }
    bool frames_outlive_client() const override { return true; }
    // The client's requests not yet given to the modem are dropped; the owed one stays owed.
    void client_left(Client_number client, int unsent_dropped) override;

private:
    // What the modem owes: nothing, the answer to the awaited request, possibly a late answer
    // (after a timeout or a broken answer, for a guard time), or the acknowledgement of a broadcast.
    enum class Owed { nothing, answer, late_answer, broadcast };

    // A connected Modbus master and the part of its next request read so far.
    struct Master {
        Client_number number;
        QString peer;
        QByteArray input;
        // Its requests in the port's waiting line.
        int waiting = 0;
    };
    struct Request {
        Client_number from = 0;
        QByteArray mbap;
    };

    Master* master(Client_number number);
    // Moves the complete requests of the master's input to the waiting line while it may have
    // more waiting and is still here. False, with a log entry, when a header is malformed: the
    // client has then to be dropped.
    bool take(Master& m);
    bool enqueue(Master& m, const QByteArray& request);
    void send_next();
    bool answered_at_once(const Request& request);
    void send(const Request& request, const QByteArray& rtu);
    bool answer_fits(const QByteArray& rtu) const;
    void end_request(const QByteArray& response);
    void log_answer_error(const QString& text, const QByteArray& rtu) const;

    std::vector<Master> masters;
    QQueue<Request> waiting;
    // The request whose answer the modem owes; its bytes are empty when none.
    Request awaited;
    Repeated_log bad_headers;
    Repeated_log busy;
    Owed owed = Owed::nothing;
};
