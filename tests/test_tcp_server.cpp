// Tests of the TCP server of a modem: clients and their replacement, retirement, and the way
// between its clients, the link and the modem's answers, with real sockets on loopback against a
// recording link, the data path as a table of scripts; the pause framing, the joining of uplink
// packets and the ledger of owed frames on their own, as tables of byte arrays and events.
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
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtTest>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const quint64 test_eui = 0x0102030405060708ULL;
const int wait_ms = 5000;

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
    void init();
    void cleanup();

    void listens_accepts_and_counts_the_client();
    void burst_keeps_the_later_connection();
    void client_leaving_as_a_newcomer_comes_is_not_taken_over();
    void clients_and_answers_data();
    void clients_and_answers();
    void pause_framing_data();
    void pause_framing();
    void uplink_packets_data();
    void uplink_packets();
    void repeated_packets_data();
    void repeated_packets();
    void owed_frames_data();
    void owed_frames();
    void last_server_ends_the_exchange_loop_only_when_ending();
    void busy_port_makes_the_constructor_throw();
    void client_without_a_frame_buffer_is_disconnected();
    void frame_allocation_failure_is_an_err();
    void link_called_from_another_thread_is_caught();

private:
    QStringList log_entries() const { return entries_of(log_file->text()); }
    Tcp_server* make_server(quint32 max_frame = 51);
    std::unique_ptr<QTcpSocket> connect_client();
    bool wait_client(const QTcpSocket& c);
    bool wait_sent(const QByteArray& frame);
    // A client of a script.
    using Script_clients = std::unique_ptr<QTcpSocket>[3];
    void play(const QString& step, Script_clients& clients);
    void send_step(QTcpSocket& c, const QString& how, const QByteArray& bytes);

    std::unique_ptr<Temp_log> log_file;
    QThread exchange_thread;
    std::unique_ptr<Recording_link> link;
    QPointer<Tcp_server> server;
    quint16 port = 0;
};

void Test_tcp_server::init()
{
    log_file.reset(new Temp_log);
    trace_tcp = 2;
    tcp_interframe_delay = 15;
    clients_number = 0;
    ws_flags = 0;
    link.reset(new Recording_link);
    port = free_ports(1).front();
}

void Test_tcp_server::cleanup()
{
    if (server)
        server->retire();
    QTRY_VERIFY_WITH_TIMEOUT(!server, wait_ms);
    QCOMPARE(link->live, 0);
    // The port is free again.
    QVERIFY(QTcpServer().listen(QHostAddress::Any, port));
    link.reset();
    log_file.reset();
}

