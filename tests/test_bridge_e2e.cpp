// End-to-end tests of the bridge: the real program, run offscreen in a temporary folder, against
// the simulated RUVO-LoRa server, with real TCP clients on loopback.
#include "common/crc16.h"
#include "tests/bridge_process.h"

#include <QTcpSocket>
#include <QtTest>

namespace {

// Modems of the simulator: A is not served, B and C are; D is served but the server does not
// know it.
const char eui_a[] = "0102030405060701";
const char eui_b[] = "0102030405060702";
const char eui_c[] = "0102030405060703";
const char eui_d[] = "0102030405060704";
const int max_frame_b = 255;
const int max_frame_c = 10;

QString sent_req(const char* eui, const QByteArray& data)
{
    return QStringLiteral("recv {\"cmd\":\"send_data_req\",\"data_list\":[{\"devEui\":\"%1\",\"data\":\"04%2\","
                          "\"port\":2}]}")
        .arg(QLatin1String(eui), QString::fromLatin1(data.toHex()));
}

QString packet_hex(const char* header, const QByteArray& data)
{
    return QString::fromLatin1(header) + QString::fromLatin1(data.toHex());
}

}  // namespace

class Test_bridge_e2e : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void serves_the_configured_modems_the_server_knows();
    void request_and_answer_of_200_bytes();
    void pause_cuts_messages();
    void chunks_within_the_delay_form_one_message_unless_the_client_leaves();
    void overlong_message_ends_the_client();
    void uplink_only_after_the_first_accepted_message();
    void late_answers_never_reach_another_client();
    void packet_errors_data();
    void packet_errors();
    void link_loss_closes_everything_and_recovers();
    void busy_port_is_retried_and_logged_once();
    void port_zero_modem_is_loaded_logged_and_not_served();
    void bad_message_rebuilds_the_link();
    void sigterm_closes_clients_and_link_in_order();

private:
    // The simulator with A, B and C, and the program serving B, C and D.
    // A long reconnect delay keeps the ports closed long enough to be seen closed on a busy machine.
    bool start(int interframe_delay = 15, int reconnect_delay = 100);
    bool round_trip(quint16 port, const char* eui, const QByteArray& data);

    std::unique_ptr<Sim> sim;
    std::unique_ptr<Bridge> bridge;
    quint16 port_b = 0;
    quint16 port_c = 0;
    quint16 port_d = 0;
};

void Test_bridge_e2e::init()
{
    const std::vector<quint16> ports = free_ports(3);
    port_b = ports[0];
    port_c = ports[1];
    port_d = ports[2];
}

void Test_bridge_e2e::cleanup()
{
    if (bridge && bridge->process.state() != QProcess::NotRunning)
        QVERIFY(bridge->stop());
    bridge.reset();
    sim.reset();
}

bool Test_bridge_e2e::start(int interframe_delay, int reconnect_delay)
{
    sim.reset(new Sim({QStringLiteral("%1:echo:Alpha").arg(QLatin1String(eui_a)),
                       QStringLiteral("%1:echo:Beta").arg(QLatin1String(eui_b)),
                       QStringLiteral("%1:silent:Gamma").arg(QLatin1String(eui_c))}));
    if (!sim->started())
        return false;
    Bridge_options options;
    options.interframe_delay = interframe_delay;
    options.reconnect_delay = reconnect_delay;
    bridge.reset(new Bridge(sim->port,
                            {{eui_b, port_b, max_frame_b}, {eui_c, port_c, max_frame_c}, {eui_d, port_d, 51}},
                            options));
    return wait_for([&] { return listening(port_b) && listening(port_c); });
}

bool Test_bridge_e2e::round_trip(quint16 port, const char* eui, const QByteArray& data)
{
    auto c = client_of(port);
    c->write(data);
    return sim->wait_line(sent_req(eui, data)) && read_exactly(*c, data);
}

