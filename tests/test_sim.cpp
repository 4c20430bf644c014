// Tests of the RUVO-LoRa server simulator through a plain WebSocket client: commands, uplink packets,
// the Modbus slave, the control commands and every fault switch.
#include "tests/test_util.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>

namespace {

constexpr int wait_ms = 10000;
const QString echo_eui = QStringLiteral("0102030405060701");
const QString modbus_eui = QStringLiteral("0102030405060702");
const QString silent_eui = QStringLiteral("0102030405060703");
const QString slave17_eui = QStringLiteral("0102030405060705");

const QString auth_template = QStringLiteral(R"({"cmd":"auth_req","login":"%1","password":"%2"})");
const QString devlist_req = QStringLiteral(R"({"cmd":"get_device_appdata_req","keyword":"no_attributes"})");
const QString data_template = QStringLiteral(R"({"cmd":"send_data_req","data_list":[{"devEui":"%1","data":"04%2","port":%3}]})");

QString data_req(const QString& eui, const QByteArray& bytes, int port = 2)
{
    return data_template.arg(eui, QString::fromLatin1(bytes.toHex())).arg(port);
}

QString data_element(const QString& eui, const QByteArray& bytes)
{
    return QStringLiteral(R"({"devEui":"%1","data":"04%2","port":2})").arg(eui, QString::fromLatin1(bytes.toHex()));
}

QString batch_req(const QStringList& elements)
{
    return QStringLiteral(R"({"cmd":"send_data_req","data_list":[%1]})").arg(elements.join(','));
}

QStringList answered_euis(const QJsonObject& answer)
{
    QStringList euis;
    for (const QJsonValue& element : answer.value("append_status").toArray())
        euis << element["devEui"].toString();
    return euis;
}

// CRC-16/MODBUS written here bit by bit from its definition, to check the simulator's own
quint16 crc16_modbus(const QByteArray& bytes)
{
    quint32 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = crc & 1;
            crc >>= 1;
            if (carry)
                crc ^= 0xA001;
        }
    }
    return quint16(crc);
}

QByteArray rtu(const char* hex)
{
    QByteArray frame = QByteArray::fromHex(hex);
    const quint16 crc = crc16_modbus(frame);
    return frame + char(crc & 0xFF) + char(crc >> 8);
}

// The simulator as a child process, with its standard output gathered line by line
class Sim_process {
public:
    ~Sim_process()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(wait_ms))
            process.kill();
    }

    bool start(const QStringList& args)
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { take_output(); });
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(RUVO_SIM_EXE), args);
        if (!wait_for([this] { return !lines.isEmpty(); }))
            return false;
        port = quint16(lines[0].section(' ', 1).toUInt());
        return lines[0].startsWith(QLatin1String("listening ")) && port != 0;
    }

    // Runs a control command; returns the "ok" or "error ..." line that answers it
    QString run(const QString& command)
    {
        const int answered = answers();
        process.write(command.toUtf8() + '\n');
        if (!wait_for([&] { return answers() > answered; }))
            return QStringLiteral("no answer");
        return last_answer;
    }

    bool wait_line(const QString& line) { return wait_for([&] { return lines.contains(line); }); }

    template<class Pred> static bool wait_for(Pred pred) { return ::wait_for(pred, wait_ms); }

    QProcess process;
    QStringList lines;
    quint16 port = 0;

private:
    int answers() const { return answer_count; }

    void take_output()
    {
        pending += process.readAllStandardOutput();
        for (int end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            lines.append(line);
            if (line == QLatin1String("ok") || line.startsWith(QLatin1String("error "))) {
                ++answer_count;
                last_answer = line;
            }
        }
    }

    QByteArray pending;
    int answer_count = 0;
    QString last_answer;
};

// A plain WebSocket client that keeps every message it receives
class Client {
public:
    Client()
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& t) { texts.append(t); });
        QObject::connect(&socket, &QWebSocket::binaryMessageReceived,
                         [this](const QByteArray& b) { binaries.append(b); });
        QObject::connect(&socket, &QWebSocket::disconnected, [this] { closed = true; });
    }

    bool open(quint16 port)
    {
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(port)));
        return Sim_process::wait_for([this] { return socket.state() == QAbstractSocket::ConnectedState; });
    }

    bool wait_messages(int count) { return Sim_process::wait_for([&] { return texts.size() >= count; }); }

    // Sends a command and waits for one more message
    bool ask(const QString& text)
    {
        const int before = texts.size();
        socket.sendTextMessage(text);
        return wait_messages(before + 1);
    }

    bool login() { return ask(auth_template.arg(QLatin1String("demo"), QLatin1String("demo"))); }

    QJsonObject json(int n) const { return QJsonDocument::fromJson(texts.value(n).toUtf8()).object(); }
    QJsonObject last() const { return json(texts.size() - 1); }

    // The rx messages received so far, and their payloads
    QVector<QJsonObject> rx() const
    {
        QVector<QJsonObject> found;
        for (int n = 0; n < texts.size(); ++n)
            if (json(n).value(QLatin1String("cmd")).toString() == QLatin1String("rx"))
                found.append(json(n));
        return found;
    }

    QVector<QByteArray> payloads() const
    {
        QVector<QByteArray> found;
        for (const QJsonObject& m : rx())
            found.append(QByteArray::fromHex(m.value(QLatin1String("data")).toString().toLatin1()));
        return found;
    }

    bool wait_rx(int count) { return Sim_process::wait_for([&] { return rx().size() >= count; }); }

    QWebSocket socket;
    QStringList texts;
    QVector<QByteArray> binaries;
    bool closed = false;
};


QStringList standard_args(const QStringList& more = {})
{
    return QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--radio-delay"),
                       QStringLiteral("5"),
                       QStringLiteral("--modem"), echo_eui + QStringLiteral(":echo:Счётчик-эхо"),
                       QStringLiteral("--modem"), modbus_eui + QStringLiteral(":modbus:Счётчик Modbus: корпус 2"),
                       QStringLiteral("--modem"), silent_eui + QStringLiteral(":silent"),
                       QStringLiteral("--modem"), slave17_eui + QStringLiteral(":modbus@17")}
        + more;
}
// The simulator on its standard modems with a client that has logged in.
bool start_logged_in(Sim_process& sim, Client& c)
{
    return sim.start(standard_args()) && c.open(sim.port) && c.login();
}

