// Modbus TCP ports: the framing of requests and answers on its own, then the real program
// between real Modbus masters (mbpoll, pymodbus) and the simulator's Modbus slaves.
#include "tests/bridge_process.h"

#include "core/cfg.h"
#include "common/crc16.h"
#include "tcp/modbus_tcp_framing.h"
#include "tcp/modbus_answer_shape.h"
#include "tcp/read_cache.h"
#include "tcp/read_widening.h"
#include "tests/recording_host.h"

#include <QBuffer>

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// Read one holding register; its answer tells the register's address.
QByteArray read_one(int address)
{
    return QByteArray::fromHex("03") + char(address >> 8) + char(address & 0xFF) + QByteArray::fromHex("0001");
}

QByteArray register_value(int value)
{
    return QByteArray::fromHex("0302") + char(value >> 8) + char(value & 0xFF);
}

const QByteArray failed_0B = QByteArray::fromHex("830b");

// Modems of the simulator: two Modbus slaves (one served as Modbus TCP, one raw), a silent
// modem served as Modbus TCP and an echo served raw.
const char eui_mb[] = "0102030405060711";
const char eui_rtu[] = "0102030405060712";
const char eui_silent[] = "0102030405060713";
const char eui_echo[] = "0102030405060714";
// A second Modbus slave served as Modbus TCP; the site port's unit 11 is slave 1 behind eui_mb,
// unit 12 slave 1 behind eui_mb2.
const char eui_mb2[] = "0102030405060715";
const int modbus_timeout_ms = 800;
// The link's wait for the server's answer to a data command, where a test waits past it.
const int data_timeout_ms = 500;

QByteArray mbap(quint16 tid, quint8 unit, const QByteArray& pdu)
{
    QByteArray m;
    m.append(char(tid >> 8)).append(char(tid & 0xFF)).append(2, '\0');
    m.append(char((pdu.size() + 1) >> 8)).append(char((pdu.size() + 1) & 0xFF)).append(char(unit));
    return m + pdu;
}

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
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

// Drives a Modbus framing as its server would, event by event, for clients in numbered slots.
class Framing_script {
public:
    Framing_script(Recording_host& host, Modbus_tcp_framing& framing) : host(host), framing(framing)
    {
        join(1);
        host.reading_on = [this] { read_on_asked = true; };
        host.dropping = [this](Client_framing::Client_number n) { leave(slot_of(n)); };
    }

    void client(const QByteArray& bytes, int slot = 1) { read(slot, bytes); }
    void answer(const QByteArray& rtu) { framing.answer_received(rtu); }
    // "c[slot] HEX" the client sends, "a HEX" the server accepted the frame and the modem's RTU
    // answer came, "e HEX" the answer came before the server accepted the frame, "t" the timer
    // fires, "k" the server accepted the frame, "f" it refused it, "b" a broken answer, "g[slot]"
    // the client goes, "n[slot]" a new client comes, "w[slot]" the client is dropped at the next
    // write to it (it does not read), "s MS" the clock moves on MS ms; the slot is 1 when not given.
    void event(const QString& e)
    {
        take(e);
        // The server reads on from a later turn of its loop, after the event is handled.
        while (read_on_asked) {
            read_on_asked = false;
            for (int slot : present.keys())
                read(slot, QByteArray());
            framing.read_all_done();
        }
    }

    void take(const QString& e)
    {
        const QByteArray hex = e.mid(e.indexOf(' ') + 1).toLatin1();
        const int slot = e.size() > 1 && e[1].isDigit() ? e[1].digitValue() : 1;
        switch (e[0].toLatin1()) {
        case 'c':
            client(QByteArray::fromHex(hex), slot);
            break;
        case 'a':
            framing.frame_accepted();
            answer(QByteArray::fromHex(hex));
            break;
        case 'e':
            answer(QByteArray::fromHex(hex));
            break;
        case 't':
            QVERIFY(host.timer);
            host.clock += host.timer;
            host.timer = 0;
            framing.timer_expired();
            break;
        case 'k':
            framing.frame_accepted();
            break;
        case 'f':
            framing.frame_refused();
            break;
        case 'b':
            framing.frame_accepted();
            framing.answer_broken(true);
            break;
        case 'g':
            leave(slot);
            break;
        case 'n':
            join(slot);
            break;
        case 's':
            host.clock += e.mid(2).toLongLong();
            break;
        case 'w':
            host.writing = [this, slot](Client_framing::Client_number n) {
                if (slot_of(n) == slot)
                    host.drop_client(n);
            };
            break;
        }
    }

    // The slot of the client a newcomer would replace, 0 when none.
    int displaced() const
    {
        std::vector<Client_framing::Client_number> numbers;
        for (const Client& c : present)
            numbers.push_back(c.number);
        return numbers_seen.value(framing.to_displace(numbers));
    }

    // A write as hex, with "slot:" in front when not to slot 1.
    QString written(int i) const
    {
        const int slot = numbers_seen.value(host.written_to[i]);
        return (slot == 1 ? QString() : QString::number(slot) + ':') + QString::fromLatin1(host.written[i].toHex());
    }

private:
    struct Client {
        Client_framing::Client_number number;
        QByteArray pending;
    };

    void join(int slot)
    {
        present[slot] = {++last_number, QByteArray()};
        numbers_seen[last_number] = slot;
        framing.begin(last_number, socket);
    }
    void leave(int slot)
    {
        if (!present.contains(slot))
            return;
        const Client_framing::Client_number n = present.take(slot).number;
        framing.client_left(n, 0);
    }
    int slot_of(Client_framing::Client_number n) const
    {
        for (auto it = present.begin(); it != present.end(); ++it)
            if (it->number == n)
                return it.key();
        return 0;
    }
    void read(int slot, const QByteArray& bytes)
    {
        if (!present.contains(slot))
            return;
        Client& c = present[slot];
        c.pending += bytes;
        QBuffer buffer(&c.pending);
        buffer.open(QIODevice::ReadOnly);
        framing.read(c.number, buffer);
        if (present.contains(slot))
            present[slot].pending.remove(0, static_cast<int>(buffer.pos()));
    }

    Recording_host& host;
    Modbus_tcp_framing& framing;
    QTcpSocket socket;
    QMap<int, Client> present;
    QHash<Client_framing::Client_number, int> numbers_seen;
    Client_framing::Client_number last_number = 0;
    bool read_on_asked = false;
};


// Reads one whole MBAP response from the socket; empty when none came in time.
QByteArray read_response(QTcpSocket& c, QByteArray& input, int ms = 10000)
{
    const auto whole = [&] { return input.size() >= 6 && input.size() >= 6 + (quint8(input[4]) << 8 | quint8(input[5])); };
    if (!wait_for([&] { input += c.readAll(); return whole(); }, ms))
        return QByteArray();
    const int size = 6 + (quint8(input[4]) << 8 | quint8(input[5]));
    const QByteArray response = input.left(size);
    input.remove(0, size);
    return response;
}

