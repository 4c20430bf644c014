// libFuzzer target: a Modbus TCP port's framing driven by any sequence of events against a stand-in
// for its server: up to modbus_max_clients clients coming, going and sending any bytes, the link
// accepting or refusing frames, the modem's answers (any bytes, or an exception that fits the
// request owed), broken answers and timeouts. Checked, apart from the program's code: every
// response is a well-formed MBAP response and answers a request of its client not answered before
// (same transaction, unit and function; a write to a client that has gone is the server's to
// drop); every frame handed to the link is an RTU frame with a good CRC, no longer than max_frame,
// and handed over only when nothing is owed; an answer that fits the request owed, once the server
// accepted it, reaches its client if it is still there (once for each identical read of it merged),
// and nobody otherwise. The modem keeps its reads' answers (cache_ms), and the clock stands still.
// Input: events, each a byte whose value modulo 9 is its kind and whose quotient picks a client;
// bytes and answers are followed by a length byte and that many bytes.
#include "common/crc16.h"
#include "core/port_protocols.h"
#include "tcp/modbus_tcp_framing.h"
#include "tests/fuzz/fuzz_framing.h"
#include "tests/recording_host.h"

#include <QTcpSocket>
#include <memory>
#include <vector>

namespace {

using namespace fuzz_framing;
using Client_number = Client_framing::Client_number;

const quint64 modem_eui = 0x0102030405060703ULL;
const quint16 port_number = 3001;
const size_t max_frame = 64;
const quint32 cache_ms = 1000;

enum Event {
    connect_client,
    send_bytes,
    accept_frame,
    refuse_frame,
    answer,
    fitting_answer,
    broken_answer,
    time_out,
    leave,
    event_kinds
};

int word_at(const QByteArray& bytes, int at)
{
    return static_cast<quint8>(bytes[at]) << 8 | static_cast<quint8>(bytes[at + 1]);
}

// A client as its server sees it: what it sent, and its requests not answered yet, read from its
// bytes by the MBAP rules.
struct Client {
    Client_number number;
    Client_bytes bytes;
    QByteArray unparsed;
    bool bad_header = false;
    // Each request whole: the MBAP header, then unit id and PDU.
    QByteArrayList unanswered;

    void sent(const QByteArray& more)
    {
        bytes.add(more);
        unparsed += more;
        while (!bad_header && unparsed.size() >= 6) {
            const int length = word_at(unparsed, 4);
            bad_header = word_at(unparsed, 2) != 0 || length < 2 || length > 254;
            if (bad_header || unparsed.size() < 6 + length)
                return;
            unanswered << unparsed.left(6 + length);
            unparsed.remove(0, 6 + length);
        }
    }
    // Takes the request the response answers; false when none does.
    bool answered(const QByteArray& response)
    {
        for (int i = 0; i < unanswered.size(); ++i) {
            const QByteArray& request = unanswered[i];
            const quint8 function = static_cast<quint8>(request[7]);
            if (request.left(2) == response.left(2) && request[6] == response[6] &&
                (static_cast<quint8>(response[7]) & 0x7F) == (function & 0x7F)) {
                unanswered.removeAt(i);
                return true;
            }
        }
        return false;
    }
};

class Port {
public:
    Port() : host(max_frame), framing(host, modem_eui, port_number, max_frame, cache_ms)
    {
        host.dropping = [this](Client_number number) { end_exchange(number); };
        host.writing = [this](Client_number to) { check_response(to, host.written.last()); };
        host.reading_on = [this] { read_on_asked = true; };
    }

    void run(Events& events)
    {
        while (events.more()) {
            const quint8 code = events.byte();
            const Event kind = static_cast<Event>(code % event_kinds);
            const QByteArray bytes = kind == send_bytes || kind == answer ? events.bytes() : QByteArray();
            take(kind, code / event_kinds, bytes);
            check_frames();
            // The server reads on from a later turn of its loop, after the event is handled.
            while (read_on_asked) {
                read_on_asked = false;
                for (const Client_number number : numbers())
                    if (Client* c = client(number))
                        framing.read(number, c->bytes.socket());
                framing.read_all_done();
                check_frames();
            }
        }
    }

private:
    void take(Event kind, int pick, const QByteArray& bytes)
    {
        switch (kind) {
        case connect_client: {
            if (clients.size() >= static_cast<size_t>(port_protocol_row(Port_protocol::modbus_tcp).max_clients))
                end_exchange(clients.front()->number);
            clients.emplace_back(new Client{++clients_seen, {}, {}, false, {}});
            framing.begin(clients.back()->number, socket);
            return;
        }
        case send_bytes:
            if (!clients.empty() && !bytes.isEmpty()) {
                Client& c = *clients[static_cast<size_t>(pick) % clients.size()];
                c.sent(bytes);
                framing.read(c.number, c.bytes.socket());
            }
            return;
        case accept_frame:
        case refuse_frame:
            if (waiting_in_link) {
                --waiting_in_link;
                owed = false;
                if (kind == accept_frame) {
                    accepted = !waiting_in_link;
                    framing.frame_accepted();
                } else {
                    awaited = QByteArray();
                    framing.frame_refused();
                }
            }
            return;
        case answer:
            return answer_with(bytes, false);
        case fitting_answer:
            if (!last_frame.isEmpty()) {
                QByteArray exception = last_frame.left(2);
                exception[1] = static_cast<char>(exception[1] | 0x80);
                exception.append(static_cast<char>(pick % 12));
                answer_with(with_crc16(exception), true);
            }
            return;
        case broken_answer:
            owed = false;
            awaited = QByteArray();
            framing.answer_broken(pick & 1);
            return;
        case time_out:
            if (host.timer) {
                host.timer = 0;
                owed = false;
                awaited = QByteArray();
                framing.timer_expired();
            }
            return;
        case leave:
            if (!clients.empty())
                end_exchange(clients[static_cast<size_t>(pick) % clients.size()]->number);
            return;
        case event_kinds:
            return;
        }
    }