// The same, with a fault set before the first command.
bool start_logged_in(Sim_process& sim, Client& c, const QString& fault)
{
    return start_logged_in(sim, c) && sim.run(fault) == QLatin1String("ok");
}


// The header fields of a type-3 payload
struct Header {
    int type, total, size, number, packets;
};

Header header(const QByteArray& p)
{
    return Header{quint8(p[0]), quint8(p[1]) | (quint8(p[2]) << 8), quint8(p[3]), quint8(p[4]), quint8(p[5])};
}

int max_depth(const QString& text)
{
    int depth = 0;
    int deepest = 0;
    for (QChar c : text) {
        if (c == '[' || c == '{')
            deepest = std::max(deepest, ++depth);
        else if (c == ']' || c == '}')
            --depth;
    }
    return deepest;
}

} // namespace

class Test_sim : public QObject {
    Q_OBJECT

private slots:
    void crc_of_the_test_matches_published_values();
    void login_checks_login_and_password_data();
    void login_checks_login_and_password();
    void commands_need_a_login();
    void device_list_has_every_modem_with_extra_fields();
    void data_command_checks_data();
    void data_command_checks();
    void several_elements_are_answered_in_order_and_delivered();
    void echo_answer_of_200_bytes_comes_in_5_packets();
    void modbus_frames_data();
    void modbus_frames();
    void modbus_writes_change_the_registers();
    void silent_devices_bad_crc_and_other_addresses_get_no_answer_data();
    void silent_devices_bad_crc_and_other_addresses_get_no_answer();
    void every_message_is_reported_and_recorded();
    void several_clients_are_served_alike();
    void noise_brings_every_kind_of_stray_message();
    void close_after_closes_without_answering_data();
    void close_after_closes_without_answering();
    void no_answer_withholds_the_answer();
    void delay_holds_the_answer_back();
    void rejections_data();
    void rejections();
    void append_status_faults_data();
    void append_status_faults();
    void batch_answer_faults_data();
    void batch_answer_faults();
    void clear_drops_all_faults();
    void broken_messages_data();
    void broken_messages();
    void binary_frame_and_rx_as_written();
    void uplink_faults_data();
    void uplink_faults();
    void persistent_uplink_fault_spoils_device_answers();
    void answer_faults_data();
    void answer_faults();
    void packets_are_sent_as_given();
    void modem_list_can_be_changed();
    void connections_can_be_closed_and_aborted();
    void bad_commands_are_refused_data();
    void bad_commands_are_refused();
    void bad_command_line_ends_with_code_2();
    void help_names_every_option_and_command();
    void end_of_stdin_keeps_serving_and_sigterm_says_goodbye();
    void quit_ends_the_simulator();
};

void Test_sim::crc_of_the_test_matches_published_values()
{
    QCOMPARE(crc16_modbus("123456789"), quint16(0x4B37));
    QCOMPARE(rtu("01030000000A"), QByteArray::fromHex("01030000000AC5CD"));
}

void Test_sim::login_checks_login_and_password_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right") << "demo" << "demo" << true;
    QTest::newRow("wrong password") << "demo" << "demo1" << false;
    QTest::newRow("wrong login") << "Demo" << "demo" << false;
    QTest::newRow("empty") << "" << "" << false;
}

void Test_sim::login_checks_login_and_password()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    Client c;
    QVERIFY(c.open(sim.port));
    const QString request = auth_template.arg(login, password);
    QVERIFY(c.ask(request));
    const QJsonObject answer = c.last();
    QCOMPARE(answer.value("cmd").toString(), QString("auth_resp"));
    QCOMPARE(answer.value("status").toBool(true), accepted);
    QCOMPARE(answer.value("status").isBool(), true);
    QCOMPARE(answer.contains("err_string"), !accepted);
    QCOMPARE(answer.contains("token"), accepted);
    QVERIFY(sim.lines.contains("recv " + request));
}

void Test_sim::commands_need_a_login()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(c.ask(devlist_req));
    QCOMPARE(c.last().value("cmd").toString(), QString("get_device_appdata_resp"));
    QCOMPARE(c.last().value("status").toBool(true), false);
    QVERIFY(c.ask(auth_template.arg("demo", "wrong")));
    QVERIFY(c.ask(data_req(echo_eui, "ab")));
    QCOMPARE(c.last().value("status").toBool(true), false);
}

void Test_sim::device_list_has_every_modem_with_extra_fields()
{
    Sim_process sim;
    Client c;
    QVERIFY(start_logged_in(sim, c));
    QVERIFY(c.ask(devlist_req));
    const QJsonObject answer = c.last();
    QCOMPARE(answer.value("cmd").toString(), QString("get_device_appdata_resp"));
    QCOMPARE(answer.value("status").toBool(), true);
    const QJsonArray list = answer.value("devices_list").toArray();
    QCOMPARE(list.size(), 4);
    QCOMPARE(list[0].toObject().value("devEui").toString(), echo_eui);
    QCOMPARE(list[0].toObject().value("devName").toString(), QString("Счётчик-эхо"));
    QCOMPARE(list[1].toObject().value("devName").toString(), QString("Счётчик Modbus: корпус 2"));
    QCOMPARE(list[2].toObject().value("devEui").toString(), silent_eui);
    QVERIFY(!list[2].toObject().contains("devName"));
    QCOMPARE(list[3].toObject().value("devEui").toString(), slave17_eui);
    QSet<int> kinds;
    for (const QJsonValue& value : list[1].toObject())
        kinds.insert(int(value.type()));
    for (QJsonValue::Type type : {QJsonValue::String, QJsonValue::Double, QJsonValue::Bool, QJsonValue::Null,
                                  QJsonValue::Object, QJsonValue::Array})
        QVERIFY2(kinds.contains(int(type)), qPrintable(QString("no extra field of type %1").arg(int(type))));
}

