// Tests of the link with the RUVO-LoRa server: a real Ws_connection in its own thread against an
// in-process WebSocket server (and the simulator), with exact log texts.
#include "core/cfg.h"
#include "app/engine.h"
#include "core/shared.h"
#include "link/ws_connection.h"
#include "tcp/tcp_server.h"
#include "test_util.h"
#include "ui/error_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>

namespace {

const unsigned long eui_a = 0x00000000000000A1UL;
const unsigned long eui_b = 0x00000000000000B2UL;
const unsigned long eui_c = 0x00000000000000C3UL;

const char text_connected[] = "Установлено соединение с сервером RUVO-LoRa.";
const char text_lost[] = "Утеряно соединение с сервером RUVO-LoRa.";
const char text_lost_error[] = "Утеряно соединение с сервером RUVO-LoRa. Код ошибки = ";
const char text_refused[] = "Не удалось установить соединение с сервером RUVO-LoRa. Код ошибки = 0 («Connection refused»).";
const char text_bad_message[] = "Не удалось обработать сообщение от сервера RUVO-LoRa.";
const char text_dump[] = "Сообщение сервера RUVO-LoRa, вызвавшее предыдущую ошибку: ";
const char text_internal[] = "Неожиданная ошибка";
const char json_frame[] =
    "Ошибка в %1-м символе 1-й строки текстового сообщения, пришедшего через соединение WebSocket: ";

const char auth_ok[] = R"({"cmd":"auth_resp","status":true})";

QString hex16(unsigned long eui)
{
    return QStringLiteral("%1").arg(eui, 16, 16, QLatin1Char('0')).toUpper();
}

QString framed(int column, const QString& reason)
{
    return QString::fromUtf8(json_frame).arg(column) + reason;
}

QString device(unsigned long eui, const QString& name = QString())
{
    const QString name_field = name.isNull() ? QString() : QStringLiteral(",\"devName\":\"%1\"").arg(name);
    return QStringLiteral("{\"devEui\":\"%1\"%2}").arg(hex16(eui), name_field);
}

QString devlist_answer(const QStringList& devices)
{
    return QStringLiteral(R"({"cmd":"get_device_appdata_resp","status":true,"devices_list":[%1]})")
        .arg(devices.join(QLatin1Char(',')));
}

QString sdata_answer(const QString& append_status)
{
    return QStringLiteral(R"({"cmd":"send_data_resp","status":true,"append_status":%1})").arg(append_status);
}

QString append_item(unsigned long eui, bool status)
{
    return QStringLiteral(R"({"devEui":"%1","status":%2})")
        .arg(hex16(eui), status ? QStringLiteral("true") : QStringLiteral("false"));
}

QString append_one(unsigned long eui, bool status)
{
    return QLatin1Char('[') + append_item(eui, status) + QLatin1Char(']');
}

QString sdata_element(unsigned long eui, const QByteArray& data)
{
    return QStringLiteral(R"({"devEui":"%1","data":"04%2","port":2})").arg(hex16(eui), QString::fromLatin1(data.toHex()));
}

QString sdata_request(const QStringList& elements)
{
    return QStringLiteral(R"({"cmd":"send_data_req","data_list":[%1]})").arg(elements.join(QLatin1Char(',')));
}

QString sdata_request(unsigned long eui, const QByteArray& data)
{
    return sdata_request(QStringList() << sdata_element(eui, data));
}

QString rx(unsigned long eui, int port, const QByteArray& payload)
{
    return QStringLiteral(R"({"cmd":"rx","devEui":"%1","port":%2,"data":"%3"})")
        .arg(hex16(eui))
        .arg(port)
        .arg(QString::fromLatin1(payload.toHex()));
}

// One uplink packet of type 3 that carries a whole answer.
QByteArray single_packet(const QByteArray& data)
{
    QByteArray p;
    p.append('\x03').append(char(data.size())).append('\0').append(char(data.size())).append('\0').append('\x01');
    return p + data;
}

bool is_cmd(const QString& message, const char* cmd)
{
    return message.contains(QStringLiteral("\"cmd\":\"%1\"").arg(QLatin1String(cmd)));
}

// True while some socket listens on the port.
bool port_taken(quint16 port)
{
    QTcpServer probe;
    return !probe.listen(QHostAddress::Any, port);
}

// Stands in for the main window: counts the notices and clears their pending bits as the GUI does.
class Gui_stub : public QObject {
    Q_OBJECT
public:
    int servers = 0;
    int clients = 0;
    bool clear_bits = true;
    QList<unsigned char> flags_at_servers;

public slots:
    void on_servers_changed()
    {
        QMutexLocker lock(&cfg_mutex);
        ++servers;
        flags_at_servers << ws_flags;
        if (clear_bits)
            ws_flags &= static_cast<unsigned char>(~(WS_SERVERS_PENDING | WS_CLIENTS_PENDING));
    }
    void on_clients_changed()
    {
        QMutexLocker lock(&cfg_mutex);
        ++clients;
        if (clear_bits)
            ws_flags &= static_cast<unsigned char>(~WS_CLIENTS_PENDING);
    }
};

// The exchange thread as the program runs it, with the notices going to the stub.
class Link_thread : public QThread {
public:
    explicit Link_thread(Gui_stub& gui) : gui(gui) {}

    std::atomic<Ws_connection*> connection{nullptr};
    std::atomic<bool> ended_by_the_end{false};

protected:
    void run() override
    {
        try {
            Ws_connection c(*this);
            connect(&c, &Ws_connection::servers_changed, &gui, &Gui_stub::on_servers_changed, Qt::QueuedConnection);
            connect(&c, &Ws_connection::clients_changed, &gui, &Gui_stub::on_clients_changed, Qt::QueuedConnection);
            connection = &c;
            c.start();
            exec();
            connection = nullptr;
        } catch (const The_end&) {
            ended_by_the_end = true;
        }
    }

private:
    Gui_stub& gui;
};

// The RUVO-LoRa server's place: records every message and answers through the responder.
class Fake_server : public QObject {
    Q_OBJECT
public:
    Fake_server() : server(QStringLiteral("test"), QWebSocketServer::NonSecureMode)
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QWebSocketServer::newConnection, this, &Fake_server::on_new_connection);
    }

    QString url() const { return QStringLiteral("ws://127.0.0.1:%1").arg(server.serverPort()); }
    QWebSocket* socket() const { return sockets.isEmpty() ? nullptr : sockets.last(); }
    void send(const QString& text) { socket()->sendTextMessage(text); }
    int count(const char* cmd) const
    {
        return static_cast<int>(
            std::count_if(received.begin(), received.end(), [cmd](const QString& m) { return is_cmd(m, cmd); }));
    }

    std::function<QString(const QString&)> responder;
    QStringList received;
    QList<QWebSocket*> sockets;
    QList<int> close_codes;

private slots:
    void on_new_connection()
    {
        while (QWebSocket* s = server.nextPendingConnection()) {
            s->setParent(this);
            sockets << s;
            connect(s, &QWebSocket::textMessageReceived, this, [this, s](const QString& m) {
                received << m;
                const QString answer = responder ? responder(m) : QString();
                if (!answer.isEmpty())
                    s->sendTextMessage(answer);
            });
            connect(s, &QWebSocket::disconnected, this, [this, s] { close_codes << s->closeCode(); });
        }
    }

private:
    QWebSocketServer server;
};

struct Entry {
    QDateTime time;
    QString text;
};

}  // namespace

class Test_link : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void unreachable_server_retries();
    void connect_timeout();
    void login_never_answered();
    void login_rejected_data();
    void login_rejected();
    void other_cmd_during_login_ignored();
    void login_text_escaped();
    void answer_timeouts_data();
    void answer_timeouts();
    void server_closes_while_idle();
    void error_then_disconnect_handled_once();
    void late_error_after_disconnect_ignored();
    void server_abort_handled_once();
    void devlist_requests_never_overlap();
    void frames_sent_in_order_after_answers();
    void append_status_outcome_data();
    void append_status_outcome();
    void bad_append_status_drops_link_data();
    void bad_append_status_drops_link();
    void batch_takes_one_frame_per_modem_up_to_the_limit();
    void batch_statuses_reach_their_own_clients();
    void bad_batch_answer_drops_link_data();
    void bad_batch_answer_drops_link();
    void bad_messages_drop_link_data();
    void bad_messages_drop_link();
    void deep_nesting_does_not_crash_data();
    void deep_nesting_does_not_crash();
    void device_list_reconciles_servers();
    void first_list_sets_online_without_servers();
    void port_taken_retried_at_every_reconciliation();
    void port_zero_modem_not_served();
    void rx_dispatched_by_port_and_modem();
    void rx_missing_fields_named_data();
    void rx_missing_fields_named();
    void notifications_coalesce();
    void shutdown_while_online();
    void shutdown_during_reconnect_wait();
    void second_shutdown_ignored();
    void ending_before_start();
    void simulator_accepts_escaped_login();
    void crash_shows_box_then_exits_with_4();
    void shutdown_in_reconnect_wait_with_retired_server();
    void shutdown_while_connecting_or_logging_in_data();
    void shutdown_while_connecting_or_logging_in();
    void rx_while_answer_awaited_data();
    void rx_while_answer_awaited();
    void bad_device_list_drops_link_data();
    void bad_device_list_drops_link();
    void changed_frame_limit_replaces_server();
    void replaced_client_data_not_sent();

