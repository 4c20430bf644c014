// Tests of the TCP server of a modem: clients and their replacement, pause framing, the frame
// limit, uplink packet joining and retirement, with real sockets on loopback and a real link
// object that is never started (its sent commands are read from the log).
#include "core/cfg.h"
#include "core/shared.h"
#include "link/ws_connection.h"
#include "tcp/tcp_server.h"
#include "test_util.h"

#include <QAbstractEventDispatcher>
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

QStringList entries(const QByteArray& log_text)
{
    QStringList result;
    const QRegularExpression stamp(QStringLiteral("^\\[[0-9.: ]+\\] "));
    for (QString entry : QString::fromUtf8(log_text).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts))
        result << entry.remove(stamp);
    return result;
}

quint16 free_port()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

// The data command the link sends for one frame of the test modem.
QString sent(const char* hex)
{
    return QStringLiteral("to(RUVO-LoRa): «{\"cmd\":\"send_data_req\",\"data_list\":[{\"devEui\":\"%1\","
                          "\"data\":\"04%2\",\"port\":2}]}»")
        .arg(QLatin1String(eui_text), QLatin1String(hex));
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
    void newer_client_replaces_and_cancels_the_older();
    void unsent_frames_are_dropped_after_disconnect();
    void client_beyond_the_queue_bound_is_dropped();
    void empty_frame_is_not_sent_after_disconnect();
    void pause_splits_frames();
    void chunks_within_the_delay_form_one_frame();
    void frame_limit_data();
    void frame_limit();
    void refused_frame_ends_the_exchange();
    void single_packet_is_written_at_once_data();
    void single_packet_is_written_at_once();
    void packets_are_joined_into_one_write();
    void packet_errors_data();
    void packet_errors();
    void packets_ignored_without_a_word_data();
    void packets_ignored_without_a_word();
    void second_success_keeps_the_answer_in_progress();
    void retiring_without_client_deletes_at_once();
    void retiring_with_client_waits_for_the_socket();
    void last_server_ends_the_exchange_loop_only_when_ending();
    void busy_port_makes_the_constructor_throw();
    void client_without_a_frame_buffer_is_disconnected();
    void frame_allocation_failure_is_an_err();

private:
    QStringList log_entries() const { return entries(log_file->text()); }
    bool wait_entry(const QString& text);
    bool logged(const QString& text) const { return log_entries().contains(text); }
    QString trace(const char* event) const;
    QString trace_peer(quint16 peer_port, const char* event) const;
    Tcp_server* make_server(quint32 max_frame = 51);
    std::unique_ptr<QTcpSocket> connect_client();
    bool wait_client(const QTcpSocket& c);
    bool wait_frame_handed_over();
    // A new client's frame is the next command sent.
    bool new_client_is_served_next();
    bool wait_gone(QTcpSocket& c);
    void answer(bool ok, const char* eui = eui_text);
    void confirmed_client(std::unique_ptr<QTcpSocket>& c);
    bool wait_read(QTcpSocket& c, const QByteArray& expected);

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
    port = free_port();
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

bool Test_tcp_server::wait_gone(QTcpSocket& c)
{
    return QTest::qWaitFor([&] { return c.state() == QAbstractSocket::UnconnectedState; }, wait_ms);
}

bool Test_tcp_server::new_client_is_served_next()
{
    tcp_interframe_delay = 15;
    auto c = connect_client();
    if (!wait_client(*c))
        return false;
    const int commands = log_entries().filter(QStringLiteral("send_data_req")).size();
    c->write("c");
    if (!wait_entry(sent("63")))
        return false;
    return log_entries().filter(QStringLiteral("send_data_req")).size() == commands + 1;
}

// The server's answer to the data command in flight.
void Test_tcp_server::answer(bool ok, const char* eui)
{
    const QString text = QStringLiteral("{\"cmd\":\"send_data_resp\",\"status\":true,\"append_status\":"
                                        "[{\"devEui\":\"%1\",\"status\":%2}]}")
                             .arg(QLatin1String(eui), ok ? QStringLiteral("true") : QStringLiteral("false"));
    QMetaObject::invokeMethod(connection.get(), "on_text_message", Qt::DirectConnection, Q_ARG(QString, text));
}

// A client whose first message the server has accepted, so uplink reaches it.
void Test_tcp_server::confirmed_client(std::unique_ptr<QTcpSocket>& c)
{
    make_server();
    c = connect_client();
    QVERIFY(wait_client(*c));
    c->write("q");
    QVERIFY(wait_entry(sent("71")));
    answer(true);
}

bool Test_tcp_server::wait_read(QTcpSocket& c, const QByteArray& expected)
{
    QByteArray got;
    const bool ok = QTest::qWaitFor(
        [&] {
            got += c.readAll();
            return got.size() >= expected.size();
        },
        wait_ms);
    if (!ok || got != expected)
        qWarning() << "read" << got.toHex() << "expected" << expected.toHex();
    return ok && got == expected;
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
    QVERIFY(wait_entry(sent("6f6b")));
}

void Test_tcp_server::newer_client_replaces_and_cancels_the_older()
{
    connection->flags |= Ws_connection::connected;
    make_server();
    auto old = connect_client();
    QVERIFY(wait_client(*old));
    QSignalSpy changes(connection.get(), &Ws_connection::clients_changed);
    ws_flags &= ~WS_CLIENTS_PENDING;

    // The old client is confirmed, has a frame in flight, one queued and one half-received.
    old->write("a");
    QVERIFY(wait_entry(sent("61")));
    answer(true);
    old->write("b");
    QVERIFY(wait_entry(sent("62")));
    old->write("c");
    QVERIFY(wait_entry(trace(".recv 0x{63}")));
    QVERIFY(wait_frame_handed_over());
    tcp_interframe_delay = 60000;
    old->write("x");
    QVERIFY(wait_entry(trace(".recv 0x{78}")));

    const quint16 old_port = old->localPort();
    auto newer = connect_client();
    QVERIFY(wait_client(*newer));
    QVERIFY(wait_gone(*old));
    QVERIFY(logged(trace_peer(old_port, ".shutdown")));
    QCOMPARE(clients_number, 1u);
    QCOMPARE(changes.count(), 0);
    QVERIFY(!(ws_flags & WS_CLIENTS_PENDING));

    // The old client's frame in flight is answered to nobody (its EUI is not even compared),
    // its queued frame is dropped, and uplink waits for the newer client's own first frame.
    answer(true, "FFFFFFFFFFFFFFFF");
    QByteArray early = packet("030200020001", "no");
    server->rx_received(early);
    tcp_interframe_delay = 15;
    newer->write("d");
    QVERIFY(wait_entry(sent("64")));
    answer(true);
    QByteArray late = packet("030200020001", "ok");
    server->rx_received(late);
    QVERIFY(wait_read(*newer, "ok"));
    const QString all = log_entries().join('\n');
    QVERIFY(!all.contains(sent("63")));
    QVERIFY(!all.contains(QStringLiteral("EUI=0xFFFFFFFFFFFFFFFF")));
    QVERIFY(!all.contains(QStringLiteral("Неожиданная ошибка")));
}

void Test_tcp_server::unsent_frames_are_dropped_after_disconnect()
{
    make_server();
    auto c = connect_client();
    QVERIFY(wait_client(*c));
    c->write("a");
    QVERIFY(wait_entry(sent("61")));
    c->write("b");
    QVERIFY(wait_entry(trace(".recv 0x{62}")));
    QVERIFY(wait_frame_handed_over());
    tcp_interframe_delay = 60000;
    c->write("hello");
    QVERIFY(wait_entry(trace(".recv 0x{68 65 6C 6C 6F}")));
    c->disconnectFromHost();
    QVERIFY(wait_entry(trace(".disconnected")));
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, 0u, wait_ms);

    // The frame in flight belongs to nobody (an answer naming another modem is not compared);
    // the queued frame and the half-received one are never sent.
    answer(true, "FFFFFFFFFFFFFFFF");
    QVERIFY(new_client_is_served_next());
    const QString all = log_entries().join('\n');
    QVERIFY(!all.contains(sent("62")));
    QVERIFY(!all.contains(sent("68656c6c6f")));
    QVERIFY(!all.contains(QStringLiteral("EUI=0xFFFFFFFFFFFFFFFF")));
}

