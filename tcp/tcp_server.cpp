// The TCP server of one modem.
#include "tcp/tcp_server.h"

// Stand-ins until the TCP server is built.
Tcp_server::Tcp_server(Ws_connection& connection, unsigned long eui, const Device_in_cfg& cfg)
    : connection(connection), eui(eui), max_frame(cfg.max_frame), tcp_port(cfg.tcp_port)
{
}
Tcp_server::~Tcp_server() {}
void Tcp_server::shutdown_server() {}
void Tcp_server::shutdown_connection() {}
void Tcp_server::success() {}
void Tcp_server::frame_received() {}
void Tcp_server::rx_received(QByteArray&) {}
void Tcp_server::timerEvent(QTimerEvent*) {}
void Tcp_server::on_new_connection() {}
void Tcp_server::on_ready_read() {}
void Tcp_server::on_connection_destroyed(QObject*) {}
