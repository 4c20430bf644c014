// Tests of who may reach the modem ports and of the secured server link: the allow list, the
// listen address, wss:// with a private CA and client certificates, the hidden password, the
// configuration checks of these keys, all against the real program and the simulator where it counts.
#include "core/cfg.h"
#include "tests/bridge_process.h"
#include "tests/tls_files.h"

#include <QSslError>
#include <QTcpSocket>
#include <QtTest>

namespace {

const char eui[] = "0102030405060701";
const QString log_connected = QStringLiteral("Установлено соединение с сервером RUVO-LoRa.");

std::unique_ptr<QTcpSocket> connected_client(const QHostAddress& to, quint16 port, const QHostAddress& from = {})
{
    std::unique_ptr<QTcpSocket> c(new QTcpSocket);
    if (!from.isNull())
        c->bind(from);
    c->connectToHost(to, port);
    c->waitForConnected(process_wait_ms);
    return c;
}

bool round_trip(Sim& sim, QTcpSocket& c, const QByteArray& data)
{
    const QString sent = QStringLiteral("recv {\"cmd\":\"send_data_req\",\"data_list\":[{\"devEui\":\"%1\",\"data\":\"04%2\","
                                        "\"port\":2}]}")
                             .arg(QLatin1String(eui), QString::fromLatin1(data.toHex()));
    const int before = sim.count(sent);
    c.write(data);
    QByteArray got;
    const bool ok = sim.wait_count(sent, before + 1) && wait_for([&] {
                        got += c.readAll();
                        return got.size() >= data.size();
                    });
    return ok && got == data;
}

int count_starting(const QStringList& log, const QString& start)
{
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const QString& e) { return e.startsWith(start); }));
}

}  // namespace

class Test_security : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void allow_list_matches_data();
    void allow_list_matches();
    void bad_values_are_refused_at_the_value_data();
    void bad_values_are_refused_at_the_value();
    void bad_values_end_the_program_with_code_3();

    void listen_address_limits_the_ports();
    void allow_list_refuses_others_without_disturbing_the_client();
    void refusal_flood_is_summed_up_in_the_log_and_counted();
    void port_takeover_is_logged_with_both_addresses();
    void handshake_failure_is_logged_and_retried_data();
    void handshake_failure_is_logged_and_retried();
    void private_ca_and_client_certificate();
    void password_stays_out_of_the_log();

private:
    QString file(const char* name) const { return certs.filePath(QLatin1String(name)); }
    QByteArray key_line(const char* key, const char* name) const
    {
        return QByteArray(key) + " = \"" + file(name).toUtf8() + "\"\n";
    }
    bool start(const QStringList& sim_options, const Bridge_options& options);

    QTemporaryDir certs;
    std::unique_ptr<Sim> sim;
    std::unique_ptr<Bridge> bridge;
    quint16 port = 0;
};

void Test_security::initTestCase()
{
    const QString d = certs.path();
    QVERIFY(make_private_ca(d));
    QVERIFY(make_cert(d, "other", "/CN=other.example", {"subjectAltName=DNS:other.example"}));
    QVERIFY(openssl(d, {"genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:1024", "-out", "rsa.key"}));
    QVERIFY(openssl(d, {"pkey", "-in", "client.key", "-aes128", "-passout", "pass:x", "-out", "encrypted.key"}));
}

void Test_security::init()
{
    port = free_ports(1)[0];
}

void Test_security::cleanup()
{
    if (bridge && bridge->process.state() != QProcess::NotRunning)
        QVERIFY(bridge->stop());
    bridge.reset();
    sim.reset();
}

bool Test_security::start(const QStringList& sim_options, const Bridge_options& options)
{
    sim.reset(new Sim({QStringLiteral("%1:echo").arg(QLatin1String(eui))}, sim_options));
    if (!sim->started())
        return false;
    bridge.reset(new Bridge(sim->port, {{eui, port, 255}}, options));
    return true;
}

void Test_security::allow_list_matches_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("peer");
    QTest::addColumn<bool>("allowed");

    const QString list = QStringLiteral("10.1.0.0/16, 192.168.5.7,::1 , fd00::/8,::ffff:172.16.0.0/108");
    QTest::newRow("in a network") << list << "10.1.200.3" << true;
    QTest::newRow("outside the network") << list << "10.2.0.1" << false;
    QTest::newRow("single address") << list << "192.168.5.7" << true;
    QTest::newRow("next to the single address") << list << "192.168.5.8" << false;
    QTest::newRow("mapped peer, IPv4 entry") << list << "::ffff:10.1.0.9" << true;
    QTest::newRow("mapped entry, IPv4 peer") << list << "172.16.9.1" << true;
    QTest::newRow("IPv6 network") << list << "fdab::1" << true;
    QTest::newRow("IPv6 loopback") << list << "::1" << true;
    QTest::newRow("other IPv6") << list << "fe80::1" << false;
    QTest::newRow("everything") << "0.0.0.0/0" << "203.0.113.9" << true;
}

