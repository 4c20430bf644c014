// Throwaway certificates for the wss:// tests and benchmarks, made with the openssl command:
// a private CA and NAME.pem / NAME.key pairs it issued.
#pragma once

#include "tests/test_util.h"

#include <QDebug>
#include <QProcess>
#include <QStringList>

// Runs openssl with the arguments in the folder; true when it succeeded.
inline bool openssl(const QString& folder, const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(QStringLiteral("openssl"), args);
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    qWarning() << "openssl" << args << p.readAllStandardError();
    return false;
}

// An EC key and certificate NAME.key / NAME.pem: self-signed (a CA), or issued by ca.pem.
inline bool make_cert(const QString& folder, const QString& name, const QString& subject,
                      const QStringList& extensions, bool issued = true)
{
    write_file(folder + QStringLiteral("/min.cnf"), "[req]\ndistinguished_name = dn\n[dn]\n");
    QStringList args{"req", "-x509", "-config", "min.cnf", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                     "-nodes", "-days", "2", "-subj", subject, "-keyout", name + ".key", "-out", name + ".pem"};
    if (issued)
        args << "-CA" << "ca.pem" << "-CAkey" << "ca.key";
    for (const QString& e : extensions)
        args << "-addext" << e;
    return openssl(folder, args);
}

// ca.pem, server.pem for 127.0.0.1 and client.pem, with their keys.
inline bool make_private_ca(const QString& folder)
{
    return make_cert(folder, "ca", "/CN=Test CA", {"basicConstraints=critical,CA:TRUE", "keyUsage=keyCertSign"},
                     false) &&
           make_cert(folder, "server", "/CN=127.0.0.1", {"subjectAltName=IP:127.0.0.1"}) &&
           make_cert(folder, "client", "/CN=bridge", {});
}