// A master that keeps `depth` reads in flight, each of the next of 50 registers from `first`,
// and counts the answers that carry their own register.
class Pipelining_master {
public:
    Pipelining_master(quint16 port, int depth, int first) : first(first)
    {
        QObject::connect(&socket, &QTcpSocket::connected, [this, depth] {
            for (int n = 0; n < depth; ++n)
                send();
        });
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { take_answers(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    int right = 0;
    int other = 0;

private:
    void send()
    {
        ++tid;
        socket.write(mbap(tid, 1, read_one(first + tid % 30)));
    }
    void take_answers()
    {
        input += socket.readAll();
        while (input.size() >= 6 && input.size() >= 6 + (quint8(input[4]) << 8 | quint8(input[5]))) {
            const quint16 answered = quint16(quint8(input[0]) << 8 | quint8(input[1]));
            const int size = 6 + (quint8(input[4]) << 8 | quint8(input[5]));
            (input.mid(7, size - 7) == register_value(first + answered % 30) ? right : other)++;
            input.remove(0, size);
            send();
        }
    }

    QTcpSocket socket;
    QByteArray input;
    const int first;
    quint16 tid = 0;
};

// A master polling one read at a time: the round trips in ms, and how the answers came out.
struct Polite_master {
    explicit Polite_master(quint16 port, quint8 unit = 1) : socket(client_of(port)), unit(unit) {}
    void poll(int count)
    {
        for (int n = 0; n < count; ++n) {
            const int address = 60 + n % 30;
            QElapsedTimer clock;
            clock.start();
            socket->write(mbap(quint16(n), unit, read_one(address)));
            const QByteArray got = read_response(*socket, input);
            trips << clock.elapsed();
            const QByteArray pdu = got.mid(7);
            const bool own = got.left(2) == mbap(quint16(n), unit, {}).left(2) && got.mid(6, 1) == QByteArray(1, char(unit));
            (own && pdu == register_value(address) ? right : own && pdu.startsWith('\x83') ? failed : other)++;
            if (pdu == QByteArray::fromHex("8306"))
                ++busy;
        }
    }
    qint64 median() const
    {
        QList<qint64> sorted = trips;
        std::sort(sorted.begin(), sorted.end());
        return sorted.isEmpty() ? 0 : sorted[sorted.size() / 2];
    }
    std::unique_ptr<QTcpSocket> socket;
    const quint8 unit;
    QByteArray input;
    QList<qint64> trips;
    int right = 0;
    int failed = 0;
    int other = 0;
    int busy = 0;
};

}  // namespace

class Test_modbus_tcp : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void framing_refuses_bad_headers_data();
    void framing_refuses_bad_headers();
    void framing_data();
    void framing();
    void answer_shape_data();
    void answer_shape();
    void read_widening_data();
    void read_widening();
    void read_cache_data();
    void read_cache();
    void displaced_client_data();
    void displaced_client();

    void mbpoll_reads_and_writes();
    void pymodbus_in_both_modes_side_by_side();
    void pipelined_split_broadcast_refused_and_too_long_requests();
    void silent_modem_times_out_then_recovers();
    void bad_header_closes_only_that_client();
    void radio_losses_end_the_request_with_0x0B();
    void copied_replayed_and_late_answers_never_answer_the_next_read();
    void several_masters_poll_one_port_together();
    void masters_take_turns_and_churn_displaces_no_working_master();
    void site_port_routes_units_to_their_modems();
    void identical_reads_merged_and_cached();

private:
    // mb_more: more attributes of the Modbus TCP modem that answers.
    bool start(bool with_metrics = false, const QByteArray& extra_cfg = QByteArray(), const char* mb_more = nullptr);

    Temp_log temp_log;
    std::unique_ptr<Sim> sim;
    std::unique_ptr<Bridge> bridge;
    quint16 port_mb = 0;
    quint16 port_rtu = 0;
    quint16 port_silent = 0;
    quint16 port_echo = 0;
    quint16 port_metrics = 0;
    quint16 port_mb2 = 0;
    quint16 port_site = 0;
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

bool Test_modbus_tcp::start(bool with_metrics, const QByteArray& extra_cfg, const char* mb_more)
{
    const std::vector<quint16> ports = free_ports(7);
    port_mb = ports[0];
    port_rtu = ports[1];
    port_silent = ports[2];
    port_echo = ports[3];
    port_metrics = ports[4];
    port_mb2 = ports[5];
    port_site = ports[6];
    sim.reset(new Sim({QStringLiteral("%1:modbus").arg(QLatin1String(eui_mb)),
                       QStringLiteral("%1:modbus").arg(QLatin1String(eui_rtu)),
                       QStringLiteral("%1:silent").arg(QLatin1String(eui_silent)),
                       QStringLiteral("%1:echo").arg(QLatin1String(eui_echo)),
                       QStringLiteral("%1:modbus").arg(QLatin1String(eui_mb2))}));
    if (!sim->started())
        return false;
    Bridge_options options;
    options.modbus_timeout = modbus_timeout_ms;
    options.extra_cfg = extra_cfg + "modbus_site_port = " + QByteArray::number(port_site) + "\n";
    options.extra_devices = QStringLiteral("unit(id=11, eui=%1, slave=1)\nunit(id=12, eui=%2, slave=1)\n")
                                .arg(QLatin1String(eui_mb), QLatin1String(eui_mb2))
                                .toUtf8();
    if (with_metrics)
        options.extra_cfg += "metrics_listen = \"127.0.0.1:" + QByteArray::number(port_metrics) + "\"\n";
    bridge.reset(new Bridge(sim->port,
                            {{eui_mb, port_mb, 51, "modbus_tcp", mb_more},
                             {eui_rtu, port_rtu, 51, "raw"},
                             {eui_silent, port_silent, 51, "modbus_tcp"},
                             {eui_echo, port_echo, 51},
                             {eui_mb2, port_mb2, 51, "modbus_tcp"}},
                            options));
    return wait_for([&] {
        return listening(port_mb) && listening(port_rtu) && listening(port_silent) && listening(port_echo) &&
               listening(port_mb2) && listening(port_site);
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
    // The modem owes an answer, so the good request waits in line.
    Framing_script script(host, f);
    script.client(mbap(8, 1, read_10));
    script.client(mbap(9, 1, read_10) + header);
    QVERIFY(host.shut);
    QVERIFY(QString::fromUtf8(temp_log.text()).contains(
        QStringLiteral("клиент на порту 3001 прислал запрос Modbus TCP с неправильным заголовком MBAP (") + logged));
    host.shut = false;
    script.answer(with_crc16(QByteArray::fromHex("01") + holding_10(0)));
    QCOMPARE(host.posted.size(), 1);
}

// Events as the script takes them. The frames given to the modem and the bytes written to the
// clients are compared whole.
void Test_modbus_tcp::framing_data()
{
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("posted");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QString>("logged");
    // The modem's answer event and a Modbus TCP answer of unit 1, from hex.
    const auto rtu_answer = [](const QByteArray& pdu) { return "a " + hex(with_crc16("\x01" + pdu)); };
    const auto rtu = [](const QByteArray& pdu) { return hex(with_crc16("\x01" + pdu)); };
    const auto mbap_hex = [](quint16 tid, const char* pdu) { return hex(mbap(tid, 1, QByteArray::fromHex(pdu))); };
    const auto read_at = [](int address, int quantity) {
        return QByteArray::fromHex("03") + char(address >> 8) + char(address & 0xFF) + char(0) + char(quantity);
    };
    const QString req = hex(mbap(0x1234, 1, read_10));
    const QString req2 = hex(mbap(0x1235, 1, read_10));
    const QString rtu_10 = rtu(read_10);
    // The second read of 10 registers asks for one more, so that the first one's answer cannot fit it.
    const QString rtu_11 = rtu(read_at(0, 11));
    const QString answer = rtu_answer(holding_10(0));
    QByteArray holding_11 = holding_10(1) + QByteArray::fromHex("000b");
    holding_11[1] = 22;
    const QString answer_11 = rtu_answer(holding_11);
    const QString response = hex(mbap(0x1234, 1, holding_10(0)));
    const QString response2 = hex(mbap(0x1235, 1, holding_10(1)));
    // A read of 11 registers, whose answer cannot be taken for a read of 10's: it is sent as asked.
    const QString other = hex(mbap(0x1235, 1, read_at(0, 11)));
    const QString response_other = hex(mbap(0x1235, 1, holding_11));
    const QString timeout = mbap_hex(0x1234, "830b");
    const QString earlier = QStringLiteral("опоздавший или повторённый ответ на один из прежних запросов");

    QTest::newRow("unasked answer") << QStringList{answer} << QStringList() << QStringList()
                                    << "ни один запрос Modbus не ждёт ответа";
    QTest::newRow("answer") << QStringList{"c " + req, answer} << QStringList{rtu_10} << QStringList{response}
                            << QString();
    QTest::newRow("too short") << QStringList{"c " + req, "a " + hex(with_crc16("\x01"))} << QStringList{rtu_10}
                               << QStringList() << "неправильная контрольная сумма";
    QTest::newRow("other unit") << QStringList{"c " + req, "a " + hex(with_crc16("\x02" + holding_10(0)))}
                                << QStringList{rtu_10} << QStringList() << "ответил адрес 2, а запрос был к адресу 1";
    QTest::newRow("other function")
        << QStringList{"c " + req, rtu_answer(QByteArray::fromHex("040200ff"))} << QStringList{rtu_10} << QStringList()
        << "это ответ на функцию 4, а запрос был функции 3|Ответ устройства, вызвавший предыдущую ошибку: 0x{01 04 02 00 FF";
    QTest::newRow("exception fits") << QStringList{"c " + req, rtu_answer(QByteArray::fromHex("8302"))}
                                    << QStringList{rtu_10} << QStringList{mbap_hex(0x1234, "8302")} << QString();
    QTest::newRow("other shape") << QStringList{"c " + req, rtu_answer(QByteArray::fromHex("03020001"))}
                                 << QStringList{rtu_10} << QStringList() << "не подходят к запросу функции 3";
    QTest::newRow("answer before the server accepted the request: not its own")
        << QStringList{"c " + req, "e " + answer.mid(2), answer} << QStringList{rtu_10} << QStringList{response}
        << "он пришёл раньше, чем сервер принял запрос";
    QTest::newRow("one at a time, the second read made unlike the first")
        << QStringList{"c " + req, answer, "c " + req2, answer_11} << QStringList{rtu_10, rtu_11}
        << QStringList{response, response2} << QString();
    QTest::newRow("a copy of the last answer does not fit the next read")
        << QStringList{"c " + hex(mbap(1, 1, read_one(0)) + mbap(2, 1, read_one(1))), rtu_answer(register_value(0)),
                       rtu_answer(register_value(0)), rtu_answer(QByteArray::fromHex("030400000001"))}
        << QStringList{rtu(read_one(0)), rtu(read_at(0, 2))}
        << QStringList{hex(mbap(1, 1, register_value(0))), hex(mbap(2, 1, register_value(1)))} << earlier;
    QTest::newRow("a late answer of a lost read does not fit the next one, sent at once")
        << QStringList{"c " + req, "t", "c " + req2, answer, answer_11} << QStringList{rtu_10, rtu_11}
        << QStringList{timeout, response2} << earlier;
    QTest::newRow("a widened read refused at the device's edge is sent as asked")
        << QStringList{"c " + req, answer, "c " + req2, rtu_answer(QByteArray::fromHex("8302")),
                       rtu_answer(holding_10(1))}
        << QStringList{rtu_10, rtu_11, rtu_10} << QStringList{response, response2} << QString();
    const QString write = hex(mbap(5, 1, QByteArray::fromHex("1000000001020007")));
    const QString write_rtu = rtu(QByteArray::fromHex("1000000001020007"));
    QTest::newRow("a write like a lost one waits for the guard time, another goes at once")
        << QStringList{"n2", "c " + write + write, "c2 " + req, "t", answer, "t",
                       rtu_answer(QByteArray::fromHex("1000000001"))}
        << QStringList{write_rtu, rtu_10, write_rtu}
        << QStringList{mbap_hex(5, "900b"), "2:" + response, mbap_hex(5, "1000000001")}
        << "за 400 мс; клиенту отправлено исключение 0x0B";
    QTest::newRow("answer of a gone client dropped, the new one's request sent after it")
        << QStringList{"c " + req, "g", "n", "c " + other, answer, answer_11} << QStringList{rtu_10, rtu_11}
        << QStringList{response_other} << "клиент, приславший запрос, уже отключился";
    QTest::newRow("gone client's waiting requests dropped")
        << QStringList{"c " + req + req2, "g", answer} << QStringList{rtu_10} << QStringList() << QString();
    QTest::newRow("broken answer") << QStringList{"c " + req + other, "b", answer_11} << QStringList{rtu_10, rtu_11}
                                   << QStringList{timeout, response_other} << "пришёл не целиком";
    QTest::newRow("broadcast not awaited")
        << QStringList{"c " + hex(mbap(7, 0, QByteArray::fromHex("0600010005"))) + req2, "k",
                       rtu_answer(holding_10(1))}
        << QStringList{hex(with_crc16(QByteArray::fromHex("000600010005"))), rtu_10} << QStringList{response2}
        << QString();
    QTest::newRow("too long for the radio")
        << QStringList{"c " + hex(mbap(5, 1, QByteArray::fromHex("100000001830") + QByteArray(48, '\0'))) + req2,
                       rtu_answer(holding_10(1))}
        << QStringList{rtu_10} << QStringList{mbap_hex(5, "900a"), response2}
        << "кадр RTU длиной 57 байтов длиннее предельного размера сообщения радиомодема (51 байтов)";
    QTest::newRow("refused by the server: 0x0A, the next one sent as asked")
        << QStringList{"c " + req, "f", "c " + req2, rtu_answer(holding_10(1))} << QStringList{rtu_10, rtu_10}
        << QStringList{mbap_hex(0x1234, "830a"), response2}
        << "Сервер не принял запрос Modbus через порт 3002 (транзакция 4660)";
    QTest::newRow("exception code as function") << QStringList{"c " + mbap_hex(6, "8300000001")} << QStringList()
                                                << QStringList{mbap_hex(6, "8301")} << QString();

    // Two masters, each with a request, the first one's with the modem.
    const QStringList two = {"n2", "c " + req, "c2 " + other};
    QTest::newRow("two masters, each answered with its own")
        << two + QStringList{answer, answer_11} << QStringList{rtu_10, rtu_11}
        << QStringList{response, "2:" + response_other} << QString();
    QTest::newRow("answer of a gone master dropped, the other's request sent after it")
        << two + QStringList{"g", answer, answer_11} << QStringList{rtu_10, rtu_11} << QStringList{"2:" + response_other}
        << "клиент, приславший запрос, уже отключился";
    QTest::newRow("waiting request of a gone master dropped, the owed one answered")
        << two + QStringList{"g2", answer} << QStringList{rtu_10} << QStringList{response} << QString();
    QTest::newRow("a master's timeout does not shift the other's answer")
        << two + QStringList{"t", answer, answer_11} << QStringList{rtu_10, rtu_11}
        << QStringList{timeout, "2:" + response_other} << earlier;
    // Reads of other sizes, so that none is widened.
    QByteArray three;
    for (int n = 1; n <= 3; ++n)
        three += mbap(quint16(n), 1, read_at(0, n));
    const auto holding = [](int count) { return QByteArray::fromHex("03") + char(2 * count) + QByteArray(2 * count, '\0'); };
    QTest::newRow("masters take turns")
        << QStringList{"n2", "c " + hex(three), "c2 " + hex(mbap(9, 1, read_at(0, 4))), rtu_answer(holding(1)),
                       rtu_answer(holding(4)), rtu_answer(holding(2)), rtu_answer(holding(3))}
        << QStringList{rtu(read_at(0, 1)), rtu(read_at(0, 4)), rtu(read_at(0, 2)), rtu(read_at(0, 3))}
        << QStringList{hex(mbap(1, 1, holding(1))), "2:" + hex(mbap(9, 1, holding(4))), hex(mbap(2, 1, holding(2))),
                       hex(mbap(3, 1, holding(3)))}
        << QString();
    // Two masters with full shares of reads all different, then a third comes.
    QStringList full = {"n2"};
    for (int slot = 1; slot <= 2; ++slot) {
        QByteArray requests;
        for (int n = 0; n < Modbus_tcp_framing::max_waiting_per_client; ++n)
            requests += mbap(quint16(slot * 100 + n), 1, read_one(slot * 100 + n));
        full << QStringLiteral("c%1 ").arg(slot) + hex(requests);
    }
    full << "n3";
    const QString two_more = "c3 " + hex(mbap(0x77, 1, read_one(0x77)) + mbap(0x78, 1, read_one(0x78)));
    QTest::newRow("full line: a newcomer's first request waits, the next gets exception 0x06")
        << full + QStringList{two_more} << QStringList{rtu(read_one(100))} << QStringList{"3:" + mbap_hex(0x78, "8306")}
        << "Очередь запросов Modbus порта 3002 полна (32 запросов)";
    QTest::newRow("full line: a master dropped at its 0x06 is read no further")
        << full + QStringList{"w3", two_more + hex(mbap(0x79, 1, read_one(0x79)))} << QStringList{rtu(read_one(100))}
        << QStringList{"3:" + mbap_hex(0x78, "8306")} << QString();

    // Three masters asking the same read, each with its own transaction id.
    const QString req3 = hex(mbap(0x1236, 1, read_10));
    const auto same_answered = [](quint16 tid, const char* pdu) {
        return hex(mbap(tid, 1, pdu ? QByteArray::fromHex(pdu) : holding_10(0)));
    };
    const QStringList same = {"n2", "n3", "c " + req, "c2 " + req2, "c3 " + req3};
    QTest::newRow("merged: one read carried for three masters, each answered on its own header")
        << same + QStringList{answer} << QStringList{rtu_10}
        << QStringList{response, "2:" + same_answered(0x1235, nullptr), "3:" + same_answered(0x1236, nullptr)}
        << QString();
    QTest::newRow("merged: a master that leaves is dropped from the list")
        << same + QStringList{"g2", answer} << QStringList{rtu_10}
        << QStringList{response, "3:" + same_answered(0x1236, nullptr)} << QString();
    QTest::newRow("merged: a waiting read joined; its master leaves, the read is carried for the one merged")
        << QStringList{"n2", "n3", "c " + other, "c2 " + req2, "c3 " + req3, "g2", answer_11, answer}
        << QStringList{rtu_11, rtu_10} << QStringList{response_other, "3:" + same_answered(0x1236, nullptr)}
        << QString();
    QTest::newRow("merged: the device's exception ends every merged read")
        << QStringList{"n2", "c " + req, "c2 " + req2, rtu_answer(QByteArray::fromHex("8302"))} << QStringList{rtu_10}
        << QStringList{mbap_hex(0x1234, "8302"), "2:" + same_answered(0x1235, "8302")} << QString();
    QTest::newRow("merged: the timeout ends every merged read with 0x0B")
        << QStringList{"n2", "c " + req, "c2 " + req2, "t"} << QStringList{rtu_10}
        << QStringList{timeout, "2:" + same_answered(0x1235, "830b")} << "за 400 мс";
    QTest::newRow("merged: a widened read refused at the edge is sent as asked for the one merged, its master gone")
        << QStringList{"c " + req, answer, "n2", "c " + req2, "c2 " + req3, "g", rtu_answer(QByteArray::fromHex("8302")),
                       rtu_answer(holding_10(1))}
        << QStringList{rtu_10, rtu_11, rtu_10} << QStringList{response, "2:" + hex(mbap(0x1236, 1, holding_10(1)))}
        << QString();
    const QString write_answer = rtu_answer(QByteArray::fromHex("1000000001"));
    QTest::newRow("merged: never a write")
        << QStringList{"n2", "c " + write, "c2 " + write, write_answer, write_answer}
        << QStringList{write_rtu, write_rtu} << QStringList{mbap_hex(5, "1000000001"), "2:" + mbap_hex(5, "1000000001")}
        << QString();
    QTest::newRow("merged: never a read asked behind a write to its slave")
        << QStringList{"n2", "n3", "c " + req, "c2 " + write, "c3 " + req3, answer, write_answer, answer}
        << QStringList{rtu_10, write_rtu, rtu_10}
        << QStringList{response, "2:" + mbap_hex(5, "1000000001"), "3:" + same_answered(0x1236, nullptr)} << QString();

    // A read cache of 3 s: the first read's answer came.
    const QStringList cached = {"m 3000", "c " + req, answer};
    const QString from_memory = same_answered(0x1235, nullptr);
    QTest::newRow("cache: an identical read within cache_ms answered from memory")
        << cached + QStringList{"s 2999", "c " + req2} << QStringList{rtu_10} << QStringList{response, from_memory}
        << "Запрос Modbus через порт 3002 (транзакция 4661) получил ответ из памяти, без радиосвязи: ответ "
           "устройства на такой же запрос пришёл 2999 мс назад.";
    QTest::newRow("cache: not after cache_ms")
        << cached + QStringList{"s 3000", "c " + req2, answer_11} << QStringList{rtu_10, rtu_11}
        << QStringList{response, response2} << QString();
    const QByteArray write_pdu = QByteArray::fromHex("1000000001020007");
    QTest::newRow("cache: a write drops its slave's answers, not another slave's")
        << cached + QStringList{"c " + hex(mbap(5, 2, write_pdu)), "a " + hex(with_crc16("\x02" + write_pdu.left(5))),
                                "c " + req2, "c " + write, write_answer, "c " + req3, answer}
        << QStringList{rtu_10, hex(with_crc16("\x02" + write_pdu)), write_rtu, rtu_10}
        << QStringList{response, hex(mbap(5, 2, write_pdu.left(5))), from_memory, mbap_hex(5, "1000000001"),
                       same_answered(0x1236, nullptr)}
        << QString();
    QTest::newRow("cache: a read's answer that came while a write to its slave waited is not kept")
        << QStringList{"m 3000", "c " + req + write, answer, write_answer, "c " + req2, answer}
        << QStringList{rtu_10, write_rtu, rtu_10} << QStringList{response, mbap_hex(5, "1000000001"), from_memory}
        << QString();
    QTest::newRow("cache: exceptions are not kept")
        << QStringList{"m 3000", "c " + req, rtu_answer(QByteArray::fromHex("8302")), "c " + req2, answer_11}
        << QStringList{rtu_10, rtu_11} << QStringList{mbap_hex(0x1234, "8302"), response2} << QString();
}

void Test_modbus_tcp::framing()
{
    QFETCH(QStringList, events);
    QFETCH(QStringList, posted);
    QFETCH(QStringList, written);
    QFETCH(QString, logged);
    modbus_timeout = 400;
    // "m MS" first: the modem keeps its reads' answers MS ms, and the trace says which came from memory.
    const quint32 cache_ms = events.value(0).startsWith("m ") ? events.takeFirst().mid(2).toUInt() : 0;
    trace_tcp = cache_ms ? Tcp_trace::all | Tcp_trace::bad_frames : Tcp_trace::bad_frames;
    Recording_host host(51);
    Modbus_tcp_framing f(host, 1, 3002, 51, cache_ms);
    Framing_script script(host, f);
    for (const QString& e : events)
        script.event(e);
    QStringList got_posted;
    for (const QByteArray& p : host.posted)
        got_posted << QString::fromLatin1(p.toHex());
    QStringList got_written;
    for (int i = 0; i < host.written.size(); ++i)
        got_written << script.written(i);
    QCOMPARE(got_posted, posted);
    QCOMPARE(got_written, written);
    // Only a client that does not read is dropped.
    QCOMPARE(host.shut, !events.filter(QRegularExpression(QStringLiteral("^w"))).isEmpty());
    // Whenever a request ends without its answer, a partly joined answer is dropped.
    QCOMPARE(host.uplink_restarts, QString::fromUtf8(temp_log.text()).count(QStringLiteral("исключение 0x0B")));
    for (const QString& part : logged.split('|', Qt::SkipEmptyParts))
        QVERIFY2(QString::fromUtf8(temp_log.text()).contains(part), temp_log.text().constData());
    if (!host.posted.isEmpty())
        QCOMPARE(host.timer_type, Qt::PreciseTimer);
    modbus_timeout = modbus_timeout_ms;
    trace_tcp = Tcp_trace::bad_frames;
}

void Test_modbus_tcp::answer_shape_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("fits");
    const auto row = [](const char* name, const char* request, const char* answer, bool fits) {
        QTest::newRow(name) << QByteArray::fromHex(request) << QByteArray::fromHex(answer) << fits;
    };
    row("coils 10", "010000000a", "01020102", true);
    row("coils 10, 1 byte", "010000000a", "010101", false);
    row("inputs 8", "0200000008", "020101", true);
    row("holding 2", "0300000002", "030400010002", true);
    row("holding 2, 1 register", "0300000002", "03020001", false);
    row("holding 2, count lies", "0300000002", "03060001000200", false);
    row("input 1", "0400050001", "04020005", true);
    row("write coil echoed", "050001ff00", "050001ff00", true);
    row("write coil, other address", "050001ff00", "050002ff00", false);
    row("write register echoed", "0600010005", "0600010005", true);
    row("write register, other value", "0600010005", "0600010006", false);
    row("write coils echoed", "0f0000000a0201ff", "0f0000000a", true);
    row("write registers echoed", "10000000020400010002", "1000000002", true);
    row("write registers, other quantity", "10000000020400010002", "1000000001", false);
    row("mask write echoed", "16000100ff0000", "16000100ff0000", true);
    row("mask write, other", "16000100ff0000", "16000100ff0001", false);
    row("read/write 1", "1700000001000000010200ff", "17020005", true);
    row("read/write 1, 2 bytes more", "1700000001000000010200ff", "170400050006", false);
    row("exception", "0300000002", "8302", true);
    row("exception, long", "0300000002", "830200", false);
    row("exception of another function", "0300000002", "8402", false);
    row("other function", "0300000002", "040400010002", false);
    row("function without a shape", "2b0e0100", "2b0e01", true);
}

void Test_modbus_tcp::answer_shape()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(bool, fits);
    QCOMPARE(modbus_answer_fits(request, answer), fits);
}

void Test_modbus_tcp::read_widening_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<int>("front");
    QTest::addColumn<int>("back");
    QTest::addColumn<QByteArray>("widened");  // empty: cannot be widened
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("narrowed");
    const auto row = [](const char* name, const char* read, int front, int back, const char* widened,
                        const char* answer, const char* narrowed) {
        QTest::newRow(name) << QByteArray::fromHex(read) << front << back << QByteArray::fromHex(widened)
                            << QByteArray::fromHex(answer) << QByteArray::fromHex(narrowed);
    };
    row("registers, one before", "0300050002", 1, 0, "0300040003", "0306000400050006", "030400050006");
    row("registers, one after", "0400050001", 0, 1, "0400050002", "040400050006", "04020005");
    row("exception left as it is", "0300050001", 1, 0, "0300040002", "8302", "8302");
    row("coils, three before: bits shifted", "0100030009", 3, 0, "010000000c", "0102f8ff", "0102ff01");
    row("inputs, eight after", "0200000004", 0, 8, "020000000c", "02020a00", "02010a");
    row("not before address 0", "0300000001", 1, 0, "", "", "");
    row("not past the last address", "03ffff0001", 0, 1, "", "", "");
    row("not past 125 registers", "030000007d", 0, 1, "", "", "");
    row("coils up to 2000", "01000007cf", 0, 1, "01000007d0", "", "");
    row("not a read", "0600010005", 0, 1, "", "", "");
}

void Test_modbus_tcp::read_widening()
{
    QFETCH(QByteArray, read);
    QFETCH(int, front);
    QFETCH(int, back);
    QFETCH(QByteArray, widened);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, narrowed);
    const std::optional<QByteArray> wide = widened_read(read, {front, back});
    QCOMPARE(wide.value_or(QByteArray()), widened);
    if (!answer.isEmpty())
        QCOMPARE(narrowed_answer(read, answer, {front, back}), narrowed);
}