void Test_sim::data_command_checks_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<bool>("status");
    QTest::addColumn<bool>("append_status");
    QTest::newRow("good") << data_req(echo_eui, "0102") << true << true;
    QTest::newRow("lowercase EUI") << data_req(echo_eui.toLower(), "0102") << true << true;
    QTest::newRow("unknown modem") << data_req("0102030405060799", "0102") << true << false;
    QTest::newRow("port 3") << data_req(echo_eui, "0102", 3) << false << false;
    QTest::newRow("type 05")
        << QString(R"({"cmd":"send_data_req","data_list":[{"devEui":"%1","data":"050102","port":2}]})").arg(echo_eui)
        << false << false;
    QTest::newRow("odd digits")
        << QString(R"({"cmd":"send_data_req","data_list":[{"devEui":"%1","data":"04010","port":2}]})").arg(echo_eui)
        << false << false;
    QTest::newRow("not hex")
        << QString(R"({"cmd":"send_data_req","data_list":[{"devEui":"%1","data":"04zz","port":2}]})").arg(echo_eui)
        << false << false;
    QTest::newRow("bad second element")
        << batch_req({data_element(echo_eui, "01"), data_element(echo_eui, "02").replace("\"04", "\"05")})
        << false << false;
    QTest::newRow("no elements") << QString(R"({"cmd":"send_data_req","data_list":[]})") << false << false;
    QTest::newRow("short EUI") << data_req(echo_eui.left(15), "01") << false << false;
}

void Test_sim::data_command_checks()
{
    QFETCH(QString, request);
    QFETCH(bool, status);
    QFETCH(bool, append_status);
    Sim_process sim;
    Client c;
    QVERIFY(start_logged_in(sim, c));
    QVERIFY(c.ask(request));
    const QJsonObject answer = c.last();
    QCOMPARE(answer.value("cmd").toString(), QString("send_data_resp"));
    QCOMPARE(answer.value("status").toBool(), status);
    if (!status) {
        QVERIFY(answer.contains("err_string"));
        return;
    }
    const QJsonArray elements = answer.value("append_status").toArray();
    QCOMPARE(elements.size(), 1);
    const QString eui = QJsonDocument::fromJson(request.toUtf8())["data_list"][0]["devEui"].toString();
    QCOMPARE(elements[0].toObject().value("devEui").toString(), eui.toUpper());
    QCOMPARE(elements[0].toObject().value("status").toBool(!append_status), append_status);
}

void Test_sim::several_elements_are_answered_in_order_and_delivered()
{
    Sim_process sim;
    Client c;
    QVERIFY(start_logged_in(sim, c));
    const QString unknown = QStringLiteral("0102030405060799");
    QVERIFY(c.ask(batch_req({data_element(echo_eui, "a"), data_element(unknown, "u"), data_element(silent_eui, "s"),
                             data_element(echo_eui, "b")})));
    const QJsonObject answer = c.last();
    QCOMPARE(answer.value("status").toBool(), true);
    QCOMPARE(answered_euis(answer), QStringList({echo_eui, unknown, silent_eui, echo_eui}));
    QList<bool> statuses;
    for (const QJsonValue& element : answer.value("append_status").toArray())
        statuses << element["status"].toBool();
    QCOMPARE(statuses, QList<bool>({true, false, true, true}));
    QVERIFY(c.wait_rx(2));
    QCOMPARE(c.payloads()[0].mid(6), QByteArray("a"));
    QCOMPARE(c.payloads()[1].mid(6), QByteArray("b"));
}

void Test_sim::echo_answer_of_200_bytes_comes_in_5_packets()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args({"--packet-size", "45"})));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(c.login());
    QByteArray message;
    for (int n = 0; n < 200; ++n)
        message.append(char(n * 7 + 3));
    QVERIFY(c.ask(data_req(echo_eui, message)));
    QVERIFY(c.wait_rx(5));
    const QVector<QByteArray> payloads = c.payloads();
    QCOMPARE(payloads.size(), 5);
    QByteArray joined;
    for (int n = 0; n < 5; ++n) {
        const Header h = header(payloads[n]);
        QCOMPARE(h.type, 3);
        QCOMPARE(h.total, 200);
        QCOMPARE(h.size, n < 4 ? 45 : 20);
        QCOMPARE(h.number, n);
        QCOMPARE(h.packets, 5);
        QCOMPARE(payloads[n].size(), 6 + h.size);
        joined += payloads[n].mid(6);
    }
    QCOMPARE(joined, message);
    const QVector<QJsonObject> rx = c.rx();
    for (int n = 0; n < 5; ++n) {
        QCOMPARE(rx[n].value("devEui").toString(), echo_eui);
        QCOMPARE(rx[n].value("port").toInt(), 2);
        QCOMPARE(rx[n].value("fcnt").toInt(), n);
        for (const char* field : {"ts", "rssi", "snr", "gatewayId"})
            QVERIFY2(rx[n].contains(field), field);
    }
    QVERIFY(QRegularExpression("^[0-9a-f]*$").match(rx[0].value("data").toString()).hasMatch());
}