void Test_security::allow_list_matches()
{
    QFETCH(QString, list);
    QFETCH(QString, peer);
    QFETCH(bool, allowed);
    Client_allow_list allow;
    QString bad;
    QVERIFY2(allow.parse(list, bad), qPrintable(bad));
    QCOMPARE(allow.allows(QHostAddress(peer)), allowed);
}

void Test_security::bad_values_are_refused_at_the_value_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("reason");

    const QString bad_entry = QStringLiteral(
        "неправильный элемент «%1» в значении параметра «tcp_allow»: ожидается адрес IPv4 или IPv6 либо сеть вида "
        "адрес/длина префикса (например, «10.1.0.0/16» или «fd00::/8»).");
    const QString bad_address = QStringLiteral(
        "неправильное значение параметра «tcp_listen_address»: ожидается адрес IPv4 или IPv6 (например, «127.0.0.1» "
        "или «::1»).");
    const QString no_key = QStringLiteral(
        "в файле «%1» нет незашифрованного закрытого ключа (RSA, EC или DSA) в формате PEM.");
    QTest::newRow("short IPv4") << QByteArray("tcp_listen_address = \"10.1\"") << bad_address;
    QTest::newRow("host name") << QByteArray("tcp_listen_address = \"localhost\"") << bad_address;
    QTest::newRow("octet 256") << QByteArray("tcp_allow = \"10.0.0.1, 10.0.0.256\"") << bad_entry.arg("10.0.0.256");
    QTest::newRow("prefix 33") << QByteArray("tcp_allow = \"10.0.0.0/33\"") << bad_entry.arg("10.0.0.0/33");
    QTest::newRow("prefix not a number") << QByteArray("tcp_allow = \"fd00::/x\"") << bad_entry.arg("fd00::/x");
    QTest::newRow("empty entry")
        << QByteArray("tcp_allow = \"::1,\"")
        << QStringLiteral("пустой элемент в значении параметра «tcp_allow»: ожидается список адресов и сетей через "
                          "запятую.");
    QTest::newRow("missing CA file") << key_line("ws_ca_file", "absent.pem")
                                     << QStringLiteral("не удалось прочитать файл «%1»: No such file or directory.")
                                            .arg(file("absent.pem"));
    QTest::newRow("key as CA file") << key_line("ws_ca_file", "ca.key")
                                    << QStringLiteral("в файле «%1» нет ни одного сертификата в формате PEM.")
                                           .arg(file("ca.key"));
    QTest::newRow("key as certificate") << key_line("ws_client_cert", "client.key")
                                        << QStringLiteral("в файле «%1» нет сертификата в формате PEM.")
                                               .arg(file("client.key"));
    QTest::newRow("certificate as key") << key_line("ws_client_key", "client.pem") << no_key.arg(file("client.pem"));
    QTest::newRow("encrypted key") << key_line("ws_client_key", "encrypted.key") << no_key.arg(file("encrypted.key"));
}

void Test_security::bad_values_are_refused_at_the_value()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, reason);
    Temp_log temp_log;
    const QString name = temp_log.folder() + QStringLiteral("/ruvo_bridge.cfg");
    write_file(name, "ws_url = \"wss://h\"\nws_login = \"a\"\nws_password = \"b\"\n" + line + "\n");
    try {
        load_cfg(name);
        QFAIL("a bad value was accepted");
    } catch (const Err& e) {
        const int column = line.indexOf('"') + 1;
        QCOMPARE(e.message(), QStringLiteral("Ошибка в %1-м символе 4-й строки файла «%2»: %3").arg(column).arg(name, reason));
    }
}

