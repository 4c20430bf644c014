// Tests of the TCP server of a modem: clients and their replacement, retirement and the wiring
// of framing and uplink, with real sockets on loopback and a real link object that is never
// started (its sent commands are read from the log), the data path as a table of scripts; the
// pause framing, the frame limit, the joining of uplink packets and the ledger of owed frames on
// their own, as tables of byte arrays and events.
#include "core/cfg.h"
#include "core/shared.h"
#include "link/ws_connection.h"
#include "tcp/owed_frames.h"
#include "tcp/pause_framing.h"
#include "tcp/tcp_server.h"
#include "tcp/uplink_assembler.h"
#include "tests/bridge_process.h"
#include "tests/recording_host.h"

#include <QAbstractEventDispatcher>
#include <QBuffer>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtTest>
#include <memory>
#include <sys/resource.h>

namespace {

const quint64 test_eui = 0x0102030405060708ULL;
const char eui_text[] = "0102030405060708";
const int wait_ms = 5000;

// The data command the link sends for one frame of the test modem.
QString sent(const QByteArray& data)
{
    return QStringLiteral("to(RUVO-LoRa): «{\"cmd\":\"send_data_req\",\"data_list\":[{\"devEui\":\"%1\","
                          "\"data\":\"04%2\",\"port\":2}]}»")
        .arg(QLatin1String(eui_text), QString::fromLatin1(data.toHex()));
}

QByteArray packet(const char* header_hex, const QByteArray& data)
{
    return QByteArray::fromHex(header_hex) + data;
}

const QString packet_name = QStringLiteral(
    "«пакет с данными от внешнего устройства, полученными по интерфейсу RS-232 или RS-485»");

QString bad_packet(const QString& what)
{
    return QStringLiteral("Неправильный ") + packet_name +
           QStringLiteral(" от радиомодема с EUI=0x0102030405060708: ") + what;
}

QString shuffle(int expected, int got)
{
    return QStringLiteral("«Пакет с данными от внешнего устройства, полученными по интерфейсу RS-232 "
                          "или RS-485» от устройства с EUI=0x0102030405060708 пришёл с нарушением "
                          "порядка: ожидается пакет №%1, а пришёл пакет №%2.")
        .arg(expected)
        .arg(got);
}

QString overflow_text(quint16 port, int max_frame)
{
    return QStringLiteral("Ошибка: от клиента на порту %1 пришло сообщение, размер которого "
                          "превышает предельный для этого клиента (%2 байтов). Предельный размер "
                          "сообщения можно настроить в файле конфигурации и в описании устройства.")
        .arg(port)
        .arg(max_frame);
}

}  // namespace

class Test_tcp_server : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listens_accepts_and_counts_the_client();
    void burst_keeps_the_later_connection();
    void clients_and_answers_data();
    void clients_and_answers();
    void pause_framing_data();
    void pause_framing();
    void uplink_packets_data();
    void uplink_packets();
    void repeated_packets_by_frame_counter();
    void owed_frames_data();
    void owed_frames();
    void retiring_without_client_deletes_at_once();
    void retiring_with_client_waits_for_the_socket();
    void last_server_ends_the_exchange_loop_only_when_ending();
    void busy_port_makes_the_constructor_throw();
    void client_without_a_frame_buffer_is_disconnected();
    void frame_allocation_failure_is_an_err();

private:
    QStringList log_entries() const { return entries_of(log_file->text()); }
    bool wait_entry(const QString& text);
    bool logged(const QString& text) const { return log_entries().contains(text); }
    QString trace(const char* event) const;
    QString trace_peer(quint16 peer_port, const char* event) const;
    Tcp_server* make_server(quint32 max_frame = 51);
    std::unique_ptr<QTcpSocket> connect_client();
    bool wait_client(const QTcpSocket& c);
    bool wait_frame_handed_over();
    void answer(bool ok, const char* eui = eui_text);
    // A client of a script: its socket and the port it had.
    struct Script_client {
        std::unique_ptr<QTcpSocket> socket;
        quint16 port = 0;
    };
    using Script_clients = Script_client[3];
    void play(const QString& step, Script_clients& clients, int& mark);
    void send_step(QTcpSocket& c, const QString& how, const QByteArray& bytes);

    std::unique_ptr<Temp_log> log_file;
    QThread exchange_thread;
    std::unique_ptr<Ws_connection> connection;
    QPointer<Tcp_server> server;
    quint16 port = 0;
};

void Test_tcp_server::initTestCase()
{
    trace_ws = 2;
    ws_sdata_timeout = 60000;
}