private:
    void start_link(const QString& url);
    void start_online(const QStringList& devices);
    void configure(unsigned long eui, quint16 port, quint32 max_frame = 100);
    void in_link(const std::function<void(Ws_connection&)>& f);
    void post_frame(unsigned long eui, const QByteArray& data);
    void wait_received(int count);
    void send_batch_of_b_and_c();
    QString configure_reported(const QList<unsigned long>& euis);
    void start_with_devlist_awaited(const QString& list);
    QList<Entry> entries() const;
    QStringList texts() const;
    int logged(const QString& text) const { return texts().count(text); }
    int logged(const char* text) const { return logged(QString::fromUtf8(text)); }
    int logged_starting(const char* prefix) const;
    int logged_ending(const QString& suffix) const;
    QList<unsigned long> server_euis() const;
    unsigned char flags_now() const;
    Ws_connection::State link_state();
    qint64 live_count();
    QPointer<QTcpSocket> connect_stalled_client(QTcpSocket& client, quint16 port);
    void lose_link_keeping_a_client(QTcpSocket& client);

    std::unique_ptr<Temp_log> log_file;
    std::unique_ptr<Gui_stub> gui;
    std::unique_ptr<Fake_server> server;
    std::unique_ptr<Link_thread> link;
};

// The program's start-up installs the error box that shows the link's fatal error.
void Test_link::initTestCase()
{
    install_error_box();
}

void Test_link::init()
{
    // The old log must hand the log name back before the new one takes it.
    log_file.reset();
    log_file.reset(new Temp_log);
    gui.reset(new Gui_stub);
    server.reset(new Fake_server);
    ws_login = QStringLiteral("demo");
    ws_password_hash = QStringLiteral("demo");
    ws_connect_timeout = 2000;
    ws_auth_timeout = 500;
    ws_reconnect_delay = 100;
    ws_devlist_period = 60000;
    ws_devlist_timeout = 1000;
    ws_sdata_timeout = 1000;
    tcp_interframe_delay = 20;
    trace_ws = 1;
    trace_tcp = 1;
    ws_batch_max = 1;
    QMutexLocker lock(&cfg_mutex);
    ws_flags = 0;
    devices_in_cfg.clear();
}

void Test_link::cleanup()
{
    server->responder = nullptr;
    if (link) {
        request_link_shutdown();
        QTRY_VERIFY_WITH_TIMEOUT(link->isFinished(), 10000);
        QVERIFY(link->wait(10000));
        link.reset();
    }
    server.reset();
    if (QTest::currentTestFailed())
        qDebug().noquote() << texts().join(QStringLiteral("\n"));
    QMutexLocker lock(&cfg_mutex);
    QVERIFY(tcp_servers.isEmpty());
    QVERIFY(devices_on_lora.isEmpty());
    QCOMPARE(Ws_connection::instance, nullptr);
    QCOMPARE(clients_number, 0u);
}

void Test_link::start_link(const QString& url)
{
    ws_url = url;
    link.reset(new Link_thread(*gui));
    link->start();
    QTRY_VERIFY_WITH_TIMEOUT(link->connection.load() || link->isFinished(), 5000);
}

// Connects, logs in and accepts the first device list, which holds these devices.
void Test_link::start_online(const QStringList& devices)
{
    server->responder = [devices](const QString& m) {
        if (is_cmd(m, "auth_req"))
            return QString::fromUtf8(auth_ok);
        if (is_cmd(m, "get_device_appdata_req"))
            return devlist_answer(devices);
        return QString();
    };
    start_link(server->url());
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
}

void Test_link::configure(unsigned long eui, quint16 port, quint32 max_frame)
{
    QMutexLocker lock(&cfg_mutex);
    devices_in_cfg.insert(eui, Device_in_cfg{max_frame, port});
}

void Test_link::in_link(const std::function<void(Ws_connection&)>& f)
{
    Ws_connection* c = link->connection;
    QVERIFY(c);
    QMetaObject::invokeMethod(c, [c, &f] { f(*c); }, Qt::BlockingQueuedConnection);
}

// Posts a frame of the modem's TCP server, as its framing does after a pause.
void Test_link::post_frame(unsigned long eui, const QByteArray& data)
{
    in_link([eui, data](Ws_connection& c) {
        Tcp_server* s = tcp_servers.value(eui);
        if (!s)
            return;
        Frame* f = Frame::alloc(static_cast<size_t>(data.size()) + 1, *s, eui);
        memcpy(f->data(), data.constData(), static_cast<size_t>(data.size()));
        f->size = static_cast<size_t>(data.size());
        c.post_frame(*f);
    });
}

void Test_link::wait_received(int count)
{
    QTRY_VERIFY_WITH_TIMEOUT(server->received.size() >= count, 5000);
}

QList<Entry> Test_link::entries() const
{
    QList<Entry> out;
    const QString all = QString::fromUtf8(log_file->text());
    for (const QString& chunk : all.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts)) {
        const int end = chunk.indexOf(QStringLiteral("] "));
        out << Entry{QDateTime::fromString(chunk.mid(1, end - 1), QStringLiteral("d.M.yyyy h:mm:ss.zzz")),
                     chunk.mid(end + 2)};
    }
    return out;
}

QStringList Test_link::texts() const
{
    QStringList out;
    for (const Entry& e : entries())
        out << e.text;
    return out;
}

int Test_link::logged_starting(const char* prefix) const
{
    int n = 0;
    for (const QString& t : texts())
        n += t.startsWith(QString::fromUtf8(prefix));
    return n;
}

int Test_link::logged_ending(const QString& suffix) const
{
    int n = 0;
    for (const QString& t : texts())
        n += t.endsWith(suffix);
    return n;
}

QList<unsigned long> Test_link::server_euis() const
{
    QMutexLocker lock(&cfg_mutex);
    return tcp_servers.keys();
}

unsigned char Test_link::flags_now() const
{
    QMutexLocker lock(&cfg_mutex);
    return ws_flags;
}

// The connection's own state, read in its thread.
Ws_connection::State Test_link::link_state()
{
    Ws_connection::State state = Ws_connection::State::idle;
    in_link([&state](Ws_connection& c) { state = c.state; });
    return state;
}

// The connection's live_count, or -1 when its thread no longer answers (it has ended).
qint64 Test_link::live_count()
{
    auto count = std::make_shared<std::atomic<qint64>>(-1);
    Ws_connection* c = link->connection;
    if (!c)
        return -1;
    QMetaObject::invokeMethod(c, [c, count] { *count = static_cast<qint64>(c->live_count); }, Qt::QueuedConnection);
    return QTest::qWaitFor([&count] { return *count >= 0; }, 5000) ? count->load() : -1;
}

// Connects a client to the modem's port that reads nothing, and has the bridge write it a large
// answer through small socket buffers: the bridge's socket for it then cannot finish closing and
// stays alive until the client goes. Returns that socket, to be used in the link's thread only.
QPointer<QTcpSocket> Test_link::connect_stalled_client(QTcpSocket& client, quint16 port)
{
    client.setReadBufferSize(1);
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(5000))
        return QPointer<QTcpSocket>();
    client.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    QPointer<QTcpSocket> stalled;
    if (!QTest::qWaitFor([] { return clients_number == 1; }, 5000))
        return stalled;
    in_link([&stalled](Ws_connection&) {
        stalled = tcp_servers.value(eui_b)->client;
        if (!stalled)
            return;
        stalled->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 4096);
        stalled->write(QByteArray(8 << 20, 'x'));
    });
    return stalled;
}

// Brings the link online with a stalled client on the modem's port, then has the server drop the
// link: the retired TCP server stays alive, holding its share of live_count, until the client goes.
void Test_link::lose_link_keeping_a_client(QTcpSocket& client)
{
    const quint16 port = free_ports(1).front();
    configure(eui_b, port);
    start_online(QStringList() << device(eui_b));
    QVERIFY(!connect_stalled_client(client, port).isNull());
    // The link never gets online again, so no new server takes a share.
    server->responder = nullptr;
    server->socket()->close();
    QTRY_COMPARE_WITH_TIMEOUT(logged(text_lost), 1, 5000);
    QCOMPARE(live_count(), qint64(2));
}