// A client that sends faster than its modem is served: its frames beyond the bound are refused
// with the client, and those it had queued are never sent.
void Test_tcp_server::client_beyond_the_queue_bound_is_dropped()
{
    make_server();
    auto c = connect_client();
    QVERIFY(wait_client(*c));
    c->write("a");
    QVERIFY(wait_entry(sent("61")));
    for (int i = 1; i <= max_queued_per_port + 1; ++i) {
        c->write("b");
        QVERIFY(QTest::qWaitFor([&] { return log_entries().count(trace(".recv 0x{62}")) == i; }, wait_ms));
        QVERIFY(wait_frame_handed_over());
    }
    QVERIFY(wait_gone(*c));
    QVERIFY(logged(QStringLiteral("Ошибка: клиент на порту %1 прислал больше сообщений, чем может ждать отправки "
                                  "радиомодему (%2), не дожидаясь ответов на них. Соединение с клиентом разорвано.")
                       .arg(port)
                       .arg(max_queued_per_port)));
    answer(true);
    QVERIFY(new_client_is_served_next());
    QVERIFY(!log_entries().join('\n').contains(sent("62")));
}

void Test_tcp_server::empty_frame_is_not_sent_after_disconnect()
{
    make_server();
    auto c = connect_client();
    QVERIFY(wait_client(*c));
    c->disconnectFromHost();
    QVERIFY(wait_entry(trace(".disconnected")));
    QVERIFY(!log_entries().join('\n').contains(QStringLiteral("send_data_req")));
}

