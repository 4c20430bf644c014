// The daemon's view of the link: takes in the link's notices as the main window would, with
// nothing to show, so that the notices keep coming and the service manager's status follows.
#pragma once

#include "app/link_view.h"

class Ws_connection;

class Link_watch : public Link_view {
    Q_OBJECT
public:
    // Joins the link that starts from now on; only one watch or main window may exist at a time.
    Link_watch();
    ~Link_watch() override;

    // Connects a link's notices to the watch; called by the link under cfg_mutex.
    void attach(Ws_connection& connection);

private slots:
    void on_link_servers_changed();
    void on_link_clients_changed();
};