Tcp_server* Test_tcp_server::make_server(quint32 max_frame)
{
    server = new Tcp_server(*link, test_eui, Device_in_cfg{max_frame, port});
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

// Waits until the link has sent this frame as its latest.
bool Test_tcp_server::wait_sent(const QByteArray& frame)
{
    if (QTest::qWaitFor([&] { return !link->sent.isEmpty() && link->sent.last() == frame; }, wait_ms))
        return true;
    qWarning() << "not sent:" << frame << "sent:" << link->sent;
    return false;
}

void Test_tcp_server::listens_accepts_and_counts_the_client()
{
    make_server();
    QCOMPARE(link->live, 1);

    auto c = connect_client();
    QVERIFY(wait_client(*c));
    QCOMPARE(clients_number, 1u);
    QCOMPARE(link->notices, 1);
    QVERIFY(ws_flags & WS_CLIENTS_PENDING);

    // The notice is still pending: the client's going raises no second one.
    c->disconnectFromHost();
    QTRY_VERIFY_WITH_TIMEOUT(!server->client, wait_ms);
    QCOMPARE(clients_number, 0u);
    QCOMPARE(link->notices, 1);

    // The GUI handled the notice; the next client raises a new one.
    ws_flags &= ~WS_CLIENTS_PENDING;
    auto c2 = connect_client();
    QVERIFY(wait_client(*c2));
    QCOMPARE(link->notices, 2);
    QCOMPARE(clients_number, 1u);

    // A newer client in its place leaves the count as it was: no notice.
    ws_flags &= ~WS_CLIENTS_PENDING;
    auto c3 = connect_client();
    QVERIFY(wait_client(*c3));
    QVERIFY(wait_gone(*c2));
    QCOMPARE(clients_number, 1u);
    QCOMPARE(link->notices, 2);
    QVERIFY(!(ws_flags & WS_CLIENTS_PENDING));
}

void Test_tcp_server::burst_keeps_the_later_connection()
{
    make_server();
    auto first = connect_client();
    auto second = connect_client();
    QVERIFY(wait_client(*second));
    QVERIFY(wait_gone(*first));
    QCOMPARE(clients_number, 1u);
    QCOMPARE(second->state(), QAbstractSocket::ConnectedState);
    second->write("ok");
    QVERIFY(wait_sent("ok"));
}

// A client that leaves as a newcomer comes, both seen in one turn of the loop (the newcomer is
// connected without running it), has left: nobody takes over from it.
void Test_tcp_server::client_leaving_as_a_newcomer_comes_is_not_taken_over()
{
    make_server();
    auto first = connect_client();
    QVERIFY(wait_client(*first));
    first->abort();
    auto second = connect_client();
    QVERIFY(second->waitForConnected(wait_ms));
    QVERIFY(wait_client(*second));
    QVERIFY2(log_entries().filter(QStringLiteral("занят новым клиентом")).isEmpty(),
             qPrintable(log_entries().join(QLatin1Char('\n'))));
    QCOMPARE(clients_number, 1u);
}

// A script of what the clients, the link and the modem do, one step after another, on a real
// server. "cN" client N connects and is taken; "N>xx" it sends xx, which the link sends next;
// "N>>xx" it sends xx, which waits behind the frame in flight (or overflows the port's queue);
// "N>|xx" it sends xx with no pause after, so xx is still being gathered; "N<xx" it reads xx and
// is still connected; "-N" it leaves while it is the port's client; "xN" the server drops it.
// "ack" and "nack": the server accepts or refuses the frame in flight; "success" a second
// acceptance; "up:HEADER:xx" the modem's uplink packet with data xx; "retire" the link retires the
// server, which goes at once unless it has a client. At the end the frames the
// link sent are those expected, no client has read anything the script does not read, and the
// count of clients is right.
void Test_tcp_server::clients_and_answers_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QByteArrayList>("sent");

    QTest::newRow("newer client: the older one's frames and late answers reach nobody")
        << "c1 1>a ack 1>b 1>>c 1>|x c2 x1 ack up:030200020001:no 2>d ack up:030200020001:nb "
           "up:030200020001:ok 2<ok"
        << QByteArrayList{"a", "b", "d"};
    QTest::newRow("client leaves: its queued and half-received frames are never sent")
        << "c1 1>a 1>>b 1>|hello -1 ack c2 2>c" << QByteArrayList{"a", "c"};
    QTest::newRow("client beyond the queue bound is dropped, its queue unsent")
        << "c1 1>a " + QStringLiteral("1>>b ").repeated(max_queued_per_port + 1) + "x1 ack c2 2>c"
        << QByteArrayList{"a", "c"};
    QTest::newRow("client leaving before its first frame sends nothing") << "c1 -1" << QByteArrayList();
    QTest::newRow("refused frame ends the exchange and is owed no more")
        << "c1 1>a nack x1 c2 2>b ack up:030200020001:ok 2<ok" << QByteArrayList{"a", "b"};
    QTest::newRow("uplink before the client's first accepted frame is dropped")
        << "c1 up:030400020002:no up:030400020102:no" << QByteArrayList();
    QTest::newRow("answer of two packets is written once to the client that asked")
        << "c1 1>q ack up:030400020002:ab up:030400020102:cd 1<abcd" << QByteArrayList{"q"};
    QTest::newRow("second success keeps the answer in progress")
        << "c1 1>q ack up:030400020002:ab success up:030400020102:cd 1<abcd" << QByteArrayList{"q"};
    QTest::newRow("broken packet ends the exchange only once one was joined")
        << "c1 1>q ack up:030400020102:cd up:030200020001:ok 1<ok up:030400020002:ab up:030400020202:cd x1"
        << QByteArrayList{"q"};
    QTest::newRow("broken packet after another client's whole answer breaks nothing joined")
        << "c1 1>q ack up:030200020001:ok 1<ok -1 c2 up:030400020102:cd 2>r ack up:030200020001:hi 2<hi"
        << QByteArrayList{"q", "r"};
    QTest::newRow("retired server without a client goes at once") << "retire" << QByteArrayList();
    QTest::newRow("retired server waits for its client; the verdict then reaches nobody")
        << "c1 1>q retire x1 ack" << QByteArrayList{"q"};
    QTest::newRow("answer joined across clients is dropped whole")
        << "c1 1>q ack up:030400020002:ab -1 c2 up:030400020102:cd" << QByteArrayList{"q"};
}