// A refused connection is logged once; the later tries, each after ws_reconnect_delay, are summed
// up within the minute.
void Test_link::unreachable_server_retries()
{
    start_link(QStringLiteral("ws://127.0.0.1:%1").arg(free_ports(1).front()));
    QTRY_COMPARE_WITH_TIMEOUT(texts(), QStringList() << QString::fromUtf8(text_refused), 5000);
    QCOMPARE(flags_now() & (WS_STARTING | WS_ONLINE), 0);
}

// Accepts TCP connections but never answers the WebSocket handshake: a try after each timeout,
// spaced by ws_reconnect_delay, and one entry for them all within the minute.
void Test_link::connect_timeout()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    QList<QDateTime> tries;
    connect(&silent, &QTcpServer::newConnection, [&] { tries << QDateTime::currentDateTime(); });
    ws_connect_timeout = 300;
    start_link(QStringLiteral("ws://127.0.0.1:%1").arg(silent.serverPort()));
    QTRY_VERIFY_WITH_TIMEOUT(tries.size() >= 3, 5000);
    for (int i = 1; i < 3; ++i)
        // Coarse timers may fire up to 5% early.
        QVERIFY(tries[i - 1].msecsTo(tries[i]) >= ws_reconnect_delay * 95 / 100);
    QCOMPARE(texts(), QStringList() << QString::fromUtf8(
                          "Тайм-аут установления соединения WebSocket с сервером RUVO-LoRa (ждали более 300 миллисекунд)."));
}

void Test_link::login_never_answered()
{
    ws_auth_timeout = 300;
    start_link(server->url());
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    const QStringList t = texts();
    QCOMPARE(t.mid(0, 2),
             QStringList() << QString::fromUtf8(text_connected)
                           << QString::fromUtf8("Тайм-аут ожидания ответа на команду \"авторизация пользователя\" "
                                                "(с момента начала передачи команды прошло более 300 миллисекунд)."));
    QCOMPARE(server->received.first(), QStringLiteral(R"({"cmd":"auth_req","login":"demo","password":"demo"})"));
    QTRY_COMPARE_WITH_TIMEOUT(server->close_codes.size(), 1, 5000);
}

void Test_link::login_rejected_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("error");
    QTest::newRow("with err_string")
        << QStringLiteral(R"({"cmd":"auth_resp","status":false,"err_string":"неверный пароль"})")
        << QString::fromUtf8("Сервер RUVO-LoRa отверг нашу команду (в ответе \"auth_resp\" \"status\" равен "
                             "«false»). Сообщение об ошибке (\"err_string\"): «неверный пароль».");
    QTest::newRow("without err_string")
        << QStringLiteral(R"({"status":false,"cmd":"auth_resp"})")
        << QString::fromUtf8(
               "Сервер RUVO-LoRa отверг нашу команду (в ответе \"auth_resp\" \"status\" равен «false»).");
}

void Test_link::login_rejected()
{
    QFETCH(QString, answer);
    QFETCH(QString, error);
    server->responder = [answer](const QString&) { return answer; };
    start_link(server->url());
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    // One entry a try: the refusal; the tries after the first are summed up within the minute.
    QTRY_VERIFY_WITH_TIMEOUT(server->sockets.size() >= 3, 5000);
    QCOMPARE(texts(), QStringList() << QString::fromUtf8(text_connected) << error);
    QCOMPARE(server->count("get_device_appdata_req"), 0);
}

void Test_link::other_cmd_during_login_ignored()
{
    start_link(server->url());
    wait_received(1);
    server->send(QStringLiteral(R"({"cmd":"rx","devEui":"00000000000000B2","port":2,"data":"0102"})"));
    server->send(QStringLiteral(R"({"cmd":"something_else","status":false})"));
    server->send(QString::fromUtf8(auth_ok));
    wait_received(2);
    QVERIFY(is_cmd(server->received[1], "get_device_appdata_req"));
    QCOMPARE(texts(), QStringList() << QString::fromUtf8(text_connected));
}

