// Modbus TCP ports: the framing of requests and answers on its own, then the real program
// between real Modbus masters (mbpoll, pymodbus) and the simulator's Modbus slaves.
#include "tests/bridge_process.h"

#include "core/cfg.h"
#include "common/crc16.h"
#include "tcp/modbus_tcp_framing.h"
#include "tests/recording_host.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// Modems of the simulator: two Modbus slaves (one served as Modbus TCP, one raw), a silent
// modem served as Modbus TCP and an echo served raw.
const char eui_mb[] = "0102030405060711";
const char eui_rtu[] = "0102030405060712";
const char eui_silent[] = "0102030405060713";
const char eui_echo[] = "0102030405060714";
const int modbus_timeout_ms = 1500;

QByteArray mbap(quint16 tid, quint8 unit, const QByteArray& pdu)
{
    QByteArray m;
    m.append(char(tid >> 8)).append(char(tid & 0xFF)).append(2, '\0');
    m.append(char((pdu.size() + 1) >> 8)).append(char((pdu.size() + 1) & 0xFF)).append(char(unit));
    return m + pdu;
}

// Read 10 holding registers from 0.
const QByteArray read_10 = QByteArray::fromHex("030000000a");

QByteArray holding_10(int first)
{
    QByteArray pdu = QByteArray::fromHex("0314");
    for (int n = first; n < first + 10; ++n)
        pdu.append(char(n >> 8)).append(char(n & 0xFF));
    return pdu;
}

// Runs a Modbus master to its end; its standard output, or a warning and nothing.
QString run_master(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning() << program << args << p.readAllStandardOutput() << p.readAllStandardError();
        return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The values that mbpoll prints, one "[ref]: value" line each.
QStringList mbpoll_values(const QString& output)
{
    static const QRegularExpression line(QStringLiteral("^\\[\\d+\\]:\\s+(-?\\d+)\\s*$"),
                                         QRegularExpression::MultilineOption);
    QStringList values;
    for (auto it = line.globalMatch(output); it.hasNext();)
        values << it.next().captured(1);
    return values;
}

QStringList numbers(int first, int count)
{
    QStringList out;
    for (int n = first; n < first + count; ++n)
        out << QString::number(n);
    return out;
}

}  // namespace

class Test_modbus_tcp : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void framing_refuses_bad_headers_data();
    void framing_refuses_bad_headers();
    void framing_checks_answers();

    void mbpoll_reads_and_writes();
    void pymodbus_in_both_modes_side_by_side();
    void pipelined_and_split_requests();
    void silent_modem_times_out_then_recovers();
    void bad_header_closes_only_that_client();

private:
    bool start();

    Temp_log temp_log;
    std::unique_ptr<Sim> sim;
    std::unique_ptr<Bridge> bridge;
    quint16 port_mb = 0;
    quint16 port_rtu = 0;
    quint16 port_silent = 0;
    quint16 port_echo = 0;
};

void Test_modbus_tcp::initTestCase()
{
    trace_tcp = 1;
    modbus_timeout = modbus_timeout_ms;
}

void Test_modbus_tcp::cleanup()
{
    if (bridge && bridge->process.state() != QProcess::NotRunning)
        QVERIFY(bridge->stop());
    bridge.reset();
    sim.reset();
    temp_log.clear();
}

bool Test_modbus_tcp::start()
{
    const std::vector<quint16> ports = free_ports(4);
    port_mb = ports[0];
    port_rtu = ports[1];
    port_silent = ports[2];
    port_echo = ports[3];
    sim.reset(new Sim({QStringLiteral("%1:modbus").arg(QLatin1String(eui_mb)),
                       QStringLiteral("%1:modbus").arg(QLatin1String(eui_rtu)),
                       QStringLiteral("%1:silent").arg(QLatin1String(eui_silent)),
                       QStringLiteral("%1:echo").arg(QLatin1String(eui_echo))}));
    if (!sim->started())
        return false;
    Bridge_options options;
    options.modbus_timeout = modbus_timeout_ms;
    bridge.reset(new Bridge(sim->port,
                            {{eui_mb, port_mb, 51, "modbus_tcp"},
                             {eui_rtu, port_rtu, 51, "raw"},
                             {eui_silent, port_silent, 51, "modbus_tcp"},
                             {eui_echo, port_echo, 51}},
                            options));
    return wait_for([&] {
        return listening(port_mb) && listening(port_rtu) && listening(port_silent) && listening(port_echo);
    });
}

void Test_modbus_tcp::framing_refuses_bad_headers_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("logged");
    QTest::newRow("protocol 1") << QByteArray::fromHex("000100010006") << "идентификатор протокола 1, длина 6";
    QTest::newRow("length 1") << QByteArray::fromHex("000100000001") << "идентификатор протокола 0, длина 1";
    QTest::newRow("length 255") << QByteArray::fromHex("0001000000ff") << "идентификатор протокола 0, длина 255";
}