void Test_sim::modbus_frames_data()
{
    QTest::addColumn<QString>("eui");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("read holding 0..9") << modbus_eui << QByteArray::fromHex("01030000000AC5CD")
                                       << rtu("010314000000010002000300040005000600070008" "0009");
    QTest::newRow("read input 5..6") << modbus_eui << rtu("010400050002") << rtu("01040403ED03EE");
    QTest::newRow("read last two") << modbus_eui << rtu("010300620002") << rtu("0103040062" "0063");
    QTest::newRow("read 125 of 100") << modbus_eui << rtu("01030000007D") << rtu("018302");
    QTest::newRow("write single") << modbus_eui << rtu("01060007ABCD") << rtu("01060007ABCD");
    QTest::newRow("write multiple") << modbus_eui << rtu("0110000A000204" "11112222") << rtu("0110000A0002");
    QTest::newRow("illegal function") << modbus_eui << rtu("010500010000") << rtu("018501");
    QTest::newRow("address past the block") << modbus_eui << rtu("010300630002") << rtu("018302");
    QTest::newRow("write past the block") << modbus_eui << rtu("010600640001") << rtu("018602");
    QTest::newRow("quantity 0") << modbus_eui << rtu("010300000000") << rtu("018303");
    QTest::newRow("quantity 126") << modbus_eui << rtu("01030000007E") << rtu("018303");
    QTest::newRow("byte count mismatch") << modbus_eui << rtu("0110000A000203" "111122") << rtu("019003");
    QTest::newRow("short read") << modbus_eui << rtu("0103000000") << rtu("018303");
    QTest::newRow("slave 17") << slave17_eui << rtu("110300010001") << rtu("1103020001");
}

void Test_sim::modbus_frames()
{
    QFETCH(QString, eui);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);
    Sim_process sim;
    QVERIFY(sim.start(standard_args({"--packet-size", "255"})));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(c.login());
    QVERIFY(c.ask(data_req(eui, request)));
    QVERIFY(c.wait_rx(1));
    const QByteArray payload = c.payloads()[0];
    QCOMPARE(header(payload).number, 0);
    QCOMPARE(header(payload).packets, 1);
    QCOMPARE(payload.mid(6), expected);
    QCOMPARE(c.rx()[0].value("devEui").toString(), eui);
}

void Test_sim::modbus_writes_change_the_registers()
{
    Sim_process sim;
    Client c;
    QVERIFY(start_logged_in(sim, c));
    for (const QByteArray& request : {rtu("01060001BEEF"), rtu("0110000200020412345678"), rtu("010300000004")})
        QVERIFY(c.ask(data_req(modbus_eui, request)));
    QVERIFY(c.wait_rx(3));
    QCOMPARE(c.payloads()[2].mid(6), rtu("0103080000BEEF12345678"));
}

void Test_sim::silent_devices_bad_crc_and_other_addresses_get_no_answer_data()
{
    QTest::addColumn<QString>("eui");
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("silent") << silent_eui << QByteArray("hello");
    QTest::newRow("bad CRC") << modbus_eui << QByteArray::fromHex("01030000000AC5CE");
    QTest::newRow("other address") << modbus_eui << rtu("02030000000A");
    QTest::newRow("broadcast write") << modbus_eui << rtu("000600010005");
    QTest::newRow("too short") << modbus_eui << QByteArray::fromHex("0103C0");
    QTest::newRow("empty echo") << echo_eui << QByteArray();
}

// The probe to the echo modem is sent later with the same radio delay, so its answer
// would come second if the first request had been answered at all.
void Test_sim::silent_devices_bad_crc_and_other_addresses_get_no_answer()
{
    QFETCH(QString, eui);
    QFETCH(QByteArray, request);
    Sim_process sim;
    Client c;
    QVERIFY(start_logged_in(sim, c));
    QVERIFY(c.ask(data_req(eui, request)));
    QCOMPARE(c.last().value("append_status").toArray()[0].toObject().value("status").toBool(), true);
    QVERIFY(c.ask(data_req(echo_eui, "probe")));
    QVERIFY(c.wait_rx(1));
    QCOMPARE(c.rx()[0].value("devEui").toString(), echo_eui);
    QCOMPARE(c.payloads()[0].mid(6), QByteArray("probe"));
    QVERIFY(c.ask(data_req(echo_eui, "second")));
    QVERIFY(c.wait_rx(2));
    QCOMPARE(c.rx().size(), 2);
}

void Test_sim::every_message_is_reported_and_recorded()
{
    QTemporaryDir dir;
    const QString record = dir.filePath("record.txt");
    Sim_process sim;
    QVERIFY(sim.start(standard_args({"--record", record})));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(sim.wait_line("connected"));
    const QString odd = QStringLiteral("not json \"at all\"\nsecond line");
    c.socket.sendTextMessage(odd);
    c.socket.sendBinaryMessage(QByteArray::fromHex("00ff10"));
    QVERIFY(c.login());
    const QString sent = "sent " + c.texts[0];
    QVERIFY(sim.wait_line(sent));
    QVERIFY(sim.lines.contains("recv not json \"at all\"\\nsecond line"));
    QVERIFY(sim.lines.contains("recvbin 00ff10"));
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList recorded = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(recorded, QStringList({"recv not json \"at all\"\\nsecond line", "recvbin 00ff10",
                                    "recv " + auth_template.arg("demo", "demo")}));
}

void Test_sim::several_clients_are_served_alike()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    Client a, b;
    QVERIFY(a.open(sim.port));
    QVERIFY(b.open(sim.port));
    QVERIFY(a.login());
    QVERIFY(b.ask(devlist_req));
    QCOMPARE(b.last().value("status").toBool(true), false);
    QVERIFY(b.login());
    QVERIFY(a.ask(data_req(echo_eui, "from a")));
    QVERIFY(b.ask(data_req(echo_eui, "from b")));
    QVERIFY(a.wait_rx(1));
    QVERIFY(b.wait_rx(1));
    QCOMPARE(a.payloads()[0].mid(6), QByteArray("from a"));
    QCOMPARE(b.payloads()[0].mid(6), QByteArray("from b"));
    QCOMPARE(sim.run("send {\"cmd\":\"hello\"}"), QString("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(a.texts.last(), QString("{\"cmd\":\"hello\"}"), wait_ms);
    QTRY_COMPARE_WITH_TIMEOUT(b.texts.last(), QString("{\"cmd\":\"hello\"}"), wait_ms);
    QCOMPARE(a.rx().size(), 1);
}