void Test_tcp_server::init()
{
    log_file.reset(new Temp_log);
    trace_tcp = 2;
    tcp_interframe_delay = 15;
    clients_number = 0;
    ws_flags = 0;
    connection.reset(new Ws_connection(exchange_thread));
    port = free_ports(1).front();
}

void Test_tcp_server::cleanup()
{
    if (server)
        server->shutdown_server();
    QTRY_VERIFY_WITH_TIMEOUT(!server, wait_ms);
    connection.reset();
    log_file.reset();
}

bool Test_tcp_server::wait_entry(const QString& text)
{
    if (QTest::qWaitFor([&] { return logged(text); }, wait_ms))
        return true;
    qWarning() << "not logged:" << text << "log:" << log_entries();
    return false;
}

QString Test_tcp_server::trace(const char* event) const
{
    return QStringLiteral("tcp%1%2").arg(port).arg(QLatin1String(event));
}

// The server listens on all addresses, so it sees an IPv4 client in its IPv6-mapped form.
QString Test_tcp_server::trace_peer(quint16 peer_port, const char* event) const
{
    return QStringLiteral("tcp%1(peer=[::ffff:127.0.0.1]:%2)%3")
        .arg(port)
        .arg(peer_port)
        .arg(QLatin1String(event));
}

Tcp_server* Test_tcp_server::make_server(quint32 max_frame)
{
    server = new Tcp_server(*connection, test_eui, Device_in_cfg{max_frame, port});
    return server;
}

std::unique_ptr<QTcpSocket> Test_tcp_server::connect_client()
{
    std::unique_ptr<QTcpSocket> c(new QTcpSocket);
    c->connectToHost(QHostAddress::LocalHost, port);
    return c;
}

// Waits until the server has taken this client as its current one.
bool Test_tcp_server::wait_client(const QTcpSocket& c)
{
    return QTest::qWaitFor(
        [&] {
            return c.state() == QAbstractSocket::ConnectedState && server && server->client &&
                   server->client->peerPort() == c.localPort();
        },
        wait_ms);
}

// The interframe timer is the server's only timer: once it is gone, the frame was handed over.
bool Test_tcp_server::wait_frame_handed_over()
{
    return QTest::qWaitFor(
        [&] { return QAbstractEventDispatcher::instance()->registeredTimers(server).isEmpty(); },
        wait_ms);
}

// The server's answer to the data command in flight.
void Test_tcp_server::answer(bool ok, const char* eui)
{
    const QString text = QStringLiteral("{\"cmd\":\"send_data_resp\",\"status\":true,\"append_status\":"
                                        "[{\"devEui\":\"%1\",\"status\":%2}]}")
                             .arg(QLatin1String(eui), ok ? QStringLiteral("true") : QStringLiteral("false"));
    QMetaObject::invokeMethod(connection.get(), "on_text_message", Qt::DirectConnection, Q_ARG(QString, text));
}

void Test_tcp_server::listens_accepts_and_counts_the_client()
{
    connection->flags |= Ws_connection::connected;
    QSignalSpy changes(connection.get(), &Ws_connection::clients_changed);
    make_server();
    QCOMPARE(connection->live_count, quint64(2));
    QVERIFY(logged(trace(".listen")));

    auto c = connect_client();
    QVERIFY(wait_client(*c));
    QVERIFY(logged(trace_peer(c->localPort(), ".accept")));
    QCOMPARE(clients_number, 1u);
    QCOMPARE(changes.count(), 1);
    QVERIFY(ws_flags & WS_CLIENTS_PENDING);

    // The notice is still pending: the client's going raises no second one.
    c->disconnectFromHost();
    QVERIFY(wait_entry(trace(".disconnected")));
    QTRY_VERIFY_WITH_TIMEOUT(!server->client, wait_ms);
    QCOMPARE(clients_number, 0u);
    QCOMPARE(changes.count(), 1);

    // The GUI handled the notice; the next client raises a new one.
    ws_flags &= ~WS_CLIENTS_PENDING;
    auto c2 = connect_client();
    QVERIFY(wait_client(*c2));
    QCOMPARE(changes.count(), 2);
    QCOMPARE(clients_number, 1u);

    // A newer client in its place leaves the count as it was: no notice.
    ws_flags &= ~WS_CLIENTS_PENDING;
    auto c3 = connect_client();
    QVERIFY(wait_client(*c3));
    QVERIFY(wait_gone(*c2));
    QCOMPARE(clients_number, 1u);
    QCOMPARE(changes.count(), 2);
    QVERIFY(!(ws_flags & WS_CLIENTS_PENDING));
}