// The read cache keeping answers 1000 ms: "s KEY PDU AT" stores an answer, "d SLAVE" drops a slave's,
// "f N" stores N answers of slave 1 at addresses 0 to N-1 (key 01 and the address in two bytes),
// "a KEY AT" looks a read up: its answer and age, or "-".
void Test_modbus_tcp::read_cache_data()
{
    QTest::addColumn<qint64>("keep_ms");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("found");
    const QString store = QStringLiteral("s 01030000000a 0314aa 100");
    QTest::newRow("kept for keep_ms, not after") << qint64(1000) << QStringList{store, "a 01030000000a 1099", "a 01030000000a 1100"}
                                                 << QStringList{"0314aa@999", "-"};
    QTest::newRow("another read not found") << qint64(1000) << QStringList{store, "a 01030000000b 100", "a 02030000000a 100"}
                                            << QStringList{"-", "-"};
    QTest::newRow("none kept with keep_ms 0") << qint64(0) << QStringList{store, "a 01030000000a 100"} << QStringList{"-"};
    QTest::newRow("exceptions not kept") << qint64(1000) << QStringList{"s 010300000001 8302 0", "a 010300000001 1"}
                                         << QStringList{"-"};
    QTest::newRow("a newer answer replaces the older")
        << qint64(1000) << QStringList{store, "s 01030000000a 0314bb 600", "a 01030000000a 1500"}
        << QStringList{"0314bb@900"};
    QTest::newRow("a slave dropped, another kept")
        << qint64(1000) << QStringList{store, "s 02030000000a 0314cc 100", "d 1", "a 01030000000a 200", "a 02030000000a 200"}
        << QStringList{"-", "0314cc@100"};
    QTest::newRow("the broadcast address drops every slave")
        << qint64(1000) << QStringList{store, "s 02030000000a 0314cc 100", "d 0", "a 02030000000a 200"} << QStringList{"-"};
    QTest::newRow("bounded: beyond the most kept the oldest goes")
        << qint64(1000) << QStringList{QStringLiteral("f %1").arg(Read_cache::max_entries + 1), "a 010000 0", "a 010001 0"}
        << QStringList{"-", "0311@0"};
}

