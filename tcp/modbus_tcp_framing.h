// Modbus TCP on a modem's port: MBAP requests cut from each client's stream by their length field,
// sent to the modem one at a time as RTU frames, the port's masters taking turns, and the RTU
// answers returned as MBAP responses to the client that asked.
// A request given to the modem stays owed until its answer came or its time is up, whatever
// happens to its client; an answer is taken only when it fits the owed request, came after the
// server accepted it, and cannot be a late answer or a copy of an earlier request's (the request
// is made to differ from those, or waits), so that no answer ever reaches another request.
#pragma once

#include "common/repeated_log.h"
#include "tcp/answer_ledger.h"
#include "tcp/client_framing.h"
#include "tcp/read_widening.h"

#include <QByteArray>
#include <QQueue>
#include <QtGlobal>
#include <vector>

class Modbus_tcp_framing : public Client_framing {
public:
    // The largest MBAP request: the 7-byte header with the unit id, and a PDU of 253 bytes.
    static const int max_request = 260;
    // Requests of the port's clients waiting for the modem; a request beyond them, from a master
    // that already has one waiting, is answered with exception 0x06 (server device busy).
    static const int max_waiting = 32;
    // Requests one master may have waiting: its share of the line, smaller when more masters are
    // connected; beyond it its requests stay in the kernel, so a master that pipelines is slowed
    // down rather than refused, and cannot crowd the others out.
    static const int max_waiting_per_client = 16;
    // Lost requests whose late answers are watched for.
    static const size_t max_lost_watched = 8;

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
    // The newest master that never asked anything, else the one idle longest; none while all have work.
    Client_number to_displace(const std::vector<Client_number>& clients) const override;

private:
    // What the modem owes: nothing, the answer to the awaited request, or the acknowledgement
    // of a broadcast.
    enum class Owed { nothing, answer, broadcast };

    struct Request {
        Client_number from = 0;
        QByteArray mbap;
        // Sent as asked: a widened read of it was refused.
        bool plain = false;
    };
    // A connected Modbus master, the part of its next request read so far, and its requests
    // waiting, in the order it sent them.
    struct Master {
        Client_number number;
        QString peer;
        QByteArray input;
        QQueue<Request> line;
        // When it last sent a whole request; 0 while it has sent none.
        qint64 last_request = 0;
    };
    // How a request goes to the modem: its RTU frame without CRC, widened or not; or, when it
    // cannot be told from an earlier request whose answer may come, the time it waits until.
    struct Plan {
        QByteArray rtu;
        Read_widening widening;
        qint64 hold_until = 0;
    };
    // The request given to the modem.
    struct Awaited {
        Request request;
        Plan plan;
        qint64 sent_at = 0;
        // The server accepted it: no answer that came before can be its own.
        bool accepted = false;
    };

    Master* master(Client_number number);
    const Master* master(Client_number number) const;
    bool idle(const Master& m) const;
    int share() const;
    int waiting() const;
    // Moves the complete requests of the master's input to the waiting line while it may have
    // more waiting and is still here. False, with a log entry, when a header is malformed: the
    // client has then to be dropped.
    bool take(Master& m);
    bool enqueue(Master& m, const QByteArray& request);
    void send_next();
    bool send_next_in_turn(qint64 now, qint64& hold);
    Plan plan(const Request& request, qint64 now) const;
    void dispatch(const Request& request, const Plan& plan);
    bool answered_at_once(const Request& request);
    void send(const Request& request, const Plan& plan);
    bool answer_fits(const QByteArray& rtu) const;
    void deliver(const QByteArray& answer);
    bool retried_plain(const QByteArray& answer_pdu);
    void end_request(const QByteArray& response);
    void end_awaited();
    void log_answer_error(const QString& text, const QByteArray& rtu) const;

    std::vector<Master> masters;
    Awaited awaited;
    Answer_ledger ledger;
    Repeated_log bad_headers;
    Repeated_log busy;
    Owed owed = Owed::nothing;
    // The master whose request went last: the next turn is the next master's.
    Client_number turn = 0;
};
