// The TCP server of one modem: accepting and replacing clients, the lifetimes of sockets and of
// the server, and the way between the port's framing, the link and the uplink assembler.
#include "tcp/tcp_server.h"

#include "core/cfg.h"
#include "common/err.h"
#include "metrics/metrics.h"
#include "tcp/client_socket_guard.h"
#include "tcp/modbus_site_framing.h"
#include "tcp/modbus_tcp_framing.h"
#include "tcp/pause_framing.h"
#include "tcp/port_log.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QTcpSocket>
#include <QThread>
#include <QTimerEvent>
#include <chrono>

namespace {

template <class Framing>
std::unique_ptr<Client_framing> make(Client_framing::Host& host, quint64 eui, const Device_in_cfg& cfg)
{
    return std::unique_ptr<Client_framing>(new Framing(host, eui, cfg.tcp_port, cfg.max_frame));
}

std::unique_ptr<Client_framing> make_modbus(Client_framing::Host& host, quint64 eui, const Device_in_cfg& cfg)
{
    return std::unique_ptr<Client_framing>(new Modbus_tcp_framing(host, eui, cfg.tcp_port, cfg.max_frame, cfg.cache_ms));
}

// The framing of each client protocol, in the order of Port_protocol.
using Framing_maker = std::unique_ptr<Client_framing> (*)(Client_framing::Host&, quint64, const Device_in_cfg&);
const Framing_maker framing_makers[] = {make<Pause_framing>, make_modbus};
static_assert(sizeof(framing_makers) / sizeof(framing_makers[0]) == port_protocol_count,
              "every client protocol has its framing");

std::unique_ptr<Client_framing> make_framing(Client_framing::Host& host, quint64 eui, const Device_in_cfg& cfg)
{
    return framing_makers[static_cast<int>(cfg.protocol)](host, eui, cfg);
}

}  // namespace

Tcp_server::Tcp_server(Port_link& link, unsigned long eui, const Device_in_cfg& cfg)
    : Tcp_server(link, eui, cfg, [eui, cfg](Client_framing::Host& host) { return make_framing(host, eui, cfg); }, false)
{
}

Tcp_server::Tcp_server(Port_link& link, const Site_routes& routes)
    : Tcp_server(link, 0, Device_in_cfg(Modbus_port_framing::max_request, modbus_site_port, Port_protocol::modbus_tcp),
                 [&routes](Client_framing::Host& host) {
                     return std::unique_ptr<Client_framing>(new Modbus_site_framing(host, modbus_site_port, routes));
                 },
                 true)
{
}

Tcp_server::Tcp_server(Port_link& link, unsigned long eui, const Device_in_cfg& cfg, const Framing_maker& make_framing,
                       bool site)
    : eui(eui),
      max_frame(cfg.max_frame),
      tcp_port(cfg.tcp_port),
      setup(cfg),
      link(link),
      site(site),
      tracer(tcp_port),
      uplink(eui),
      framing(make_framing(*this)),
      takeovers([this](quint64 held, const QString& peers) { return port_log::clients_replaced(tcp_port, held, peers); }),
      turnaways([this](quint64 held, const QString& peers) { return port_log::clients_turned_away(tcp_port, held, peers); })
{
    if (!connect(&server, &Client_gate::client_waiting, this, &Tcp_server::on_new_connection))
        throw Debug(0x0801);
    connect(&server, &Client_gate::connection_refused, this, [this] { metrics::client_refused(this->eui); });
    // Refused like a port the system will not open: it lasts, and is logged once while it does.
    if (!link.count_port())
        throw Listen_error(port_log::cannot_listen(tcp_port, true), QString(), QAbstractSocket::SocketResourceError);
    tracer.event(".listen");
    if (!server.listen(tcp_listen_address, tcp_port)) {
        link.release_port();
        throw Listen_error(
            port_log::cannot_listen(tcp_port, server.serverError() == QAbstractSocket::SocketResourceError),
            server.errorString(), server.serverError());
    }
    if (!site)
        metrics::modem_added(eui, tcp_port);
}