void Test_link::login_text_escaped()
{
    ws_login = QStringLiteral("us\"er\\");
    ws_password_hash = QStringLiteral("\\\"},\"x\":\"%1");
    start_link(server->url());
    wait_received(1);
    QCOMPARE(server->received[0],
             QStringLiteral("{\"cmd\":\"auth_req\",\"login\":\"us\\\"er\\\\\",\"password\":\"\\\\\\\"},\\\"x\\\":\\\"%1\"}"));
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(server->received[0].toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(o.size(), 3);
    QCOMPARE(o.value(QStringLiteral("login")).toString(), ws_login);
    QCOMPARE(o.value(QStringLiteral("password")).toString(), ws_password_hash);
}

void Test_link::answer_timeouts_data()
{
    QTest::addColumn<bool>("data");
    QTest::addColumn<QString>("timeout");
    QTest::newRow("device list") << false
                                 << QString::fromUtf8("Тайм-аут ожидания ответа на команду \"запрос списка "
                                                      "устройств\" (с момента начала передачи команды прошло более "
                                                      "500 миллисекунд).");
    QTest::newRow("data") << true
                          << QString::fromUtf8("Тайм-аут ожидания ответа на команду \"добавить данные в очередь для "
                                               "отправки на устройство\" (с момента начала передачи команды прошло "
                                               "более 250 миллисекунд).");
}

void Test_link::answer_timeouts()
{
    QFETCH(bool, data);
    QFETCH(QString, timeout);
    ws_devlist_timeout = 500;
    ws_sdata_timeout = 250;
    // Without data the periodic request, the second one, goes unanswered.
    ws_devlist_period = data ? 60000 : 100;
    configure(eui_b, free_ports(1).front());
    int lists = 0;
    server->responder = [&lists, data](const QString& m) {
        if (is_cmd(m, "auth_req"))
            return QString::fromUtf8(auth_ok);
        if (is_cmd(m, "get_device_appdata_req") && (data || lists++ == 0))
            return devlist_answer(QStringList() << device(eui_b));
        return QString();
    };
    start_link(server->url());
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
    if (data)
        post_frame(eui_b, "abc");
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    QCOMPARE(texts().mid(0, 2), QStringList() << QString::fromUtf8(text_connected) << timeout);
    QVERIFY(server_euis().isEmpty() || data);
    server->responder = nullptr;
}

void Test_link::server_closes_while_idle()
{
    // Long enough to see the port closed before the next link opens it again.
    ws_reconnect_delay = 300;
    trace_tcp = 2;
    const quint16 port = free_ports(1).front();
    configure(eui_b, port);
    start_online(QStringList() << device(eui_b));
    QVERIFY(port_taken(port));
    server->socket()->close();
    QTRY_COMPARE_WITH_TIMEOUT(logged(text_lost), 1, 5000);
    QVERIFY(server_euis().isEmpty());
    QVERIFY(!port_taken(port));
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(port_taken(port), 5000);
    const QStringList t = texts();
    const QString closed = QStringLiteral("tcp%1.shutdown_server_ok").arg(port);
    QVERIFY(t.indexOf(QString::fromUtf8(text_lost)) < t.indexOf(closed));
    QVERIFY(t.indexOf(closed) < t.lastIndexOf(QString::fromUtf8(text_connected)));
    QCOMPARE(logged_starting(text_internal), 0);
}

void Test_link::error_then_disconnect_handled_once()
{
    start_online(QStringList());
    in_link([](Ws_connection& c) {
        QMetaObject::invokeMethod(&c, "on_error", Qt::DirectConnection,
                                  Q_ARG(QAbstractSocket::SocketError, QAbstractSocket::RemoteHostClosedError));
    });
    QCOMPARE(logged_starting(text_lost_error), 1);
    QVERIFY(texts().last().startsWith(QString::fromUtf8(text_lost_error) + "1 («"));
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
    QCOMPARE(logged(text_lost), 0);
    QCOMPARE(logged_starting(text_internal), 0);
}

void Test_link::late_error_after_disconnect_ignored()
{
    // Long enough for the late signal to come before the next attempt.
    ws_reconnect_delay = 500;
    start_online(QStringList());
    server->socket()->close();
    QTRY_COMPARE_WITH_TIMEOUT(logged(text_lost), 1, 5000);
    const int before = texts().size();
    in_link([](Ws_connection& c) {
        QMetaObject::invokeMethod(&c, "on_error", Qt::DirectConnection,
                                  Q_ARG(QAbstractSocket::SocketError, QAbstractSocket::RemoteHostClosedError));
    });
    QCOMPARE(texts().size(), before);
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
    QCOMPARE(logged_starting(text_internal), 0);
}

void Test_link::server_abort_handled_once()
{
    start_online(QStringList());
    server->socket()->abort();
    QTRY_COMPARE_WITH_TIMEOUT(logged(text_lost) + logged_starting(text_lost_error), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
    QCOMPARE(logged(text_lost) + logged_starting(text_lost_error), 1);
    QCOMPARE(logged_starting(text_internal), 0);
}

void Test_link::devlist_requests_never_overlap()
{
    ws_devlist_period = 20;
    QStringList events;
    server->responder = [this, &events](const QString& m) {
        if (is_cmd(m, "auth_req"))
            return QString::fromUtf8(auth_ok);
        if (is_cmd(m, "get_device_appdata_req")) {
            events << QStringLiteral("request");
            QWebSocket* s = server->socket();
            QTimer::singleShot(100, s, [s, &events] {
                events << QStringLiteral("answer");
                s->sendTextMessage(devlist_answer(QStringList()));
            });
        }
        return QString();
    };
    start_link(server->url());
    QTRY_VERIFY_WITH_TIMEOUT(events.count(QStringLiteral("answer")) >= 4, 10000);
    for (int i = 0; i < events.size(); ++i)
        QCOMPARE(events[i], QString::fromLatin1(i % 2 ? "answer" : "request"));
    QCOMPARE(server->sockets.size(), 1);
}

// Configures these modems on free ports; returns the device list that reports them all.
QString Test_link::configure_reported(const QList<unsigned long>& euis)
{
    QStringList devices;
    const std::vector<quint16> ports = free_ports(euis.size());
    for (int i = 0; i < euis.size(); ++i) {
        configure(euis[i], ports[static_cast<size_t>(i)]);
        devices << device(euis[i]);
    }
    return devlist_answer(devices);
}

// Online after this device list, with the first periodic request awaited.
void Test_link::start_with_devlist_awaited(const QString& list)
{
    ws_devlist_period = 200;
    ws_devlist_timeout = 3000;
    server->responder = [](const QString& m) { return is_cmd(m, "auth_req") ? QString::fromUtf8(auth_ok) : QString(); };
    start_link(server->url());
    wait_received(2);
    server->send(list);
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
    wait_received(3);
}

void Test_link::frames_sent_in_order_after_answers()
{
    const QString list = configure_reported(QList<unsigned long>() << eui_b << eui_c);
    start_with_devlist_awaited(list);
    // The periodic request is awaited while both frames are posted.
    QVERIFY(is_cmd(server->received[2], "get_device_appdata_req"));
    post_frame(eui_b, "abc");
    post_frame(eui_c, QByteArray("\x00\xff", 2));
    QTest::qWait(100);
    QCOMPARE(server->received.size(), 3);
    server->send(list);
    wait_received(4);
    QCOMPARE(server->received[3], sdata_request(eui_b, "abc"));
    QTest::qWait(100);
    QCOMPARE(server->received.size(), 4);
    server->send(sdata_answer(append_one(eui_b, true)));
    wait_received(5);
    QCOMPARE(server->received[4],
             QStringLiteral(
                 R"({"cmd":"send_data_req","data_list":[{"devEui":"00000000000000C3","data":"0400ff","port":2}]})"));
    server->send(sdata_answer(append_one(eui_c, true)));
    wait_received(6);
    QVERIFY(is_cmd(server->received[5], "get_device_appdata_req"));
    QCOMPARE(logged_starting(text_bad_message), 0);
}

void Test_link::append_status_outcome_data()
{
    QTest::addColumn<bool>("status");
    QTest::newRow("true: success") << true;
    QTest::newRow("false: client shut down") << false;
}

void Test_link::append_status_outcome()
{
    QFETCH(bool, status);
    const quint16 port = free_ports(1).front();
    configure(eui_b, port);
    start_online(QStringList() << device(eui_b));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(5000));
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, 1u, 5000);
    // Uplink reaches the client only after its first accepted frame.
    server->send(rx(eui_b, 2, single_packet("early")));
    client.write("ping");
    wait_received(3);
    QCOMPARE(server->received[2], sdata_request(eui_b, "ping"));
    server->send(sdata_answer(append_one(eui_b, status)));
    if (status) {
        server->send(rx(eui_b, 2, single_packet("pong")));
        QTRY_COMPARE_WITH_TIMEOUT(client.bytesAvailable(), qint64(4), 5000);
        QCOMPARE(client.readAll(), QByteArray("pong"));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 5000);
        QCOMPARE(client.readAll(), QByteArray());
    }
    QCOMPARE(server->sockets.size(), 1);
    QCOMPARE(server->close_codes.size(), 0);
    QCOMPARE(server_euis(), QList<unsigned long>() << eui_b);
    QCOMPARE(logged_starting(text_bad_message), 0);
}

void Test_link::bad_append_status_drops_link_data()
{
    QTest::addColumn<QString>("append_status");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("reason");
    const QString item = QStringLiteral(R"({"devEui":"%1","status":true})").arg(hex16(eui_b));
    QTest::newRow("empty") << QStringLiteral("[]") << QStringLiteral("[]")
                           << QString::fromUtf8("неправильное поле \"append_status\": посылали одну команду, но в "
                                                "массиве нет ни одного ответа.");
    QTest::newRow("two") << QStringLiteral("[%1, %1]").arg(item) << QStringLiteral(", ")
                         << QString::fromUtf8("неправильное поле \"append_status\": посылали одну команду, но в "
                                              "массиве указано два или более ответов.");
    QTest::newRow("wrong EUI") << append_one(eui_c, true) << QStringLiteral("]")
                               << QString::fromUtf8("неправильный ответ на нашу команду \"send_data_req\": посылали "
                                                    "команду устройству с EUI=0x00000000000000B2, а пришёл "
                                                    "\"send_data_resp\" про устройство с EUI=0x00000000000000C3.");
    QTest::newRow("no EUI") << QStringLiteral(R"([{"status":true}])") << QStringLiteral("}")
                            << QString::fromUtf8(
                                   "в структуре \"append_status\" отсутствует обязательное поле \"devEui\".");
}

void Test_link::bad_append_status_drops_link()
{
    QFETCH(QString, append_status);
    QFETCH(QString, after);
    QFETCH(QString, reason);
    const quint16 port = free_ports(1).front();
    configure(eui_b, port);
    start_online(QStringList() << device(eui_b));
    post_frame(eui_b, "abc");
    wait_received(3);
    const QString answer = sdata_answer(append_status);
    server->send(answer);
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    const int column = answer.indexOf(after, answer.indexOf(QStringLiteral("append_status"))) + after.size() + 1;
    QCOMPARE(texts().mid(1, 3), QStringList() << framed(column, reason) << QString::fromUtf8(text_bad_message)
                                              << QString::fromUtf8(text_dump) + "«" + answer + "»");
    QTRY_VERIFY_WITH_TIMEOUT(port_taken(port), 5000);
}

// A's frame goes alone; B's and C's wait for its answer and then share one command.
void Test_link::send_batch_of_b_and_c()
{
    post_frame(eui_a, "a");
    wait_received(3);
    post_frame(eui_b, "b");
    post_frame(eui_c, "c");
    server->send(sdata_answer(append_one(eui_a, true)));
    wait_received(4);
    QCOMPARE(server->received[3], sdata_request(QStringList() << sdata_element(eui_b, "b") << sdata_element(eui_c, "c")));
}

void Test_link::batch_takes_one_frame_per_modem_up_to_the_limit()
{
    ws_batch_max = 2;
    const QString list = configure_reported(QList<unsigned long>() << eui_a << eui_b << eui_c);
    start_with_devlist_awaited(list);
    // While the periodic request is awaited, B's second frame queues behind its first.
    post_frame(eui_b, "b1");
    post_frame(eui_b, "b2");
    post_frame(eui_c, "c1");
    post_frame(eui_a, "a1");
    server->send(list);
    wait_received(4);
    QCOMPARE(server->received[3], sdata_request(QStringList() << sdata_element(eui_b, "b1") << sdata_element(eui_c, "c1")));
    // The next periodic request queues behind a1 and b2 (B's second frame waits for the next
    // turn); c2 comes after it.
    QTRY_VERIFY_WITH_TIMEOUT(link->connection.load()->flags & Ws_connection::devlist_requested, 5000);
    post_frame(eui_c, "c2");
    server->send(sdata_answer(QStringLiteral("[%1,%2]").arg(append_item(eui_b, true), append_item(eui_c, true))));
    wait_received(5);
    QCOMPARE(server->received[4], sdata_request(QStringList() << sdata_element(eui_a, "a1") << sdata_element(eui_b, "b2")));
    server->send(sdata_answer(QStringLiteral("[%1,%2]").arg(append_item(eui_a, true), append_item(eui_b, true))));
    wait_received(6);
    QVERIFY(is_cmd(server->received[5], "get_device_appdata_req"));
    server->send(list);
    wait_received(7);
    QCOMPARE(server->received[6], sdata_request(eui_c, "c2"));
    QCOMPARE(logged_starting(text_bad_message), 0);
}