void Test_tcp_server::burst_keeps_the_later_connection()
{
    make_server();
    auto first = connect_client();
    auto second = connect_client();
    QVERIFY(wait_client(*second));
    const quint16 first_port = first->localPort();
    QVERIFY(wait_gone(*first));
    QCOMPARE(clients_number, 1u);
    QCOMPARE(second->state(), QAbstractSocket::ConnectedState);
    const QStringList log = log_entries();
    const int accept_first = log.indexOf(trace_peer(first_port, ".accept"));
    const int accept_second = log.indexOf(trace_peer(second->localPort(), ".accept"));
    const int drop_first = log.indexOf(trace_peer(first_port, ".shutdown"));
    QVERIFY(accept_first >= 0);
    QVERIFY(accept_first < accept_second);
    QVERIFY(accept_second < drop_first);
    QVERIFY(wait_entry(trace(".shutdown_ok")));
    QVERIFY(!log_entries().join('\n').contains(QStringLiteral("Неожиданная ошибка")));

    // The kept client is served.
    second->write("ok");
    QVERIFY(wait_entry(sent("ok")));
}

// A script of what the clients, the link and the modem do, one step after another, on a real
// server. "cN" client N connects and is taken; "N>xx" it sends xx, the next command the link
// sends; "N>>xx" it sends xx, which waits behind the frame in flight; "N>|xx" it sends xx with
// no pause after, so xx is still being gathered; "N<xx" it reads xx and is still connected;
// "-N" it leaves while it is the port's client; "xN" the server drops it. "ack" and "nack": the
// server accepts or refuses the frame in flight; "ack-other": it accepts one naming another
// modem. "up:HEADER:xx" the modem's uplink packet with data xx; "success" a second acceptance;
// "mark": from here on the log holds just the entries expected. Without "mark" the entries
// expected are somewhere in the log ("%1" the port); the texts forbidden are nowhere in it, no
// client reads anything the script does not read, and the count of clients is right at the end.
void Test_tcp_server::clients_and_answers_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("forbidden");
    const QString gone_client = QStringLiteral("Ответ радиомодема порта %1 на сообщение отключившегося клиента отброшен: ");

    QTest::newRow("newer client: the older one's frames and late answers reach nobody")
        << "c1 1>a ack 1>b 1>>c 1>|x c2 x1 ack-other up:030200020001:no 2>d ack up:030200020001:nb "
           "up:030200020001:ok 2<ok"
        << QStringList{gone_client + "0x{6E 62}"} << QStringList{sent("c")};
    QTest::newRow("client leaves: its queued and half-received frames are never sent")
        << "c1 1>a 1>>b 1>|hello -1 ack-other c2 2>c" << QStringList() << QStringList{sent("b"), sent("hello")};
    QTest::newRow("client beyond the queue bound is dropped, its queue unsent")
        << "c1 1>a " + QStringLiteral("1>>b ").repeated(max_queued_per_port + 1) + "x1 ack c2 2>c"
        << QStringList{QStringLiteral("Ошибка: клиент на порту %1 прислал больше сообщений, чем может ждать отправки "
                                      "радиомодему (") +
                       QString::number(max_queued_per_port) +
                       QStringLiteral("), не дожидаясь ответов на них. Соединение с клиентом разорвано.")}
        << QStringList{sent("b")};
    QTest::newRow("client leaving before its first frame sends nothing")
        << "c1 -1" << QStringList() << QStringList{QStringLiteral("send_data_req")};
    QTest::newRow("refused frame ends the exchange") << "c1 1>a nack x1" << QStringList() << QStringList();

    QTest::newRow("uplink before the client's first accepted frame is dropped, traced")
        << "c1 mark up:030400020002:no up:030400020102:no"
        << QStringList{QStringLiteral("Ответ радиомодема порта %1, которого не ждал этот клиент, отброшен: 0x{6E 6F 6E 6F}")}
        << QStringList();
    QTest::newRow("answer of two packets is written once, with a trace")
        << "c1 1>q ack mark up:030400020002:ab up:030400020102:cd 1<abcd"
        << QStringList{QStringLiteral("tcp%1.send 0x{61 62 63 64}")} << QStringList();
    QTest::newRow("second success keeps the answer in progress")
        << "c1 1>q ack up:030400020002:ab success up:030400020102:cd 1<abcd" << QStringList() << QStringList();
    QTest::newRow("broken packet ends the exchange only once one was joined")
        << "c1 1>q ack up:030400020102:cd up:030200020001:ok 1<ok up:030400020002:ab up:030400020202:cd x1"
        << QStringList{shuffle(0, 1), shuffle(1, 2)} << QStringList();
    QTest::newRow("answer joined across clients is dropped whole, unreported")
        << "c1 1>q ack up:030400020002:ab -1 c2 up:030400020102:cd" << QStringList{gone_client + "0x{61 62 63 64}"}
        << QStringList{shuffle(0, 1)};
}

