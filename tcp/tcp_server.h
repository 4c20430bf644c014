// The TCP server of one modem: listening, the clients the port's framing serves at once and
// their replacement, the lifetimes of sockets and of the server itself; the clients' bytes and
// the modem's answers go through the port's framing. It is the link's Link_port and holds the
// link as its Port_link.
#pragma once

#include "common/err.h"
#include "core/shared.h"
#include "common/repeated_log.h"
#include "link/link_port.h"
#include "tcp/client_gate.h"
#include "tcp/client_framing.h"
#include "tcp/frame.h"
#include "tcp/port_clients.h"
#include "tcp/port_link.h"
#include "tcp/tcp_trace.h"
#include "tcp/uplink_assembler.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;
class Site_routes;

// The system refused to listen on a modem's port; the reason is the system's own words. Not logged
// when made: the refusal lasts while the port is tried again, and its catcher logs it once.
class Listen_error : public Err {
public:
    Listen_error(const QString& message, const QString& reason, QAbstractSocket::SocketError error)
        : Err(message, Unlogged()), reason(reason), error(error)
    {
    }
    const QString reason;
    const QAbstractSocket::SocketError error;
};

class Tcp_server : public QObject, public Link_port, private Client_framing::Host {
    Q_OBJECT
public:
    using Client_number = Client_framing::Client_number;

    // Listens on the modem's port (on tcp_listen_address); throws Listen_error when the system
    // refuses, Err or Debug on other failures.
    Tcp_server(Port_link& link, unsigned long eui, const Device_in_cfg& cfg);
    // The site port (modbus_site_port): Modbus TCP for every modem the routes reach. It serves no
    // modem of its own, so the link never posts its frames nor hands it uplinks.
    Tcp_server(Port_link& link, const Site_routes& routes);
    ~Tcp_server() override;

    // Link_port
    // The caller must not use the server after retire().
    void retire() override;
    void frame_accepted() override;
    void frame_refused() override;
    void uplink_packet(QByteArray& data, std::optional<quint32> fcnt) override;

    const quint64 eui;
    const size_t max_frame;
    const quint16 tcp_port;
    // The modem's settings the port was opened with.
    const Device_in_cfg setup;
    // The line of the modem's Modbus requests; null unless its clients speak Modbus TCP.
    Modbus_line* modbus_line() { return framing->modbus_line(); }
    // The newest client, or null when the port has none; written under cfg_mutex.
    QTcpSocket* client = nullptr;

protected:
    void timerEvent(QTimerEvent* e) override;

private slots:
    void on_new_connection();
    void on_ready_read();
    void on_connection_destroyed(QObject* o);

private:
    using Framing_maker = std::function<std::unique_ptr<Client_framing>(Client_framing::Host&)>;
    Tcp_server(Port_link& link, unsigned long eui, const Device_in_cfg& cfg, const Framing_maker& make_framing,
               bool site);
    QTcpSocket* accept_next();
    void drop_socket(QTcpSocket* s);
    void publish_client();
    void take_client(QTcpSocket* s);
    void end_gone_exchanges();
    void set_up_exchange(QTcpSocket* s);
    void end_exchange(Client_number number);
    void end_all_exchanges();
    void drop_all_clients();
    void packet_error();
    void queue_overflow();
    void read_all();

    // Client_framing::Host
    unsigned char* frame_area() override;
    bool post_frame(size_t size) override;
    void write_to_client(Client_number to, const QByteArray& bytes) override;
    void write_answer(Client_number to, const QByteArray& bytes) override;
    void read_on() override;
    void restart_uplink() override;
    void start_timer(int interval, Qt::TimerType type) override;
    void kill_timer() override;
    void read_failed(Client_number from, qint64 result) override;
    void drop_client(Client_number number) override;
    qint64 now_ms() const override;

    Port_link& link;
    // The site port: no modem's series in the metrics, no modem in use in the window.
    const bool site;
    size_t refs = 1;
    Client_gate server;
    const Tcp_trace tracer;
    // The frame being filled; its data area is the framing's.
    Frame* frame = nullptr;
    Uplink_assembler uplink;
    // Those whose exchange has been set up.
    Port_clients clients;
    int timer_id = 0;
    // read_all is on its way.
    bool read_on_pending = false;
    const std::unique_ptr<Client_framing> framing;
    Repeated_log takeovers;
    Repeated_log turnaways;
};