void Test_modbus_tcp::read_cache()
{
    QFETCH(qint64, keep_ms);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, found);
    Read_cache cache(keep_ms);
    QStringList got;
    for (const QString& step : steps) {
        const QStringList w = step.split(' ');
        if (w[0] == "s") {
            cache.store(QByteArray::fromHex(w[1].toLatin1()), QByteArray::fromHex(w[2].toLatin1()), w[3].toLongLong());
        } else if (w[0] == "d") {
            cache.drop_slave(static_cast<quint8>(w[1].toUInt()));
        } else if (w[0] == "f") {
            for (int n = 0; n < w[1].toInt(); ++n)
                cache.store(QByteArray::fromHex("01") + char(n >> 8) + char(n & 0xFF), QByteArray::fromHex("0311"), 0);
        } else {
            qint64 age = -1;
            const std::optional<QByteArray> answer = cache.answer(QByteArray::fromHex(w[1].toLatin1()), w[2].toLongLong(), age);
            got << (answer ? hex(*answer) + '@' + QString::number(age) : QStringLiteral("-"));
        }
    }
    QCOMPARE(got, found);
    QVERIFY(cache.size() <= Read_cache::max_entries);
}

// Which master a newcomer beyond the port's clients replaces: slot 0 for none.
void Test_modbus_tcp::displaced_client_data()
{
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("displaced");
    const QString req = hex(mbap(1, 1, read_10));
    const QString answer = "a " + hex(with_crc16("\x01" + holding_10(0)));
    QTest::newRow("one that never asked, before idle ones") << QStringList{"c " + req, answer, "n2"} << 2;
    QTest::newRow("the newest that never asked") << QStringList{"n2", "n3"} << 3;
    QTest::newRow("the one idle longest") << QStringList{"c " + req, answer, "n2", "c2 " + req, answer} << 1;
    QTest::newRow("not one with a request owed") << QStringList{"n2", "c2 " + req} << 1;
    QTest::newRow("not one with a request waiting") << QStringList{"c " + req, "n2", "c2 " + req} << 0;
    QTest::newRow("not one with a request half read") << QStringList{"c " + req.left(10)} << 0;
}