// Known as soon as the length field is there: nothing waits to go to the modem.
void Test_modbus_tcp::framing_refuses_bad_headers()
{
    QFETCH(QByteArray, header);
    QFETCH(QString, logged);
    Recording_host host(51);
    Modbus_tcp_framing f(host, 1, 3001, 51);
    const QByteArray good = mbap(9, 1, read_10);
    QVERIFY(f.take(good.constData(), good.size()));
    QVERIFY(!f.take(header.constData(), header.size()));
    QVERIFY(QString::fromUtf8(temp_log.text()).contains(
        QStringLiteral("клиент на порту 3001 прислал запрос Modbus TCP с неправильным заголовком MBAP (") + logged));
    f.reset();
    QCOMPARE(f.next_rtu(), QByteArray());
}

// What does not answer the awaited request is dropped with a log entry and its bytes; an
// exception from the slave is an answer. (A bad CRC is shown through the real program.)
void Test_modbus_tcp::framing_checks_answers()
{
    Recording_host host(51);
    Modbus_tcp_framing f(host, 1, 3002, 51);
    const QByteArray good = with_crc16(QByteArray::fromHex("01") + holding_10(0));
    QCOMPARE(f.answer(good), QByteArray());
    QVERIFY(temp_log.text().contains("ни один запрос Modbus не ждёт ответа"));

    const QByteArray request = mbap(0x1234, 1, read_10);
    QVERIFY(f.take(request.constData(), request.size()));
    QCOMPARE(f.next_rtu(), QByteArray::fromHex("01030000000ac5cd"));
    QCOMPARE(f.answer(with_crc16(QByteArray::fromHex("01"))), QByteArray());
    QCOMPARE(f.answer(with_crc16(QByteArray::fromHex("02") + holding_10(0))), QByteArray());
    QVERIFY(temp_log.text().contains("ответил адрес 2, а запрос был к адресу 1"));
    QCOMPARE(f.answer(with_crc16(QByteArray::fromHex("01040200ff"))), QByteArray());
    QVERIFY(temp_log.text().contains("это ответ на функцию 4, а запрос был функции 3"));
    QVERIFY(temp_log.text().contains("Ответ устройства, вызвавший предыдущую ошибку: 0x{01 04 02 00 FF"));
    QCOMPARE(f.answer(with_crc16(QByteArray::fromHex("018302"))), mbap(0x1234, 1, QByteArray::fromHex("8302")));
    QCOMPARE(f.answer(good), QByteArray());
}

void Test_modbus_tcp::mbpoll_reads_and_writes()
{
    QVERIFY(start());
    const QString port = QString::number(port_mb);
    const QStringList common{"-m", "tcp", "-a", "1", "-0", "-1", "-o", "10", "-p", port};
    const QString host = QStringLiteral("127.0.0.1");
    QCOMPARE(mbpoll_values(run_master("mbpoll", common + QStringList{"-t", "4", "-r", "0", "-c", "10", host})),
             numbers(0, 10));
    QCOMPARE(mbpoll_values(run_master("mbpoll", common + QStringList{"-t", "3", "-r", "0", "-c", "10", host})),
             numbers(1000, 10));
    QVERIFY(!run_master("mbpoll", common + QStringList{"-t", "4", "-r", "30", host, "501", "502", "503"}).isEmpty());
    QCOMPARE(mbpoll_values(run_master("mbpoll", common + QStringList{"-t", "4", "-r", "29", "-c", "5", host})),
             (QStringList{"29", "501", "502", "503", "33"}));
}

// The same master, once speaking Modbus TCP to a modbus_tcp port and once RTU to a raw port,
// both at the same time through one program.
void Test_modbus_tcp::pymodbus_in_both_modes_side_by_side()
{
    QVERIFY(start());
    const QString script = QStringLiteral(RUVO_SOURCE_DIR "/tests/modbus/pymodbus_client.py");
    QProcess tcp;
    QProcess rtu;
    tcp.start(QStringLiteral("/usr/bin/python3"), {script, QString::number(port_mb), "tcp"});
    rtu.start(QStringLiteral("/usr/bin/python3"), {script, QString::number(port_rtu), "rtu"});
    const QString expected = numbers(0, 10).join(' ') + '\n' + numbers(1000, 10).join(' ') + "\n7 8 9\n";
    for (QProcess* p : {&tcp, &rtu}) {
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(p->readAllStandardError()), QString());
        QCOMPARE(p->exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p->readAllStandardOutput()), expected);
    }
}