void Test_bridge_e2e::serves_the_configured_modems_the_server_knows()
{
    QVERIFY(start());
    QVERIFY(!listening(port_d));
    QVERIFY(bridge->logged(QStringLiteral("tcp%1.listen").arg(port_b)));
    QVERIFY(bridge->logged(QStringLiteral("tcp%1.listen").arg(port_c)));
    QVERIFY(!bridge->log().join('\n').contains(QStringLiteral("tcp%1").arg(port_d)));

    QVERIFY(sim->command(QStringLiteral("modems %1:echo:Alpha,%2:echo:Beta").arg(QLatin1String(eui_a), QLatin1String(eui_b))));
    QVERIFY(wait_for([&] { return !listening(port_c); }));
    QVERIFY(bridge->logged(QStringLiteral("tcp%1.shutdown_server").arg(port_c)));
    QVERIFY(listening(port_b));
    QVERIFY(round_trip(port_b, eui_b, "still served"));
}

void Test_bridge_e2e::request_and_answer_of_200_bytes()
{
    QVERIFY(start());
    QByteArray data;
    for (int i = 0; i < 200; ++i)
        data += static_cast<char>(i);
    const int rx_before = sim->lines.filter(QStringLiteral("\"cmd\":\"rx\"")).size();
    QVERIFY(round_trip(port_b, eui_b, data));
    // Five packets of the simulator (45 bytes each at most) made one write of the program.
    QCOMPARE(sim->lines.filter(QStringLiteral("\"cmd\":\"rx\"")).size() - rx_before, 5);
    QCOMPARE(bridge->log().filter(QStringLiteral("tcp%1.send ").arg(port_b)),
             QStringList(QStringLiteral("tcp%1.send 0x{%2}").arg(port_b).arg(QString::fromLatin1(data.toHex(' ').toUpper()))));
}

void Test_bridge_e2e::pause_cuts_messages()
{
    QVERIFY(start());
    auto c = client_of(port_b);
    c->write("abc");
    QVERIFY(sim->wait_line(sent_req(eui_b, "abc")));
    c->write("def");
    QVERIFY(sim->wait_line(sent_req(eui_b, "def")));
    QVERIFY(sim->lines.indexOf(sent_req(eui_b, "abc")) < sim->lines.indexOf(sent_req(eui_b, "def")));
    QVERIFY(read_exactly(*c, "abcdef"));
}

void Test_bridge_e2e::chunks_within_the_delay_form_one_message_unless_the_client_leaves()
{
    QVERIFY(start(1000));
    auto c = client_of(port_b);
    c->write("ab");
    QVERIFY(bridge->wait_log(QStringLiteral("tcp%1.recv 0x{61 62}").arg(port_b)));
    c->write("cd");
    QVERIFY(sim->wait_line(sent_req(eui_b, "abcd")));
    QVERIFY(read_exactly(*c, "abcd"));
    QCOMPARE(sim->lines.filter(QStringLiteral("recv {\"cmd\":\"send_data_req\"")).size(), 1);

    // A message cut short by its client's leaving has nobody to answer: it never goes to the modem.
    c->write("xyz");
    QVERIFY(bridge->wait_log(QStringLiteral("tcp%1.recv 0x{78 79 7A}").arg(port_b)));
    c->disconnectFromHost();
    QVERIFY(bridge->wait_log(QStringLiteral("tcp%1.disconnected").arg(port_b)));
    // Whatever the program sent the simulator went before its link closed at exit.
    QVERIFY(bridge->stop());
    QVERIFY(wait_for([&] { return !sim->lines.filter(QRegularExpression(QStringLiteral("^disconnected "))).isEmpty(); }));
    QCOMPARE(sim->count(sent_req(eui_b, "xyz")), 0);
}