void Test_modbus_tcp::displaced_client()
{
    QFETCH(QStringList, events);
    QFETCH(int, displaced);
    Recording_host host(51);
    Modbus_tcp_framing f(host, 1, 3002, 51);
    Framing_script script(host, f);
    for (const QString& e : events) {
        host.clock += 10;
        script.event(e);
    }
    QCOMPARE(script.displaced(), displaced);
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

// Requests behind a broadcast and behind a refused frame go out one at a time, each after the link
// has finished with the answer to the one before.
void Test_modbus_tcp::pipelined_split_broadcast_refused_and_too_long_requests()
{
    QVERIFY(start(false, "ws_data_timeout = " + QByteArray::number(data_timeout_ms) + "\n"));
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

    // A broadcast is carried out and not answered; a request too long for the radio gets 0x0A;
    // the requests behind both are answered at once.
    const QByteArray too_long = QByteArray::fromHex("100000001830") + QByteArray(48, '\0');
    clock.restart();
    c->write(mbap(1, 0, QByteArray::fromHex("060005030c")) + mbap(2, 1, read_one(5)) + mbap(3, 1, too_long) +
             mbap(4, 1, read_one(6)));
    QVERIFY(read_exactly(*c, mbap(2, 1, register_value(780)) + mbap(3, 1, QByteArray::fromHex("900a")) +
                                 mbap(4, 1, register_value(6))));
    QVERIFY(clock.elapsed() < modbus_timeout_ms);
    QVERIFY(bridge->wait_log(QStringLiteral("Запрос Modbus через порт %1 (транзакция 3) не отправлен устройству: кадр "
                                            "RTU длиной 57 байтов длиннее предельного размера сообщения радиомодема "
                                            "(51 байтов); клиенту отправлено исключение 0x0A.").arg(port_mb)));

    // Frames the server refuses: each request gets 0x0A, the one behind too.
    QVERIFY(sim->command(QStringLiteral("fault append_status false")));
    c->write(mbap(5, 1, read_one(7)) + mbap(6, 1, read_one(8)));
    QVERIFY(read_exactly(*c, mbap(5, 1, QByteArray::fromHex("830a")) + mbap(6, 1, QByteArray::fromHex("830a"))));
    QVERIFY(sim->command(QStringLiteral("clear")));

    // The link's wait for an answer ended with each command: past its time nothing went wrong, the
    // link was never rebuilt and the client is served on.
    QTest::qWait(data_timeout_ms + 300);
    QCOMPARE(c->bytesAvailable(), qint64(0));
    QVERIFY(bridge->log().filter(QStringLiteral("Неожиданная ошибка")).isEmpty());
    QCOMPARE(bridge->log().count(QStringLiteral("Установлено соединение с сервером RUVO-LoRa.")), 1);
    c->write(mbap(7, 1, read_one(9)));
    QVERIFY(read_exactly(*c, mbap(7, 1, register_value(9))));
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
    c->write(mbap(0x0A01, 1, read_10) + mbap(0x0A02, 1, read_one(0)));
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
    // Never early: the timer is precise.
    QVERIFY(clock.elapsed() >= modbus_timeout_ms);
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
    QVERIFY(start(true));
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

    // Every bad header is counted; within the minute only the first is logged.
    auto other = client_of(port_mb);
    other->write(QByteArray::fromHex("000100080006") + read_10);
    QVERIFY(wait_gone(*other));
    const QByteArray series = "ruvo_bridge_client_errors_total{eui=\"" + QByteArray(eui_mb) + "\",kind=\"header\",port=\"" +
                              QByteArray::number(port_mb) + "\"}";
    QVERIFY(wait_for([&] { return metric_value(scrape_metrics(port_metrics), series) == 2; }));
    QCOMPARE(bridge->log().filter(QStringLiteral("неправильным заголовком MBAP")).size(), 1);
}

// A read of 40 registers comes in two packets; losing either ends that request with 0x0B, and
// the next answer is joined afresh on the same connection.
void Test_modbus_tcp::radio_losses_end_the_request_with_0x0B()
{
    QVERIFY(start());
    auto c = client_of(port_mb);
    const QByteArray read_40 = QByteArray::fromHex("0300000028");
    QByteArray holding_40 = QByteArray::fromHex("0350");
    for (int n = 0; n < 40; ++n)
        holding_40.append(char(n >> 8)).append(char(n & 0xFF));
    quint16 tid = 0;
    for (const char* lost : {"0", "1"}) {
        QVERIFY(sim->command(QStringLiteral("fault lose_next %1 %2").arg(QLatin1String(eui_mb), QLatin1String(lost))));
        c->write(mbap(++tid, 1, read_40));
        QVERIFY(read_exactly(*c, mbap(tid, 1, QByteArray::fromHex("830b")), 10000));
        c->write(mbap(++tid, 1, read_40));
        QVERIFY(read_exactly(*c, mbap(tid, 1, holding_40), 10000));
    }
    QCOMPARE(c->state(), QAbstractSocket::ConnectedState);
}



// SCADA, a historian and an engineer's laptop on one meter: two pymodbus masters and mbpoll poll
// their own registers for 3 s while the radio answers slowly; no answer carries another
// master's register, and the port counts as one in use. A connection beyond the port's masters
// closes the oldest.
void Test_modbus_tcp::several_masters_poll_one_port_together()
{
    QVERIFY(start(true, "modbus_max_clients = 3\n"));
    auto oldest = client_of(port_mb);
    QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 20").arg(QLatin1String(eui_mb))));
    const QString script = QStringLiteral(RUVO_SOURCE_DIR "/tests/modbus/pymodbus_client.py");
    const QString seconds = QStringLiteral("3");
    QProcess masters[2];
    for (int m = 0; m < 2; ++m)
        masters[m].start(QStringLiteral("/usr/bin/python3"),
                         {script, QString::number(port_mb), "poll", seconds, QString::number(10 + 30 * m), "30"});
    QProcess mbpoll;
    mbpoll.start(QStringLiteral("timeout"), {"-s", "INT", seconds, "mbpoll", "-m", "tcp", "-a", "1", "-0", "-r", "80",
                                             "-c", "1", "-t", "4", "-l", "20", "-o", "5", "-p",
                                             QString::number(port_mb), "127.0.0.1"});
    const QByteArray in_use = "ruvo_bridge_modems{state=\"in_use\"}";
    QVERIFY(wait_for([&] { return metric_value(scrape_metrics(port_metrics), in_use) == 1; }));
    QVERIFY(wait_gone(*oldest));
    const QString replaced = QStringLiteral("Порт TCP %1 занят новым клиентом").arg(port_mb);
    QVERIFY(wait_for([&] { return !bridge->log().filter(replaced).isEmpty(); }));
    // The simulator is heard meanwhile: its output must not stall it.
    const auto finished = [&] {
        return masters[0].state() == QProcess::NotRunning && masters[1].state() == QProcess::NotRunning &&
               mbpoll.state() == QProcess::NotRunning;
    };
    QTRY_VERIFY_WITH_TIMEOUT(finished(), 30000);
    for (QProcess& p : masters) {
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QString());
        const QStringList counts = QString::fromUtf8(p.readAllStandardOutput()).split(' ');
        QCOMPARE(counts.size(), 6);
        qInfo("pymodbus master: %d answers right, %d another's, %d failed", counts[1].toInt(), counts[3].toInt(),
              counts[5].toInt());
        QCOMPARE(counts[3].toInt(), 0);
        QVERIFY(counts[1].toInt() > 0);
    }
    const QStringList values = mbpoll_values(QString::fromUtf8(mbpoll.readAllStandardOutput()));
    qInfo("mbpoll: %d answers right, %d another's", int(values.count(QStringLiteral("80"))),
          int(values.size() - values.count(QStringLiteral("80"))));
    QVERIFY(!values.isEmpty());
    QCOMPARE(values.count(QStringLiteral("80")), values.size());
}