void Test_link::batch_statuses_reach_their_own_clients()
{
    const std::vector<quint16> ports = free_ports(3);
    const quint16 port_b = ports[1];
    const quint16 port_c = ports[2];
    configure(eui_a, ports[0]);
    configure(eui_b, port_b);
    configure(eui_c, port_c);
    QTcpSocket client_b;
    QTcpSocket client_c;
    ws_batch_max = 2;
    start_online(QStringList() << device(eui_a) << device(eui_b) << device(eui_c));
    client_b.connectToHost(QHostAddress::LocalHost, port_b);
    client_c.connectToHost(QHostAddress::LocalHost, port_c);
    QVERIFY(client_b.waitForConnected(5000));
    QVERIFY(client_c.waitForConnected(5000));
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, 2u, 5000);
    send_batch_of_b_and_c();
    server->send(sdata_answer(QStringLiteral("[%1,%2]").arg(append_item(eui_b, true), append_item(eui_c, false))));
    QTRY_COMPARE_WITH_TIMEOUT(client_c.state(), QAbstractSocket::UnconnectedState, 5000);
    // B is still served: its own next frame is sent and answered to it.
    client_b.write("q");
    wait_received(5);
    QCOMPARE(server->received[4], sdata_request(eui_b, "q"));
    server->send(sdata_answer(append_one(eui_b, true)));
    server->send(rx(eui_b, 2, single_packet("pong")));
    QTRY_COMPARE_WITH_TIMEOUT(client_b.bytesAvailable(), qint64(4), 5000);
    QCOMPARE(client_b.readAll(), QByteArray("pong"));
    QCOMPARE(client_b.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(server->sockets.size(), 1);
    QCOMPARE(logged_starting(text_bad_message), 0);
}

void Test_link::bad_batch_answer_drops_link_data()
{
    QTest::addColumn<QString>("append_status");
    QTest::addColumn<QString>("upto");
    QTest::addColumn<QString>("reason");
    const QString b = append_item(eui_b, true);
    const QString c = append_item(eui_c, true);
    const QString sent_two = QString::fromUtf8("неправильное поле \"append_status\": посылали данные сразу нескольким "
                                               "устройствам (элементов в \"data_list\": 2), а ответов в массиве ");
    QTest::newRow("short") << QStringLiteral("[%1]").arg(b) << QStringLiteral("[%1]").arg(b)
                           << sent_two + QString::fromUtf8("меньше (1).");
    QTest::newRow("empty") << QStringLiteral("[ ]") << QStringLiteral("[ ]") << sent_two + QString::fromUtf8("меньше (0).");
    QTest::newRow("extra") << QStringLiteral("[%1,%2,%1]").arg(b, c) << QStringLiteral("[%1,%2,").arg(b, c)
                           << sent_two + QString::fromUtf8("больше.");
    QTest::newRow("reordered") << QStringLiteral("[%1,%2]").arg(c, b) << QStringLiteral("[%1,").arg(c)
                               << QString::fromUtf8("неправильный ответ на нашу команду \"send_data_req\": посылали "
                                                    "команду устройству с EUI=0x00000000000000B2, а пришёл "
                                                    "\"send_data_resp\" про устройство с EUI=0x00000000000000C3.");
}

void Test_link::bad_batch_answer_drops_link()
{
    QFETCH(QString, append_status);
    QFETCH(QString, upto);
    QFETCH(QString, reason);
    const std::vector<quint16> ports = free_ports(3);
    configure(eui_a, ports[0]);
    configure(eui_b, ports[1]);
    configure(eui_c, ports[2]);
    ws_batch_max = 2;
    start_online(QStringList() << device(eui_a) << device(eui_b) << device(eui_c));
    send_batch_of_b_and_c();
    const QString answer = sdata_answer(append_status);
    server->send(answer);
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    const int column = answer.indexOf(append_status) + upto.size() + 1;
    QCOMPARE(texts().mid(1, 3), QStringList() << framed(column, reason) << QString::fromUtf8(text_bad_message)
                                              << QString::fromUtf8(text_dump) + "«" + answer + "»");
    QTRY_COMPARE_WITH_TIMEOUT(server_euis().size(), 3, 5000);
}

void Test_link::bad_messages_drop_link_data()
{
    QTest::addColumn<QByteArray>("binary");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("trace");
    QTest::addColumn<QStringList>("expected");
    const QString lost_quote = framed(13, QString::fromUtf8("ожидается символ «\"»."));
    const QString trash = QString::fromUtf8(
        "после чтения из сообщения сервера RUVO-LoRa корректной структуры JSON в сообщении остались ещё какие-то "
        "непонятные символы.");
    const QString dump = QString::fromUtf8(text_dump);
    const QString bad = QString::fromUtf8(text_bad_message);
    QTest::newRow("malformed, dumped") << QByteArray() << QStringLiteral(R"({"cmd":"rx",)") << 1
                                       << (QStringList() << lost_quote << bad << dump + R"(«{"cmd":"rx",»)");
    QTest::newRow("malformed, not dumped") << QByteArray() << QStringLiteral(R"({"cmd":"rx",)") << 0
                                           << (QStringList() << lost_quote << bad);
    QTest::newRow("trailing garbage") << QByteArray() << QStringLiteral("{} \r\n x") << 0
                                      << (QStringList() << QString::fromUtf8("Ошибка в 2-м символе 2-й строки "
                                                                             "текстового сообщения, пришедшего "
                                                                             "через соединение WebSocket: ") +
                                                               trash
                                                        << bad);
    QTest::newRow("two objects") << QByteArray() << QStringLiteral("{}{}") << 1
                                 << (QStringList() << framed(3, trash) << bad << dump + "«{}{}»");
    const QString binary = QString::fromUtf8(
        "Ошибка: от сервера RUVO-LoRa пришло сообщение в двоичном формате (в протоколе есть только текстовые "
        "сообщения).");
    QTest::newRow("binary, dumped")
        << QByteArray("\x01\x02", 2) << QString() << 1
        << (QStringList() << binary
                          << QString::fromUtf8(
                                 "Сообщение сервера RUVO-LoRa, вызвавшее предыдущую ошибку (binary frame): 0x{01 02}"));
    QTest::newRow("binary, not dumped") << QByteArray("\x01\x02", 2) << QString() << 0 << (QStringList() << binary);
}

void Test_link::bad_messages_drop_link()
{
    QFETCH(QByteArray, binary);
    QFETCH(QString, text);
    QFETCH(int, trace);
    QFETCH(QStringList, expected);
    trace_ws = static_cast<unsigned char>(trace);
    start_online(QStringList());
    // Blanks and line ends after the object are no garbage.
    server->send(QStringLiteral("{\"cmd\":\"hello\"} \t\r\n\r\n"));
    if (binary.isEmpty())
        server->send(text);
    else
        server->socket()->sendBinaryMessage(binary);
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    QCOMPARE(texts().mid(1, expected.size()), expected);
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
}

void Test_link::deep_nesting_does_not_crash_data()
{
    QTest::addColumn<bool>("closed");
    QTest::newRow("unclosed") << false;
    QTest::newRow("closed") << true;
}

