// libFuzzer target: a raw port's pause framing driven by any sequence of events against a stand-in
// for its server: clients coming and going, their bytes and pauses, the link accepting or refusing
// their frames, the modem's answers whole or broken. Checked against the rules as the README
// states them, kept apart from the program's code: a frame is what the port's client sent up to a
// pause, and a client sending more than max_frame is dropped; a whole answer belongs to the oldest
// frame handed to the link, and reaches its client only while that client is still the port's;
// with no frame owed it reaches the client whose frame was answered or given up last; a frame
// refused is owed no more; an answer broken after packets of it were joined is its frame's, and
// costs the client it would have reached its exchange; nothing is ever written to a client that
// has gone.
// Input: events, each a byte whose value modulo 8 is its kind; bytes and answers are followed by
// a length byte and that many bytes.
#include "tcp/pause_framing.h"
#include "tests/fuzz/fuzz_framing.h"
#include "tests/recording_host.h"

#include <QTcpSocket>
#include <algorithm>
#include <deque>

namespace {

using namespace fuzz_framing;
using Client_number = Client_framing::Client_number;

const quint64 modem_eui = 0x0102030405060702ULL;
const quint16 port_number = 3000;
const size_t max_frame = 16;
// A raw port stops counting owed frames beyond this many.
const size_t max_owed = 1024;

enum Event { connect_client, send_bytes, pause, accept_frame, refuse_frame, answer, broken_answer, leave };

// The frames owed by the modem in the order handed to the link, each with its client.
class Ownership {
public:
    void posted(Client_number owner)
    {
        if (owed.size() < max_owed)
            owed.push_back({owner, false});
    }
    void accepted()
    {
        if (Owed* frame = oldest_unsent())
            frame->sent = true;
    }
    // A refused frame is never answered.
    void refused()
    {
        const auto frame = std::find_if(owed.begin(), owed.end(), [](const Owed& f) { return !f.sent; });
        if (frame != owed.end())
            owed.erase(frame);
    }
    // The link took back the client's newest frames not yet sent; the others may be on their way.
    void left(size_t taken_back)
    {
        for (; taken_back && !owed.empty() && !owed.back().sent; --taken_back)
            owed.pop_back();
        for (Owed& frame : owed)
            frame.sent = true;
    }
    // Whom the answer reaches while client (0 when none) is the port's client: 0 for nobody.
    Client_number answer(Client_number client)
    {
        if (!owed.empty() && owed.front().sent) {
            last_answered = owed.front().owner;
            owed.pop_front();
        }
        return client && client == last_answered ? client : 0;
    }

private:
    struct Owed {
        Client_number owner;
        bool sent;
    };
    Owed* oldest_unsent()
    {
        const auto frame = std::find_if(owed.begin(), owed.end(), [](const Owed& f) { return !f.sent; });
        return frame == owed.end() ? nullptr : &*frame;
    }
    std::deque<Owed> owed;
    Client_number last_answered = 0;
};

// The server's part: the one client, the frames waiting in the link, and what ends an exchange.
class Port {
public:
    Port() : host(max_frame), framing(host, modem_eui, port_number, max_frame)
    {
        host.dropping = [this](Client_number number) { end_exchange(number); };
        host.writing = [this](Client_number to) {
            if (!to || to != client)
                finding("a write went to a client that is not the port's");
        };
    }

    void run(Events& events)
    {
        while (events.more()) {
            const quint8 kind = events.byte() % 8;
            if (kind == send_bytes || kind == answer)
                take(static_cast<Event>(kind), events.bytes());
            else
                take(static_cast<Event>(kind), QByteArray());
        }
    }

private:
    void take(Event event, const QByteArray& bytes)
    {
        switch (event) {
        case connect_client:
            if (client)
                end_exchange(client);
            client = ++clients_seen;
            framing.begin(client, socket);
            return;
        case send_bytes:
            return send(bytes);
        case pause:
            if (host.timer)
                end_frame();
            return;
        case accept_frame:
            if (waiting_in_link) {
                --waiting_in_link;
                ownership.accepted();
                framing.frame_accepted();
            }
            return;
        case refuse_frame:
            if (waiting_in_link) {
                --waiting_in_link;
                ownership.refused();
                framing.frame_refused();
                if (client)
                    finding("a client whose frame was refused was kept");
            }
            return;
        case answer:
            return deliver(bytes);
        case broken_answer: {
            const Client_number before = client;
            const Client_number to = ownership.answer(client);
            framing.answer_broken(true);
            if (to && client)
                finding("a client whose answer broke was kept");
            if (!to && before && !client)
                finding("a client was dropped for an answer not its own");
            return;
        }
        case leave:
            if (client)
                end_exchange(client);
            return;
        }
    }

    void send(const QByteArray& bytes)
    {
        if (!client || bytes.isEmpty())
            return;
        Client_bytes from;
        from.add(bytes);
        const bool too_long = static_cast<size_t>(unsent.size() + bytes.size()) > max_frame;
        unsent += bytes;
        framing.read(client, from.socket());
        if (too_long != !client)
            finding(too_long ? "a client sending more than max_frame was kept" : "a client was dropped");
    }

    void end_frame()
    {
        host.timer = 0;
        const int posted = host.posted.size();
        framing.timer_expired();
        if (host.posted.size() != posted + 1 || host.posted.last() != unsent)
            finding("the frame handed to the link is not what the client sent before the pause");
        ++waiting_in_link;
        ownership.posted(client);
        unsent.clear();
    }

    void deliver(const QByteArray& whole)
    {
        const int written = host.written.size();
        const Client_number to = ownership.answer(client);
        framing.answer_received(whole);
        const bool delivered = host.written.size() == written + 1 && host.written.last() == whole;
        if (to ? !delivered : host.written.size() != written)
            finding(to ? "an answer did not reach the client it belongs to" : "an answer reached a client it does not belong to");
    }

    // As the server does when an exchange ends: the link gives back the frames not yet sent.
    void end_exchange(Client_number number)
    {
        if (number != client)
            finding("the framing ended the exchange of a client that is not the port's");
        client = 0;
        unsent.clear();
        const int taken_back = waiting_in_link;
        waiting_in_link = 0;
        ownership.left(static_cast<size_t>(taken_back));
        framing.client_left(number, taken_back);
    }

    Recording_host host;
    Pause_framing framing;
    QTcpSocket socket;
    Ownership ownership;
    Client_number client = 0;
    Client_number clients_seen = 0;
    // The client's bytes since the last pause.
    QByteArray unsent;
    int waiting_in_link = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return run_input<Port>(data, size);
}