// A port that sent for the site port's masters may keep a frame area without a client of its own.
Tcp_server::~Tcp_server()
{
    Frame::free(frame);
    tracer.event(".shutdown_server_ok");
    link.release_port();
}

// Takes the next pending connection and ties its lifetime to this server; null when none.
QTcpSocket* Tcp_server::accept_next()
{
    for (;;) {
        QTcpSocket* s = server.nextPendingConnection();
        if (!s)
            return nullptr;
        tracer.peer(*s, ".accept");
        if (!connect(s, &QObject::destroyed, this, &Tcp_server::on_connection_destroyed)) {
            log_debug(0x0867);
            delete s;
            continue;
        }
        ++refs;
        if (!connect(s, &QAbstractSocket::disconnected, s, &QObject::deleteLater)) {
            log_debug(0x0804);
            s->deleteLater();
            continue;
        }
        guard_client(*s, tcp_port);
        metrics::client_connected(eui);
        return s;
    }
}

void Tcp_server::drop_socket(QTcpSocket* s)
{
    tracer.peer(*s, ".shutdown");
    close_with_grace(*s);
}

// Publishes the newest client under cfg_mutex; when the port gets its first client or loses its
// last, counts it and raises the notice. The site port is no modem in use.
void Tcp_server::publish_client()
{
    if (site)
        return;
    QTcpSocket* const newest = clients.newest();
    bool notify = false;
    {
        QMutexLocker lock(&cfg_mutex);
        if (!client != !newest) {
            if (newest)
                ++clients_number;
            else
                --clients_number;
            notify = !(ws_flags & WS_CLIENTS_PENDING);
            ws_flags |= WS_CLIENTS_PENDING;
        }
        client = newest;
        metrics::port_clients(eui, static_cast<int>(clients.size()));
        metrics::publish_state();
    }
    if (notify)
        link.notify_clients();
}

// Of connections that came at once, only as many as the port serves are taken, the newest.
void Tcp_server::on_new_connection()
{
    std::vector<QTcpSocket*> fresh;
    while (QTcpSocket* s = accept_next()) {
        fresh.push_back(s);
        if (fresh.size() > static_cast<size_t>(port_protocol_row(setup.protocol).max_clients)) {
            drop_socket(fresh.front());
            fresh.erase(fresh.begin());
        }
    }
    if (fresh.empty()) {
        log_debug(0x0802);
        return;
    }
    for (QTcpSocket* s : fresh)
        take_client(s);
}

// The newest client takes over from the one its framing gives up when the port serves no more:
// the old one's exchange is broken off and its unsent bytes are dropped. When the framing gives
// up none, the newcomer is turned away.
void Tcp_server::take_client(QTcpSocket* s)
{
    end_gone_exchanges();
    if (clients.size() >= static_cast<size_t>(port_protocol_row(setup.protocol).max_clients)) {
        const Client_number displaced = framing->to_displace(clients.numbers());
        if (!displaced) {
            turnaways.event(port_log::client_turned_away(tcp_port, *s, clients.size()),
                            unmapped(s->peerAddress()).toString());
            drop_socket(s);
            return;
        }
        QTcpSocket* const old = clients.socket(displaced);
        takeovers.event(port_log::client_replaced(tcp_port, *s, *old), unmapped(s->peerAddress()).toString());
        end_exchange(displaced);
        drop_socket(old);
    }
    set_up_exchange(s);
    publish_client();
}

// A client that left in the same turn of the loop as the newcomer came is still listed (until its
// socket reads the end, or is deleted): it has left, and nobody takes over from it.
void Tcp_server::end_gone_exchanges()
{
    for (const Client_number number : clients.numbers()) {
        if (!client_has_left(*clients.socket(number)))
            continue;
        end_exchange(number);
        tracer.event(".disconnected");
    }
}

