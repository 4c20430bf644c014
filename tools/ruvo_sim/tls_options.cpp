// wss:// for the simulator: its certificate and key, and the CA its clients' certificates must come from.
#include "tls_options.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

namespace {

bool read_pem(const QString& file_name, QByteArray& data, QString& reason)
{
    QFile f(file_name);
    if (!f.open(QIODevice::ReadOnly)) {
        reason = QStringLiteral("cannot read %1: %2").arg(file_name, f.errorString());
        return false;
    }
    data = f.readAll();
    return true;
}

QList<QSslCertificate> read_certificates(const QString& file_name, QString& reason)
{
    QByteArray pem;
    if (!read_pem(file_name, pem, reason))
        return {};
    const QList<QSslCertificate> certs = QSslCertificate::fromData(pem, QSsl::Pem);
    if (certs.isEmpty())
        reason = QStringLiteral("no PEM certificate in ") + file_name;
    return certs;
}

QSslKey read_key(const QString& file_name, QString& reason)
{
    QByteArray pem;
    if (!read_pem(file_name, pem, reason))
        return {};
    for (QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        const QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            return key;
    }
    reason = QStringLiteral("no unencrypted PEM private key in ") + file_name;
    return {};
}

} // namespace

std::optional<QSslConfiguration> server_tls(const QString& cert_file, const QString& key_file,
                                            const QString& client_ca_file, QString& reason)
{
    const QList<QSslCertificate> chain = read_certificates(cert_file, reason);
    if (chain.isEmpty())
        return std::nullopt;
    const QSslKey key = read_key(key_file, reason);
    if (key.isNull())
        return std::nullopt;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    if (!client_ca_file.isEmpty()) {
        const QList<QSslCertificate> client_ca = read_certificates(client_ca_file, reason);
        if (client_ca.isEmpty())
            return std::nullopt;
        tls.setCaCertificates(client_ca);
        tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    }
    return tls;
}
