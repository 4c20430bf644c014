// The TCP server of one modem: one client at a time, the client's bytes cut into frames by
// pauses (or taken as Modbus TCP requests), and the modem's uplink packets joined and written
// back to the client.
#pragma once

#include "core/shared.h"
#include "link/ws_connection.h"
#include "tcp/client_gate.h"
#include "tcp/modbus_tcp_framing.h"

#include <QByteArray>
#include <QObject>
#include <cstddef>
#include <memory>

class QTcpSocket;

// One client message on its way to the modem: a queue record followed by its data area
// (max_frame + 1 bytes), in one allocation.
struct Frame : Query {
    quint64 eui;
    unsigned char* data_end;
    size_t size;

    unsigned char* data() { return reinterpret_cast<unsigned char*>(this + 1); }

    // Allocates without throwing; a failure becomes an Err.
    static Frame* alloc(size_t size, Tcp_server& server);
    // A null frame is allowed.
    static void free(Frame* frame);
};

class Tcp_server : public QObject {
    Q_OBJECT
public:
    // Bits of flags.
    enum : unsigned char {
        exchange = 0x01,   // a client has been fully set up
        confirmed = 0x02,  // the server accepted a frame of this client: uplink is delivered
        uplink = 0x04,     // an uplink packet has been accepted during this exchange
    };

    // Listens on the modem's port (on tcp_listen_address); throws Err or Debug when it cannot.
    Tcp_server(Ws_connection& connection, unsigned long eui, const Device_in_cfg& cfg);
    ~Tcp_server() override;

    // Retires the server; the caller must not use it afterwards. Called with cfg_mutex held.
    void shutdown_server();
    void shutdown_connection();
    void success();
    void frame_received();
    void rx_received(QByteArray& data);

    Ws_connection& connection;
    const quint64 eui;
    const size_t max_frame;
    const quint16 tcp_port;
    const Port_protocol protocol;
    // The current client, or null; written under cfg_mutex.
    QTcpSocket* client = nullptr;

protected:
    void timerEvent(QTimerEvent* e) override;

private slots:
    void on_new_connection();
    void on_accept_error(QAbstractSocket::SocketError e);
    void on_ready_read();
    void on_connection_destroyed(QObject* o);

private:
    typedef void (Tcp_server::*Timer_action)();

    QTcpSocket* accept_next();
    void drop_socket(QTcpSocket* s);
    void set_client(QTcpSocket* s);
    void replace_client(QTcpSocket* old);
    void set_up_exchange(QTcpSocket* s);
    void client_gone();
    void end_exchange();
    void start_timer(int interval, Timer_action action);
    void restart_timer();
    void kill_timer();
    void read_failed(qint64 result);
    void overflow(const unsigned char* data, size_t size);
    void write_to_client(const QByteArray& bytes);
    void modbus_read();
    void modbus_send_next();
    void modbus_answered();
    void modbus_timed_out();
    bool rx_packet_fits(const QByteArray& data);
    void rx_error();
    void trace(const char* event) const;
    void trace_peer(QTcpSocket* s, const char* event) const;
    void trace_data(const char* event, const unsigned char* data, size_t size) const;

    size_t refs = 1;
    Client_gate server;
    Frame* frame = nullptr;
    unsigned char* frame_pos = nullptr;
    QByteArray rx_data;
    quint8 rx_count = 0;
    quint8 rx_packets = 0;
    quint16 rx_size = 0;
    unsigned char flags = 0;
    int timer_id = 0;
    Timer_action timer_action = nullptr;
    // The Modbus TCP framing of a modbus_tcp port; null on a raw port.
    const std::unique_ptr<Modbus_tcp_framing> modbus;
};
