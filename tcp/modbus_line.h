// The Modbus requests one modem is asked, from the masters of every port that reaches it, sent to
// the modem one at a time as RTU frames: the masters take turns, each master's requests in its
// own order. A request given to the modem stays owed until its answer came or its time is up,
// whatever happens to its master; an answer is taken only when it fits the owed request, came
// after the server accepted it, and cannot be a late answer or a copy of an earlier request's (the
// request is made to differ from those, or waits), so that no answer ever reaches another request.
// A read identical to one waiting or owed takes that one's answer instead of going again; with a
// read cache, a read answered a moment ago is answered from memory.
#pragma once

#include "common/repeated_log.h"
#include "tcp/answer_ledger.h"
#include "tcp/client_framing.h"
#include "tcp/read_cache.h"
#include "tcp/read_widening.h"

#include <QByteArray>
#include <QQueue>
#include <QtGlobal>
#include <vector>

// What a modem's line needs from a port whose masters ask through it.
class Modbus_front {
public:
    using Client_number = Client_framing::Client_number;

    // Writes the response to the client if it is still there; an answer is counted as one.
    virtual void respond(Client_number client, const QByteArray& response, bool answer) = 0;
    virtual bool has_client(Client_number client) const = 0;
    // One of the client's requests left the line: sent to the modem, or answered without it, or
    // joined to an identical read owed by the modem.
    virtual void left_line(Client_number client) = 0;

protected:
    ~Modbus_front() = default;
};

class Modbus_line {
public:
    using Client_number = Client_framing::Client_number;

    // Requests waiting for the modem; beyond them a master that already has one waiting gets
    // exception 0x06 (server device busy).
    static constexpr int max_waiting = 32;
    // Lost requests whose late answers are watched for.
    static constexpr size_t max_lost_watched = 8;

    // host: the modem's port, through which frames go and answers come; its number names the
    // modem in the log. cache_ms: how long a read's answer answers identical reads; 0: not at all.
    Modbus_line(Client_framing::Host& host, quint64 eui, quint16 tcp_port, size_t max_frame, quint32 cache_ms);
    Modbus_line(const Modbus_line&) = delete;
    Modbus_line& operator=(const Modbus_line&) = delete;

    bool full() const { return waiting >= max_waiting; }
    // A whole MBAP request of a master, for the RTU slave address `slave`; the response goes back
    // with the request's own header, at once when the cache has it. A read identical to one
    // waiting or owed joins it (at most max_waiting join one); any other request to the slave
    // drops the slave's cached answers, and while it waits or is owed the slave's reads are
    // neither joined nor cached, so that no master reads around its own write.
    void enqueue(Modbus_front& front, Client_number client, const QByteArray& request, quint8 slave);
    // Sends the next waiting request once nothing is owed.
    void send_next();
    // Whether the client has a request waiting or owed.
    bool has_work(const Modbus_front& front, Client_number client) const;
    // The client's requests not yet sent are dropped; an owed one stays owed, its answer to
    // nobody.
    void forget(const Modbus_front& front, Client_number client);
    // The modem is served no more: every request gets its exception now, 0x0A when it was not
    // sent yet, 0x0B when it was owed.
    void close();

    // What the modem's port hears: answer_received's anyone_asking says whether an unasked
    // answer is worth a log entry.
    void answer_received(const QByteArray& rtu, bool anyone_asking);
    void answer_broken();
    void frame_accepted();
    void frame_refused();
    void timer_expired();

private:
    // What the modem owes: nothing, the answer to the awaited request, or the acknowledgement
    // of a broadcast.
    enum class Owed { nothing, answer, broadcast };

    struct Request {
        Modbus_front* front = nullptr;
        Client_number client = 0;
        QByteArray mbap;
        quint8 slave = 0;
        // Sent as asked: a widened read of it was refused.
        bool plain = false;
        // Identical reads that take this one's answer; a master that leaves is taken out.
        std::vector<Request> merged;
        // When it came to the line: a request that takes over a merged one's place keeps its
        // master's order.
        quint64 arrival = 0;
        // Its master was told it left the line; a read sent again is not told twice.
        bool left = false;
    };
    // A master's requests waiting, in the order it sent them.
    struct Asker {
        Modbus_front* front;
        Client_number client;
        QQueue<Request> requests;
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

    Asker& asker(Modbus_front& front, Client_number client);
    static QByteArray rtu_of(const Request& request);
    static bool shareable(const Request& request);
    bool changes_pending(quint8 slave) const;
    bool answered_from_cache(Request& request);
    bool joined(Request& request);
    void promote(std::vector<Request>& carriers);
    void drop_merged(const Modbus_front& front, Client_number client);
    static void leave_line(Request& request);
    bool send_next_in_turn(qint64 now, qint64& hold);
    Plan plan(const Request& request, qint64 now) const;
    void dispatch(const Request& request, const Plan& plan);
    void send(const Request& request, const Plan& plan);
    void respond(const Request& request, const QByteArray& response, bool answer);
    bool answer_fits(const QByteArray& rtu) const;
    void deliver(const QByteArray& answer);
    bool retried_plain(const QByteArray& answer_pdu);
    void end_request(const QByteArray& response);
    void end_awaited();
    void log_answer_error(const QString& text, const QByteArray& rtu) const;
    void log_answer_bytes(const QByteArray& rtu) const;

    Client_framing::Host& host;
    const quint64 eui;
    const quint16 tcp_port;
    const size_t max_frame;
    // Oldest first; an asker stays while its master is connected.
    std::vector<Asker> askers;
    int waiting = 0;
    Awaited awaited;
    Answer_ledger ledger;
    Read_cache cache;
    // Answers dropped since their client had gone: as many as clients can leave owing them, so
    // summed up in the log.
    Repeated_log owners_gone;
    quint64 arrivals = 0;
    Owed owed = Owed::nothing;
    // The asker whose request went last: the next turn is the next one's.
    const Modbus_front* turn_front = nullptr;
    Client_number turn_client = 0;
};