void Test_tcp_server::clients_and_answers()
{
    QFETCH(QString, script);
    make_server();
    Script_clients clients;
    for (const QString& step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        play(step, clients);
        if (QTest::currentTestFailed()) {
            qWarning() << "failed at" << step;
            return;
        }
    }
    QVERIFY(!QTest::qWaitFor(
        [&] {
            return std::any_of(std::begin(clients), std::end(clients),
                               [](const auto& c) { return c && c->bytesAvailable() > 0; });
        },
        200));
    QTEST(link->sent, "sent");
    const auto connected = std::count_if(std::begin(clients), std::end(clients), [](const auto& c) {
        return c && c->state() == QAbstractSocket::ConnectedState;
    });
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, static_cast<unsigned>(connected), wait_ms);
}

void Test_tcp_server::play(const QString& step, Script_clients& clients)
{
    static const QRegularExpression client_step(QStringLiteral("^(?:([cx-])(\\d)|(\\d)(>>|>\\||>|<)(.*))$"));
    const QRegularExpressionMatch m = client_step.match(step);
    if (step == QLatin1String("ack") || step == QLatin1String("nack")) {
        link->verdict(step == QLatin1String("ack"));
    } else if (step == QLatin1String("retire")) {
        const bool alone = !server->client;
        server->retire();
        QCOMPARE(link->anonymized, 1);
        QCOMPARE(!server, alone);
        QCOMPARE(link->live, alone ? 0 : 1);
    } else if (step == QLatin1String("success")) {
        server->frame_accepted();
    } else if (step.startsWith(QLatin1String("up:"))) {
        QByteArray p = packet(step.section(QLatin1Char(':'), 1, 1).toLatin1().constData(),
                              step.section(QLatin1Char(':'), 2).toLatin1());
        server->uplink_packet(p, std::nullopt);
    } else if (m.hasMatch() && !m.captured(1).isEmpty()) {
        std::unique_ptr<QTcpSocket>& c = clients[m.captured(2).toInt()];
        if (m.captured(1) == QLatin1String("c")) {
            c = connect_client();
            QVERIFY(wait_client(*c));
        } else if (m.captured(1) == QLatin1String("x")) {
            QVERIFY(wait_gone(*c));
        } else {
            c->disconnectFromHost();
            QTRY_VERIFY_WITH_TIMEOUT(!server->client, wait_ms);
        }
    } else if (m.hasMatch()) {
        send_step(*clients[m.captured(3).toInt()], m.captured(4), m.captured(5).toLatin1());
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
    const int posted = link->posted;
    tcp_interframe_delay = how == QLatin1String(">|") ? 60000 : 15;
    c.write(bytes);
    if (how == QLatin1String(">")) {
        QVERIFY(wait_sent(bytes));
    } else if (how == QLatin1String(">>")) {
        QVERIFY(QTest::qWaitFor(
            [&] { return link->posted > posted || c.state() != QAbstractSocket::ConnectedState; }, wait_ms));
    } else {
        // The framing's pause timer, the server's only one, runs once the bytes are in.
        QVERIFY(QTest::qWaitFor(
            [&] { return !QAbstractEventDispatcher::instance()->registeredTimers(server).isEmpty(); }, wait_ms));
    }
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
// after packets of its answer were joined (the exchange with the client then ends), r repeated.
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
    QTest::newRow("out of order first after a whole answer")
        << QByteArrayList{ok, packet("030400020102", "cd")} << "cb" << QByteArrayList{"ok"}
        << QStringList{shuffle(0, 1)};
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
        got += QLatin1Char(v == Uplink_assembler::broken && assembler.joined_before() ? 'B' : "icgbr"[v]);
        if (v == Uplink_assembler::complete)
            joined << assembler.take_answer();
        if (!assembler.error().isEmpty())
            said << assembler.error();
    }
    QCOMPARE(got, verdicts);
    QCOMPARE(joined, answers);
    QCOMPARE(said, errors);
}