void Tcp_server::set_up_exchange(QTcpSocket* s)
{
    try {
        if (!connect(s, &QIODevice::readyRead, this, &Tcp_server::on_ready_read))
            throw Debug(0x0803);
        if (!frame)
            frame = Frame::alloc(max_frame + 1, *this, eui);
        framing->begin(clients.add(s), *s);
        return;
    } catch (const std::exception& e) {
        log_exception(e, port_log::connect_exception());
    } catch (...) {
        log_debug(0x0805);
    }
    if (const Client_number number = clients.number(s))
        end_exchange(number);
    drop_socket(s);
}

// Ends the client's exchange on this side; the framing keeps what it owes. Its frames not yet
// sent are dropped, as nobody is left to hear their answers, unless the framing owes them.
// Without clients, no frame is being filled.
void Tcp_server::end_exchange(Client_number number)
{
    clients.remove(number);
    const int unsent = framing->frames_outlive_client() ? 0 : link.take_back(*this);
    framing->client_left(number, unsent);
    if (clients.empty()) {
        Frame::free(frame);
        frame = nullptr;
    }
}

void Tcp_server::on_connection_destroyed(QObject* o)
{
    if (const Client_number number = clients.number(o)) {
        end_exchange(number);
        tracer.event(".disconnected");
        publish_client();
    } else if (o == client) {
        // Dropped when the server was retired.
        tracer.event(".shutdown_ok");
        publish_client();
    } else if (o->parent() != &server) {
        // Only accepted sockets, children of the listening socket, are connected here; the
        // type of a dying object can no longer be told, its parent still can.
        log_debug(0x0834);
        return;
    } else {
        tracer.event(".shutdown_ok");
    }
    if (refs == 1)
        deleteLater();
    else
        --refs;
}

void Tcp_server::drop_client(Client_number number)
{
    Q_ASSERT(QThread::currentThread() == thread());
    QTcpSocket* const s = clients.socket(number);
    if (!s)
        return;
    end_exchange(number);
    drop_socket(s);
    publish_client();
}

// Publishing the change is the caller's.
void Tcp_server::end_all_exchanges()
{
    while (!clients.empty()) {
        const Port_clients::Client oldest = clients.oldest();
        end_exchange(oldest.number);
        drop_socket(oldest.socket);
    }
}

void Tcp_server::drop_all_clients()
{
    end_all_exchanges();
    publish_client();
}

// The port keeps its newest client published until that socket is gone.
void Tcp_server::retire()
{
    Q_ASSERT(QThread::currentThread() == thread());
    tracer.event(".shutdown_server");
    if (!site)
        metrics::modem_removed(eui);
    server.close();
    end_all_exchanges();
    framing->retire();
    // Frames the framing still owes answers to must no longer call back a retired server.
    link.anonymize(*this);
    if (refs == 1) {
        delete this;
        return;
    }
    --refs;
}

void Tcp_server::frame_accepted()
{
    Q_ASSERT(QThread::currentThread() == thread());
    framing->frame_accepted();
}

void Tcp_server::frame_refused()
{
    Q_ASSERT(QThread::currentThread() == thread());
    framing->frame_refused();
}

void Tcp_server::timerEvent(QTimerEvent* e)
{
    const int id = e->timerId();
    killTimer(id);
    if (id != timer_id)
        return;
    timer_id = 0;
    framing->timer_expired();
}

void Tcp_server::kill_timer()
{
    if (timer_id) {
        killTimer(timer_id);
        timer_id = 0;
    }
}

void Tcp_server::start_timer(int interval, Qt::TimerType type)
{
    kill_timer();
    timer_id = startTimer(interval, type);
    if (!timer_id)
        log_debug(0x0807);
}

void Tcp_server::on_ready_read()
{
    QObject* from = sender();
    if (const Client_number number = clients.number(from)) {
        framing->read(number, *clients.socket(number));
        return;
    }
    if (QTcpSocket* replaced = qobject_cast<QTcpSocket*>(from))
        tracer.peer(*replaced, ".recv ignored");
    else
        log_debug(0x083F);
}