void Test_tcp_server::clients_and_answers()
{
    QFETCH(QString, script);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, forbidden);
    make_server();
    Script_clients clients;
    int mark = -1;
    for (const QString& step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        play(step, clients, mark);
        if (QTest::currentTestFailed()) {
            qWarning() << "failed at" << step;
            return;
        }
    }
    QVERIFY(!QTest::qWaitFor(
        [&] {
            for (const Script_client& c : clients)
                if (c.socket && c.socket->bytesAvailable() > 0)
                    return true;
            return false;
        },
        200));
    const auto at_port = [&](QStringList texts) {
        return texts.replaceInStrings(QStringLiteral("%1"), QString::number(port));
    };
    if (mark >= 0)
        QCOMPARE(log_entries().mid(mark), at_port(expected));
    for (const QString& entry : at_port(expected))
        QVERIFY(wait_entry(entry));
    const QString all = log_entries().join('\n');
    for (const QString& text : at_port(forbidden) + QStringList{"EUI=0xFFFFFFFFFFFFFFFF", "Неожиданная ошибка"})
        QVERIFY2(!all.contains(text), qPrintable(text));
    unsigned connected = 0;
    for (const Script_client& c : clients)
        connected += c.socket && c.socket->state() == QAbstractSocket::ConnectedState;
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, connected, wait_ms);
}

void Test_tcp_server::play(const QString& step, Script_clients& clients, int& mark)
{
    static const QRegularExpression client_step(QStringLiteral("^(?:([cx-])(\\d)|(\\d)(>>|>\\||>|<)(.*))$"));
    const QRegularExpressionMatch m = client_step.match(step);
    if (step == QLatin1String("ack") || step == QLatin1String("nack")) {
        answer(step == QLatin1String("ack"));
    } else if (step == QLatin1String("ack-other")) {
        answer(true, "FFFFFFFFFFFFFFFF");
    } else if (step == QLatin1String("success")) {
        server->success();
    } else if (step == QLatin1String("mark")) {
        mark = log_entries().size();
    } else if (step.startsWith(QLatin1String("up:"))) {
        QByteArray p = packet(step.section(QLatin1Char(':'), 1, 1).toLatin1().constData(),
                              step.section(QLatin1Char(':'), 2).toLatin1());
        server->rx_received(p);
    } else if (m.hasMatch() && !m.captured(1).isEmpty()) {
        Script_client& c = clients[m.captured(2).toInt()];
        if (m.captured(1) == QLatin1String("c")) {
            c.socket = connect_client();
            QVERIFY(wait_client(*c.socket));
            c.port = c.socket->localPort();
        } else if (m.captured(1) == QLatin1String("x")) {
            QVERIFY(wait_gone(*c.socket));
            QVERIFY(wait_entry(trace_peer(c.port, ".shutdown")));
            QVERIFY(wait_entry(trace(".shutdown_ok")));
        } else {
            const int left = log_entries().count(trace(".disconnected"));
            c.socket->disconnectFromHost();
            QVERIFY(QTest::qWaitFor([&] { return log_entries().count(trace(".disconnected")) > left; }, wait_ms));
            QTRY_COMPARE_WITH_TIMEOUT(clients_number, 0u, wait_ms);
        }
    } else if (m.hasMatch()) {
        send_step(*clients[m.captured(3).toInt()].socket, m.captured(4), m.captured(5).toLatin1());
    } else {
        QFAIL("unknown step");
    }
}