// Beside masters that keep 16 reads in flight, a master polling one read at a time keeps its
// turn: no 0x06, and a round trip at most three times its own alone. Beside 40 clients that
// connect and close in a loop, two polling masters keep their connections and their answers.
void Test_modbus_tcp::masters_take_turns_and_churn_displaces_no_working_master()
{
    QVERIFY(start());
    QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 20").arg(QLatin1String(eui_mb))));
    Polite_master alone(port_mb);
    alone.poll(15);
    QCOMPARE(alone.right, 15);
    std::list<Pipelining_master> pipeliners;
    pipeliners.emplace_back(port_mb, Modbus_tcp_framing::max_waiting_per_client, 0);
    QVERIFY(wait_for([&] { return pipeliners.front().right > 0; }));
    Polite_master beside_one(port_mb);
    beside_one.poll(15);
    pipeliners.emplace_back(port_mb, Modbus_tcp_framing::max_waiting_per_client, 30);
    QVERIFY(wait_for([&] { return pipeliners.back().right > 0; }));
    Polite_master beside_two(port_mb);
    beside_two.poll(15);
    qInfo("median round trip: alone %lld ms, beside one pipelining master %lld ms, beside two %lld ms",
          alone.median(), beside_one.median(), beside_two.median());
    QCOMPARE(beside_one.right, 15);
    QCOMPARE(beside_two.right, 15);
    QVERIFY(beside_one.median() <= 3 * std::max<qint64>(alone.median(), 1));
    for (const Pipelining_master& p : pipeliners)
        QCOMPARE(p.other, 0);
    pipeliners.clear();

    std::list<QTcpSocket> churners(40);
    QTimer churn;
    QObject::connect(&churn, &QTimer::timeout, [&] {
        for (QTcpSocket& c : churners) {
            if (c.state() == QAbstractSocket::ConnectedState)
                c.abort();
            else if (c.state() == QAbstractSocket::UnconnectedState)
                c.connectToHost(QHostAddress::LocalHost, port_mb);
        }
    });
    churn.start(5);
    Polite_master polling[2] = {Polite_master(port_mb), Polite_master(port_mb)};
    for (int round = 0; round < 10; ++round)
        for (Polite_master& m : polling)
            m.poll(2);
    qInfo("beside 40 connecting clients: %d and %d answers right of 20 (0x0B or another exception: %d and %d, "
          "another's or none: %d and %d)",
          polling[0].right, polling[1].right, polling[0].failed, polling[1].failed, polling[0].other, polling[1].other);
    // Never another's answer nor a refusal; on a machine loaded enough to pass modbus_timeout, an
    // honest 0x0B may stand for one or two.
    for (const Polite_master& m : polling) {
        QCOMPARE(m.other, 0);
        QCOMPARE(m.busy, 0);
        QVERIFY(m.right >= 18);
        QCOMPARE(m.socket->state(), QAbstractSocket::ConnectedState);
    }
    QVERIFY(!bridge->log().filter(QStringLiteral("Порт TCP %1 занят новым клиентом").arg(port_mb)).isEmpty());
}

