// wss:// for the simulator: its certificate and key, and the CA its clients' certificates must come from.
#pragma once

#include <QSslConfiguration>
#include <QString>
#include <optional>

// The server side of TLS from PEM files; client_ca_file empty: no client certificate is asked for.
// Empty result with the reason set when a file cannot be read or holds nothing usable.
std::optional<QSslConfiguration> server_tls(const QString& cert_file, const QString& key_file,
                                            const QString& client_ca_file, QString& reason);