// A client's "N>", "N>>", "N>|" or "N<" step.
void Test_tcp_server::send_step(QTcpSocket& c, const QString& how, const QByteArray& bytes)
{
    if (how == QLatin1String("<")) {
        QVERIFY(read_exactly(c, bytes, wait_ms));
        QCOMPARE(c.state(), QAbstractSocket::ConnectedState);
        return;
    }
    const auto commands = [&] { return log_entries().filter(QStringLiteral("send_data_req")); };
    const QString recv = trace(".recv 0x{") + QString::fromLatin1(bytes.toHex(' ').toUpper()) + QLatin1Char('}');
    const int sent_before = commands().size();
    const int received = log_entries().count(recv);
    tcp_interframe_delay = how == QLatin1String(">|") ? 60000 : 15;
    c.write(bytes);
    if (how == QLatin1String(">")) {
        QVERIFY(QTest::qWaitFor([&] { return commands().size() > sent_before; }, wait_ms));
        QCOMPARE(commands().mid(sent_before), QStringList(sent(bytes)));
        return;
    }
    QVERIFY(QTest::qWaitFor([&] { return log_entries().count(recv) > received; }, wait_ms));
    if (how == QLatin1String(">>"))
        QVERIFY(wait_frame_handed_over());
}

// Each event is the bytes the client sent, read at once, or "|" for a pause: the interframe
// timer fires. The log is compared whole.
void Test_tcp_server::pause_framing_data()
{
    QTest::addColumn<int>("max_frame");
    QTest::addColumn<int>("trace_level");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QByteArrayList>("frames");
    QTest::addColumn<bool>("dropped");
    QTest::addColumn<QStringList>("log");
    const QString recv_abc = QStringLiteral("tcp3001.recv 0x{61 62 63}");
    const QString recv_10 = QStringLiteral("tcp3001.recv 0x{30 31 32 33 34 35 36 37 38 39}");
    const QString overflow = overflow_text(3001, 10);
    const QString dump = QStringLiteral("Уже принятая часть сообщения, вызвавшего предыдущую ошибку: "
                                        "0x{30 31 32 33 34 35 36 37 38 39 41}");
    QTest::newRow("pause splits frames")
        << 51 << 2 << QStringList{"abc", "|", "def", "|"} << QByteArrayList{"abc", "def"} << false
        << QStringList{recv_abc, QStringLiteral("tcp3001.recv 0x{64 65 66}")};
    QTest::newRow("chunks within the delay form one frame")
        << 51 << 2 << QStringList{"ab", "cd", "|"} << QByteArrayList{"abcd"} << false
        << QStringList{QStringLiteral("tcp3001.recv 0x{61 62}"), QStringLiteral("tcp3001.recv 0x{63 64}")};
    QTest::newRow("10 bytes") << 10 << 2 << QStringList{"0123456789", "|"} << QByteArrayList{"0123456789"}
                              << false << QStringList{recv_10};
    QTest::newRow("11 bytes, all") << 10 << 2 << QStringList{"0123456789A"} << QByteArrayList() << true
                                   << QStringList{overflow};
    QTest::newRow("11 bytes, bad_frames") << 10 << 1 << QStringList{"0123456789A"} << QByteArrayList() << true
                                          << QStringList{overflow, dump};
    QTest::newRow("11 bytes, err") << 10 << 0 << QStringList{"0123456789A"} << QByteArrayList() << true
                                   << QStringList{overflow};
    QTest::newRow("10 then 1") << 10 << 2 << QStringList{"0123456789", "A"} << QByteArrayList() << true
                               << QStringList{recv_10, overflow};
}

void Test_tcp_server::pause_framing()
{
    QFETCH(int, max_frame);
    QFETCH(int, trace_level);
    QFETCH(QStringList, events);
    QFETCH(QByteArrayList, frames);
    QFETCH(bool, dropped);
    QFETCH(QStringList, log);
    trace_tcp = static_cast<unsigned char>(trace_level);
    Recording_host host(static_cast<size_t>(max_frame));
    Pause_framing framing(host, test_eui, 3001, static_cast<size_t>(max_frame));
    for (const QString& event : events) {
        if (event == QLatin1String("|")) {
            QCOMPARE(host.timer, tcp_interframe_delay);
            host.timer = 0;
            framing.timer_expired();
            continue;
        }
        QByteArray bytes = event.toLatin1();
        QBuffer client(&bytes);
        client.open(QIODevice::ReadOnly);
        framing.read(1, client);
    }
    QCOMPARE(host.posted, frames);
    QCOMPARE(host.shut, dropped);
    QCOMPARE(log_entries(), log);
}