// The answer to a master that has gone, the modem's answer again under new frame counters, a
// two-packet answer replayed whole with its counters, answers later than twice the timeout: each
// time a read of the same shape is behind it, and gets its own registers or 0x0B, never the other's.
void Test_modbus_tcp::copied_replayed_and_late_answers_never_answer_the_next_read()
{
    QVERIFY(start());
    const QString mb = QLatin1String(eui_mb);
    QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 300").arg(mb)));
    {
        auto gone = client_of(port_mb);
        gone->write(mbap(1, 1, read_one(10)));
        QVERIFY(wait_for([&] {
            return !sim->lines.filter(QStringLiteral("recv ")).filter(QStringLiteral("send_data_req")).isEmpty();
        }));
    }
    auto c = client_of(port_mb);
    c->write(mbap(2, 1, read_one(20)));
    QVERIFY(read_exactly(*c, mbap(2, 1, register_value(20)), 10000));
    QVERIFY(bridge->wait_log(QStringLiteral("Ответ устройства на запрос Modbus через порт %1 отброшен: клиент, "
                                            "приславший запрос, уже отключился.").arg(port_mb)));
    QByteArray input;
    quint16 tid = 0;
    int own = 0;
    // Two reads of `count` registers, from `first` and right after; the answers' verdicts.
    const auto read_two = [&](int first, int count) {
        QByteArray pdu_of[2];
        for (int n = 0; n < 2; ++n) {
            const int from = first + n * count;
            pdu_of[n] = QByteArray::fromHex("03") + char(from >> 8) + char(from & 0xFF) + char(0) + char(count);
            c->write(mbap(++tid, 1, pdu_of[n]));
        }
        for (int n = 0; n < 2; ++n) {
            QByteArray expected = QByteArray::fromHex("03") + char(2 * count);
            for (int r = first + n * count; r < first + (n + 1) * count; ++r)
                expected.append(char(r >> 8)).append(char(r & 0xFF));
            const QByteArray got = read_response(*c, input);
            QCOMPARE(got.left(2), mbap(quint16(tid - 1 + n), 1, QByteArray()).left(2));
            QVERIFY2(got.mid(7) == expected || got.mid(7) == failed_0B, got.toHex().constData());
            own += got.mid(7) == expected;
        }
    };
    QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 100").arg(mb)));
    QVERIFY(sim->command(QStringLiteral("fault copy_next %1 30").arg(mb)));
    read_two(10, 1);
    QVERIFY(sim->command(QStringLiteral("fault replay_next %1 30").arg(mb)));
    read_two(0, 30);
    QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 %2").arg(mb).arg(modbus_timeout_ms * 5 / 2)));
    read_two(20, 1);
    QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 0").arg(mb)));
    // Past the late answers' arrival and another timeout, the port answers as before.
    QTest::qWait(3 * modbus_timeout_ms);
    read_two(40, 1);
    qInfo("%d of 8 reads answered with their own registers, the others with 0x0B", own);
    QVERIFY(own >= 5);
    QVERIFY(!bridge->log().filter(QStringLiteral("опоздавший или повторённый ответ")).isEmpty());
}

