// The TLS settings of the wss:// link: PEM files read, and whether the client key belongs to the
// certificate, which Qt cannot tell.
#include "core/ws_tls_settings.h"

#include "common/err.h"

#include <QFile>
#include <memory>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace {

Tr errfmt_cannot_read{TR_TEXT("parser", "не удалось прочитать файл «%1»: %2.")};
Tr errfmt_no_ca{TR_TEXT("parser", "в файле «%1» нет ни одного сертификата в формате PEM.")};
Tr errfmt_no_cert{TR_TEXT("parser", "в файле «%1» нет сертификата в формате PEM.")};
Tr errfmt_no_key{TR_TEXT("parser",
                         "в файле «%1» нет незашифрованного закрытого ключа (RSA, EC или DSA) в формате PEM.")};

// The whole file, or the reason it cannot be read.
bool read_whole(const QString& file_name, QByteArray& data, QString& reason)
{
    QFile f(file_name);
    if (!f.open(QIODevice::ReadOnly)) {
        reason = QString(errfmt_cannot_read.tr()).arg(file_name, f.errorString());
        return false;
    }
    data = f.readAll();
    return true;
}

template <class T, void (*free_fn)(T*)>
struct Ossl_deleter {
    void operator()(T* p) const { free_fn(p); }
};
using Bio = std::unique_ptr<BIO, Ossl_deleter<BIO, BIO_free_all>>;
using X509_ptr = std::unique_ptr<X509, Ossl_deleter<X509, X509_free>>;
using Pkey = std::unique_ptr<EVP_PKEY, Ossl_deleter<EVP_PKEY, EVP_PKEY_free>>;

Bio memory_bio(const QByteArray& pem)
{
    return Bio(BIO_new_mem_buf(pem.constData(), pem.size()));
}

}  // namespace

QString Ws_tls_settings::read_ca_file(const QString& file_name)
{
    QByteArray pem;
    QString reason;
    if (!read_whole(file_name, pem, reason))
        return reason;
    ca = QSslCertificate::fromData(pem, QSsl::Pem);
    return ca.isEmpty() ? QString(errfmt_no_ca.tr()).arg(file_name) : QString();
}

QString Ws_tls_settings::read_client_cert(const QString& file_name)
{
    QByteArray pem;
    QString reason;
    if (!read_whole(file_name, pem, reason))
        return reason;
    const QList<QSslCertificate> certs = QSslCertificate::fromData(pem, QSsl::Pem);
    if (certs.isEmpty())
        return QString(errfmt_no_cert.tr()).arg(file_name);
    client_cert = certs.first();
    cert_file = file_name;
    return QString();
}

QString Ws_tls_settings::read_client_key(const QString& file_name)
{
    QByteArray pem;
    QString reason;
    if (!read_whole(file_name, pem, reason))
        return reason;
    for (QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        const QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull()) {
            client_key = key;
            key_file = file_name;
            return QString();
        }
    }
    return QString(errfmt_no_key.tr()).arg(file_name);
}

bool Ws_tls_settings::key_matches_cert() const
{
    if (!client_cert || !client_key)
        return false;
    const QByteArray cert_pem = client_cert->toPem();
    const QByteArray key_pem = client_key->toPem();
    const X509_ptr cert(PEM_read_bio_X509(memory_bio(cert_pem).get(), nullptr, nullptr, nullptr));
    const Pkey key(PEM_read_bio_PrivateKey(memory_bio(key_pem).get(), nullptr, nullptr, nullptr));
    return cert && key && X509_check_private_key(cert.get(), key.get()) == 1;
}
