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

// Stand-ins until the link is built.
void Ws_connection::send(const QString&) {}
void Ws_connection::crash(const QString&) {}
void Ws_connection::post(Query&) {}
void Ws_connection::cancel_queries(Tcp_server*) {}
void Ws_connection::anonymize_queries(Tcp_server*) {}
void Ws_connection::send_devlist_req(Query*, Ws_connection&) {}
void Ws_connection::not_send_devlist_req(Query*) {}
void Ws_connection::send_sdata(Query*, Ws_connection&) {}
void Ws_connection::not_send_sdata(Query*) {}
void Ws_connection::on_connected() {}
void Ws_connection::on_disconnected() {}
void Ws_connection::on_binary_message(const QByteArray&) {}
void Ws_connection::on_text_message(const QString&) {}
void Ws_connection::on_error(QAbstractSocket::SocketError) {}
void Ws_connection::timerEvent(QTimerEvent*) {}