void Test_link::deep_nesting_does_not_crash()
{
    QFETCH(bool, closed);
    trace_ws = 0;
    start_online(QStringList());
    const int depth = 1000000;
    QString deep = QStringLiteral(R"({"cmd":"x","deep":)") + QString(depth, QLatin1Char('['));
    if (closed)
        deep += QString(depth, QLatin1Char(']')) + QLatin1Char('}');
    server->send(deep);
    // A message the link must refuse, so that it is known when the deep one was done with.
    server->send(QStringLiteral("}"));
    QTRY_VERIFY_WITH_TIMEOUT(logged(text_bad_message) >= 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
    QCOMPARE(logged(text_bad_message), 1);
}

void Test_link::device_list_reconciles_servers()
{
    ws_devlist_period = 100;
    const std::vector<quint16> ports = free_ports(2);
    const quint16 port_b = ports[0];
    const quint16 port_c = ports[1];
    configure(eui_b, port_b);
    configure(eui_c, port_c);
    // Only the first list repeats a modem, so that its duplicate is logged once.
    QStringList devices;
    devices << device(eui_c, QStringLiteral("c")) << device(eui_a, QStringLiteral("a")) << device(eui_b);
    const QStringList first = QStringList(devices) << device(eui_c, QStringLiteral("c again"));
    int lists = 0;
    server->responder = [&devices, &lists, first](const QString& m) {
        if (is_cmd(m, "auth_req"))
            return QString::fromUtf8(auth_ok);
        if (!is_cmd(m, "get_device_appdata_req"))
            return QString();
        return devlist_answer(lists++ ? devices : first);
    };
    start_link(server->url());
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
    QCOMPARE(server_euis(), QList<unsigned long>() << eui_b << eui_c);
    QVERIFY(port_taken(port_b));
    QVERIFY(port_taken(port_c));
    {
        QMutexLocker lock(&cfg_mutex);
        QCOMPARE(devices_on_lora.size(), 3);
        QCOMPARE(devices_on_lora[0].eui, eui_a);
        QCOMPARE(devices_on_lora[1].eui, eui_b);
        QCOMPARE(devices_on_lora[1].name, QString());
        QCOMPARE(devices_on_lora[2].name, QStringLiteral("c"));
    }
    QCOMPARE(logged(QString::fromUtf8("В ответе сервера RUVO-LoRa на команду 'get_device_appdata_req' обнаружено "
                                      "несколько записей с одним и тем же EUI: 0x00000000000000C3. Все записи "
                                      "кроме первой игнорируются.")),
             1);
    Tcp_server* kept;
    {
        QMutexLocker lock(&cfg_mutex);
        kept = tcp_servers.value(eui_b);
    }
    const int requests = server->count("get_device_appdata_req");
    devices = QStringList() << device(eui_a) << device(eui_b);
    QTRY_VERIFY_WITH_TIMEOUT(!port_taken(port_c), 5000);
    QVERIFY(server->count("get_device_appdata_req") > requests);
    QCOMPARE(server_euis(), QList<unsigned long>() << eui_b);
    {
        QMutexLocker lock(&cfg_mutex);
        QCOMPARE(tcp_servers.value(eui_b), kept);
    }
    QVERIFY(port_taken(port_b));
    devices.clear();
    QTRY_VERIFY_WITH_TIMEOUT(!port_taken(port_b), 5000);
    QVERIFY(server_euis().isEmpty());
    QVERIFY(flags_now() & WS_ONLINE);
    QCOMPARE(logged_starting(text_bad_message), 0);
}

void Test_link::first_list_sets_online_without_servers()
{
    start_online(QStringList() << device(eui_a));
    QVERIFY(server_euis().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!gui->flags_at_servers.isEmpty() && (gui->flags_at_servers.last() & WS_ONLINE), 5000);
    QMutexLocker lock(&cfg_mutex);
    QCOMPARE(devices_on_lora.size(), 1);
}

void Test_link::port_taken_retried_at_every_reconciliation()
{
    ws_devlist_period = 100;
    const quint16 port = free_ports(1).front();
    QTcpServer blocker;
    QVERIFY(blocker.listen(QHostAddress::Any, port));
    configure(eui_b, port);
    start_online(QStringList() << device(eui_b));
    const QString cannot_listen = QString::fromUtf8("Не удалось создать серверный сокет, слушающий порт TCP %1.").arg(port);
    // Logged once; every reconciliation tries again, as the port served once it is free shows.
    QTRY_VERIFY_WITH_TIMEOUT(logged(cannot_listen) == 1, 5000);
    QCOMPARE(texts().mid(1, 2),
             QStringList() << cannot_listen << QString::fromUtf8("Не удалось создать блок управления устройством."));
    QVERIFY(server_euis().isEmpty());
    blocker.close();
    QTRY_COMPARE_WITH_TIMEOUT(server_euis(), QList<unsigned long>() << eui_b, 5000);
    QVERIFY(port_taken(port));

    // A changed port, reported by the device list dialog, gives a new server on the new port.
    const quint16 moved = free_ports(1).front();
    ws_devlist_period = 60000;
    configure(eui_b, moved);
    in_link([](Ws_connection& c) { c.update_servers(); });
    QVERIFY(port_taken(moved));
    QVERIFY(!port_taken(port));
    QCOMPARE(server_euis(), QList<unsigned long>() << eui_b);
}

// Port 0 would listen on a port the system picks: such a modem is left out, quietly (the devices
// file said why when it was read), until the operator gives it a port.
void Test_link::port_zero_modem_not_served()
{
    const quint16 port = free_ports(1).front();
    configure(eui_a, 0);
    configure(eui_b, port);
    start_online(QStringList() << device(eui_a) << device(eui_b) << device(eui_c));
    QCOMPARE(server_euis(), QList<unsigned long>() << eui_b);
    QVERIFY(port_taken(port));
    in_link([](Ws_connection& c) { c.update_servers(); });
    QCOMPARE(server_euis(), QList<unsigned long>() << eui_b);
    QCOMPARE(texts(), QStringList() << QString::fromUtf8(text_connected));

    const quint16 given = free_ports(1).front();
    configure(eui_a, given);
    in_link([](Ws_connection& c) { c.update_servers(); });
    QCOMPARE(server_euis(), QList<unsigned long>() << eui_a << eui_b);
    QVERIFY(port_taken(given));
}

void Test_link::rx_dispatched_by_port_and_modem()
{
    const quint16 port = free_ports(1).front();
    configure(eui_b, port);
    start_online(QStringList() << device(eui_a) << device(eui_b));
    server->responder = [](const QString& m) {
        return is_cmd(m, "send_data_req") ? sdata_answer(append_one(eui_b, true)) : QString();
    };
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(5000));
    client.write("q");
    wait_received(3);
    server->send(rx(eui_b, 3, single_packet("port3")));
    server->send(rx(eui_a, 2, single_packet("modemA")));
    server->send(rx(0x1234, 2, single_packet("nobody")));
    server->send(QStringLiteral(R"({"cmd":"tx_status","devEui":"00000000000000B2"})"));
    server->send(rx(eui_b, 2, single_packet("answer")));
    QTRY_COMPARE_WITH_TIMEOUT(client.bytesAvailable(), qint64(6), 5000);
    QCOMPARE(client.readAll(), QByteArray("answer"));
    QCOMPARE(texts(), QStringList() << QString::fromUtf8(text_connected));
}

void Test_link::rx_missing_fields_named_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("field");
    QTest::newRow("port") << QStringLiteral(R"({"cmd":"rx","devEui":"00000000000000B2","data":"0102"})")
                          << QStringLiteral("port");
    QTest::newRow("devEui and data") << QStringLiteral(R"({"port":2,"cmd":"rx"})") << QStringLiteral("devEui");
    QTest::newRow("data") << QStringLiteral(R"({"port":3,"cmd":"rx","devEui":"00000000000000B2"})")
                          << QStringLiteral("data");
}

void Test_link::rx_missing_fields_named()
{
    QFETCH(QString, message);
    QFETCH(QString, field);
    start_online(QStringList());
    server->send(message);
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    QCOMPARE(texts()[1],
             framed(message.size() + 1, QString::fromUtf8("в сообщении \"rx\" отсутствует обязательное поле \"%1\".")
                                            .arg(field)));
}

void Test_link::notifications_coalesce()
{
    gui->clear_bits = false;
    const quint16 port = free_ports(1).front();
    configure(eui_b, port);
    start_online(QStringList() << device(eui_b));
    // Connected, then online: the first accepted list notifies even with the notice pending.
    QTRY_COMPARE_WITH_TIMEOUT(gui->servers, 2, 5000);
    QVERIFY(gui->flags_at_servers[1] & WS_ONLINE);

    // While the notices are pending, a client, a loss and a reconnect notify nobody.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(5000));
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, 1u, 5000);
    server->socket()->close();
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(gui->servers, 3, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, 0u, 5000);
    QCOMPARE(gui->clients, 0);

    // Once the GUI has read the state, the next change notifies again, once.
    {
        QMutexLocker lock(&cfg_mutex);
        ws_flags &= static_cast<unsigned char>(~(WS_SERVERS_PENDING | WS_CLIENTS_PENDING));
    }
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(second.waitForConnected(5000));
    QTRY_COMPARE_WITH_TIMEOUT(gui->clients, 1, 5000);
    {
        QMutexLocker lock(&cfg_mutex);
        ws_flags &= static_cast<unsigned char>(~(WS_SERVERS_PENDING | WS_CLIENTS_PENDING));
    }
    // The link never gets online again: only the loss notifies.
    server->responder = nullptr;
    server->socket()->close();
    QTRY_COMPARE_WITH_TIMEOUT(gui->servers, 4, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(logged_starting("Тайм-аут ожидания ответа") >= 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, 0u, 5000);
    QCOMPARE(gui->servers, 4);
    QCOMPARE(gui->clients, 1);
}

