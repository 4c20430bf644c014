// The one state of a modem to serve, with its reason, as the device list and the metrics show it:
// decided in one place from what the link and the tables already know.
#pragma once

#include "core/link_state.h"
#include "core/shared.h"

#include <QString>
#include <QVector>
#include <optional>

// In the order of the metric's values (ruvo_bridge_modem_state).
enum class Modem_state : unsigned char {
    served,            // its port is open
    waiting_for_list,  // the link is starting: the server's list is not in yet
    not_known,         // the server does not list it
    port_failed,       // the system refused its port
    link_down,         // no link with the server
    no_port,           // configured with port 0: never served
};
const int modem_state_count = 6;

// What the program knows of one modem, copied from the tables (plain values).
struct Modem_facts {
    Link_state link = Link_state::offline;
    bool has_port = true;
    bool listed = false;
    bool port_open = false;
    std::optional<Port_failure> failure;
};

struct Modem_status {
    Modem_state state;
    // Why it is not served, in the program's language; empty when the state says it all.
    QString reason;
};

Modem_status modem_status(const Modem_facts& facts);
// The state's word in the program's language.
const QString& modem_state_word(Modem_state state);
// The state's name in the metrics: served, waiting_for_list...
const char* modem_state_name(Modem_state state);
// The reason, a whole sentence that names the state, or else the state's word.
QString modem_status_text(const Modem_status& status);
// Why the system refused to listen: the program's own text for the errors it knows (error is a
// QAbstractSocket::SocketError), the system's text for the others.
QString listen_refusal_reason(int error, const QString& system_text);
// The system's reason for a refused port: the program's own text for the errors it knows,
// the system's text for the others.
QString port_failure_reason(const Port_failure& failure);

// Needs cfg_mutex held: the status of every modem of devices_in_cfg, in its order.
QVector<Modem_status> read_modem_statuses();
