// libFuzzer target: any text from the RUVO-LoRa server, in every state the link can be in when a message
// arrives. A bad message must drop the link, never crash it or reach an internal error, and the link must
// still shut down completely afterwards with no client counted and nothing left behind.
// Input: the first byte chooses the state; the rest is one or more messages separated by bytes 0xFF,
// which UTF-8 text never holds.
#include "core/shared.h"
#include "link/ws_connection.h"
#include "tcp/tcp_server.h"
#include "tests/fuzz/fuzz_link.h"

#include <QMetaObject>
#include <QTcpServer>
#include <QThread>
#include <cstring>
#include <memory>

namespace {

using namespace fuzz_link;

// Configured and in the server's list; configured only; known to the server only.
const unsigned long served_eui = 0x0102030405060701UL;
const unsigned long spare_eui = 0x0102030405060702UL;
const char auth_accepted[] = R"({"cmd":"auth_resp","status":true})";
const char devlist_accepted[] =
    R"({"cmd":"get_device_appdata_resp","status":true,"devices_list":[{"devEui":"0102030405060701",)"
    R"("devName":"served"},{"devEui":"0102030405060703"}]})";
const char client_bytes[] = "\x01\x03\x00\x00\x00\x0A\xC5\xCD";
const int max_messages = 16;

enum State {
    login_wait,
    devlist_wait,
    data_wait_anonymous,  // the client of the frame has gone
    data_wait_client,
    idle,
    idle_confirmed,       // a client whose frame the server accepted: uplink reaches it
    state_count
};

bool has_client(State s)
{
    return s == data_wait_client || s == idle_confirmed;
}

quint16 served_port;
QThread not_started;

void deliver(Ws_connection& c, const QString& text)
{
    if (!QMetaObject::invokeMethod(&c, "on_text_message", Qt::DirectConnection, Q_ARG(QString, text)))
        finding("the link has no slot on_text_message");
}

void deliver(Ws_connection& c, const char* text)
{
    deliver(c, QString::fromUtf8(text));
}

void invoke(Ws_connection& c, const char* slot)
{
    if (!QMetaObject::invokeMethod(&c, slot, Qt::DirectConnection))
        finding(slot);
}

Tcp_server* served_server()
{
    return tcp_servers.value(served_eui, nullptr);
}

// One client message queued to the modem, as the TCP server posts it after a pause.
void post_frame(Ws_connection& c, bool anonymous)
{
    Tcp_server* server = served_server();
    Frame* frame = Frame::alloc(server->max_frame + 1, *server, served_eui);
    frame->size = sizeof client_bytes - 1;
    memcpy(frame->data(), client_bytes, frame->size);
    if (anonymous)
        frame->requester = nullptr;
    c.post_frame(*frame);
}

// Brings a fresh link to the state by the messages a good server sends; false when it cannot.
bool reach(Ws_connection& c, State s, Peer& peer)
{
    c.state = Ws_connection::State::connecting;
    invoke(c, "on_connected");
    if (s == login_wait)
        return true;
    deliver(c, auth_accepted);
    if (!(c.flags & Ws_connection::devlist_requested))
        finding("the accepted login did not ask for the device list");
    if (s == devlist_wait)
        return true;
    deliver(c, devlist_accepted);
    Tcp_server* server = served_server();
    if (!server || (c.flags & Ws_connection::devlist_requested))
        finding("the accepted device list did not open the served modem's port");
    if (has_client(s) && !(peer.connect_to(served_port) && turn_until([server] { return server->client; })))
        return false;
    if (s == data_wait_anonymous || s == data_wait_client)
        post_frame(c, s == data_wait_anonymous);
    if (s == idle_confirmed)
        server->frame_accepted();
    return true;
}

// The order of the exchange thread's end: the socket closes, every TCP server retires, and the last
// one to go lets the thread's loop end.
void shut_down(Ws_connection& c, Peer& peer)
{
    invoke(c, "on_shutdown");
    if (c.connected())
        invoke(c, "on_disconnected");
    peer.reset();
    if (!turn_until([&c] { return c.live_count == 0; }))
        finding("the link did not finish after its shutdown");
}

void run(State s, const uint8_t* data, size_t size)
{
    std::unique_ptr<Ws_connection> c(new Ws_connection(not_started));
    Peer peer;
    if (!reach(*c, s, peer)) {
        shut_down(*c, peer);
        return;
    }
    const uint8_t* end = data + size;
    for (int n = 0; n < max_messages && c->connected(); ++n) {
        const uint8_t* stop = static_cast<const uint8_t*>(memchr(data, 0xFF, static_cast<size_t>(end - data)));
        if (!stop)
            stop = end;
        deliver(*c, QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(stop - data)));
        if (stop == end)
            break;
        data = stop + 1;
    }
    if (internal_error_logged())
        finding("an internal error was reached");
    shut_down(*c, peer);
    c.reset();
    QMutexLocker lock(&cfg_mutex);
    if (!tcp_servers.isEmpty() || clients_number != 0 || Ws_connection::instance)
        finding("the shut link left a TCP server, a counted client or itself behind");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    init(argc, argv);
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    served_port = probe.serverPort();
    devices_in_cfg.insert(served_eui, Device_in_cfg{64, served_port});
    devices_in_cfg.insert(spare_eui, Device_in_cfg{8, 0});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    clear_log();
    ws_flags = 0;
    run(static_cast<State>(data[0] % state_count), data + 1, size - 1);
    return 0;
}