void Test_bridge_e2e::overlong_message_ends_the_client()
{
    QVERIFY(start(1000));
    const QString text = QStringLiteral("Ошибка: от клиента на порту %1 пришло сообщение, размер которого "
                                        "превышает предельный для этого клиента (10 байтов). Предельный "
                                        "размер сообщения можно настроить в файле конфигурации и в "
                                        "описании устройства.")
                             .arg(port_c);
    auto eleven = client_of(port_c);
    eleven->write("0123456789A");
    QVERIFY(wait_gone(*eleven));
    QVERIFY(bridge->wait_log(text));

    auto ten_and_one = client_of(port_c);
    ten_and_one->write("0123456789");
    QVERIFY(bridge->wait_log(QStringLiteral("tcp%1.recv 0x{30 31 32 33 34 35 36 37 38 39}").arg(port_c)));
    ten_and_one->write("A");
    QVERIFY(wait_gone(*ten_and_one));
    // The second within the minute is summed up, not written.
    QCOMPARE(bridge->log().count(text), 1);
    QCOMPARE(sim->lines.filter(QStringLiteral("recv {\"cmd\":\"send_data_req\"")).size(), 0);

    // Ten bytes fit.
    auto ten = client_of(port_c);
    ten->write("0123456789");
    QVERIFY(sim->wait_line(sent_req(eui_c, "0123456789")));
    QCOMPARE(ten->state(), QAbstractSocket::ConnectedState);
}

void Test_bridge_e2e::uplink_only_after_the_first_accepted_message()
{
    QVERIFY(start());
    auto c = client_of(port_b);
    QVERIFY(bridge->wait_log(QStringLiteral("tcp%1(peer=[::ffff:127.0.0.1]:%2).accept").arg(port_b).arg(c->localPort())));
    QVERIFY(sim->command(QStringLiteral("uplink %1 4141").arg(QLatin1String(eui_b))));
    c->write("hi");
    QVERIFY(sim->wait_line(sent_req(eui_b, "hi")));
    QVERIFY(read_exactly(*c, "hi"));
    QVERIFY(sim->command(QStringLiteral("uplink %1 4242").arg(QLatin1String(eui_b))));
    QVERIFY(read_exactly(*c, "BB"));
}

namespace {

// A Modbus RTU master on a raw port reading one holding register of slave 1, whose value is the
// register's own address; it waits patience_ms for the answer and then leaves.
struct Rtu_master {
    std::unique_ptr<QTcpSocket> socket;
    quint16 reg;
    QByteArray got;

    bool ask(quint16 port)
    {
        socket = client_of(port);
        QByteArray request = QByteArray::fromHex("0103");
        request += static_cast<char>(reg >> 8);
        request += static_cast<char>(reg & 0xFF);
        request += QByteArray::fromHex("0001");
        got.clear();
        return socket->write(with_crc16(request)) > 0 && socket->flush();
    }
    // 1: its own register's value came, -1: another's, 0: nothing within patience_ms.
    int outcome(int patience_ms)
    {
        const bool whole = QTest::qWaitFor([&] { return (got += socket->readAll()).size() >= 7; }, patience_ms);
        got += socket->readAll();
        if (!whole && got.isEmpty())
            return 0;
        const bool own = got.size() == 7 && crc16_ok(got) && static_cast<quint8>(got[3]) == (reg >> 8) &&
                         static_cast<quint8>(got[4]) == (reg & 0xFF);
        if (!own)
            qWarning() << "register" << reg << "got" << got.toHex();
        return own ? 1 : -1;
    }
};

}  // namespace