// The real program with each bad value at once: a message box nobody can see, closed by itself.
void Test_security::bad_values_end_the_program_with_code_3()
{
    const QString mismatch = QStringLiteral("закрытый ключ из файла «%1» (параметр «ws_client_key») не подходит к "
                                            "сертификату из файла «%2» (параметр «ws_client_cert»).")
                                 .arg(file("rsa.key"), file("client.pem"));
    // One value refused at the value (the rest are rows above), and the keys checked together.
    const QVector<QPair<QByteArray, QString>> cases{
        {key_line("ws_ca_file", "absent.pem"), file("absent.pem")},
        {key_line("ws_client_cert", "client.pem") + key_line("ws_client_key", "rsa.key"), mismatch},
        {key_line("ws_client_cert", "client.pem"),
         QStringLiteral("параметры «ws_client_cert» и «ws_client_key» задаются только вместе.")},
    };
    std::vector<std::unique_ptr<Bridge>> runs;
    for (const auto& c : cases) {
        Bridge_options options;
        options.extra_cfg = c.first;
        runs.emplace_back(new Bridge(1, {{eui, port, 51}}, options));
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        Bridge& run = *runs[i];
        QVERIFY(run.process.waitForFinished(90000));
        QCOMPARE(run.process.exitCode(), 3);
        // The entry before the one that says how the run ended.
        const QStringList log = run.log();
        const QString message = log.value(log.size() - 2);
        QVERIFY2(message.startsWith(QStringLiteral("Ошибка в ")) && message.contains(cases[int(i)].second), qPrintable(message));
    }
}

void Test_security::listen_address_limits_the_ports()
{
    Bridge_options options;
    options.extra_cfg = "tcp_listen_address = \"127.0.0.1\"\n";
    QVERIFY(start({}, options));
    QVERIFY(wait_for([&] { return listening(port); }));
    auto c = connected_client(QHostAddress::LocalHost, port);
    QVERIFY(round_trip(*sim, *c, "local"));
    for (const char* elsewhere : {"::1", "127.0.0.2"}) {
        auto other = connected_client(QHostAddress(QLatin1String(elsewhere)), port);
        QCOMPARE(other->error(), QAbstractSocket::ConnectionRefusedError);
    }

    const quint16 port_elsewhere = free_ports(1)[0];
    Bridge_options foreign;
    foreign.extra_cfg = "tcp_listen_address = \"192.0.2.1\"\n";
    Bridge on_foreign(sim->port, {{eui, port_elsewhere, 51}}, foreign);
    QVERIFY(on_foreign.wait_log(
        QStringLiteral("Не удалось создать серверный сокет, слушающий порт TCP %1.").arg(port_elsewhere)));
    QVERIFY(!listening(port_elsewhere));
    QVERIFY(on_foreign.stop());
}

void Test_security::allow_list_refuses_others_without_disturbing_the_client()
{
    Bridge_options options;
    options.extra_cfg = "tcp_allow = \"127.0.0.2\"\n";
    QVERIFY(start({}, options));
    QVERIFY(wait_for([&] { return listening(port); }));
    auto client = connected_client(QHostAddress::LocalHost, port, QHostAddress(QStringLiteral("127.0.0.2")));
    QSignalSpy client_lost(client.get(), &QTcpSocket::disconnected);
    QVERIFY(round_trip(*sim, *client, "first"));

    const int attempts = 200;
    std::vector<std::unique_ptr<QTcpSocket>> others;
    for (int round = 0; round < 10; ++round) {
        for (int i = 0; i < attempts / 10; ++i) {
            others.emplace_back(new QTcpSocket);
            others.back()->connectToHost(QHostAddress::LocalHost, port);
        }
        QVERIFY(round_trip(*sim, *client, "round " + QByteArray::number(round)));
    }
    QVERIFY(wait_for([&] {
        return std::all_of(others.begin(), others.end(),
                           [](const auto& s) { return s->state() == QAbstractSocket::UnconnectedState; });
    }));
    for (const auto& s : others)
        QVERIFY(s->error() == QAbstractSocket::RemoteHostClosedError && s->bytesAvailable() == 0);
    QVERIFY(round_trip(*sim, *client, "last"));
    QCOMPARE(client_lost.count(), 0);
    QCOMPARE(client->state(), QAbstractSocket::ConnectedState);

    const QStringList log = bridge->log();
    // The trace names every refused peer; the error entry comes once, the rest wait for the summary.
    QCOMPARE(count_starting(log, QStringLiteral("Отклонено подключение к порту TCP %1:").arg(port)), 1);
    QCOMPARE(count_starting(log, QStringLiteral("tcp%1(peer=[::ffff:127.0.0.1]:").arg(port)), attempts);
    QCOMPARE(count_starting(log, QStringLiteral("tcp%1(peer=[::ffff:127.0.0.2]:%2).accept").arg(port).arg(client->localPort())), 1);
    QVERIFY(log.contains(QStringLiteral("Отклонено подключение к порту TCP %1: адрес клиента не разрешён параметром "
                                        "«tcp_allow» (всего отклонено подключений: 1).").arg(port)));
}

