// TLS of the wss:// link: the configured settings applied to the WebSocket, and Qt's reasons for
// a failed handshake logged as a failed try of the link.
#include "link/ws_tls.h"

#include "common/err.h"

#include <QSslConfiguration>
#include <QStringList>
#include <QWebSocket>

namespace {

Tr errfmt_tls_errors{TR_TEXT("log", "Не удалось проверить сертификат сервера RUVO-LoRa: %1.")};

QString tls_errors(const QList<QSslError>& errors)
{
    QStringList reasons;
    for (const QSslError& e : errors)
        reasons << e.errorString();
    return QString(errfmt_tls_errors.tr()).arg(reasons.join(QStringLiteral("; ")));
}

}  // namespace

void set_up_ws_tls(QWebSocket& socket, const Ws_tls_settings& settings,
                   const std::function<void(const QString&)>& log_failure)
{
    QObject::connect(&socket, &QWebSocket::sslErrors, &socket,
                     [log_failure](const QList<QSslError>& errors) { log_failure(tls_errors(errors)); });
    if (settings.ca.isEmpty() && !settings.client_cert)
        return;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    // Added to the system's certificates, which an edited list would otherwise no longer load on demand.
    tls.setCaCertificates(QSslConfiguration::systemCaCertificates() + settings.ca);
    if (settings.client_cert && settings.client_key) {
        tls.setLocalCertificate(*settings.client_cert);
        tls.setPrivateKey(*settings.client_key);
    }
    socket.setSslConfiguration(tls);
}