// The modem answers later than the clients wait: the answer of a client that left, or was
// replaced, is dropped rather than given to the client after it.
void Test_bridge_e2e::late_answers_never_reach_another_client()
{
    const char eui_m[] = "0102030405060705";
    sim.reset(new Sim({QStringLiteral("%1:echo:Beta").arg(QLatin1String(eui_b)),
                       QStringLiteral("%1:modbus:Meter").arg(QLatin1String(eui_m))}));
    QVERIFY(sim->started());
    bridge.reset(new Bridge(sim->port, {{eui_b, port_b, max_frame_b}, {eui_m, port_c, 255}}));
    QVERIFY(wait_for([&] { return listening(port_b) && listening(port_c); }));
    QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 300").arg(QLatin1String(eui_b))));

    // The first client leaves; then it is replaced while the server, too, accepts late, so that
    // its next message waits behind the one in flight.
    for (const bool replaced : {false, true}) {
        if (replaced)
            QVERIFY(sim->command(QStringLiteral("fault delay send_data_req 800")));
        auto first = client_of(port_b);
        first->write("CLIENT-ONE-SECRET");
        QVERIFY(sim->wait_count(sent_req(eui_b, "CLIENT-ONE-SECRET"), replaced ? 2 : 1));
        if (replaced) {
            first->write("b");
            QVERIFY(bridge->wait_log(QStringLiteral("tcp%1.recv 0x{62}").arg(port_b)));
        }
        QTest::qWait(200);  // the first client's patience; "b" is a whole message by then
        if (!replaced) {
            first->disconnectFromHost();
            QVERIFY(wait_gone(*first));
        }
        auto second = client_of(port_b);
        if (replaced)
            QVERIFY(wait_gone(*first));
        second->write("client-two");
        QVERIFY(sim->wait_count(sent_req(eui_b, "client-two"), replaced ? 2 : 1));
        QVERIFY(read_exactly(*second, "client-two"));
        QVERIFY(!QTest::qWaitFor([&] { return second->bytesAvailable() > 0; }, 400));
    }
    // The replaced client's message in flight went out before the newer one's; its waiting one never did.
    QVERIFY(sim->lines.lastIndexOf(sent_req(eui_b, "CLIENT-ONE-SECRET")) <
            sim->lines.lastIndexOf(sent_req(eui_b, "client-two")));
    QCOMPARE(sim->count(sent_req(eui_b, "b")), 0);
    QVERIFY(sim->command(QStringLiteral("clear")));

    // Two masters take turns, leaving or being replaced; one turn in three waits long enough.
    QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 150").arg(QLatin1String(eui_m))));
    Rtu_master masters[2] = {{nullptr, 10, {}}, {nullptr, 20, {}}};
    int own = 0;
    int other = 0;
    for (int i = 0; i < 24; ++i) {
        Rtu_master& m = masters[i % 2];
        Rtu_master& before = masters[1 - i % 2];
        const bool replaces = i % 4 >= 2;
        if (before.socket && !replaces)
            before.socket->disconnectFromHost();
        QVERIFY(m.ask(port_c));
        if (before.socket && replaces && before.outcome(0) < 0)
            ++other;
        const int outcome = m.outcome(i % 3 == 0 ? 500 : 60);
        own += outcome > 0;
        other += outcome < 0;
    }
    QCOMPARE(other, 0);
    QVERIFY2(own >= 4, qPrintable(QStringLiteral("%1 own answers").arg(own)));
}

// The assembler's table (test_tcp_server) has every kind of bad packet; here one before and one
// after a joined packet, end to end.
void Test_bridge_e2e::packet_errors_data()
{
    QTest::addColumn<QStringList>("payloads");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("disconnects");

    const QString shuffle = QStringLiteral("«Пакет с данными от внешнего устройства, полученными по интерфейсу "
                                           "RS-232 или RS-485» от устройства с EUI=0x0102030405060703 пришёл "
                                           "с нарушением порядка: ожидается пакет №%1, а пришёл пакет №%2.");
    QTest::newRow("out of order first") << QStringList{packet_hex("030400020102", "cd")} << shuffle.arg(0).arg(1)
                                        << false;
    QTest::newRow("out of order later")
        << QStringList{packet_hex("030400020002", "ab"), packet_hex("030400020202", "cd")} << shuffle.arg(1).arg(2)
        << true;
}