// The framing asks from within the handling of an event (the server's verdict on a frame, an
// answer, a timer): its next request starts from a later turn of the loop, once that handling is done.
void Tcp_server::read_on()
{
    if (read_on_pending)
        return;
    read_on_pending = true;
    QMetaObject::invokeMethod(this, &Tcp_server::read_all, Qt::QueuedConnection);
}

// Reading may drop clients, so each is looked up again.
void Tcp_server::read_all()
{
    read_on_pending = false;
    for (const Client_number number : clients.numbers())
        if (QTcpSocket* s = clients.socket(number))
            framing->read(number, *s);
    framing->read_all_done();
}

void Tcp_server::read_failed(Client_number from, qint64 result)
{
    if (QTcpSocket* s = clients.socket(from))
        port_log::read_error(*s, result);
    metrics::client_error(eui, metrics::Client_error::read);
    drop_client(from);
}

// A Modbus modem's line may send for the site port's masters while its own port has no client.
unsigned char* Tcp_server::frame_area()
{
    if (!frame)
        frame = Frame::alloc(max_frame + 1, *this, eui);
    return frame->data();
}

// The client sends faster than its modem is served: the frames it has queued stay intact, the
// rest of what it sends is refused with the client.
void Tcp_server::queue_overflow()
{
    port_log::queue_overflow(tcp_port, max_queued_per_port);
    metrics::client_error(eui, metrics::Client_error::overflow);
    drop_all_clients();
}

bool Tcp_server::post_frame(size_t size)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (!link.has_room(*this)) {
        queue_overflow();
        return false;
    }
    Frame* done = frame;
    done->size = size;
    // From here the frame is the link's: nothing of it may stay behind.
    frame = nullptr;
    link.post_frame(*done);
    try {
        frame = Frame::alloc(max_frame + 1, *this, eui);
    } catch (...) {
        drop_all_clients();
        throw;
    }
    return true;
}

void Tcp_server::uplink_packet(QByteArray& data, std::optional<quint32> fcnt)
{
    Q_ASSERT(QThread::currentThread() == thread());
    metrics::uplink_received(eui, static_cast<size_t>(data.size()));
    const bool strict = framing->strict_uplink();
    switch (uplink.take(data, strict ? fcnt : std::nullopt)) {
    case Uplink_assembler::incomplete:
        return;
    case Uplink_assembler::complete:
        framing->answer_received(uplink.take_answer());
        return;
    case Uplink_assembler::ignored:
        if (!uplink.error().isEmpty())
            log(uplink.error());
        return;
    case Uplink_assembler::broken:
        packet_error();
        return;
    case Uplink_assembler::repeated:
        if (trace_tcp)
            port_log::repeated_packet(tcp_port, *fcnt);
        return;
    }
}

// A client that leaves more than a few of the port's largest answers unread is dropped, so that
// its answers do not pile up in memory.
void Tcp_server::write_to_client(Client_number to, const QByteArray& bytes)
{
    QTcpSocket* const socket = clients.socket(to);
    if (!socket)
        return;
    QTcpSocket& s = *socket;
    tracer.data(".send ", reinterpret_cast<const unsigned char*>(bytes.constData()),
               static_cast<size_t>(bytes.size()));
    s.write(bytes);
    s.flush();  // handed to the kernel now rather than at the loop's next turn
    const qint64 limit = unsent_answers_limit * port_protocol_row(setup.protocol).max_answer;
    if (s.bytesToWrite() <= limit)
        return;
    port_log::unread(tcp_port, limit);
    metrics::client_error(eui, metrics::Client_error::overflow);
    drop_client(to);
}

void Tcp_server::write_answer(Client_number to, const QByteArray& bytes)
{
    if (!clients.socket(to))
        return;
    write_to_client(to, bytes);
    metrics::answer_to_client(eui);
}

void Tcp_server::packet_error()
{
    log(uplink.error());
    metrics::client_error(eui, metrics::Client_error::packet);
    framing->answer_broken(uplink.joined_before());
}

qint64 Tcp_server::now_ms() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Tcp_server::restart_uplink()
{
    uplink.restart();
}

