// libFuzzer target: any uplink payloads handed to the TCP server of a raw port after a client of it
// has sent one message and the server has accepted it; one client after the other, one per input.
// Nothing may crash, and each client must receive exactly what the packet rules and the rules of
// ownership make of the payloads: whole answers joined in order, nothing of a broken one, and only
// answers to its own message (an answer owed to a client that has gone is dropped).
// Input: payloads, each a 16-bit little-endian length followed by that many bytes.
#include "core/cfg.h"
#include "core/shared.h"
#include "link/query.h"
#include "link/ws_connection.h"
#include "tcp/tcp_server.h"
#include "tests/fuzz/fuzz_link.h"

#include <QTcpServer>
#include <QThread>
#include <algorithm>
#include <memory>

namespace {

using namespace fuzz_link;

const unsigned long modem_eui = 0x0102030405060701UL;
// A raw port stops counting owed messages beyond this many.
const int max_owed = 1024;

// The packet rules as the modem's documentation states them and the rules of ownership as the
// README does, kept apart from the program's code. The port's uplink state outlives its clients:
// an answer begun for one client goes on into the next one's exchange. A bad packet after packets
// of an answer were joined ends that answer as its frame's, and costs the present client its
// connection when the answer would have reached it.
class Port_model {
public:
    // A client came and its message was accepted.
    void new_client()
    {
        client_here = true;
        own_owed = owed_gone < max_owed;
        own_answered = false;
        output.clear();
    }
    // The client's input ends: it goes, and its message stays owed if it was not answered.
    void client_gone()
    {
        if (own_owed)
            ++owed_gone;
        own_owed = false;
    }
    void take(const QByteArray& payload)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(payload.constData());
        if (payload.isEmpty() || p[0] != 3)
            return;
        const bool bad = payload.size() < 6 || p[3] != payload.size() - 6 || p[4] != count ||
                         (count && (total(p) != total_size || p[5] != packets));
        if (bad) {
            if (count && to_client())
                client_here = false;
            count = 0;
            data.clear();
            return;
        }
        if (count == 0) {
            total_size = total(p);
            packets = p[5];
            data.clear();
        }
        data += payload.mid(6);
        if (++count < packets)
            return;
        answer(data);
        count = 0;
        data.clear();
    }

    // What the input's client must have received.
    QByteArray output;

private:
    static quint16 total(const unsigned char* p) { return static_cast<quint16>(p[1] | p[2] << 8); }

    // The oldest message owed takes the answer; with none owed, it goes to the client whose
    // message was answered last. True when that is the present client.
    bool to_client()
    {
        if (owed_gone) {
            --owed_gone;
            return false;
        }
        if (own_owed) {
            own_owed = false;
            own_answered = true;
        }
        return own_answered;
    }
    void answer(const QByteArray& whole)
    {
        if (to_client() && client_here)
            output += whole;
    }

    quint8 count = 0;
    quint8 packets = 0;
    quint16 total_size = 0;
    QByteArray data;
    // Messages of clients gone, owed before the present client's.
    int owed_gone = 0;
    bool own_owed = false;
    bool own_answered = false;
    bool client_here = false;
};

QThread not_started;
Ws_connection* connection;
Tcp_server* server;
quint16 port;
std::unique_ptr<Peer> peer;

// Stands in the link's queue for a command sent and not yet answered, so that the client's
// message waits in the queue, where the link takes it from as it would to send it.
Query command_in_flight{nullptr, [](Query*, Ws_connection&) {}, [](Query*) {}, nullptr, 0, false, 0};
Port_model model;

// A new client for every input: the old one goes first. The new one sends a message, which the
// link sends and the server accepts.
bool new_client()
{
    peer.reset();
    model.client_gone();
    if (!turn_until([] { return !server->client; }))
        finding("the server kept a client that had gone");
    peer.reset(new Peer);
    if (!peer->connect_to(port) || !turn_until([] { return server->client; }))
        return false;
    peer->send("?");
    if (!turn_until([] { return connection->take_back(*server) == 1; }))
        finding("the client's message did not reach the link");
    server->frame_accepted();
    model.new_client();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    init(argc, argv);
    // A pause ends the client's message at once; no owed message expires while the target runs.
    tcp_interframe_delay = 0;
    ws_sdata_timeout = 24 * 3600 * 1000;
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    port = probe.serverPort();
    probe.close();
    connection = new Ws_connection(not_started);
    server = new Tcp_server(*connection, modem_eui, Device_in_cfg{64, port});
    connection->post(command_in_flight);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    clear_log();
    if (!new_client())
        return 0;
    const uint8_t* end = data + size;
    while (end - data >= 2) {
        const int length = static_cast<int>(std::min<ptrdiff_t>(data[0] | data[1] << 8, end - data - 2));
        QByteArray payload(reinterpret_cast<const char*>(data + 2), length);
        data += 2 + length;
        model.take(payload);
        server->uplink_packet(payload, std::nullopt);
    }
    if (server->client)
        server->client->flush();
    QByteArray received;
    turn_until([&] {
        received += peer->received();
        return received.size() >= model.output.size();
    });
    received += peer->received();
    if (received != model.output) {
        fprintf(stderr, "client received %s\nexpected %s\n", received.toHex().constData(),
                model.output.toHex().constData());
        finding("the client did not receive the joined answers");
    }
    if (internal_error_logged())
        finding("an internal error was reached");
    return 0;
}