void Test_sim::noise_brings_every_kind_of_stray_message()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args({"--noise", "10"})));
    Client c;
    QVERIFY(c.open(sim.port));
    bool other_cmd = false, other_port = false, stranger = false;
    QVERIFY(Sim_process::wait_for([&] {
        for (int n = 0; n < c.texts.size(); ++n) {
            const QJsonObject m = c.json(n);
            const bool rx = m.value("cmd").toString() == "rx";
            other_cmd |= !rx && !m.value("cmd").toString().isEmpty();
            other_port |= rx && m.value("port").toInt() != 2;
            stranger |= rx && m.value("port").toInt() == 2 && !m.value("devEui").toString().startsWith("01020304");
        }
        return other_cmd && other_port && stranger;
    }));
}

void Test_sim::close_after_closes_without_answering_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("line");
    QTest::newRow("close") << "fault close_after 2" << "disconnected 1000";
    QTest::newRow("abort") << "fault abort_after 2" << "disconnected 1006";
}

void Test_sim::close_after_closes_without_answering()
{
    QFETCH(QString, fault);
    QFETCH(QString, line);
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    QCOMPARE(sim.run(fault), QString("ok"));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(c.login());
    c.socket.sendTextMessage(devlist_req);
    QTRY_VERIFY_WITH_TIMEOUT(c.closed, wait_ms);
    QVERIFY(sim.wait_line(line));
    QCOMPARE(c.texts.size(), 1);
    if (line.endsWith("1000"))
        QCOMPARE(int(c.socket.closeCode()), 1000);
    // The fault fires once: the next connection is served
    Client again;
    QVERIFY(again.open(sim.port));
    QVERIFY(again.login());
    QVERIFY(again.ask(devlist_req));
    QCOMPARE(again.last().value("status").toBool(), true);
}

void Test_sim::no_answer_withholds_the_answer()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args({"--fault", "fault no_answer get_device_appdata_req"})));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(c.login());
    c.socket.sendTextMessage(devlist_req);
    QVERIFY(sim.wait_line("recv " + devlist_req));
    QCOMPARE(sim.run("send {\"cmd\":\"marker\"}"), QString("ok"));
    QVERIFY(c.wait_messages(2));
    QCOMPARE(c.texts[1], QString("{\"cmd\":\"marker\"}"));
    QVERIFY(c.ask(data_req(echo_eui, "x")));
    QCOMPARE(c.last().value("cmd").toString(), QString("send_data_resp"));
}

void Test_sim::delay_holds_the_answer_back()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    QCOMPARE(sim.run("fault delay get_device_appdata_req 400"), QString("ok"));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(c.login());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(c.ask(devlist_req));
    QVERIFY2(clock.elapsed() >= 390, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(c.last().value("cmd").toString(), QString("get_device_appdata_resp"));
}

void Test_sim::rejections_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("err_string");
    QTest::newRow("login with text") << "fault reject_login Учётная запись заблокирована"
                                     << auth_template.arg("demo", "demo") << "Учётная запись заблокирована";
    QTest::newRow("login without text") << "fault reject_login" << auth_template.arg("demo", "demo") << QString();
    QTest::newRow("device list") << "fault reject get_device_appdata_req Server busy" << devlist_req
                                 << "Server busy";
    QTest::newRow("data") << "fault reject send_data_req" << data_req(echo_eui, "01") << QString();
}

void Test_sim::rejections()
{
    QFETCH(QString, fault);
    QFETCH(QString, request);
    QFETCH(QString, err_string);
    Sim_process sim;
    Client c;
    QVERIFY(start_logged_in(sim, c, fault));
    QVERIFY(c.ask(request));
    const QJsonObject answer = c.last();
    QCOMPARE(answer.value("cmd").toString(), request.section('"', 3, 3).replace("_req", "_resp"));
    QCOMPARE(answer.value("status").toBool(true), false);
    QCOMPARE(answer.contains("err_string"), !err_string.isEmpty());
    QCOMPARE(answer.value("err_string").toString(), err_string);
}

void Test_sim::append_status_faults_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("elements");
    QTest::addColumn<bool>("status");
    QTest::addColumn<QString>("eui");
    QTest::newRow("false") << "false" << 1 << false << echo_eui;
    QTest::newRow("wrong_eui") << "wrong_eui" << 1 << true << "01020304050607FE";
    QTest::newRow("two") << "two" << 2 << true << echo_eui;
    QTest::newRow("empty") << "empty" << 0 << true << QString();
    QTest::newRow("missing") << "missing" << -1 << true << QString();
}

void Test_sim::append_status_faults()
{
    QFETCH(QString, mode);
    QFETCH(int, elements);
    QFETCH(bool, status);
    QFETCH(QString, eui);
    Sim_process sim;
    Client c;
    QVERIFY(start_logged_in(sim, c, "fault append_status " + mode));
    for (int round = 0; round < 2; ++round) {
        QVERIFY(c.ask(data_req(echo_eui, "abc")));
        const QJsonObject answer = c.last();
        QCOMPARE(answer.value("status").toBool(), true);
        QCOMPARE(answer.contains("append_status"), elements >= 0);
        const QJsonArray list = answer.value("append_status").toArray();
        QCOMPARE(list.size(), std::max(elements, 0));
        for (const QJsonValue& element : list) {
            QCOMPARE(element["devEui"].toString(), eui);
            QCOMPARE(element["status"].toBool(!status), status);
        }
    }
    // The spoiled commands did not reach the device
    QCOMPARE(sim.run("clear"), QString("ok"));
    QVERIFY(c.ask(data_req(echo_eui, "after")));
    QVERIFY(c.wait_rx(1));
    QCOMPARE(c.payloads()[0].mid(6), QByteArray("after"));
}

void Test_sim::batch_answer_faults_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("euis");
    QTest::newRow("short") << "short" << QStringList({echo_eui, silent_eui});
    QTest::newRow("reordered") << "reordered" << QStringList({silent_eui, echo_eui, slave17_eui});
}