void Test_modbus_tcp::pipelined_and_split_requests()
{
    QVERIFY(start());
    auto c = client_of(port_mb);
    c->write(mbap(0x0101, 1, read_10) + mbap(0x0202, 1, QByteArray::fromHex("0300050001")) +
             mbap(0x0303, 1, QByteArray::fromHex("0400000002")));
    QVERIFY(read_exactly(*c, mbap(0x0101, 1, holding_10(0)) + mbap(0x0202, 1, QByteArray::fromHex("03020005")) +
                                 mbap(0x0303, 1, QByteArray::fromHex("040403e803e9"))));
    // Each request went to the modem alone, the next one only after the answer to the one before.
    const QString eui = QStringLiteral("\"devEui\":\"%1\"").arg(QLatin1String(eui_mb));
    QStringList order;
    for (const QString& line : sim->lines)
        if (line.contains(eui) && line.contains(QLatin1String("send_data_req")))
            order << QStringLiteral("request");
        else if (line.contains(eui) && line.contains(QLatin1String("\"cmd\":\"rx\"")))
            order << QStringLiteral("answer");
    QCOMPARE(order, (QStringList{"request", "answer", "request", "answer", "request", "answer"}));

    const QByteArray split = mbap(0x0404, 1, read_10);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < split.size(); ++i) {
        QTest::qWait(100 / split.size());
        c->write(split.mid(i, 1));
        c->flush();
    }
    QVERIFY(clock.elapsed() >= 90);
    QVERIFY(read_exactly(*c, mbap(0x0404, 1, holding_10(0))));
    QTest::qWait(300);
    QCOMPARE(c->bytesAvailable(), qint64(0));
}

// The exception comes after the timeout, not before, also when an answer with a bad CRC came
// meanwhile; the request behind it still waits its turn, and once the modem answers again the
// next one works.
void Test_modbus_tcp::silent_modem_times_out_then_recovers()
{
    QVERIFY(start());
    auto c = client_of(port_silent);
    QElapsedTimer clock;
    clock.start();
    c->write(mbap(0x0A01, 1, read_10) + mbap(0x0A02, 1, read_10));
    // The request is with the modem: its answer is now awaited.
    QVERIFY(wait_for([&] { return !sim->lines.filter(QStringLiteral("sent {\"append_status\"")).isEmpty(); }));
    QByteArray spoiled = with_crc16(QByteArray::fromHex("01") + holding_10(0));
    spoiled[5] = char(spoiled[5] ^ 1);
    QVERIFY(sim->command(QStringLiteral("uplink %1 %2").arg(QLatin1String(eui_silent), QString::fromLatin1(spoiled.toHex()))));
    QVERIFY(bridge->wait_log(QStringLiteral("Ответ устройства на запрос Modbus через порт %1 отброшен: неправильная "
                                            "контрольная сумма CRC-16 или длина ответа (25 байтов).")
                                 .arg(port_silent)));
    QVERIFY(bridge->wait_log(QStringLiteral("Ответ устройства, вызвавший предыдущую ошибку: 0x{") +
                             QString::fromLatin1(spoiled.toHex(' ').toUpper()) + QLatin1Char('}')));
    QVERIFY(read_exactly(*c, mbap(0x0A01, 1, QByteArray::fromHex("830b"))));
    // A coarse timer may fire up to 5 % early.
    QVERIFY(clock.elapsed() >= modbus_timeout_ms * 9 / 10);
    QVERIFY(bridge->wait_log(QStringLiteral("Устройство не ответило на запрос Modbus через порт %1 (транзакция 2561) "
                                            "за %2 мс; клиенту отправлено исключение 0x0B.")
                                 .arg(port_silent)
                                 .arg(modbus_timeout_ms)));
    QVERIFY(read_exactly(*c, mbap(0x0A02, 1, QByteArray::fromHex("830b"))));
    QVERIFY(sim->command(QStringLiteral("add_modem %1:modbus").arg(QLatin1String(eui_silent))));
    c->write(mbap(0x0A03, 1, read_10));
    QVERIFY(read_exactly(*c, mbap(0x0A03, 1, holding_10(0))));
    QCOMPARE(c->state(), QAbstractSocket::ConnectedState);
}

void Test_modbus_tcp::bad_header_closes_only_that_client()
{
    QVERIFY(start());
    auto echo = client_of(port_echo);
    echo->write("before");
    QVERIFY(read_exactly(*echo, "before"));
    auto c = client_of(port_mb);
    c->write(QByteArray::fromHex("000100070006") + read_10);
    QVERIFY(wait_for([&] { return c->state() == QAbstractSocket::UnconnectedState; }));
    QVERIFY(bridge->wait_log(QStringLiteral("Ошибка: клиент на порту %1 прислал запрос Modbus TCP с неправильным "
                                            "заголовком MBAP (идентификатор протокола 7, длина 6). Соединение с "
                                            "клиентом закрыто.")
                                 .arg(port_mb)));
    QCOMPARE(sim->lines.filter(QStringLiteral("\"devEui\":\"%1\"").arg(QLatin1String(eui_mb))).filter("recv ").size(), 0);
    echo->write("after");
    QVERIFY(read_exactly(*echo, "after"));
    auto again = client_of(port_mb);
    again->write(mbap(5, 1, read_10));
    QVERIFY(read_exactly(*again, mbap(5, 1, holding_10(0))));
}

QTEST_MAIN(Test_modbus_tcp)
#include "test_modbus_tcp.moc"
