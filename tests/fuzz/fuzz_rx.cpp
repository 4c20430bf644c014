// libFuzzer target: any uplink payloads handed to the TCP server of a modem once the server has accepted
// its client's message. Nothing may crash, and the client must receive exactly what the packet rules make
// of the payloads: whole answers joined in order, nothing of a broken one.
// Input: payloads, each a 16-bit little-endian length followed by that many bytes.
#include "core/shared.h"
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

// The packet rules as the modem's documentation states them, kept apart from the program's code.
class Uplink_model {
public:
    void take(const QByteArray& payload)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(payload.constData());
        if (!confirmed || payload.isEmpty() || p[0] != 3)
            return;
        const bool bad = payload.size() < 6 || p[3] != payload.size() - 6 || p[4] != count ||
                         (count && (total(p) != total_size || p[5] != packets));
        if (bad) {
            // Once a packet has been accepted in this exchange, a bad one costs the client its connection.
            if (uplink)
                confirmed = false;
            count = 0;
            data.clear();
            return;
        }
        if (count == 0) {
            total_size = total(p);
            packets = p[5];
            uplink = true;
            data.clear();
        }
        data += payload.mid(6);
        if (++count < packets)
            return;
        output += data;
        count = 0;
        data.clear();
    }

    QByteArray output;

private:
    static quint16 total(const unsigned char* p) { return static_cast<quint16>(p[1] | p[2] << 8); }

    bool confirmed = true;
    bool uplink = false;
    quint8 count = 0;
    quint8 packets = 0;
    quint16 total_size = 0;
    QByteArray data;
};

QThread not_started;
Ws_connection* connection;
Tcp_server* server;
quint16 port;
std::unique_ptr<Peer> peer;

// A new client for every input: the old one goes first, so that nothing of its exchange is left over.
bool new_client()
{
    peer.reset();
    if (!turn_until([] { return !server->client; }))
        finding("the server kept a client that had gone");
    peer.reset(new Peer);
    if (!peer->connect_to(port) || !turn_until([] { return server->client; }))
        return false;
    server->frame_accepted();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    init(argc, argv);
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    port = probe.serverPort();
    probe.close();
    connection = new Ws_connection(not_started);
    server = new Tcp_server(*connection, modem_eui, Device_in_cfg{64, port});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    clear_log();
    if (!new_client())
        return 0;
    Uplink_model model;
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
