// TLS of the wss:// link: extra trusted CA certificates and a client certificate with its key,
// read from PEM files, applied to the WebSocket, and Qt's reasons for a failed handshake logged.
#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QSslKey>
#include <QString>

class QWebSocket;

struct Ws_tls_settings {
    QList<QSslCertificate> ca;   // added to the system's trusted certificates
    QSslCertificate client_cert;
    QSslKey client_key;
    QString cert_file;
    QString key_file;

    // Each reader returns "" on success, or the reason (translated) the file cannot be used.
    QString read_ca_file(const QString& file_name);
    QString read_client_cert(const QString& file_name);
    QString read_client_key(const QString& file_name);
    // Both client files given: does the key belong to the certificate?
    bool key_matches_cert() const;
};

// Gives the socket the configured TLS settings (none given: Qt's defaults stay untouched) and logs
// the reasons of every failed certificate check; the errors are never ignored.
void set_up_ws_tls(QWebSocket& socket, const Ws_tls_settings& settings);