void Test_sim::batch_answer_faults()
{
    QFETCH(QString, mode);
    QFETCH(QStringList, euis);
    Sim_process sim;
    Client c;
    QVERIFY(start_logged_in(sim, c, "fault batch_answer " + mode));
    QVERIFY(c.ask(batch_req({data_element(echo_eui, "batch"), data_element(silent_eui, "x"),
                             data_element(slave17_eui, "y")})));
    QCOMPARE(answered_euis(c.last()), euis);
    // A command of one element is answered as usual; the spoiled batch did not reach the echo device.
    QVERIFY(c.ask(data_req(echo_eui, "alone")));
    QCOMPARE(answered_euis(c.last()), QStringList({echo_eui}));
    QVERIFY(c.wait_rx(1));
    QCOMPARE(c.payloads()[0].mid(6), QByteArray("alone"));
}

void Test_sim::clear_drops_all_faults()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args({"--fault", "fault reject_login no", "--fault", "fault delay auth_req 5000",
                                     "--fault", "fault no_answer get_device_appdata_req", "--fault",
                                     "fault uplink_bad size", "--fault", "fault close_after 3"})));
    QCOMPARE(sim.run("clear"), QString("ok"));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(c.login());
    QCOMPARE(c.last().value("status").toBool(), true);
    QVERIFY(c.ask(devlist_req));
    QVERIFY(c.ask(data_req(echo_eui, "ok")));
    QVERIFY(c.wait_rx(1));
    QCOMPARE(header(c.payloads()[0]).size, 2);
    QVERIFY(!c.closed);
}

void Test_sim::broken_messages_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("parse_error");
    QTest::addColumn<int>("depth");
    QTest::newRow("malformed") << "send_malformed" << int(QJsonParseError::UnterminatedString) << 1;
    QTest::newRow("trailing") << "send_trailing" << int(QJsonParseError::GarbageAtEnd) << 1;
    QTest::newRow("trailing object") << "send_trailing {\"cmd\":\"x\"}" << int(QJsonParseError::GarbageAtEnd) << 1;
    QTest::newRow("duplicate") << "send_duplicate" << int(QJsonParseError::NoError) << 1;
    QTest::newRow("nested 500") << "send_nested 500" << int(QJsonParseError::NoError) << 501;
    QTest::newRow("nested 100000") << "send_nested 100000" << int(QJsonParseError::DeepNesting) << 100001;
    QTest::newRow("as written") << "send {\"cmd\":\"rx\",  \"port\":2 }" << int(QJsonParseError::NoError) << 1;
}

void Test_sim::broken_messages()
{
    QFETCH(QString, command);
    QFETCH(int, parse_error);
    QFETCH(int, depth);
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(sim.wait_line("connected"));
    QCOMPARE(sim.run(command), QString("ok"));
    QVERIFY(c.wait_messages(1));
    const QString text = c.texts[0];
    QVERIFY(sim.lines.contains("sent " + text));
    QJsonParseError error;
    QJsonDocument::fromJson(text.toUtf8(), &error);
    QCOMPARE(int(error.error), parse_error);
    QCOMPARE(max_depth(text), depth);
    if (command == "send_duplicate")
        QCOMPARE(text.count("\"cmd\":"), 2);
    if (command.startsWith("send_trailing"))
        QVERIFY(QJsonDocument::fromJson(text.left(text.indexOf('}') + 1).toUtf8()).isObject());
    if (command.startsWith("send "))
        QCOMPARE(text, command.mid(5));
}

void Test_sim::binary_frame_and_rx_as_written()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(sim.wait_line("connected"));
    QCOMPARE(sim.run("sendbin 0001feff"), QString("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(c.binaries.size(), 1, wait_ms);
    QCOMPARE(c.binaries[0], QByteArray::fromHex("0001feff"));
    QCOMPARE(sim.run("rx 0102030405060aBc 7 0a0B1"), QString("ok"));
    QVERIFY(c.wait_messages(1));
    const QJsonObject rx = c.json(0);
    QCOMPARE(rx.value("cmd").toString(), QString("rx"));
    QCOMPARE(rx.value("devEui").toString(), QString("0102030405060aBc"));
    QCOMPARE(rx.value("port").toInt(), 7);
    QCOMPARE(rx.value("data").toString(), QString("0a0B1"));
    QCOMPARE(sim.run("rx 0102030405060701 2"), QString("ok"));
    QVERIFY(c.wait_messages(2));
    QCOMPARE(c.json(1).value("data").toString(), QString(""));
}

void Test_sim::uplink_faults_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("bytes");
    // per packet in arrival order: number, size field, total field, packets field, data size
    QTest::addColumn<QVector<QVector<int>>>("packets");
    using P = QVector<QVector<int>>;
    QTest::newRow("none") << "" << 25 << P{{0, 10, 25, 3, 10}, {1, 10, 25, 3, 10}, {2, 5, 25, 3, 5}};
    QTest::newRow("out_of_order") << " out_of_order" << 25 << P{{0, 10, 25, 3, 10}, {2, 5, 25, 3, 5}, {1, 10, 25, 3, 10}};
    QTest::newRow("out_of_order alone") << " out_of_order" << 4 << P{{1, 4, 4, 1, 4}};
    QTest::newRow("size") << " size" << 25 << P{{0, 10, 25, 3, 10}, {1, 10, 25, 3, 10}, {2, 6, 25, 3, 5}};
    QTest::newRow("total") << " total" << 25 << P{{0, 10, 25, 3, 10}, {1, 10, 25, 3, 10}, {2, 5, 26, 3, 5}};
    QTest::newRow("packets") << " packets" << 25 << P{{0, 10, 25, 3, 10}, {1, 10, 25, 3, 10}, {2, 5, 25, 4, 5}};
    QTest::newRow("exact") << "" << 20 << P{{0, 10, 20, 2, 10}, {1, 10, 20, 2, 10}};
}

