// The daemon's view of the link: each notice clears its pending flag, so that the next change
// sends a notice again, and is passed on as state_shown.
#include "app/link_watch.h"

#include "core/shared.h"
#include "common/err.h"
#include "link/ws_connection.h"

#include <QMutexLocker>

namespace {

// The one watch, guarded by cfg_mutex like the link's hook that reaches it.
Link_watch* watch = nullptr;

void attach_watch(Ws_connection& connection)
{
    watch->attach(connection);
}

}  // namespace

Link_watch::Link_watch()
{
    QMutexLocker lock(&cfg_mutex);
    if (watch || Ws_connection::window.attach)
        throw Debug(0x0106);
    watch = this;
    Ws_connection::window = Ws_connection::Window{nullptr, attach_watch};
    if (Ws_connection::instance)
        attach(*Ws_connection::instance);
}

Link_watch::~Link_watch()
{
    QMutexLocker lock(&cfg_mutex);
    watch = nullptr;
    Ws_connection::window = Ws_connection::Window();
}

void Link_watch::attach(Ws_connection& connection)
{
    if (!connect(&connection, &Ws_connection::servers_changed, this, &Link_watch::on_link_servers_changed,
                 Qt::QueuedConnection))
        log_debug(0x0107);
    if (!connect(&connection, &Ws_connection::clients_changed, this, &Link_watch::on_link_clients_changed,
                 Qt::QueuedConnection))
        log_debug(0x0108);
    ws_flags &= static_cast<unsigned char>(~(WS_SERVERS_PENDING | WS_CLIENTS_PENDING));
}

void Link_watch::on_link_servers_changed()
{
    {
        QMutexLocker lock(&cfg_mutex);
        ws_flags &= static_cast<unsigned char>(~(WS_SERVERS_PENDING | WS_CLIENTS_PENDING));
    }
    emit state_shown();
}

void Link_watch::on_link_clients_changed()
{
    {
        QMutexLocker lock(&cfg_mutex);
        ws_flags &= static_cast<unsigned char>(~WS_CLIENTS_PENDING);
    }
    emit state_shown();
}