void Test_bridge_e2e::packet_errors()
{
    QFETCH(QStringList, payloads);
    QFETCH(QString, text);
    QFETCH(bool, disconnects);
    QVERIFY(start());
    // C is silent: only the packets sent here come up, once its client's message was accepted.
    auto c = client_of(port_c);
    c->write("q");
    QVERIFY(sim->wait_line(sent_req(eui_c, "q")));
    QVERIFY(sim->wait_line(QStringLiteral("sent {\"append_status\":[{\"devEui\":\"%1\",\"status\":true}],"
                                          "\"cmd\":\"send_data_resp\",\"status\":true}")
                               .arg(QLatin1String(eui_c))));
    QVERIFY(sim->command(QStringLiteral("packets %1 %2").arg(QLatin1String(eui_c), payloads.join(' '))));
    if (!text.isEmpty())
        QVERIFY(bridge->wait_log(text));
    if (disconnects) {
        QVERIFY(wait_gone(*c));
        QVERIFY(c->readAll().isEmpty());
        return;
    }
    // An empty payload is reported and dropped too; then a proper answer still gets through.
    QVERIFY(sim->command(QStringLiteral("send {\"cmd\":\"rx\",\"devEui\":\"%1\",\"port\":2,\"data\":\"\"}")
                             .arg(QLatin1String(eui_c))));
    QVERIFY(bridge->wait_log(QStringLiteral("От сервера RUVO-LoRa пришло сообщение \"rx\" с пустым полем \"data\" "
                                            "(EUI=0x0102030405060703). Сообщение игнорируется.")));
    QVERIFY(sim->command(QStringLiteral("packets %1 %2").arg(QLatin1String(eui_c), packet_hex("030200020001", "ok"))));
    QVERIFY(read_exactly(*c, "ok"));
    QCOMPARE(c->state(), QAbstractSocket::ConnectedState);
}

void Test_bridge_e2e::link_loss_closes_everything_and_recovers()
{
    QVERIFY(start(15, 3000));
    auto c = client_of(port_b);
    c->write("before");
    QVERIFY(read_exactly(*c, "before"));
    auto idle = client_of(port_c);

    QVERIFY(sim->command(QStringLiteral("abort")));
    QVERIFY(wait_gone(*c));
    QVERIFY(wait_gone(*idle));
    QVERIFY(wait_for([&] { return !listening(port_b) && !listening(port_c); }));
    QVERIFY(wait_for([&] {
        return !bridge->log().filter(QRegularExpression(QStringLiteral("^(Утеряно соединение с сервером RUVO-LoRa|"
                                                                       "Соединение с сервером RUVO-LoRa утеряно)")))
                    .isEmpty();
    }));

    QVERIFY(sim->wait_count(QStringLiteral("connected"), 2));
    QVERIFY(wait_for([&] { return listening(port_b) && listening(port_c); }));
    QVERIFY(round_trip(port_b, eui_b, "after"));
}

// A busy port is tried again at every device list and logged once while it stays busy: sixty
// lists, ten minutes at the usual period, with the hour as much shorter, write the first try's
// three entries alone.
void Test_bridge_e2e::busy_port_is_retried_and_logged_once()
{
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::Any, port_c));
    sim.reset(new Sim({QStringLiteral("%1:echo:Beta").arg(QLatin1String(eui_b)),
                       QStringLiteral("%1:silent:Gamma").arg(QLatin1String(eui_c))}));
    QVERIFY(sim->started());
    Bridge_options options;
    options.devlist_period = 10;
    options.trace_tcp = "bad_frames";
    options.environment << QStringLiteral("RUVO_LASTING_FAULT_MS=3600");
    bridge.reset(new Bridge(sim->port, {{eui_b, port_b, max_frame_b}, {eui_c, port_c, max_frame_c}}, options));
    const QString handler = QStringLiteral("Не удалось создать блок управления устройством.");
    QVERIFY(bridge->wait_log(QStringLiteral("Не удалось создать серверный сокет, слушающий порт TCP %1.").arg(port_c)));
    QVERIFY(bridge->wait_log(handler));
    QVERIFY(listening(port_b));
    QVERIFY(sim->wait_count(
        QStringLiteral(R"(recv {"cmd":"get_device_appdata_req","keyword":"no_attributes"})"), 61));
    const QStringList about_port = bridge->log().filter(
        QRegularExpression(QStringLiteral("\\b%1\\b|^%2$").arg(port_c).arg(QRegularExpression::escape(handler))));
    QVERIFY2(about_port.size() <= 3, qPrintable(about_port.join(QLatin1Char('\n'))));
    squatter.close();
    QVERIFY(wait_for([&] { return listening(port_c); }));
    auto c = client_of(port_c);
    c->write("q");
    QVERIFY(sim->wait_line(sent_req(eui_c, "q")));
}

