// TLS of the wss:// link: the configured settings applied to the WebSocket, and Qt's reasons for
// a failed handshake logged as a failed try of the link.
#pragma once

#include "core/ws_tls_settings.h"

#include <QString>
#include <functional>

class QWebSocket;

// Gives the socket the configured TLS settings (none given: Qt's defaults stay untouched) and hands
// the entry with the reasons of every failed certificate check to log_failure, as the failed try
// it is; the errors are never ignored.
void set_up_ws_tls(QWebSocket& socket, const Ws_tls_settings& settings,
                   const std::function<void(const QString&)>& log_failure);