// One address for the site: unit 11 is slave 1 behind one modem, unit 12 slave 1 behind another,
// each answer with the unit id asked; an unknown unit is refused at once; two slow modems answer
// side by side; a master on a modem's own port and one on the site port poll it together.
void Test_modbus_tcp::site_port_routes_units_to_their_modems()
{
    QVERIFY(start());
    auto c = client_of(port_site);
    QByteArray input;
    c->write(mbap(1, 11, QByteArray::fromHex("0600051092")));
    QCOMPARE(read_response(*c, input), mbap(1, 11, QByteArray::fromHex("0600051092")));
    c->write(mbap(2, 11, read_one(5)) + mbap(3, 12, read_one(5)));
    QCOMPARE(read_response(*c, input), mbap(2, 11, register_value(0x1092)));
    QCOMPARE(read_response(*c, input), mbap(3, 12, register_value(5)));
    QElapsedTimer clock;
    clock.start();
    c->write(mbap(4, 13, read_one(5)));
    QCOMPARE(read_response(*c, input), mbap(4, 13, QByteArray::fromHex("830a")));
    qInfo("an unknown unit refused after %lld ms", clock.elapsed());
    QVERIFY(clock.elapsed() < modbus_timeout_ms);

    const int slow_ms = modbus_timeout_ms * 3 / 4;
    for (const char* eui : {eui_mb, eui_mb2})
        QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 %2").arg(QLatin1String(eui)).arg(slow_ms)));
    clock.restart();
    c->write(mbap(5, 11, read_one(6)) + mbap(6, 12, read_one(7)));
    QCOMPARE(read_response(*c, input), mbap(5, 11, register_value(6)));
    QCOMPARE(read_response(*c, input), mbap(6, 12, register_value(7)));
    qInfo("two modems answering after %d ms each: both answered in %lld ms", slow_ms, clock.elapsed());
    QVERIFY(clock.elapsed() < 2 * slow_ms);

    // More requests than one master's share, for two modems: the rest is read as the lines take them.
    for (const char* eui : {eui_mb, eui_mb2})
        QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 0").arg(QLatin1String(eui))));
    QByteArray many;
    QByteArray answers;
    for (quint16 n = 0; n < 2 * Modbus_port_framing::max_waiting_per_client; ++n) {
        many += mbap(100 + n, 11 + n % 2, read_one(n));
        answers += mbap(100 + n, 11 + n % 2, register_value(n));
    }
    c->write(many);
    QVERIFY(read_exactly(*c, answers, 20000));

    QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 20").arg(QLatin1String(eui_mb))));
    QProcess own;
    own.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(RUVO_SOURCE_DIR "/tests/modbus/pymodbus_client.py"),
                                                   QString::number(port_mb), "poll", "10", "10", "30"});
    QVERIFY(own.waitForStarted());
    Polite_master site(port_site, 11);
    while (own.state() != QProcess::NotRunning)
        site.poll(1);
    const QStringList counts = QString::fromUtf8(own.readAllStandardOutput()).split(' ');
    QCOMPARE(counts.size(), 6);
    qInfo("own port: %d right, %d another's; site port: %d right, %d another's, %d failed", counts[1].toInt(),
          counts[3].toInt(), site.right, site.other, site.failed);
    QCOMPARE(counts[3].toInt(), 0);
    QCOMPARE(site.other, 0);
    QVERIFY(counts[1].toInt() > 0 && site.right > 0);
}

// Three masters ask the same read while the modem is busy with another's: it goes over the radio
// once, and each master gets the answer under its own transaction id. With cache_ms, the same read
// again is answered from memory at once; after a write to the slave the next read goes over the
// radio and shows the written value.
void Test_modbus_tcp::identical_reads_merged_and_cached()
{
    QVERIFY(start(true, QByteArray(), "cache_ms=3000"));
    const QString mb = QLatin1String(eui_mb);
    const auto radio_requests = [&] {
        return sim->lines.filter(QStringLiteral("recv ")).filter(QStringLiteral("send_data_req")).filter(
            QStringLiteral("\"devEui\":\"%1\"").arg(mb)).size();
    };
    const auto answered = [&](const char* how) {
        return metric_value(scrape_metrics(port_metrics), "ruvo_bridge_modbus_requests_total{answered=\"" +
                                                              QByteArray(how) + "\",eui=\"" + QByteArray(eui_mb) +
                                                              "\",port=\"" + QByteArray::number(port_mb) + "\"}");
    };
    QVERIFY(sim->command(QStringLiteral("fault modem_delay %1 300").arg(mb)));
    auto busy = client_of(port_mb);
    busy->write(mbap(1, 1, read_one(40)));
    QVERIFY(wait_for([&] { return radio_requests() == 1; }));
    std::unique_ptr<QTcpSocket> masters[3];
    for (int m = 0; m < 3; ++m) {
        masters[m] = client_of(port_mb);
        masters[m]->write(mbap(quint16(0x100 + m), 1, read_10));
    }
    QVERIFY(read_exactly(*busy, mbap(1, 1, register_value(40))));
    for (int m = 0; m < 3; ++m)
        QVERIFY(read_exactly(*masters[m], mbap(quint16(0x100 + m), 1, holding_10(0))));
    QElapsedTimer since_answer;
    since_answer.start();
    QCOMPARE(radio_requests(), 2);
    QCOMPARE(answered("merged"), 2.0);

    QElapsedTimer clock;
    clock.start();
    masters[0]->write(mbap(0x200, 1, read_10));
    QVERIFY(read_exactly(*masters[0], mbap(0x200, 1, holding_10(0))));
    QVERIFY2(clock.elapsed() < 100, QByteArray::number(clock.elapsed()).constData());
    QCOMPARE(radio_requests(), 2);
    QCOMPARE(answered("cache"), 1.0);
    QVERIFY(!bridge->log().filter(QStringLiteral("Запрос Modbus через порт %1 (транзакция 512) получил ответ из памяти")
                                      .arg(port_mb)).isEmpty());

    masters[1]->write(mbap(0x300, 1, QByteArray::fromHex("060000004d")));
    QVERIFY(read_exactly(*masters[1], mbap(0x300, 1, QByteArray::fromHex("060000004d"))));
    // Still within cache_ms of the read's answer: only the write made the next read go over the radio.
    QVERIFY(since_answer.elapsed() < 2500);
    masters[2]->write(mbap(0x301, 1, read_10));
    QByteArray written = holding_10(0);
    written[3] = 0x4d;
    QVERIFY(read_exactly(*masters[2], mbap(0x301, 1, written)));
    QCOMPARE(radio_requests(), 4);
    QCOMPARE(answered("radio"), 4.0);
}

QTEST_MAIN(Test_modbus_tcp)
#include "test_modbus_tcp.moc"
