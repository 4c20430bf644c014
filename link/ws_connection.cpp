// The link with the RUVO-LoRa server over one WebSocket.
#include "link/ws_connection.h"

#include "app/engine.h"
#include "app/shared.h"

#include <QMutexLocker>

Ws_connection* Ws_connection::instance = nullptr;

Ws_connection::Ws_connection(QThread& thread) : thread(thread)
{
    QMutexLocker lock(&cfg_mutex);
    if (ws_flags & WS_ENDING)
        throw The_end();
    instance = this;
}

Ws_connection::~Ws_connection()
{
    QMutexLocker lock(&cfg_mutex);
    if (instance == this)
        instance = nullptr;
}

void Ws_connection::start() {}

void Ws_connection::update_servers() {}

void Ws_connection::on_shutdown()
{
    thread.exit(0);
}
