// The link with the RUVO-LoRa server over one WebSocket: connection lifecycle, the command
// queue, the device list with the reconciliation of TCP servers, and unsolicited messages.
#pragma once

#include "common/repeated_log.h"
#include "link/fair_queue.h"
#include "link/link_port.h"
#include "link/query.h"
#include "link/ws_batch.h"
#include "tcp/port_link.h"
#include "tcp/site_routes.h"

#include <QAbstractSocket>
#include <QBasicTimer>
#include <QByteArray>
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
// Thrown by the login's answer when the server refused the login: a failed try, no fault of the
// message.
struct Login_refused {
    QString text;
};

// The link's ports are Tcp_servers: they are made and reconciled in ws_devlist.cpp, the one place
// that knows them as such; everywhere else the link holds them as Link_ports, and they hold the
// link as their Port_link.
class Ws_connection : public QObject, public Port_link {
    Q_OBJECT
public:
    // Where the connection is; one at a time.
    enum class State : unsigned char {
        idle,            // not started, given up, or shut down
        connecting,      // the socket is opening
        awaiting_login,  // connected, the login not yet accepted
        online,          // connected and logged in
        reconnect_wait,  // the next attempt waits for ws_reconnect_delay
    };
    // Bits of flags, independent of the state and of each other.
    enum : unsigned char {
        devlist_requested = 0x01,    // a device-list request is queued or awaited
        disconnect_expected = 0x02,  // a late disconnected of an ended attempt is no fault
        error_expected = 0x04,       // nor is a late error
        shutting_down = 0x08,        // no new attempt: the link finishes
        flush_pending = 0x10,        // the socket is to be flushed before the loop waits
        login_refused = 0x20,        // the last login was refused: the next connection is no news
    };

    explicit Ws_connection(QThread& thread);
    ~Ws_connection() override;

    void start();
    void send(const QString& text);
    // Sends text; the trace shows traced instead, so that secrets stay out of the log.
    void send(const QString& text, const QString& traced);
    void crash(const QString& text);
    // The socket is open: awaiting the login's answer or online.
    bool connected() const { return state == State::awaiting_login || state == State::online; }

    // Sends q now when no command is in flight, else queues it in its turn.
    void post(Query& q);

    // Port_link
    void post_frame(Frame& frame) override;
    bool has_room(const Link_port& port) const override;
    int take_back(const Link_port& port) override;
    void anonymize(const Link_port& port) override;
    bool count_port() override;
    void release_port() override;
    void notify_clients() override;

    // How a queued record is sent or given up: the link's device-list request and a data command.
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
    // Exchange thread only; open to the tests and the fuzz targets.
    State state = State::idle;
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
        Link_port* port;
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
    // The port is going: neither its queries nor the events of the message being handled
    // may reach it.
    void forget_port(const Link_port& port);
    // Gives up the link's own share of live_count; the last one ends the exchange thread's event loop.
    void release_live();
    // The socket's state has ended with an error, a disconnection or a timeout: the link is
    // idle unless it was waiting to reconnect. Returns the state it was in.
    State leave_socket_state();
    // With cfg_mutex held: marks the link offline in ws_flags; returns ws_flags as they were.
    static unsigned char mark_offline();
    // Emits servers_changed unless a notice was already pending in these ws_flags.
    void notify_servers(unsigned char old_ws_flags);
    // The name of the command whose answer the handler awaits, with its timeout; null when none is awaited.
    const QString* awaited_command(int* timeout) const;
    void on_wait_timer();
    // A connection attempt ended by disconnected: logged with the socket's error when it has one.
    void log_connect_failure();
    // One failed try of the link, in the log or in the minute's summary.
    void log_failed_try(const QString& text);
    // The link was lost while connected (in state old): before the login was accepted there is
    // nothing to tear down.
    void end_after_loss(State old);
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
    // Brings tcp_servers in line with the two device tables: the ports no longer wanted or whose
    // setup changed are taken out under cfg_mutex and retired after it, the missing ones opened
    // without it and published under it again, so that no socket is closed or opened under the
    // lock. Every port given up is closed before any is opened, so that two modems may trade
    // their ports in one change.
    void servers_update(bool after_list);

    // The site port, opened once modbus_site_port is set and kept while the link lives, and its
    // routes to the modems' lines, rebuilt from tcp_servers.
    void update_site();
    void retire_site();

    // The port of the modem eui, null when it has none.
    static Link_port* port_of(quint64 eui);
    // With cfg_mutex held: takes every port out of tcp_servers, to be retired once the lock is let go.
    static std::vector<Link_port*> take_all_ports();


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
    Site_routes site_routes;
    Link_port* site_port = nullptr;
    // Why the site port could not be opened the last time, so that a lasting reason is logged once.
    QString site_failure;
    // The failed tries of the link (a refused connection, a refused login): one entry a try,
    // summed up within a minute.
    Repeated_log failed_tries;
    // The modems whose port the system refused at the last reconciliation, so that the refusal is
    // logged once and summed up hourly while it lasts.
    QHash<unsigned long, Lasting_fault> port_faults;
};
