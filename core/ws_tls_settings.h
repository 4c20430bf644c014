// The TLS settings of the wss:// link: extra trusted CA certificates and a client certificate
// with its key, read from PEM files named in the configuration.
#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <optional>

// The settings are a global of the program: the certificate and key are made only when read, as a
// QSslCertificate made before the application object (at static initialization) makes Qt 6 load its
// TLS backend too early, which it complains of on standard error.
struct Ws_tls_settings {
    QList<QSslCertificate> ca;   // added to the system's trusted certificates
    std::optional<QSslCertificate> client_cert;
    std::optional<QSslKey> client_key;
    QString cert_file;
    QString key_file;

    // Each reader returns "" on success, or the reason (translated) the file cannot be used.
    QString read_ca_file(const QString& file_name);
    QString read_client_cert(const QString& file_name);
    QString read_client_key(const QString& file_name);
    // Both client files given: does the key belong to the certificate?
    bool key_matches_cert() const;
};