void Test_tcp_server::pause_splits_frames()
{
    make_server();
    auto c = connect_client();
    QVERIFY(wait_client(*c));
    c->write("abc");
    QVERIFY(wait_entry(sent("616263")));
    c->write("def");
    QVERIFY(wait_entry(trace(".recv 0x{64 65 66}")));
    QVERIFY(wait_frame_handed_over());
    answer(true);
    QVERIFY(wait_entry(sent("646566")));
    const QStringList log = log_entries();
    QVERIFY(log.indexOf(sent("616263")) < log.indexOf(sent("646566")));
}

void Test_tcp_server::chunks_within_the_delay_form_one_frame()
{
    tcp_interframe_delay = 1000;
    make_server();
    auto c = connect_client();
    QVERIFY(wait_client(*c));
    c->write("ab");
    QVERIFY(wait_entry(trace(".recv 0x{61 62}")));
    c->write("cd");
    QVERIFY(wait_entry(trace(".recv 0x{63 64}")));
    QVERIFY(wait_entry(sent("61626364")));
    QCOMPARE(log_entries().filter(QStringLiteral("send_data_req")).size(), 1);
}

void Test_tcp_server::frame_limit_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("trace_level");
    QTest::newRow("10 bytes") << QByteArray("0123456789") << QByteArray() << true << 2;
    QTest::newRow("11 bytes, all") << QByteArray("0123456789A") << QByteArray() << false << 2;
    QTest::newRow("11 bytes, bad_frames") << QByteArray("0123456789A") << QByteArray() << false << 1;
    QTest::newRow("11 bytes, err") << QByteArray("0123456789A") << QByteArray() << false << 0;
    QTest::newRow("10 then 1") << QByteArray("0123456789") << QByteArray("A") << false << 2;
}