void Test_link::shutdown_while_online()
{
    const quint16 port = free_ports(1).front();
    configure(eui_b, port);
    start_online(QStringList() << device(eui_b));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(5000));
    QTRY_COMPARE_WITH_TIMEOUT(clients_number, 1u, 5000);
    request_link_shutdown();
    QTRY_VERIFY_WITH_TIMEOUT(link->isFinished(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(server->close_codes, QList<int>() << 1000, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 5000);
    QVERIFY(!port_taken(port));
    QCOMPARE(texts(), QStringList() << QString::fromUtf8(text_connected));
}

void Test_link::shutdown_during_reconnect_wait()
{
    ws_reconnect_delay = 20000;
    start_link(QStringLiteral("ws://127.0.0.1:%1").arg(free_ports(1).front()));
    QTRY_COMPARE_WITH_TIMEOUT(texts().size(), 1, 5000);
    QElapsedTimer timer;
    timer.start();
    request_link_shutdown();
    QVERIFY(link->wait(5000));
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(texts().size(), 1);
}

void Test_link::second_shutdown_ignored()
{
    ws_reconnect_delay = 20000;
    start_link(QStringLiteral("ws://127.0.0.1:%1").arg(free_ports(1).front()));
    QTRY_COMPARE_WITH_TIMEOUT(texts().size(), 1, 5000);
    quint64 live = 1;
    in_link([&live](Ws_connection& c) {
        c.on_shutdown();
        c.on_shutdown();
        live = c.live_count;
    });
    QCOMPARE(live, quint64(0));
    QVERIFY(link->wait(5000));
}

void Test_link::ending_before_start()
{
    {
        QMutexLocker lock(&cfg_mutex);
        ws_flags = WS_ENDING;
    }
    start_link(server->url());
    QVERIFY(link->wait(5000));
    QVERIFY(link->ended_by_the_end);
    QCOMPARE(server->sockets.size(), 0);
}

void Test_link::simulator_accepts_escaped_login()
{
    ws_login = QStringLiteral("lo\"g\\in");
    ws_password_hash = QStringLiteral("pa\\ss\"\"");
    const quint16 port_b = free_ports(1).front();
    configure(eui_b, port_b);
    QProcess sim;
    sim.setProgram(QStringLiteral(RUVO_SIM_EXE));
    sim.setArguments(QStringList() << "--listen" << "127.0.0.1:0" << "--login" << ws_login << "--password"
                                   << ws_password_hash << "--radio-delay" << "0" << "--modem"
                                   << hex16(eui_a) + ":echo" << "--modem" << hex16(eui_b) + ":echo:Б");
    sim.start();
    QVERIFY(sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
    const QByteArray first = sim.readLine().trimmed();
    QVERIFY2(first.startsWith("listening "), first.constData());
    start_link(QStringLiteral("ws://127.0.0.1:") + QString::fromLatin1(first.mid(10)));
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
    QCOMPARE(server_euis(), QList<unsigned long>() << eui_b);
    {
        QMutexLocker lock(&cfg_mutex);
        QCOMPARE(devices_on_lora.size(), 2);
        QCOMPARE(devices_on_lora[1].name, QString::fromUtf8("Б"));
    }
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port_b);
    QVERIFY(client.waitForConnected(5000));
    client.write("echo me");
    QTRY_COMPARE_WITH_TIMEOUT(client.bytesAvailable(), qint64(7), 5000);
    QCOMPARE(client.readAll(), QByteArray("echo me"));
    request_link_shutdown();
    QVERIFY(link->wait(5000));
    // The simulator reports the close once it has handled it, which may be after the link ended.
    QByteArray sim_out;
    QTRY_VERIFY_WITH_TIMEOUT((sim_out += sim.readAllStandardOutput()).contains("disconnected 1000"), 5000);
    sim.closeWriteChannel();
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    const QString out = QString::fromUtf8(sim_out + sim.readAllStandardOutput());
    QVERIFY(out.contains(QStringLiteral("recv {\"cmd\":\"auth_req\",\"login\":\"lo\\\"g\\\\in\",\"password\":\"pa\\\\ss\\\"\\\"\"}")));
    QCOMPARE(logged_starting(text_bad_message), 0);
}

void Test_link::crash_shows_box_then_exits_with_4()
{
    const quint16 port = free_ports(1).front();
    configure(eui_b, port);
    start_online(QStringList() << device(eui_b));
    QString box_text;
    bool offline_while_shown = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        QMessageBox* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        box_text = box->text();
        offline_while_shown = !(flags_now() & WS_ONLINE) && !port_taken(port);
        box->buttons().first()->click();
    });
    poll.start(20);
    in_link([](Ws_connection& c) { c.crash(QStringLiteral("test crash")); });
    QCOMPARE(QCoreApplication::exec(), 4);
    poll.stop();
    QVERIFY(offline_while_shown);
    QCOMPARE(box_text, QString::fromUtf8("Обнаружена ошибка в программе. Работа программы завершена."));
    QCOMPARE(texts().last(), QStringLiteral("test crash"));
    QTRY_COMPARE_WITH_TIMEOUT(server->close_codes.size(), 1, 5000);
    QVERIFY(server_euis().isEmpty());
}

// The reconnect timer must not fire after the shutdown while a retired server keeps the thread
// running: a new attempt would connect and give up the connection's share a second time.
void Test_link::shutdown_in_reconnect_wait_with_retired_server()
{
    // All within the grace a closing client socket gets before it is cut off.
    ws_reconnect_delay = 300;
    QTcpSocket client;
    lose_link_keeping_a_client(client);
    QVERIFY(link_state() == Ws_connection::State::reconnect_wait);
    request_link_shutdown();
    QTRY_COMPARE_WITH_TIMEOUT(live_count(), qint64(1), 5000);
    // Past the reconnect delay: no new attempt, the share given up once, the thread still waiting.
    QTest::qWait(2 * ws_reconnect_delay);
    QCOMPARE(server->sockets.size(), 1);
    QCOMPARE(live_count(), qint64(1));
    QVERIFY(link->isRunning());
    client.abort();
    QTRY_VERIFY_WITH_TIMEOUT(link->isFinished(), 5000);
    QCOMPARE(logged_starting(text_internal), 0);
}

void Test_link::shutdown_while_connecting_or_logging_in_data()
{
    QTest::addColumn<bool>("logging_in");
    QTest::newRow("connecting") << false;
    QTest::newRow("logging in") << true;
}