void Test_sim::uplink_faults()
{
    QFETCH(QString, mode);
    QFETCH(int, bytes);
    QFETCH(QVector<QVector<int>>, packets);
    Sim_process sim;
    QVERIFY(sim.start(standard_args({"--packet-size", "10"})));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(sim.wait_line("connected"));
    const QByteArray answer = QByteArray(bytes, 'z');
    const QString verb = mode.isEmpty() ? "uplink " : "uplink_bad ";
    QCOMPARE(sim.run(verb + echo_eui + " " + answer.toHex() + mode), QString("ok"));
    QVERIFY(c.wait_rx(packets.size()));
    const QVector<QByteArray> payloads = c.payloads();
    QCOMPARE(payloads.size(), packets.size());
    for (int n = 0; n < packets.size(); ++n) {
        const Header h = header(payloads[n]);
        QCOMPARE(h.type, 3);
        QCOMPARE(QVector<int>({h.number, h.size, h.total, h.packets, int(payloads[n].size() - 6)}), packets[n]);
    }
}

void Test_sim::persistent_uplink_fault_spoils_device_answers()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args({"--packet-size", "4", "--fault", "fault uplink_bad total"})));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(c.login());
    QVERIFY(c.ask(data_req(echo_eui, "123456")));
    QVERIFY(c.wait_rx(2));
    QCOMPARE(header(c.payloads()[0]).total, 6);
    QCOMPARE(header(c.payloads()[1]).total, 7);
}

void Test_sim::answer_faults_data()
{
    // control commands and, for each "answer", a data command whose answer is waited for
    QTest::addColumn<QStringList>("steps");
    // per packet in arrival order: the answer it belongs to, its number, its fcnt
    QTest::addColumn<QVector<QVector<int>>>("arrivals");
    using P = QVector<QVector<int>>;
    QTest::newRow("copy_next") << QStringList{"fault copy_next %1 0", "answer", "answer"}
                               << P{{0, 0, 0}, {0, 1, 1}, {0, 0, 2}, {0, 1, 3}, {1, 0, 4}, {1, 1, 5}};
    QTest::newRow("copy_next later") << QStringList{"fault copy_next %1 50", "answer"}
                                     << P{{0, 0, 0}, {0, 1, 1}, {0, 0, 2}, {0, 1, 3}};
    QTest::newRow("replay_next") << QStringList{"fault replay_next %1", "answer", "answer"}
                                 << P{{0, 0, 0}, {0, 1, 1}, {0, 0, 0}, {0, 1, 1}, {1, 0, 2}, {1, 1, 3}};
    QTest::newRow("replay_next later") << QStringList{"fault replay_next %1 50", "answer"}
                                       << P{{0, 0, 0}, {0, 1, 1}, {0, 0, 0}, {0, 1, 1}};
    QTest::newRow("lose_every 2")
        << QStringList{"fault lose_every %1 2", "answer", "answer", "answer", "answer", "answer"}
        << P{{0, 0, 0}, {0, 1, 1}, {2, 0, 2}, {2, 1, 3}, {4, 0, 4}, {4, 1, 5}};
    QTest::newRow("lose_every set again")
        << QStringList{"fault lose_every %1 2", "answer", "fault lose_every %1 2", "answer", "answer", "answer"}
        << P{{0, 0, 0}, {0, 1, 1}, {1, 0, 2}, {1, 1, 3}, {3, 0, 4}, {3, 1, 5}};
    QTest::newRow("lose_every 0") << QStringList{"fault lose_every %1 1", "fault lose_every %1 0", "answer"}
                                  << P{{0, 0, 0}, {0, 1, 1}};
}

// Answers of 15 bytes in two packets, one after another; copies carry the bytes of the packet they copy.
void Test_sim::answer_faults()
{
    QFETCH(QStringList, steps);
    QFETCH(QVector<QVector<int>>, arrivals);
    Sim_process sim;
    QVERIFY(sim.start(standard_args({"--packet-size", "10"})));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(c.login());
    int n = 0;
    for (const QString& step : steps) {
        if (step != QLatin1String("answer")) {
            QCOMPARE(sim.run(step.arg(echo_eui)), QString("ok"));
            continue;
        }
        QVERIFY(c.ask(data_req(echo_eui, QByteArray(15, char('a' + n)))));
        const auto due = [n](const QVector<int>& a) { return a[0] <= n; };
        QVERIFY(c.wait_rx(int(std::count_if(arrivals.begin(), arrivals.end(), due))));
        ++n;
    }
    QVector<QVector<int>> got;
    QHash<int, QByteArray> originals;   // answer * 256 + packet number → the first payload
    const QVector<QJsonObject> rx = c.rx();
    const QVector<QByteArray> payloads = c.payloads();
    for (int i = 0; i < rx.size(); ++i) {
        const int key = (payloads[i][6] - 'a') * 256 + header(payloads[i]).number;
        QCOMPARE(payloads[i], originals.value(key, payloads[i]));
        originals.insert(key, payloads[i]);
        got.append({key / 256, key % 256, rx[i].value("fcnt").toInt()});
    }
    QCOMPARE(got, arrivals);
}

void Test_sim::packets_are_sent_as_given()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(sim.wait_line("connected"));
    QCOMPARE(sim.run("packets " + echo_eui + " 030500050001aabbccddee 0301 04"), QString("ok"));
    QVERIFY(c.wait_rx(3));
    QCOMPARE(c.payloads(), QVector<QByteArray>({QByteArray::fromHex("030500050001aabbccddee"),
                                                QByteArray::fromHex("0301"), QByteArray::fromHex("04")}));
    QCOMPARE(c.rx()[2].value("port").toInt(), 2);
}

