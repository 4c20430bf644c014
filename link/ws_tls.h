// TLS of the wss:// link: the configured settings applied to the WebSocket, and Qt's reasons for
// a failed handshake logged.
#pragma once

#include "core/ws_tls_settings.h"

class QWebSocket;

// Gives the socket the configured TLS settings (none given: Qt's defaults stay untouched) and logs
// the reasons of every failed certificate check; the errors are never ignored.
void set_up_ws_tls(QWebSocket& socket, const Ws_tls_settings& settings);