// Packets with their frame counters ("-" none), each "FCNT:HEADER:DATA"; the verdicts as in
// uplink_packets. A repeat has the counter and the bytes of one of the last 32 packets: a modem
// counting afresh may give a new packet an old counter; without a counter nothing is a repeat.
void Test_tcp_server::repeated_packets_data()
{
    QTest::addColumn<QStringList>("packets");
    QTest::addColumn<QString>("verdicts");
    QTest::addColumn<QByteArrayList>("answers");
    const QStringList two{"7:030400020002:ab", "8:030400020102:cd"};
    // 31 single-packet answers "no".
    QStringList others;
    QByteArrayList nos;
    for (int fcnt = 100; fcnt < 100 + int(Uplink_assembler::recent_kept) - 1; ++fcnt) {
        others << QStringLiteral("%1:030200020001:no").arg(fcnt);
        nos << "no";
    }
    QTest::newRow("the packet right before") << QStringList{two[0], two[0], two[1]} << "irc"
                                             << QByteArrayList{"abcd"};
    QTest::newRow("answer of two replayed whole") << two + two << "icrr" << QByteArrayList{"abcd"};
    QTest::newRow("old counter, new bytes") << two + QStringList{"7:030200020001:ok"} << "icc"
                                            << QByteArrayList{"abcd", "ok"};
    QTest::newRow("no counter") << two + QStringList{"-:030400020002:ab", "-:030400020102:cd"} << "icic"
                                << QByteArrayList{"abcd", "abcd"};
    QTest::newRow("31 packets back") << QStringList{"7:030200020001:ok"} + others + QStringList{"7:030200020001:ok"}
                                     << QString(others.size() + 1, QLatin1Char('c')) + 'r'
                                     << QByteArrayList{"ok"} + nos;
    QTest::newRow("32 packets back is forgotten")
        << QStringList{"7:030200020001:ok"} + others + QStringList{"99:030200020001:no", "7:030200020001:ok"}
        << QString(others.size() + 3, QLatin1Char('c'))
        << QByteArrayList{"ok"} + nos + QByteArrayList{"no", "ok"};
}

void Test_tcp_server::repeated_packets()
{
    QFETCH(QStringList, packets);
    Uplink_assembler assembler(test_eui);
    QString got;
    QByteArrayList joined;
    for (const QString& step : packets) {
        QByteArray p = packet(step.section(QLatin1Char(':'), 1, 1).toLatin1().constData(),
                              step.section(QLatin1Char(':'), 2).toLatin1());
        const QString fcnt = step.section(QLatin1Char(':'), 0, 0);
        const Uplink_assembler::Verdict v =
            fcnt == QLatin1String("-") ? assembler.take(p) : assembler.take(p, fcnt.toUInt());
        got += QLatin1Char("icgbr"[v]);
        if (v == Uplink_assembler::complete)
            joined << assembler.take_answer();
    }
    QTEST(got, "verdicts");
    QTEST(joined, "answers");
}

// Events of a port's ledger in order: "pN" client N hands a frame to the link, "a" the server
// accepts one, "f" it refuses one, "lK" the client leaves and K unsent frames are taken back,
// "tMS" the clock reads MS, "rN" an answer comes while client N (0: none) is the port's; the
// verdicts of the answers: D delivered, G dropped as a gone client's, U dropped as unasked, each
// followed by * when it came with no frame owed after the last was given up, or by ! when it was
// taken for another client's frame than the one given up just before. Guard 1000 ms, 4 frames at most.
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
    QTest::newRow("refused frame is owed no more") << "p1 a p1 f l0 p2 a r2 r2" << "GD";
    QTest::newRow("guard not yet over") << "p1 a l0 t999 p2 a r2" << "G";
    QTest::newRow("guard over: the next client's frame takes the answer") << "p1 a l0 t1000 p2 a r2" << "D!";
    QTest::newRow("guard over: before the next client's frame is accepted")
        << "p1 a l0 t1000 p2 r2 a r2" << "U*D";
    QTest::newRow("guard over: the same client's next frame") << "p1 a t1000 p1 a r1 r1" << "DD";
    QTest::newRow("unasked uplink after own answer") << "p1 a r1 r1" << "DD";
    QTest::newRow("unasked uplink after own frames given up") << "p1 a p1 a t1000 r1 r1 r1" << "D*D*D";
    QTest::newRow("unasked uplink after another's answer") << "p1 a r1 l0 r2 r0" << "DUU";
    QTest::newRow("full ledger never passes answers on")
        << "p1 a p1 a p1 a p1 a p1 a l0 p2 a r2 r2 r2 r2 r2" << "GGGGU";
    QTest::newRow("same client keeps the order") << "p1 p1 a a r1 r1 r1" << "DDD";
    QTest::newRow("frames given up make room in a full ledger")
        << "p1 a p1 a p1 a p1 a l0 t1000 p2 a r2" << "D!";
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
        case 'f':
            owed.refused();
            break;
        case 'l':
            owed.client_left(n, now);
            break;
        case 't':
            now = n;
            break;
        case 'r': {
            const Owed_frames::Answer answer = owed.answer(static_cast<quint64>(n), now);
            verdicts += "DGU"[static_cast<int>(answer.verdict)];
            if (answer.late != Owed_frames::Late::no)
                verdicts += " *!"[static_cast<int>(answer.late)];
            break;
        }
        }
    }
    QTEST(verdicts, "verdicts");
}

