// The status page on the metrics port: the link, the main window's three counters and every modem
// to serve with its state, built as HTML from a plain copy of what a scrape reads.
#pragma once

#include "core/link_state.h"
#include "core/modem_state.h"
#include "core/port_protocols.h"

#include <QByteArray>
#include <QString>
#include <vector>

struct Page_modem {
    quint64 eui = 0;
    // The server's name of the modem, as an operator typed it; empty when the server has none.
    QString name;
    quint16 port = 0;
    Port_protocol protocol = default_port_protocol;
    Modem_status status{Modem_state::link_down, QString()};
    // Clients on its port now.
    int clients = 0;
    double answers = 0;
    double errors = 0;
    // When its last uplink came, in seconds since the epoch; 0 when none came.
    double last_answer_s = 0;
};

struct Page_view {
    Link_state link = Link_state::offline;
    // When the link came to its state, in seconds since the epoch.
    qint64 link_since_s = 0;
    qint64 now_s = 0;
    // Modems to serve, of them available, of them in use.
    double counts[3] = {0, 0, 0};
    // Every modem to serve, in EUI order.
    std::vector<Page_modem> modems;
};

// How often the page asks the browser to load it again.
const int status_page_refresh_s = 5;

// The page, UTF-8, in the program's language.
QByteArray status_page(const Page_view& view);