void Test_tcp_server::frame_limit()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(bool, fits);
    QFETCH(int, trace_level);
    tcp_interframe_delay = 1000;
    trace_tcp = static_cast<unsigned char>(trace_level);
    make_server(10);
    auto c = connect_client();
    QVERIFY(wait_client(*c));
    c->write(first);
    if (!second.isEmpty()) {
        QVERIFY(wait_entry(trace(".recv 0x{30 31 32 33 34 35 36 37 38 39}")));
        c->write(second);
    }
    if (fits) {
        QVERIFY(wait_entry(sent("30313233343536373839")));
        QCOMPARE(c->state(), QAbstractSocket::ConnectedState);
        return;
    }
    QVERIFY(wait_gone(*c));
    const QStringList log = log_entries();
    QVERIFY(log.contains(overflow_text(port, 10)));
    const QString dump = QStringLiteral("Уже принятая часть сообщения, вызвавшего предыдущую ошибку: "
                                        "0x{30 31 32 33 34 35 36 37 38 39 41}");
    QCOMPARE(log.contains(dump), trace_level == 1);
    QCOMPARE(log.filter(QStringLiteral(".recv 0x")).size(), trace_level == 2 ? int(!second.isEmpty()) : 0);
    QVERIFY(!log.join('\n').contains(QStringLiteral("send_data_req")));
}

void Test_tcp_server::refused_frame_ends_the_exchange()
{
    make_server();
    auto c = connect_client();
    QVERIFY(wait_client(*c));
    c->write("a");
    QVERIFY(wait_entry(sent("61")));
    const quint16 peer_port = c->localPort();
    answer(false);
    QVERIFY(wait_gone(*c));
    QVERIFY(logged(trace_peer(peer_port, ".shutdown")));
    QVERIFY(wait_entry(trace(".shutdown_ok")));
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, 0u, wait_ms);
}

void Test_tcp_server::single_packet_is_written_at_once_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("one of one") << packet("030500050001", "hello") << QByteArray("hello");
    QTest::newRow("total of 0 packets") << packet("030300030000", "abc") << QByteArray("abc");
}

void Test_tcp_server::single_packet_is_written_at_once()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, written);
    std::unique_ptr<QTcpSocket> c;
    confirmed_client(c);
    if (QTest::currentTestFailed())
        return;
    server->rx_received(payload);
    QVERIFY(wait_read(*c, written));
    QVERIFY(logged(trace(".send 0x{") + QString::fromLatin1(written.toHex(' ').toUpper()) + '}'));
}

void Test_tcp_server::packets_are_joined_into_one_write()
{
    std::unique_ptr<QTcpSocket> c;
    confirmed_client(c);
    if (QTest::currentTestFailed())
        return;
    const char* headers[] = {"030700030003", "030700030103", "030700010203"};
    const QByteArray parts[] = {"abc", "def", "g"};
    for (int i = 0; i < 3; ++i) {
        QByteArray p = packet(headers[i], parts[i]);
        server->rx_received(p);
        if (i < 2)
            QCOMPARE(log_entries().filter(QStringLiteral(".send ")).size(), 0);
    }
    QVERIFY(wait_read(*c, "abcdefg"));
    QCOMPARE(log_entries().filter(QStringLiteral(".send ")),
             QStringList(trace(".send 0x{61 62 63 64 65 66 67}")));

    // The next answer starts afresh.
    QByteArray next = packet("030200020001", "hi");
    server->rx_received(next);
    QVERIFY(wait_read(*c, "hi"));
}

void Test_tcp_server::packet_errors_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("bad");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("disconnects");

    const QByteArray first = packet("030400020002", "ab");
    QTest::newRow("out of order first") << QByteArray() << packet("030400020102", "cd") << shuffle(0, 1) << false;
    QTest::newRow("out of order later") << first << packet("030400020202", "cd") << shuffle(1, 2) << true;
    QTest::newRow("size mismatch first")
        << QByteArray() << packet("030400030001", "cd")
        << bad_packet(QStringLiteral("поле «размер данных в данном пакете» содержит значение 3, а "
                                     "фактически поле «данные» имеет размер 2 байтов."))
        << false;
    QTest::newRow("size mismatch later")
        << first << packet("030400010102", "cd")
        << bad_packet(QStringLiteral("поле «размер данных в данном пакете» содержит значение 1, а "
                                     "фактически поле «данные» имеет размер 2 байтов."))
        << true;
    QTest::newRow("too short")
        << QByteArray() << QByteArray::fromHex("0304000200")
        << bad_packet(QStringLiteral("фактическая длина пакета равна 5 байтов, т.е., в нём не "
                                     "помещается даже заголовок."))
        << false;
    QTest::newRow("total size mismatch")
        << first << packet("030501020102", "cd")
        << bad_packet(QStringLiteral("в 0-м пакете поле «общий размер полученных через интерфейс "
                                     "данных» содержало значение 4, а в 1-м пакете оно уже содержит "
                                     "значение 261."))
        << true;
    QTest::newRow("total packets mismatch")
        << first << packet("030400020103", "cd")
        << bad_packet(QStringLiteral("в 0-м пакете поле «всего пакетов» содержало значение 2, а в "
                                     "1-м пакете оно уже содержит значение 3."))
        << true;
}