// Each packet's verdict is one letter: i incomplete, c complete, g ignored, b broken, B broken
// after a packet was joined (the exchange with the client then ends).
void Test_tcp_server::uplink_packets_data()
{
    QTest::addColumn<QByteArrayList>("packets");
    QTest::addColumn<QString>("verdicts");
    QTest::addColumn<QByteArrayList>("answers");
    QTest::addColumn<QStringList>("errors");

    QTest::newRow("one of one") << QByteArrayList{packet("030500050001", "hello")} << "c"
                                << QByteArrayList{"hello"} << QStringList();
    QTest::newRow("total of 0 packets") << QByteArrayList{packet("030300030000", "abc")} << "c"
                                        << QByteArrayList{"abc"} << QStringList();
    QTest::newRow("joined, then the next afresh")
        << QByteArrayList{packet("030700030003", "abc"), packet("030700030103", "def"),
                          packet("030700010203", "g"), packet("030200020001", "hi")}
        << "iicc" << QByteArrayList{"abcdefg", "hi"} << QStringList();

    // A broken packet drops the answer; a proper one still gets through afterwards.
    const QByteArray first = packet("030400020002", "ab");
    const QByteArray ok = packet("030200020001", "ok");
    QTest::newRow("out of order first") << QByteArrayList{packet("030400020102", "cd"), ok} << "bc"
                                        << QByteArrayList{"ok"} << QStringList{shuffle(0, 1)};
    QTest::newRow("out of order later") << QByteArrayList{first, packet("030400020202", "cd"), ok} << "iBc"
                                        << QByteArrayList{"ok"} << QStringList{shuffle(1, 2)};
    QTest::newRow("size mismatch first")
        << QByteArrayList{packet("030400030001", "cd"), ok} << "bc" << QByteArrayList{"ok"}
        << QStringList{bad_packet(QStringLiteral("поле «размер данных в данном пакете» содержит значение 3, а "
                                                 "фактически поле «данные» имеет размер 2 байтов."))};
    QTest::newRow("size mismatch later")
        << QByteArrayList{first, packet("030400010102", "cd"), ok} << "iBc" << QByteArrayList{"ok"}
        << QStringList{bad_packet(QStringLiteral("поле «размер данных в данном пакете» содержит значение 1, а "
                                                 "фактически поле «данные» имеет размер 2 байтов."))};
    QTest::newRow("too short")
        << QByteArrayList{QByteArray::fromHex("0304000200"), ok} << "bc" << QByteArrayList{"ok"}
        << QStringList{bad_packet(QStringLiteral("фактическая длина пакета равна 5 байтов, т.е., в нём не "
                                                 "помещается даже заголовок."))};
    QTest::newRow("total size mismatch")
        << QByteArrayList{first, packet("030501020102", "cd"), ok} << "iBc" << QByteArrayList{"ok"}
        << QStringList{bad_packet(QStringLiteral("в 0-м пакете поле «общий размер полученных через интерфейс "
                                                 "данных» содержало значение 4, а в 1-м пакете оно уже содержит "
                                                 "значение 261."))};
    QTest::newRow("total packets mismatch")
        << QByteArrayList{first, packet("030400020103", "cd"), ok} << "iBc" << QByteArrayList{"ok"}
        << QStringList{bad_packet(QStringLiteral("в 0-м пакете поле «всего пакетов» содержало значение 2, а в "
                                                 "1-м пакете оно уже содержит значение 3."))};

    // A packet that is ignored between the packets of an answer does not disturb it.
    const QByteArray second = packet("030400020102", "cd");
    QTest::newRow("type 4") << QByteArrayList{first, packet("040200020001", "no"), second} << "igc"
                            << QByteArrayList{"abcd"} << QStringList();
    QTest::newRow("type 0") << QByteArrayList{first, QByteArray(1, '\0'), second} << "igc"
                            << QByteArrayList{"abcd"} << QStringList();
    QTest::newRow("empty") << QByteArrayList{first, QByteArray(), second} << "igc" << QByteArrayList{"abcd"}
                           << QStringList{QStringLiteral(
                                  "От сервера RUVO-LoRa пришло сообщение \"rx\" с пустым полем \"data\" "
                                  "(EUI=0x0102030405060708). Сообщение игнорируется.")};
}

void Test_tcp_server::uplink_packets()
{
    QFETCH(QByteArrayList, packets);
    QFETCH(QString, verdicts);
    QFETCH(QByteArrayList, answers);
    QFETCH(QStringList, errors);
    Uplink_assembler assembler(test_eui);
    QString got;
    QByteArrayList joined;
    QStringList said;
    for (QByteArray p : packets) {
        const Uplink_assembler::Verdict v = assembler.take(p);
        got += QLatin1Char(v == Uplink_assembler::broken && assembler.joined_before() ? 'B' : "icgb"[v]);
        if (v == Uplink_assembler::complete)
            joined << assembler.take_answer();
        if (!assembler.error().isEmpty())
            said << assembler.error();
    }
    QCOMPARE(got, verdicts);
    QCOMPARE(joined, answers);
    QCOMPARE(said, errors);
}