    void answer_with(const QByteArray& rtu, bool fits)
    {
        const int answers = host.answers;
        const QByteArray asked = awaited;
        const std::vector<Client_number> askers = asking(asked);
        owed = false;
        framing.answer_received(rtu);
        if (host.answers != answers)
            awaited = QByteArray();
        // Only when one client alone can have asked is it known who must hear the answer.
        if (!fits || asked.isEmpty() || askers.size() != 1 || !accepted)
            return;
        const bool there = client(askers.front()) != nullptr;
        if (there != (host.answers > answers))
            finding(there ? "a fitting answer did not reach its client" : "an answer reached a client that had gone");
        awaited = QByteArray();
    }

    // The clients, connected or gone, that sent this request (unit id and PDU) and have not had it
    // answered.
    std::vector<Client_number> asking(const QByteArray& body) const
    {
        std::vector<Client_number> found;
        for (const auto* list : {&clients, &gone})
            for (const auto& c : *list)
                for (const QByteArray& request : c->unanswered)
                    if (request.mid(6) == body) {
                        found.push_back(c->number);
                        break;
                    }
        return found;
    }

    void check_response(Client_number to, const QByteArray& response)
    {
        Client* c = client(to);
        for (const auto& left : gone)
            if (!c && left->number == to)
                c = left.get();
        if (!c)
            finding("a response went to a client that never came");
        if (response.size() < 8 || word_at(response, 2) != 0 || word_at(response, 4) != response.size() - 6)
            finding("a malformed MBAP response");
        if (!c->answered(response))
            finding("a response answers no request of its client");
    }

    // Frames the framing handed to the link since the last look.
    void check_frames()
    {
        for (; frames_seen < host.posted.size(); ++frames_seen) {
            const QByteArray& frame = host.posted[frames_seen];
            if (static_cast<size_t>(frame.size()) > max_frame || frame.size() < 4 || !crc16_ok(frame))
                finding("a frame handed to the link is no RTU frame that fits the modem");
            if (owed)
                finding("a frame was handed to the link while another was owed");
            owed = true;
            accepted = false;
            ++waiting_in_link;
            last_frame = frame.left(frame.size() - 2);
            // A broadcast is owed no answer.
            awaited = frame[0] ? last_frame : QByteArray();
        }
    }

    void end_exchange(Client_number number)
    {
        for (auto it = clients.begin(); it != clients.end(); ++it)
            if ((*it)->number == number) {
                // The client's bytes may still be read from in the call that dropped it.
                gone.push_back(std::move(*it));
                clients.erase(it);
                framing.client_left(number, 0);
                return;
            }
        finding("the framing dropped a client that is not connected");
    }

    Client* client(Client_number number)
    {
        for (const auto& c : clients)
            if (c->number == number)
                return c.get();
        return nullptr;
    }

    std::vector<Client_number> numbers() const
    {
        std::vector<Client_number> all;
        for (const auto& c : clients)
            all.push_back(c->number);
        return all;
    }

    Recording_host host;
    Modbus_tcp_framing framing;
    QTcpSocket socket;
    std::vector<std::unique_ptr<Client>> clients;
    std::vector<std::unique_ptr<Client>> gone;
    Client_number clients_seen = 0;
    int frames_seen = 0;
    int waiting_in_link = 0;
    // A frame was handed to the link and nothing since could have ended what it owes.
    bool owed = false;
    bool read_on_asked = false;
    // The server accepted the last frame.
    bool accepted = false;
    // Unit id and PDU of the last frame, and of the request whose answer is awaited (empty if none).
    QByteArray last_frame;
    QByteArray awaited;
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