void Test_security::refusal_flood_is_summed_up_in_the_log_and_counted()
{
    const std::vector<quint16> ports = free_ports(2);
    const quint16 metrics_port = ports[0] != port ? ports[0] : ports[1];
    Bridge_options options;
    options.trace_tcp = "bad_frames";
    options.extra_cfg = "tcp_allow = \"127.0.0.2\"\nmetrics_listen = \"127.0.0.1:" + QByteArray::number(metrics_port) + "\"\n";
    QVERIFY(start({}, options));
    QVERIFY(wait_for([&] { return listening(port); }));
    auto client = connected_client(QHostAddress::LocalHost, port, QHostAddress(QStringLiteral("127.0.0.2")));
    QSignalSpy client_lost(client.get(), &QTcpSocket::disconnected);
    QVERIFY(round_trip(*sim, *client, "first"));
    const QString log_name = bridge->path("ruvo_bridge.log");
    const qint64 log_before = QFileInfo(log_name).size();

    // An entry per refusal would take over 100 bytes: the log's bound below shows it at this count.
    const int attempts = 1000;
    // Below the listen backlog, so that no connection waits for a repeated SYN.
    const int batch = 40;
    for (int round = 0; round < attempts / batch; ++round) {
        std::vector<std::unique_ptr<QTcpSocket>> others;
        for (int i = 0; i < batch; ++i) {
            others.emplace_back(new QTcpSocket);
            others.back()->connectToHost(QHostAddress::LocalHost, port);
        }
        QVERIFY(wait_for([&] {
            return std::all_of(others.begin(), others.end(),
                               [](const auto& s) { return s->state() == QAbstractSocket::UnconnectedState; });
        }));
        if (round % 5 == 0)
            QVERIFY(round_trip(*sim, *client, "round " + QByteArray::number(round)));
    }
    const QByteArray series = "ruvo_bridge_client_connections_refused_total{eui=\"" + QByteArray(eui) + "\",port=\"" +
                              QByteArray::number(port) + "\"}";
    QVERIFY(wait_for([&] { return metric_value(scrape_metrics(metrics_port), series) == attempts; }));
    QVERIFY(round_trip(*sim, *client, "last"));
    QCOMPARE(client_lost.count(), 0);

    const qint64 growth = QFileInfo(log_name).size() - log_before;
    qInfo("the log grew by %lld bytes for %d refused connections", static_cast<long long>(growth), attempts);
    QVERIFY(growth < 20 * 1024);
    QCOMPARE(count_starting(bridge->log(), QStringLiteral("Отклонено подключение к порту TCP %1:").arg(port)), 1);
    // The orderly end with a metrics endpoint, which takes its server a while, is test_metrics' to check.
    bridge->process.kill();
    QVERIFY(bridge->process.waitForFinished(process_wait_ms));
}

// At the default trace level: the first takeover with both addresses, the next ones wait for
// the summary of the minute.
void Test_security::port_takeover_is_logged_with_both_addresses()
{
    Bridge_options options;
    options.trace_tcp = "bad_frames";
    QVERIFY(start({}, options));
    QVERIFY(wait_for([&] { return listening(port); }));
    auto owner = connected_client(QHostAddress::LocalHost, port);
    const quint16 owner_port = owner->localPort();
    QVERIFY(round_trip(*sim, *owner, "mine"));
    // Each taker's own port, read while it is connected.
    std::vector<std::unique_ptr<QTcpSocket>> takers;
    std::vector<quint16> taker_ports;
    for (int i = 0; i < 3; ++i) {
        takers.push_back(connected_client(QHostAddress::LocalHost, port, QHostAddress(QStringLiteral("127.0.0.2"))));
        taker_ports.push_back(takers.back()->localPort());
        QVERIFY(round_trip(*sim, *takers.back(), "taken " + QByteArray::number(i)));
    }
    QVERIFY(wait_gone(*owner));
    const QStringList log = bridge->log();
    QCOMPARE(count_starting(log, QStringLiteral("Порт TCP %1 занят новым клиентом").arg(port)), 1);
    QVERIFY2(log.contains(QStringLiteral("Порт TCP %1 занят новым клиентом [127.0.0.2]:%2; прежний клиент "
                                         "[127.0.0.1]:%3 отключён.")
                              .arg(port)
                              .arg(taker_ports.front())
                              .arg(owner_port)),
             qPrintable(log.join(QLatin1Char('\n'))));
}