// A stored devices file may hold port 0: the program starts, says once why that modem is not
// served, and listens on the ports of the others only, never on one the system picks.
void Test_bridge_e2e::port_zero_modem_is_loaded_logged_and_not_served()
{
    sim.reset(new Sim({QStringLiteral("%1:echo:Alpha").arg(QLatin1String(eui_a)),
                       QStringLiteral("%1:echo:Beta").arg(QLatin1String(eui_b))}));
    QVERIFY(sim->started());
    bridge.reset(new Bridge(sim->port, {{eui_a, 0, 51}, {eui_b, port_b, max_frame_b}}));
    QVERIFY(wait_for([&] { return listening(port_b); }));
    // Several device lists, each followed by a reconciliation.
    QVERIFY(wait_for([&] { return sim->lines.filter(QStringLiteral("get_device_appdata_req")).size() >= 3; }));
    QCOMPARE(listening_ports_of(bridge->process.processId()), QSet<quint16>{port_b});
    const QStringList zero = bridge->log().filter(QStringLiteral("порт TCP 0"));
    QCOMPARE(zero, QStringList{QStringLiteral("Файл со списком устройств («devices.cfg») задаёт для устройства с "
                                              "eui=0x%1 порт TCP 0. Порт 0 не годится для подключения клиентов, "
                                              "поэтому это устройство не обслуживается; укажите ему порт от 1 до "
                                              "65535.")
                                   .arg(QLatin1String(eui_a))});
    QVERIFY(!bridge->log().join('\n').contains(QStringLiteral("tcp0.")));
    QVERIFY(round_trip(port_b, eui_b, "served"));
}

// Every kind of bad message is in the link's table (test_link); one of them end to end.
void Test_bridge_e2e::bad_message_rebuilds_the_link()
{
    const QStringList texts{QStringLiteral("Не удалось обработать сообщение от сервера RUVO-LoRa."),
                            QStringLiteral("Сообщение сервера RUVO-LoRa, вызвавшее предыдущую ошибку: «{\"cmd\":»")};
    QVERIFY(start());
    auto c = client_of(port_b);
    QVERIFY(sim->command(QStringLiteral("send {\"cmd\":")));
    for (const QString& text : texts)
        QVERIFY(bridge->wait_log(text));
    const QStringList log = bridge->log();
    QVERIFY(log.indexOf(texts[0]) < log.indexOf(texts[1]));
    QVERIFY(wait_gone(*c));
    QVERIFY(sim->wait_count(QStringLiteral("connected"), 2));
    QVERIFY(wait_for([&] { return listening(port_b); }));
    QVERIFY(round_trip(port_b, eui_b, "again"));
}

QTEST_GUILESS_MAIN(Test_bridge_e2e)
#include "test_bridge_e2e.moc"

void Test_bridge_e2e::sigterm_closes_clients_and_link_in_order()
{
    QVERIFY(start());
    QVERIFY(round_trip(port_b, eui_b, "ping"));
    auto client = client_of(port_c);
    QVERIFY(bridge->wait_log(QStringLiteral("tcp%1(peer=[::ffff:127.0.0.1]:%2).accept").arg(port_c).arg(client->localPort())));
    QVERIFY(bridge->stop());
    QVERIFY(wait_gone(*client));
    QVERIFY(sim->wait_line(QStringLiteral("disconnected 1000")));
    QVERIFY(!bridge->logged(QStringLiteral("Утеряно соединение с сервером RUVO-LoRa.")));
}