// With long timeouts, the attempt in progress ends at once with code 1000 and gives up the
// connection's share once; the retired server's share keeps the thread until its client goes.
void Test_link::shutdown_while_connecting_or_logging_in()
{
    QFETCH(bool, logging_in);
    ws_connect_timeout = 20000;
    ws_auth_timeout = 20000;
    // Time enough to start polling before the next attempt begins.
    ws_reconnect_delay = 300;
    QTcpSocket client;
    lose_link_keeping_a_client(client);
    if (logging_in) {
        QTRY_COMPARE_WITH_TIMEOUT(server->count("auth_req"), 2, 5000);
    } else {
        // The handshake needs this thread's event loop, so polling without it keeps the attempt
        // connecting until the shutdown has been asked for.
        QElapsedTimer waited;
        waited.start();
        while (link_state() != Ws_connection::State::connecting && waited.elapsed() < 5000)
            QThread::msleep(5);
        QVERIFY(link_state() == Ws_connection::State::connecting);
    }
    QElapsedTimer timer;
    timer.start();
    request_link_shutdown();
    QTRY_COMPARE_WITH_TIMEOUT(server->close_codes, QList<int>() << 1000 << 1000, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(live_count(), qint64(1), 5000);
    QVERIFY(timer.elapsed() < ws_connect_timeout / 2);
    QCOMPARE(server->sockets.size(), 2);
    QVERIFY(link->isRunning());
    client.abort();
    QTRY_VERIFY_WITH_TIMEOUT(link->isFinished(), 5000);
    QCOMPARE(logged_starting(text_internal), 0);
}

void Test_link::rx_while_answer_awaited_data()
{
    QTest::addColumn<bool>("devlist");
    QTest::addColumn<int>("answer_at");
    // The wait is 1000 ms and the "rx" comes 400 ms into it: a wait restarted by it would end at
    // 1400 ms and accept the late answer.
    QTest::newRow("data, answered in time") << false << 700;
    QTest::newRow("data, answered late") << false << 1200;
    QTest::newRow("device list, answered in time") << true << 700;
    QTest::newRow("device list, answered late") << true << 1200;
}

// An "rx" while an answer is awaited goes to the client at once and leaves the wait as it was.
void Test_link::rx_while_answer_awaited()
{
    QFETCH(bool, devlist);
    QFETCH(int, answer_at);
    ws_devlist_period = devlist ? 300 : 60000;
    const quint16 port = free_ports(1).front();
    configure(eui_b, port);
    const QStringList devices = QStringList() << device(eui_b);
    const char* held_cmd = devlist ? "get_device_appdata_req" : "send_data_req";
    const QString held_answer = devlist ? devlist_answer(devices) : sdata_answer(append_one(eui_b, true));
    QTcpSocket client;
    QObject schedule;
    bool hold = false;
    bool answered = false;
    QByteArray delivered;
    server->responder = [&](const QString& m) {
        if (is_cmd(m, "auth_req"))
            return QString::fromUtf8(auth_ok);
        if (hold && is_cmd(m, held_cmd)) {
            hold = false;
            QWebSocket* s = server->socket();
            QTimer::singleShot(100, &schedule, [&client] { client.write("q3"); });
            QTimer::singleShot(400, &schedule, [s] { s->sendTextMessage(rx(eui_b, 2, single_packet("r1"))); });
            QTimer::singleShot(600, &schedule, [&] { delivered = client.readAll(); });
            QTimer::singleShot(answer_at, &schedule, [&, s] {
                s->sendTextMessage(held_answer);
                answered = true;
            });
            return QString();
        }
        if (is_cmd(m, "get_device_appdata_req"))
            return devlist_answer(devices);
        return is_cmd(m, "send_data_req") ? sdata_answer(append_one(eui_b, true)) : QString();
    };
    start_link(server->url());
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
    // A first accepted frame lets uplink through to the client.
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(5000));
    client.write("q1");
    QTRY_VERIFY_WITH_TIMEOUT(server->received.contains(sdata_request(eui_b, "q1")), 5000);
    hold = true;
    if (!devlist)
        client.write("q2");
    QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
    const QString q3 = sdata_request(eui_b, "q3");
    const QString timeout = QString::fromUtf8("Тайм-аут ожидания ответа на команду \"%1\" (с момента начала передачи "
                                              "команды прошло более 1000 миллисекунд).")
                                .arg(QString::fromUtf8(devlist ? "запрос списка устройств"
                                                               : "добавить данные в очередь для отправки на "
                                                                 "устройство"));
    if (answer_at < ws_sdata_timeout) {
        QTRY_VERIFY_WITH_TIMEOUT(server->received.contains(q3), 5000);
        QCOMPARE(server->sockets.size(), 1);
        QCOMPARE(logged(timeout), 0);
    } else {
        QCOMPARE(logged(timeout), 1);
        QVERIFY(!server->received.contains(q3));
        QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    }
    QCOMPARE(delivered, QByteArray("r1"));
    QCOMPARE(logged_starting(text_bad_message), 0);
}

void Test_link::bad_device_list_drops_link_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("error");
    const QString head = QStringLiteral(R"({"cmd":"get_device_appdata_resp","status":)");
    const QString no_eui = head + QStringLiteral(R"(true,"devices_list":[{"devName":"x"}]})");
    QTest::newRow("element without devEui")
        << no_eui
        << framed(no_eui.indexOf(QLatin1Char('}')) + 2,
                  QString::fromUtf8("в возвращённом сервером RUVO-LoRa описании устройства отсутствует обязательное "
                                    "поле \"devEui\"."));
    const QString no_list = head + QStringLiteral("true}");
    QTest::newRow("true status without devices_list")
        << no_list
        << framed(no_list.size() + 1,
                  QString::fromUtf8("Ответ сервера RUVO-LoRa \"get_device_appdata_resp\" помечен как успешный "
                                    "(\"status\":true), но в нём нет поля \"devices_list\"."));
    QTest::newRow("false status with err_string")
        << head + QString::fromUtf8(R"(false,"err_string":"нет доступа"})")
        << QString::fromUtf8("Сервер RUVO-LoRa отверг нашу команду (в ответе \"get_device_appdata_resp\" \"status\" "
                             "равен «false»). Сообщение об ошибке (\"err_string\"): «нет доступа».");
}

// A device list that cannot be taken ends the link with its text and the dump; the next link
// serves the modem.
void Test_link::bad_device_list_drops_link()
{
    QFETCH(QString, answer);
    QFETCH(QString, error);
    const quint16 port = free_ports(1).front();
    configure(eui_b, port);
    int lists = 0;
    server->responder = [&lists, answer](const QString& m) {
        if (is_cmd(m, "auth_req"))
            return QString::fromUtf8(auth_ok);
        if (is_cmd(m, "get_device_appdata_req"))
            return lists++ ? devlist_answer(QStringList() << device(eui_b)) : answer;
        return QString();
    };
    start_link(server->url());
    QTRY_COMPARE_WITH_TIMEOUT(server->sockets.size(), 2, 5000);
    QCOMPARE(texts().mid(0, 4), QStringList() << QString::fromUtf8(text_connected) << error
                                              << QString::fromUtf8(text_bad_message)
                                              << QString::fromUtf8(text_dump) + "«" + answer + "»");
    QTRY_VERIFY_WITH_TIMEOUT(flags_now() & WS_ONLINE, 5000);
    QCOMPARE(server_euis(), QList<unsigned long>() << eui_b);
    QVERIFY(port_taken(port));
}

// A frame limit changed in the configuration takes effect at the next device list: the modem's
// server is made anew and its next client gets the new limit. Lists that change nothing notify nobody.
void Test_link::changed_frame_limit_replaces_server()
{
    ws_devlist_period = 100;
    const quint16 port = free_ports(1).front();
    configure(eui_b, port, 10);
    start_online(QStringList() << device(eui_b));
    QTRY_VERIFY_WITH_TIMEOUT(gui->servers > 0 && !(flags_now() & WS_SERVERS_PENDING), 5000);
    const int notices = gui->servers;
    const int lists = server->count("get_device_appdata_req");
    QTRY_VERIFY_WITH_TIMEOUT(server->count("get_device_appdata_req") >= lists + 3, 5000);
    QCOMPARE(gui->servers, notices);

    configure(eui_b, port, 20);
    QTRY_COMPARE_WITH_TIMEOUT(gui->servers, notices + 1, 5000);
    QCOMPARE(server_euis(), QList<unsigned long>() << eui_b);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(5000));
    client.write(QByteArray(21, 'x'));
    const QString overflow = QString::fromUtf8("Ошибка: от клиента на порту %1 пришло сообщение, размер которого "
                                               "превышает предельный для этого клиента (20 байтов). Предельный "
                                               "размер сообщения можно настроить в файле конфигурации и в "
                                               "описании устройства.")
                                 .arg(port);
    QTRY_COMPARE_WITH_TIMEOUT(logged(overflow), 1, 5000);
    QCOMPARE(gui->servers, notices + 1);
}

// The bytes of a client that a newer one replaced never reach the modem. The stalled old socket
// may be closing already, when Qt no longer reads it, so the notice of its unread bytes is given by
// hand too.
void Test_link::replaced_client_data_not_sent()
{
    trace_tcp = 2;
    const quint16 port = free_ports(1).front();
    configure(eui_b, port);
    start_online(QStringList() << device(eui_b));
    server->responder = [](const QString& m) {
        return is_cmd(m, "send_data_req") ? sdata_answer(append_one(eui_b, true)) : QString();
    };
    QTcpSocket old_client;
    const QPointer<QTcpSocket> old_socket = connect_stalled_client(old_client, port);
    QVERIFY(!old_socket.isNull());
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(5000));
    const QString old_peer = QStringLiteral("]:%1)").arg(old_client.localPort());
    QTRY_COMPARE_WITH_TIMEOUT(logged_ending(old_peer + ".shutdown"), 1, 5000);
    old_client.write("old");
    QVERIFY(old_client.waitForBytesWritten(5000));
    in_link([&old_socket](Ws_connection&) {
        if (old_socket)
            emit old_socket->readyRead();
    });
    QVERIFY(logged_ending(old_peer + ".recv ignored") >= 1);
    client.write("new");
    QTRY_VERIFY_WITH_TIMEOUT(server->received.contains(sdata_request(eui_b, "new")), 5000);
    QCOMPARE(server->count("send_data_req"), 1);
}

QTEST_MAIN(Test_link)
#include "test_link.moc"
