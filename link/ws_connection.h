// The link with the RUVO-LoRa server over one WebSocket: connection lifecycle, the command
// queue, the device list with the reconciliation of TCP servers, and unsolicited messages.
#pragma once

#include "link/fair_queue.h"
#include "link/query.h"
#include "link/ws_batch.h"

#include <QAbstractSocket>
#include <QBasicTimer>
#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QThread>
#include <QWebSocket>
#include <optional>
#include <vector>

class QWidget;
class Tcp_server;
struct Device_in_cfg;
class Ws_connection;
class Ws_parser;
struct Ws_common_fields;

// Thrown only by the link when the program is already ending before the link was built.
class The_end {};

class Ws_connection : public QObject {
    Q_OBJECT
public:
    // Bits of flags.
    enum : unsigned char {
        connecting = 0x01,
        connected = 0x02,
        devlist_requested = 0x04,
        disconnect_expected = 0x08,
        error_expected = 0x10,
        reconnect_wait = 0x20,
        shutting_down = 0x40,
        flush_pending = 0x80,  // the socket is to be flushed before the loop waits
    };

    explicit Ws_connection(QThread& thread);
    ~Ws_connection() override;

    void start();
    void send(const QString& text);
    // Sends text; the trace shows traced instead, so that secrets stay out of the log.
    void send(const QString& text, const QString& traced);
    void crash(const QString& text);

    void post(Query& q);
    // True while the server s may queue one more frame.
    bool has_room(const Tcp_server& s) const;
    int cancel_queries(Tcp_server* s);
    // The frames of the server s are still sent, their answers to nobody.
    void anonymize_queries(Tcp_server* s);

    static void send_devlist_req(Query* q, Ws_connection& connection);
    static void not_send_devlist_req(Query* q);
    static void send_sdata(Query* q, Ws_connection& connection);
    static void not_send_sdata(Query* q);

    // The one live connection, null when none; guarded by cfg_mutex.
    static Ws_connection* instance;

    // The main window as far as the link needs it, set and cleared by the window; guarded by
    // cfg_mutex. A new connection calls attach so that the window hears of its changes and can ask
    // it to shut down; the fatal-error box appears over widget.
    struct Window {
        QWidget* widget = nullptr;
        void (*attach)(Ws_connection& connection) = nullptr;
    };
    static Window window;

    // Objects that must finish before the exchange thread may end: the connection itself and
    // every listening Tcp_server. Changed only in the exchange thread.
    quint64 live_count = 1;
    QThread& thread;
    unsigned char flags = 0;

signals:
    void servers_changed();
    void clients_changed();

public slots:
    void update_servers();
    void on_shutdown();

private slots:
    void on_connected();
    void on_disconnected();
    void on_binary_message(const QByteArray& message);
    void on_text_message(const QString& message);
    void on_error(QAbstractSocket::SocketError e);
    void on_dispatcher_about_to_block();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    typedef void (Ws_connection::*Handler)(Ws_parser& p);

    // What a port is told once the link has finished with the server's message that brought it.
    struct Port_event {
        enum Kind : unsigned char { accepted, refused, uplink };
        Tcp_server* port;
        Kind kind;
        QByteArray data;
        std::optional<quint32> fcnt;
    };

    // Starts the wait for what the link awaits now, replacing any wait before it; a timer that
    // cannot be made is fatal (crash with the code's text).
    bool start_wait(int interval, unsigned short code);
    // The command in flight is answered: its wait ends with it. Returns the command.
    Query* end_command();
    // Hands the events of the message just handled to their ports.
    void hand_to_ports();
    // The port s is going: neither its queries nor the events of the message being handled
    // may reach it.
    void forget_port(const Tcp_server* s);
    // Gives up one share of live_count; the last one ends the exchange thread's event loop.
    void release_live();
    // With cfg_mutex held: marks the link offline in ws_flags; returns ws_flags as they were.
    static unsigned char mark_offline();
    // Emits servers_changed unless a notice was already pending in these ws_flags.
    void notify_servers(unsigned char old_ws_flags);
    // The name of the command whose answer the handler awaits, with its timeout; null when none is awaited.
    const QString* awaited_command(int* timeout) const;
    void on_wait_timer();
    // A connection attempt ended by disconnected: logged with the socket's error when it has one.
    void log_connect_failure();
    // The link was lost while connected: before the login was accepted there is nothing to tear down.
    void end_after_loss();
    void send_login();
    // Reads every field of the current object into f.
    static void read_fields(Ws_parser& p, Ws_common_fields& f);

    void switch_to_offline();
    void rupture();
    void not_connected();
    void after_rupture();
    void next();
    // Makes q the command in flight (alone, until its send operation gathers a batch) and sends it.
    void send_current(Query* q);
    void drop_after_bad_message();
    // Handles one text message of the server; false when it cannot be handled (logged).
    bool read_message(const QString& message);

    void unexpected_message(Ws_parser& p);
    void auth_answer(Ws_parser& p);
    void devlist_answer(Ws_parser& p);
    void sdata_answer(Ws_parser& p);
    void unsolicited_message(Ws_parser& p);
    void unsolicited(Ws_common_fields& f, Ws_parser& p);
    Batch_status parse_append_status(Ws_parser& p);
    void servers_update(bool after_list);

    typedef QMap<unsigned long, Tcp_server*> Server_map;
    // With cfg_mutex held: brings tcp_servers in line with the two device tables; true when changed.
    bool reconcile_servers();
    // Shuts down every server no longer wanted or whose setup changed; a changed one leaves a
    // null in its place for open_servers. True when any was shut down.
    bool retire_servers();
    // Opens a server for every wanted EUI that has none or a null; true when any was made.
    bool open_servers();
    // A server for a wanted EUI that has none; s is then past it. True when one was made.
    bool create_server(Server_map::iterator& s, unsigned long eui, const Device_in_cfg& cfg);
    bool reopen_server(Server_map::iterator& s, const Device_in_cfg& cfg);

    QWebSocket socket;
    Fair_queue queue;
    Query* current = nullptr;
    Query devlist_query;
    Handler handler;
    QBasicTimer devlist_timer;
    // The wait for the connection, for the answer to the command in flight, or before the next
    // attempt: one at a time.
    QBasicTimer wait;
    std::vector<Port_event> port_events;
};