// Only the same counter with the same bytes right after is a repeat: a modem counting afresh
// may give a new packet the last one's counter; without a counter nothing is a repeat.
void Test_tcp_server::repeated_packets_by_frame_counter()
{
    Uplink_assembler assembler(test_eui);
    const QByteArray first = packet("030400020002", "ab");
    QByteArray p = first;
    QCOMPARE(assembler.take(p, 7u), Uplink_assembler::incomplete);
    p = first;
    QCOMPARE(assembler.take(p, 7u), Uplink_assembler::repeated);
    p = packet("030400020102", "cd");
    QCOMPARE(assembler.take(p, 7u), Uplink_assembler::complete);
    QCOMPARE(assembler.take_answer(), QByteArray("abcd"));
    p = packet("030400020102", "cd");
    QCOMPARE(assembler.take(p), Uplink_assembler::broken);
}

// Events of a port's ledger in order: "pN" client N hands a frame to the link, "a" the server
// accepts one, "lK" the client leaves and K unsent frames are taken back, "tMS" the clock reads MS,
// "rN" an answer comes while client N (0: none) is the port's; the verdicts of the answers:
// D delivered, G dropped as a gone client's, U dropped as unasked. Guard 1000 ms, 4 frames at most.
void Test_tcp_server::owed_frames_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("verdicts");
    QTest::newRow("own answer") << "p1 a r1" << "D";
    QTest::newRow("answer before the server accepted") << "p1 r1" << "U";
    QTest::newRow("no client") << "p1 a r0" << "G";
    QTest::newRow("late answer after leaving") << "p1 a l0 p2 a r2 r2" << "GD";
    QTest::newRow("frame in flight when replaced") << "p1 l0 p2 a r2 r2" << "GD";
    QTest::newRow("unsent frames taken back") << "p1 a p1 p1 l2 p2 a r2 r2" << "GD";
    QTest::newRow("two owed of the gone client") << "p1 a p1 a l0 p2 a r2 r2 r2" << "GGD";
    QTest::newRow("guard not yet over") << "p1 a l0 t999 p2 a r2" << "G";
    QTest::newRow("guard over") << "p1 a l0 t1000 p2 a r2" << "D";
    QTest::newRow("unasked uplink after own answer") << "p1 a r1 r1" << "DD";
    QTest::newRow("unasked uplink after own frame given up") << "p1 a t1000 r1" << "D";
    QTest::newRow("unasked uplink after another's answer") << "p1 a r1 l0 r2 r0" << "DUU";
    QTest::newRow("full ledger never passes answers on")
        << "p1 a p1 a p1 a p1 a p1 a l0 p2 a r2 r2 r2 r2 r2" << "GGGGU";
    QTest::newRow("same client keeps the order") << "p1 p1 a a r1 r1 r1" << "DDD";
    QTest::newRow("frames given up make room in a full ledger")
        << "p1 a p1 a p1 a p1 a l0 t1000 p2 a r2" << "D";
}

void Test_tcp_server::owed_frames()
{
    QFETCH(QString, events);
    Owed_frames owed(1000, 4);
    qint64 now = 0;
    QString verdicts;
    for (const QString& e : events.split(QLatin1Char(' '))) {
        const int n = e.mid(1).toInt();
        switch (e[0].toLatin1()) {
        case 'p':
            owed.posted(static_cast<quint64>(n), now);
            break;
        case 'a':
            owed.accepted(now);
            break;
        case 'l':
            owed.client_left(n, now);
            break;
        case 't':
            now = n;
            break;
        case 'r':
            verdicts += "DGU"[static_cast<int>(owed.answer(static_cast<quint64>(n), now))];
            break;
        }
    }
    QTEST(verdicts, "verdicts");
}

void Test_tcp_server::retiring_without_client_deletes_at_once()
{
    make_server();
    server->shutdown_server();
    QVERIFY(!server);
    QCOMPARE(connection->live_count, quint64(1));
    const QStringList log = log_entries();
    QVERIFY(log.indexOf(trace(".shutdown_server")) < log.indexOf(trace(".shutdown_server_ok")));
    // The port is free again.
    QTcpServer again;
    QVERIFY(again.listen(QHostAddress::Any, port));
}