void Test_sim::modem_list_can_be_changed()
{
    Sim_process sim;
    Client c;
    QVERIFY(start_logged_in(sim, c));
    auto euis = [&c] {
        QStringList found;
        if (c.ask(devlist_req))
            for (const QJsonValue& device : c.last().value("devices_list").toArray())
                found.append(device["devEui"].toString() + "/" + device["devName"].toString());
        return found;
    };
    QCOMPARE(sim.run("modems 00000000000000AA:echo:A: b, 00000000000000bb:modbus@3"), QString("ok"));
    QCOMPARE(euis(), QStringList({"00000000000000AA/A: b", "00000000000000BB/"}));
    QCOMPARE(sim.run("add_modem 00000000000000CC:silent:C"), QString("ok"));
    QCOMPARE(sim.run("add_modem 00000000000000AA:echo:A2"), QString("ok"));
    QCOMPARE(sim.run("remove_modem 00000000000000BB"), QString("ok"));
    QCOMPARE(euis(), QStringList({"00000000000000AA/A2", "00000000000000CC/C"}));
    QCOMPARE(sim.run("modems"), QString("ok"));
    QCOMPARE(euis(), QStringList());
    QVERIFY(c.ask(data_req(echo_eui, "01")));
    QCOMPARE(c.last().value("append_status")[0]["status"].toBool(true), false);
}

void Test_sim::connections_can_be_closed_and_aborted()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    Client a, b;
    QVERIFY(a.open(sim.port));
    QVERIFY(b.open(sim.port));
    QCOMPARE(sim.run("close"), QString("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(a.closed && b.closed, wait_ms);
    QCOMPARE(int(a.socket.closeCode()), 1000);
    QTRY_COMPARE_WITH_TIMEOUT(sim.lines.count("disconnected 1000"), 2, wait_ms);
    Client c;
    QVERIFY(c.open(sim.port));
    QCOMPARE(sim.run("abort"), QString("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(c.closed, wait_ms);
    QVERIFY(sim.wait_line("disconnected 1006"));
    Client d;
    QVERIFY(d.open(sim.port));
    d.socket.close(QWebSocketProtocol::CloseCodeGoingAway);
    QVERIFY(sim.wait_line("disconnected 1001"));
}

void Test_sim::bad_commands_are_refused_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("unknown") << "frobnicate";
    QTest::newRow("unknown fault") << "fault everything";
    QTest::newRow("no_answer of unknown") << "fault no_answer ping_req";
    QTest::newRow("delay without ms") << "fault delay auth_req";
    QTest::newRow("close_after 0") << "fault close_after 0";
    QTest::newRow("append_status bad") << "fault append_status maybe";
    QTest::newRow("copy_next without ms") << "fault copy_next 0102030405060701";
    QTest::newRow("lose_every bad eui") << "fault lose_every 01020304 2";
    QTest::newRow("uplink bad eui") << "uplink 01020304 0102";
    QTest::newRow("uplink odd hex") << "uplink 0102030405060701 010";
    QTest::newRow("uplink_bad bad mode") << "uplink_bad 0102030405060701 0102 upside_down";
    QTest::newRow("rx without port") << "rx 0102030405060701";
    QTest::newRow("rx bad data") << "rx 0102030405060701 2 xyz";
    QTest::newRow("packets bad") << "packets 0102030405060701 01 0";
    QTest::newRow("sendbin bad") << "sendbin 0g";
    QTest::newRow("modems bad kind") << "modems 0102030405060701:toaster";
    QTest::newRow("modems bad address") << "modems 0102030405060701:modbus@248";
    QTest::newRow("remove unknown") << "remove_modem 0000000000000001";
    QTest::newRow("set packet_size 0") << "set packet_size 0";
    QTest::newRow("set unknown") << "set colour red";
    QTest::newRow("send_nested 0") << "send_nested 0";
}

void Test_sim::bad_commands_are_refused()
{
    QFETCH(QString, command);
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    QVERIFY(sim.run(command).startsWith("error "));
    QCOMPARE(sim.run("# a comment\n\nclear"), QString("ok"));
}

void Test_sim::bad_command_line_ends_with_code_2()
{
    for (const QStringList& args : {QStringList{"--fault", "fault nothing"}, QStringList{"--modem", "12:echo"},
                                    QStringList{"--packet-size", "256"}, QStringList{"--listen", "nowhere"}}) {
        QProcess process;
        process.start(QStringLiteral(RUVO_SIM_EXE), args);
        QVERIFY(process.waitForFinished(wait_ms));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(!process.readAllStandardError().isEmpty());
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }
}

void Test_sim::help_names_every_option_and_command()
{
    QProcess process;
    process.start(QStringLiteral(RUVO_SIM_EXE), {"--help"});
    QVERIFY(process.waitForFinished(wait_ms));
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromUtf8(process.readAllStandardOutput());
    for (const char* name : {"--listen", "--login", "--password", "--modem", "--radio-delay", "--packet-size",
                             "--packet-gap", "--answer-delay", "--noise", "--modbus-registers", "--fault", "--record",
                             "close_after", "abort_after", "no_answer", "delay", "reject_login", "reject CMD",
                             "append_status", "batch_answer", "uplink_bad", "copy_next", "replay_next", "lose_every",
                             "send TEXT", "sendbin", "send_malformed", "send_trailing", "send_duplicate", "send_nested",
                             "rx EUI", "uplink EUI", "packets", "modems", "add_modem", "remove_modem", "set ", "close",
                             "abort", "quit", "clear"})
        QVERIFY2(help.contains(QLatin1String(name)), name);
}

void Test_sim::end_of_stdin_keeps_serving_and_sigterm_says_goodbye()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    sim.process.closeWriteChannel();
    Client c;
    QVERIFY(c.open(sim.port));
    QVERIFY(c.login());
    QCOMPARE(c.last().value("status").toBool(), true);
    sim.process.terminate();
    QTRY_VERIFY_WITH_TIMEOUT(c.closed, wait_ms);
    QCOMPARE(int(c.socket.closeCode()), 1001);
    QTRY_COMPARE_WITH_TIMEOUT(sim.process.state(), QProcess::NotRunning, wait_ms);
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
}

void Test_sim::quit_ends_the_simulator()
{
    Sim_process sim;
    QVERIFY(sim.start(standard_args()));
    QCOMPARE(sim.run("quit"), QString("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(sim.process.state(), QProcess::NotRunning, wait_ms);
    QCOMPARE(sim.process.exitCode(), 0);
}

QTEST_GUILESS_MAIN(Test_sim)
#include "test_sim.moc"