void Test_security::handshake_failure_is_logged_and_retried_data()
{
    QTest::addColumn<QString>("cert");
    QTest::addColumn<bool>("with_ca");
    QTest::addColumn<int>("reason");

    QTest::newRow("unknown CA") << "server" << false << int(QSslError::UnableToGetLocalIssuerCertificate);
    QTest::newRow("host name mismatch") << "other" << true << int(QSslError::HostNameMismatch);
}

void Test_security::handshake_failure_is_logged_and_retried()
{
    QFETCH(QString, cert);
    QFETCH(bool, with_ca);
    QFETCH(int, reason);
    Bridge_options options;
    options.scheme = "wss";
    const quint16 metrics_port = free_ports(1).front();
    options.extra_cfg = "metrics_listen = \"127.0.0.1:" + QByteArray::number(metrics_port) + "\"\n";
    if (with_ca)
        options.extra_cfg += key_line("ws_ca_file", "ca.pem");
    QVERIFY(start({"--tls-cert", certs.filePath(cert + ".pem"), "--tls-key", certs.filePath(cert + ".key")}, options));
    const QString why = QStringLiteral("Не удалось проверить сертификат сервера RUVO-LoRa: ") +
                        QSslError(QSslError::SslError(reason)).errorString();
    const QString failed = QStringLiteral("Не удалось установить соединение с сервером RUVO-LoRa. Код ошибки = 13");
    // Retried, and one entry for the first try: its reason; the rest of the minute is summed up.
    QVERIFY(wait_for([&] {
        return metric_value(scrape_metrics(metrics_port), "ruvo_bridge_link_failures_total") >= 3;
    }));
    QCOMPARE(count_starting(bridge->log(), why), 1);
    QCOMPARE(count_starting(bridge->log(), failed), 0);
    QVERIFY(!bridge->logged(log_connected));
}

void Test_security::private_ca_and_client_certificate()
{
    Bridge_options options;
    options.scheme = "wss";
    options.extra_cfg = key_line("ws_ca_file", "ca.pem");
    QVERIFY(start({"--tls-cert", file("server.pem"), "--tls-key", file("server.key")}, options));
    QVERIFY(wait_for([&] { return listening(port); }));
    QVERIFY(round_trip(*sim, *connected_client(QHostAddress::LocalHost, port), "over wss"));
    QVERIFY(bridge->stop());

    // The server now demands a client certificate from the private CA.
    QVERIFY(start({"--tls-cert", file("server.pem"), "--tls-key", file("server.key"), "--tls-client-ca", file("ca.pem")},
                  options));
    const QString failed = QStringLiteral("Не удалось установить соединение с сервером RUVO-LoRa.");
    QVERIFY(wait_for([&] { return count_starting(bridge->log(), failed) == 1; }));
    QVERIFY(!bridge->logged(log_connected));
    QVERIFY(!listening(port));
    QVERIFY(bridge->stop());

    options.extra_cfg += key_line("ws_client_cert", "client.pem") + key_line("ws_client_key", "client.key");
    bridge.reset(new Bridge(sim->port, {{eui, port, 255}}, options));
    QVERIFY(wait_for([&] { return listening(port); }));
    QVERIFY(round_trip(*sim, *connected_client(QHostAddress::LocalHost, port), "with a client certificate"));
}

void Test_security::password_stays_out_of_the_log()
{
    const QString warning = QStringLiteral("Внимание: файл конфигурации «ruvo_bridge.cfg» с паролем");
    Bridge_options options;
    options.trace_ws = "all";
    options.password = "s3cret-pass";
    QVERIFY(start({"--password", "s3cret-pass"}, options));
    QVERIFY(wait_for([&] { return listening(port); }));
    QVERIFY(round_trip(*sim, *connected_client(QHostAddress::LocalHost, port), "data"));
    QVERIFY(bridge->stop());
    const QByteArray log = read_file(bridge->path("ruvo_bridge.log"));
    QVERIFY(log.contains("to(RUVO-LoRa): \xC2\xAB{\"cmd\":\"auth_req\",\"login\":\"demo\",\"password\":\"***\"}\xC2\xBB"));
    QVERIFY(!log.contains("s3cret"));
    QCOMPARE(count_starting(bridge->log(), warning), 1);

    // Readable by its owner only: no warning.
    options.cfg_mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    bridge.reset(new Bridge(sim->port, {{eui, port, 255}}, options));
    QVERIFY(bridge->wait_log(log_connected));
    QCOMPARE(count_starting(bridge->log(), warning), 0);
}

QTEST_GUILESS_MAIN(Test_security)
#include "test_security.moc"