// The real link counts its ports: the last one to go ends the exchange thread's loop, but only
// once the program is ending.
void Test_tcp_server::last_server_ends_the_exchange_loop_only_when_ending()
{
    for (const bool ending : {false, true}) {
        QThread loop;
        loop.start();
        std::unique_ptr<Ws_connection> connection(new Ws_connection(loop));
        server = new Tcp_server(*connection, test_eui, Device_in_cfg{51, port});
        // The link has already given up its own count.
        connection->live_count = 1;
        if (ending)
            ws_flags |= WS_ENDING;
        server->retire();
        QCOMPARE(loop.wait(ending ? wait_ms : 300), ending);
        ws_flags &= ~WS_ENDING;
        loop.quit();
        QVERIFY(loop.wait(wait_ms));
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
    QCOMPARE(link->live, 0);
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
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, 0u, wait_ms);

    // The next client with memory to spare is served.
    auto next = connect_client();
    QVERIFY(wait_client(*next));
    next->write("ok");
    QVERIFY(wait_sent("ok"));
}

void Test_tcp_server::frame_allocation_failure_is_an_err()
{
    make_server(10);
    Frame* f = Frame::alloc(11, *server, test_eui);
    QCOMPARE(f->requester, static_cast<Link_port*>(server.data()));
    QCOMPARE(f->eui, test_eui);
    QCOMPARE(static_cast<int>(f->data_end - f->data()), 11);
    Frame::free(f);
    Frame::free(nullptr);

    const size_t huge = std::numeric_limits<size_t>::max() - 8;
    try {
        Frame::alloc(huge, *server, test_eui);
        QFAIL("no exception");
    } catch (const Err& e) {
        QCOMPARE(e.message(),
                 QStringLiteral("Не удалось выделить буфер размером %1 байтов для работы с сообщениями.").arg(huge));
    }
}

// The link's entry points check the calling thread where assertions are compiled in: a call from
// another thread, made in a child process, aborts it with the check's message.
void Test_tcp_server::link_called_from_another_thread_is_caught()
{
#if defined(QT_NO_DEBUG) && !defined(QT_FORCE_ASSERTS)
    QSKIP("Q_ASSERT is compiled out of this build: build with CMAKE_BUILD_TYPE=Debug or QT_FORCE_ASSERTS");
#else
    Ws_connection connection(exchange_thread);
    int err[2];
    QVERIFY(pipe(err) == 0);
    const pid_t child = fork();
    if (child == 0) {
        // The test's own message handler writes the failed check to standard output.
        dup2(err[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        std::thread([&connection] { connection.notify_clients(); }).join();
        _exit(0);
    }
    ::close(err[1]);
    QByteArray said;
    char buf[512];
    for (ssize_t n; (n = read(err[0], buf, sizeof buf)) > 0;)
        said.append(buf, static_cast<int>(n));
    ::close(err[0]);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT, said.constData());
    QVERIFY2(said.contains("ASSERT: \"QThread::currentThread() == QObject::thread()\""), said.constData());
#endif
}

QTEST_MAIN(Test_tcp_server)
#include "test_tcp_server.moc"