void Test_tcp_server::packet_errors()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, bad);
    QFETCH(QString, text);
    QFETCH(bool, disconnects);
    std::unique_ptr<QTcpSocket> c;
    confirmed_client(c);
    if (QTest::currentTestFailed())
        return;
    if (!before.isEmpty())
        server->rx_received(before);
    server->rx_received(bad);
    QVERIFY(logged(text));
    if (disconnects) {
        QVERIFY(wait_gone(*c));
        QVERIFY(c->readAll().isEmpty());
        return;
    }
    // Dropped without touching the client: a proper answer still gets through.
    QByteArray good = packet("030200020001", "ok");
    server->rx_received(good);
    QVERIFY(wait_read(*c, "ok"));
    QCOMPARE(c->state(), QAbstractSocket::ConnectedState);
}

void Test_tcp_server::packets_ignored_without_a_word_data()
{
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("text");
    QTest::newRow("not confirmed") << false << packet("030200020001", "no") << QString();
    QTest::newRow("type 4") << true << packet("040200020001", "no") << QString();
    QTest::newRow("type 0") << true << QByteArray(1, '\0') << QString();
    QTest::newRow("empty")
        << true << QByteArray()
        << QStringLiteral("От сервера RUVO-LoRa пришло сообщение \"rx\" с пустым полем \"data\" "
                          "(EUI=0x0102030405060708). Сообщение игнорируется.");
}

void Test_tcp_server::packets_ignored_without_a_word()
{
    QFETCH(bool, confirmed);
    QFETCH(QByteArray, payload);
    QFETCH(QString, text);
    std::unique_ptr<QTcpSocket> c;
    if (confirmed) {
        confirmed_client(c);
        if (QTest::currentTestFailed())
            return;
    } else {
        make_server();
        c = connect_client();
        QVERIFY(wait_client(*c));
    }
    // A packet that is ignored between the packets of an answer does not disturb it.
    QByteArray first = packet("030400020002", "ab");
    server->rx_received(first);
    const int before = log_entries().size();
    server->rx_received(payload);
    const QStringList after = log_entries().mid(before);
    QCOMPARE(after, text.isEmpty() ? QStringList() : QStringList(text));
    QByteArray second = packet("030400020102", "cd");
    server->rx_received(second);
    if (confirmed) {
        QVERIFY(wait_read(*c, "abcd"));
    } else {
        QVERIFY(!QTest::qWaitFor([&] { return c->bytesAvailable() > 0; }, 200));
        QCOMPARE(log_entries().size(), before);
    }
}

void Test_tcp_server::second_success_keeps_the_answer_in_progress()
{
    std::unique_ptr<QTcpSocket> c;
    confirmed_client(c);
    if (QTest::currentTestFailed())
        return;
    QByteArray first = packet("030400020002", "ab");
    server->rx_received(first);
    server->success();
    QByteArray second = packet("030400020102", "cd");
    server->rx_received(second);
    QVERIFY(wait_read(*c, "abcd"));
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
        for (const QByteArray& line : read_file(QStringLiteral("/proc/self/status")).split('\n'))
            if (line.startsWith("VmSize:"))
                return line.mid(7).trimmed().split(' ').first().toULongLong() * 1024;
        return 0;
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
    QVERIFY(wait_entry(sent("6f6b")));
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