void Test_tcp_server::retiring_with_client_waits_for_the_socket()
{
    make_server();
    auto c = connect_client();
    QVERIFY(wait_client(*c));
    const quint16 peer_port = c->localPort();
    server->shutdown_server();
    QVERIFY(server);
    QCOMPARE(connection->live_count, quint64(2));
    QVERIFY(wait_gone(*c));
    QTRY_VERIFY_WITH_TIMEOUT(!server, wait_ms);
    QCOMPARE(connection->live_count, quint64(1));
    QCOMPARE(clients_number, 0u);
    const QStringList log = log_entries();
    QVERIFY(log.indexOf(trace_peer(peer_port, ".shutdown")) > log.indexOf(trace(".shutdown_server")));
    QVERIFY(log.indexOf(trace(".shutdown_ok")) < log.indexOf(trace(".shutdown_server_ok")));
}

void Test_tcp_server::last_server_ends_the_exchange_loop_only_when_ending()
{
    for (const bool ending : {false, true}) {
        connection.reset();
        QThread loop;
        loop.start();
        connection.reset(new Ws_connection(loop));
        make_server();
        // The link has already given up its own count.
        connection->live_count = 1;
        if (ending)
            ws_flags |= WS_ENDING;
        server->shutdown_server();
        QCOMPARE(loop.wait(ending ? wait_ms : 300), ending);
        ws_flags &= ~WS_ENDING;
        loop.quit();
        QVERIFY(loop.wait(wait_ms));
        connection.reset();
        connection.reset(new Ws_connection(exchange_thread));
    }
}

void Test_tcp_server::busy_port_makes_the_constructor_throw()
{
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::Any, port));
    try {
        make_server();
        QFAIL("no exception");
    } catch (const Err& e) {
        QCOMPARE(e.message(), QStringLiteral("Не удалось создать серверный сокет, слушающий порт TCP %1.").arg(port));
    }
    QVERIFY(logged(QStringLiteral("Не удалось создать серверный сокет, слушающий порт TCP %1.").arg(port)));
    QCOMPARE(connection->live_count, quint64(1));
}

// Caps the address space of the test for its life, leaving some room above what is in use.
class Address_space_cap {
public:
    explicit Address_space_cap(rlim_t room)
    {
        getrlimit(RLIMIT_AS, &saved);
        rlimit cap = saved;
        cap.rlim_cur = in_use() + room;
        setrlimit(RLIMIT_AS, &cap);
    }
    ~Address_space_cap() { setrlimit(RLIMIT_AS, &saved); }

private:
    static rlim_t in_use()
    {
        return static_cast<rlim_t>(std::max<qint64>(proc_status_kb(QStringLiteral("self"), "VmSize"), 0)) * 1024;
    }

    rlimit saved;
};

void Test_tcp_server::client_without_a_frame_buffer_is_disconnected()
{
    const quint32 huge_frame = 1u << 30;
    make_server(huge_frame);
    std::unique_ptr<QTcpSocket> c;
    {
        Address_space_cap cap(64 * 1024 * 1024);
        c = connect_client();
        QVERIFY(wait_gone(*c));
    }
    const QStringList log = log_entries();
    const int no_mem = log.indexOf(
        QStringLiteral("Не удалось выделить буфер размером %1 байтов для работы с сообщениями.").arg(huge_frame + 1));
    QVERIFY(no_mem >= 0);
    QCOMPARE(log.value(no_mem + 1),
             QStringLiteral("Не удалось подготовиться к обмену с клиентом через установленное соединение."));
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, 0u, wait_ms);
    QVERIFY(wait_entry(trace(".shutdown_ok")));

    // The next client with memory to spare is served.
    auto next = connect_client();
    QVERIFY(wait_client(*next));
    next->write("ok");
    QVERIFY(wait_entry(sent("ok")));
}

void Test_tcp_server::frame_allocation_failure_is_an_err()
{
    make_server(10);
    Frame* f = Frame::alloc(11, *server);
    QCOMPARE(f->requester, static_cast<Tcp_server*>(server));
    QCOMPARE(f->eui, test_eui);
    QCOMPARE(static_cast<int>(f->data_end - f->data()), 11);
    QVERIFY(f->send == &Ws_connection::send_sdata);
    QVERIFY(f->not_send == &Ws_connection::not_send_sdata);
    Frame::free(f);
    Frame::free(nullptr);

    const size_t huge = std::numeric_limits<size_t>::max() - 8;
    try {
        Frame::alloc(huge, *server);
        QFAIL("no exception");
    } catch (const Err& e) {
        QCOMPARE(e.message(),
                 QStringLiteral("Не удалось выделить буфер размером %1 байтов для работы с сообщениями.").arg(huge));
    }
}

QTEST_MAIN(Test_tcp_server)
#include "test_tcp_server.moc"
