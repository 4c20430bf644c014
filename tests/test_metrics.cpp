// Tests of the Prometheus metrics and the status page: the request head and connection bounds and
// the page builder as pure units; the real program against the simulated server, scraped over HTTP
// on loopback, its output checked by promtool, its page loaded in a real browser; clients that send
// slowly; a port that cannot be bound.
#include "tests/bridge_process.h"
#include "tests/slow_http_clients.h"

#include "app/language.h"
#include "metrics/http_head.h"
#include "metrics/status_page.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {

// Echo modems B and C, the silent modem S; D is configured but unknown to the server.
const char eui_b[] = "0102030405060702";
const char eui_c[] = "0102030405060703";
const char eui_s[] = "0102030405060704";
const char eui_d[] = "0102030405060705";
const int max_frame_c = 10;
// The server's name of modem B, as an operator might type it.
const char hostile_name[] = "<script>alert(1)</script>";
const char escaped_name[] = "&lt;script&gt;alert(1)&lt;/script&gt;";

QString sent_req(const char* eui, const QByteArray& data)
{
    return QStringLiteral("recv {\"cmd\":\"send_data_req\",\"data_list\":[{\"devEui\":\"%1\",\"data\":\"04%2\","
                          "\"port\":2}]}")
        .arg(QLatin1String(eui), QString::fromLatin1(data.toHex()));
}

// The value of one series in the text format; NaN when the series is not there.
double value_of(const QByteArray& text, const QString& series)
{
    const QByteArray prefix = series.toUtf8() + ' ';
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).toDouble();
    return std::nan("");
}

// A per-modem series; the library writes the labels in alphabetical order.
QString modem_series(const char* name, const char* eui, quint16 port, const char* kind = nullptr)
{
    return QStringLiteral("ruvo_bridge_%1{eui=\"%2\",%3port=\"%4\"}")
        .arg(QLatin1String(name), QLatin1String(eui),
             kind ? QStringLiteral("kind=\"%1\",").arg(QLatin1String(kind)) : QString())
        .arg(port);
}

// The whole reply of the endpoint to one request.
QByteArray http_exchange(quint16 port, const QByteArray& request)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(process_wait_ms))
        return QByteArray();
    s.write(request);
    QByteArray reply;
    wait_for([&] {
        reply += s.readAll();
        return s.state() == QAbstractSocket::UnconnectedState;
    });
    return reply + s.readAll();
}

// The page of one modem, the link up.
QString page_of(const Page_modem& modem)
{
    Page_view view;
    view.link = Link_state::online;
    view.now_s = 1700000100;
    view.counts[0] = 1;
    view.modems.push_back(modem);
    return QString::fromUtf8(status_page(view));
}

}  // namespace

Q_DECLARE_METATYPE(Http_head::Verdict)
Q_DECLARE_METATYPE(Http_target)

class Test_metrics : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void request_head_data();
    void request_head();
    void connections_bounded_in_all_and_per_address();
    void page_data();
    void page();

    void scrape_shows_traffic_modems_and_link();
    void client_errors_by_kind();
    void overlong_messages_are_counted_all_and_logged_summed_up();
    void busy_metrics_port_is_logged_and_the_bridge_goes_on();
    void slow_http_clients_do_not_hold_the_scrape();
    void endpoint_answers_page_metrics_and_nothing_else();
    void page_in_a_real_browser();
    // Last: it leaves the process's texts in English.
    void page_in_english();

private:
    bool start();
    QByteArray scrape();
    double scraped(const QString& series) { return value_of(scrape(), series); }
    bool wait_value(const QString& series, const std::function<bool(double)>& wanted);

    std::unique_ptr<Sim> sim;
    std::unique_ptr<Bridge> bridge;
    quint16 port_b = 0;
    quint16 port_c = 0;
    quint16 port_s = 0;
    quint16 port_d = 0;
    quint16 metrics_port = 0;
};

void Test_metrics::init()
{
    const std::vector<quint16> ports = free_ports(5);
    port_b = ports[0];
    port_c = ports[1];
    port_s = ports[2];
    port_d = ports[3];
    metrics_port = ports[4];
}

// The program's orderly end is checked where the endpoint is served from the start and where it
// came late; elsewhere the program is killed.
void Test_metrics::cleanup()
{
    bridge.reset();
    sim.reset();
}

bool Test_metrics::start()
{
    sim.reset(new Sim({QStringLiteral("%1:echo:%2").arg(QLatin1String(eui_b), QLatin1String(hostile_name)),
                       QStringLiteral("%1:echo").arg(QLatin1String(eui_c)),
                       QStringLiteral("%1:silent").arg(QLatin1String(eui_s))}));
    if (!sim->started())
        return false;
    Bridge_options options;
    options.extra_cfg = "metrics_listen = \"127.0.0.1:" + QByteArray::number(metrics_port) + "\"\n";
    bridge.reset(new Bridge(sim->port,
                            {{eui_b, port_b, 255}, {eui_c, port_c, max_frame_c}, {eui_s, port_s, 255}, {eui_d, port_d, 51}},
                            options));
    return wait_for([&] { return listening(port_b) && listening(port_c) && listening(port_s); });
}

QByteArray Test_metrics::scrape()
{
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(
        manager.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(metrics_port)))));
    if (!wait_for([&] { return reply->isFinished(); }) || reply->error() != QNetworkReply::NoError)
        qWarning() << "scrape failed:" << reply->errorString();
    return reply->readAll();
}

bool Test_metrics::wait_value(const QString& series, const std::function<bool(double)>& wanted)
{
    double last = 0;
    if (wait_for([&] { return wanted(last = scraped(series)); }))
        return true;
    qWarning() << series << "stayed at" << last;
    return false;
}

void Test_metrics::request_head_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<Http_head::Verdict>("verdict");
    QTest::addColumn<Http_target>("target");
    const auto row = [](const char* name, const QByteArray& received, Http_head::Verdict verdict,
                        Http_target target = Http_target::not_found) {
        QTest::newRow(name) << received << verdict << target;
    };
    row("metrics", "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", Http_head::request, Http_target::metrics);
    row("page", "GET / HTTP/1.0\r\n\r\n", Http_head::request, Http_target::page);
    row("query ignored", "GET /metrics?a=1 HTTP/1.1\r\n\r\n", Http_head::request, Http_target::metrics);
    row("bare line feeds", "GET / HTTP/1.1\nHost: x\n\n", Http_head::request, Http_target::page);
    row("other path", "GET /metrics/x HTTP/1.1\r\n\r\n", Http_head::request);
    row("head not ended", "GET /metrics HTTP/1.1\r\nHo", Http_head::incomplete);
    row("post", "POST /metrics HTTP/1.1\r\n\r\n", Http_head::bad_method);
    row("not http", "hello\r\n\r\n", Http_head::bad_request);
    row("no slash", "GET metrics HTTP/1.1\r\n\r\n", Http_head::bad_request);
    // The bound is 64 bytes here; the head's first 19 bytes and its last 4 are fixed.
    const QByteArray start = "GET / HTTP/1.1\r\nX: ";
    row("whole at the bound", start + QByteArray(41, 'a') + "\r\n\r\n", Http_head::request, Http_target::page);
    row("past the bound", start + QByteArray(42, 'a') + "\r\n\r\n", Http_head::too_large);
    row("at the bound, not ended", start + QByteArray(45, 'a'), Http_head::too_large);
    row("below the bound, not ended", start + QByteArray(44, 'a'), Http_head::incomplete);
}

void Test_metrics::request_head()
{
    QFETCH(QByteArray, received);
    QFETCH(Http_head::Verdict, verdict);
    QFETCH(Http_target, target);
    const Http_head head = read_http_head(received, 64);
    QCOMPARE(head.verdict, verdict);
    QCOMPARE(head.target, target);
}

void Test_metrics::connections_bounded_in_all_and_per_address()
{
    const QHostAddress a(QStringLiteral("10.0.0.1")), b(QStringLiteral("10.0.0.2")), c(QStringLiteral("10.0.0.3"));
    Connection_bounds bounds(3, 2);
    // Two from a, a third from a refused, one from b, then all three taken.
    for (bool admitted : {bounds.admit(a), bounds.admit(a), !bounds.admit(a), bounds.admit(b), !bounds.admit(c)})
        QVERIFY(admitted);
    bounds.leave(a);
    bounds.leave(c);  // never admitted: leaves nothing
    QVERIFY(bounds.admit(b));
    QVERIFY(!bounds.admit(c));
    QCOMPARE(bounds.open(), 3);
}

void Test_metrics::page_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    for (int state = 0; state < modem_state_count; ++state) {
        const char* const name = modem_state_name(Modem_state(state));
        QTest::addRow("%s", name) << state << QString()
                                  << QStringLiteral("<tr class=\"%1\"><td>0102030405060702</td><td></td><td>5020</td>"
                                                    "<td>Modbus TCP</td><td>%2</td>")
                                         .arg(QLatin1String(name), modem_state_word(Modem_state(state)));
    }
    // The text is the name, or the reason of a refused port.
    QTest::newRow("hostile name") << int(Modem_state::served) << QString::fromLatin1(hostile_name)
                                  << QStringLiteral("<td>%1</td>").arg(QLatin1String(escaped_name));
    QTest::newRow("reason escaped") << int(Modem_state::port_failed) << QStringLiteral("a<b & \"c\"")
                                    << QStringLiteral("<td>a&lt;b &amp; &quot;c&quot;</td>");
}

void Test_metrics::page()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    Page_modem modem{0x0102030405060702ULL, QString(), 5020, Port_protocol::modbus_tcp, {Modem_state(state), QString()},
                     2, 31, 4, 1700000088};
    (state == int(Modem_state::port_failed) ? modem.status.reason : modem.name) = text;
    const QString page = page_of(modem);
    for (const QString& part :
         {shown, QStringLiteral("<td>2</td><td>31</td><td>4</td><td>12 с назад</td></tr>"),
          QStringLiteral("<b id=\"link\">есть</b>"), QStringLiteral("<td id=\"count0\">1</td>")})
        QVERIFY2(page.contains(part), qPrintable(part + QStringLiteral(" missing in ") + page));
    QVERIFY(!page.contains(QStringLiteral("<script")) && !page.contains(QStringLiteral("a<b")));
}

void Test_metrics::scrape_shows_traffic_modems_and_link()
{
    QVERIFY(start());
    auto b = client_of(port_b);
    qint64 bytes_b = 0;
    for (int i = 0; i < 10; ++i) {
        const QByteArray message = "trip " + QByteArray::number(i);
        b->write(message);
        QVERIFY(read_exactly(*b, message));
        bytes_b += message.size() + 1;
    }
    auto s = client_of(port_s);
    for (const QByteArray& message : {QByteArray("one"), QByteArray("two"), QByteArray("three")}) {
        s->write(message);
        QVERIFY(sim->wait_line(sent_req(eui_s, message)));
    }
    QVERIFY(wait_value(modem_series("frames_to_modem_total", eui_s, port_s), [](double v) { return v == 3; }));

    const QByteArray text = scrape();
    QCOMPARE(value_of(text, modem_series("frames_to_modem_total", eui_b, port_b)), 10.0);
    QCOMPARE(value_of(text, modem_series("answers_to_client_total", eui_b, port_b)), 10.0);
    QCOMPARE(value_of(text, modem_series("bytes_to_modem_total", eui_b, port_b)), double(bytes_b));
    QCOMPARE(value_of(text, modem_series("client_connections_total", eui_b, port_b)), 1.0);
    QVERIFY(value_of(text, modem_series("last_uplink_timestamp_seconds", eui_b, port_b)) >=
            double(QDateTime::currentSecsSinceEpoch() - 600));
    QCOMPARE(value_of(text, modem_series("answers_to_client_total", eui_s, port_s)), 0.0);
    QCOMPARE(value_of(text, modem_series("last_uplink_timestamp_seconds", eui_s, port_s)), 0.0);
    QCOMPARE(value_of(text, modem_series("frames_to_modem_total", eui_c, port_c)), 0.0);
    QCOMPARE(value_of(text, modem_series("answers_after_given_up_total", eui_b, port_b)), 0.0);
    QCOMPARE(value_of(text, modem_series("answers_across_clients_after_given_up_total", eui_b, port_b)), 0.0);
    QVERIFY(std::isnan(value_of(text, modem_series("frames_to_modem_total", eui_d, port_d))));
    QCOMPARE(value_of(text, QStringLiteral("ruvo_bridge_link_state")), 2.0);
    QCOMPARE(value_of(text, QStringLiteral("ruvo_bridge_link_connects_total")), 1.0);
    QCOMPARE(value_of(text, QStringLiteral("ruvo_bridge_link_failures_total")), 0.0);
    // The window's counters: four modems to serve, three of them known to the server, two in use.
    QCOMPARE(value_of(text, QStringLiteral("ruvo_bridge_modems{state=\"configured\"}")), 4.0);
    QCOMPARE(value_of(text, QStringLiteral("ruvo_bridge_modems{state=\"available\"}")), 3.0);
    QCOMPARE(value_of(text, QStringLiteral("ruvo_bridge_modems{state=\"in_use\"}")), 2.0);
    QCOMPARE(value_of(text, QStringLiteral("ruvo_bridge_queue_length")), 0.0);
    // The first device list and every data command were answered.
    QVERIFY(value_of(text, QStringLiteral("ruvo_bridge_server_answer_seconds_count")) >= 14);
    QVERIFY(value_of(text, QStringLiteral("process_cpu_seconds_total")) > 0);
    QCOMPARE(value_of(text, QStringLiteral("ruvo_bridge_build_info{version=\"1.3.5\"}")), 1.0);

    QProcess promtool;
    promtool.start(QStringLiteral("promtool"), {QStringLiteral("check"), QStringLiteral("metrics")});
    promtool.write(text);
    promtool.closeWriteChannel();
    QVERIFY(promtool.waitForFinished(60000));
    const QByteArray problems = promtool.readAllStandardOutput() + promtool.readAllStandardError();
    QVERIFY2(promtool.exitCode() == 0 && problems.isEmpty(), problems.constData());

    // A modem that leaves the server's list loses its series.
    QVERIFY(sim->command(QStringLiteral("modems %1:echo,%2:silent").arg(QLatin1String(eui_b), QLatin1String(eui_s))));
    QVERIFY(wait_value(modem_series("frames_to_modem_total", eui_c, port_c), [](double v) { return std::isnan(v); }));
    QCOMPARE(scraped(QStringLiteral("ruvo_bridge_modems{state=\"available\"}")), 2.0);

    QVERIFY(sim->command(QStringLiteral("abort")));
    QVERIFY(wait_value(QStringLiteral("ruvo_bridge_link_failures_total"), [](double v) { return v >= 1; }));
    QVERIFY(scraped(QStringLiteral("ruvo_bridge_link_state")) < 2);
    QVERIFY(wait_value(QStringLiteral("ruvo_bridge_link_connects_total"), [](double v) { return v >= 2; }));
    QVERIFY(bridge->stop());
}

void Test_metrics::client_errors_by_kind()
{
    QVERIFY(start());
    auto overlong = client_of(port_c);
    overlong->write(QByteArray(max_frame_c + 1, 'x'));
    QVERIFY(wait_value(modem_series("client_errors_total", eui_c, port_c, "overflow"), [](double v) { return v == 1; }));

    // A bad uplink packet is counted, whether or not it broke an answer.
    auto c = client_of(port_c);
    c->write("ok");
    QVERIFY(read_exactly(*c, "ok"));
    QVERIFY(sim->command(QStringLiteral("packets %1 0300").arg(QLatin1String(eui_c))));
    QVERIFY(wait_value(modem_series("client_errors_total", eui_c, port_c, "packet"), [](double v) { return v == 1; }));

    QVERIFY(sim->command(QStringLiteral("fault append_status false")));
    auto refused = client_of(port_b);
    refused->write("no");
    QVERIFY(wait_value(modem_series("client_errors_total", eui_b, port_b, "refused"), [](double v) { return v == 1; }));
    QVERIFY(wait_gone(*refused));

    const QByteArray text = scrape();
    QCOMPARE(value_of(text, modem_series("client_errors_total", eui_b, port_b, "overflow")), 0.0);
    QCOMPARE(value_of(text, modem_series("client_errors_total", eui_c, port_c, "refused")), 0.0);
    QCOMPARE(value_of(text, modem_series("client_errors_total", eui_c, port_c, "read")), 0.0);
    // The refused frame was still sent.
    QCOMPARE(value_of(text, modem_series("frames_to_modem_total", eui_b, port_b)), 1.0);
}

// A client may send overlong messages at will: the log holds the first with the part received and
// a summary a minute, the metrics count every one.
void Test_metrics::overlong_messages_are_counted_all_and_logged_summed_up()
{
    sim.reset(new Sim({QStringLiteral("%1:echo").arg(QLatin1String(eui_c))}));
    QVERIFY(sim->started());
    Bridge_options options;
    options.trace_tcp = "bad_frames";
    options.extra_cfg = "metrics_listen = \"127.0.0.1:" + QByteArray::number(metrics_port) + "\"\n";
    bridge.reset(new Bridge(sim->port, {{eui_c, port_c, max_frame_c}}, options));
    QVERIFY(wait_for([&] { return listening(port_c); }));
    const qint64 log_before = QFileInfo(bridge->path("ruvo_bridge.log")).size();
    const int messages = 10000;
    const QByteArray overlong(max_frame_c + 1, 'x');
    for (int i = 0; i < messages; ++i) {
        QTcpSocket c;
        c.connectToHost(QHostAddress::LocalHost, port_c);
        QVERIFY(c.waitForConnected(process_wait_ms));
        c.write(overlong);
        QVERIFY(c.state() == QAbstractSocket::UnconnectedState || c.waitForDisconnected(process_wait_ms));
    }
    QVERIFY(wait_value(modem_series("client_errors_total", eui_c, port_c, "overflow"),
                       [&](double v) { return v == messages; }));
    const qint64 grown = QFileInfo(bridge->path("ruvo_bridge.log")).size() - log_before;
    QVERIFY2(grown < 20 * 1024, qPrintable(QString::number(grown)));
}

void Test_metrics::busy_metrics_port_is_logged_and_the_bridge_goes_on()
{
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::LocalHost, metrics_port));
    QVERIFY(start());
    const QRegularExpression logged(
        QStringLiteral("^Не удалось открыть порт метрик для Prometheus «127\\.0\\.0\\.1:%1» \\(.*\\)\\. Программа "
                       "работает без метрик и пробует открыть порт снова каждые 5 с\\.$")
            .arg(metrics_port));
    QVERIFY(!bridge->log().filter(logged).isEmpty());
    auto b = client_of(port_b);
    b->write("still served");
    QVERIFY(read_exactly(*b, "still served"));

    // Once the port is free the metrics are served, with what was counted meanwhile.
    squatter.close();
    QVERIFY(bridge->wait_log(QStringLiteral("Метрики для Prometheus доступны по адресу http://127.0.0.1:%1/metrics.")
                                 .arg(metrics_port)));
    QCOMPARE(scraped(modem_series("frames_to_modem_total", eui_b, port_b)), 1.0);
    QVERIFY(bridge->stop());
}

// Six clients sending their request head one byte a second hold no worker: a scrape is answered
// while all of them are still connected, and each is cut off once its head is late.
void Test_metrics::slow_http_clients_do_not_hold_the_scrape()
{
    QVERIFY(start());
    Slow_http_clients slow(metrics_port, 6);
    QVERIFY(wait_for([&] { return slow.each_sent(2); }));
    const QByteArray text = scrape();
    QVERIFY(slow.each_sent(2));
    QCOMPARE(value_of(text, QStringLiteral("ruvo_bridge_link_state")), 2.0);
    QVERIFY(wait_for([&] { return slow.closed >= 6; }));
}

void Test_metrics::endpoint_answers_page_metrics_and_nothing_else()
{
    QVERIFY(start());
    const QByteArray metrics = http_exchange(metrics_port, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY2(metrics.startsWith("HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"), metrics.left(200));
    QVERIFY(metrics.contains("\r\nConnection: close\r\n") && metrics.contains("\nruvo_bridge_link_state 2\n"));
    const QString page = QString::fromUtf8(http_exchange(metrics_port, "GET / HTTP/1.1\r\n\r\n"));
    QVERIFY(page.startsWith(QStringLiteral("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n")));
    QVERIFY(page.contains(QLatin1String(escaped_name)) && page.contains(QStringLiteral("<b id=\"link\">есть</b>")));
    QVERIFY(http_exchange(metrics_port, "GET /favicon.ico HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 404 "));
    QVERIFY(http_exchange(metrics_port, "POST /metrics HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 405 "));
    const QByteArray huge = "GET / HTTP/1.1\r\nX: " + QByteArray(20000, 'a') + "\r\n\r\n";
    QVERIFY(http_exchange(metrics_port, huge).startsWith("HTTP/1.1 431 "));
    QVERIFY(bridge->stop());
}

// Debian's chromium renders the page of the real program: the modem rows with their states side by
// side (S's port taken by another program), the link state and the hostile name as text, not as a
// script.
void Test_metrics::page_in_a_real_browser()
{
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        QSKIP("chromium is not installed");
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::Any, port_s));
    QVERIFY(start());
    auto b = client_of(port_b);
    b->write("answered");
    QVERIFY(read_exactly(*b, "answered"));
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(metrics_port);
    QTemporaryDir profile;
    const QStringList common{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                             QStringLiteral("--disable-gpu"), QStringLiteral("--user-data-dir=") + profile.path()};
    QProcess browser;
    browser.start(chromium, common + QStringList{QStringLiteral("--dump-dom"), url});
    QVERIFY(browser.waitForFinished(60000));
    const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
    QVERIFY2(dom.contains(QStringLiteral("<b id=\"link\">есть</b>")), qPrintable(dom.left(2000)));
    QCOMPARE(dom.count(QStringLiteral("<tr class=")), 4);
    for (const char* eui : {eui_b, eui_c, eui_s, eui_d})
        QVERIFY(dom.contains(QStringLiteral("<td>%1</td>").arg(QLatin1String(eui))));
    QVERIFY(dom.contains(QStringLiteral("<td>%1</td>").arg(QLatin1String(escaped_name))));
    QVERIFY(!dom.contains(QStringLiteral("<script")));
    for (Modem_state state : {Modem_state::served, Modem_state::not_known})
        QVERIFY(dom.contains(QStringLiteral("<td>%1</td>").arg(modem_state_word(state))));
    const Port_failure busy{port_s, QString(), QAbstractSocket::AddressInUseError};
    QVERIFY(dom.contains(QStringLiteral("<td>%1</td>").arg(port_failure_reason(busy))));

    // RUVO_SCREENSHOT_DIR keeps a picture of the page there.
    const QString shots = qEnvironmentVariable("RUVO_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        browser.start(chromium, common + QStringList{QStringLiteral("--window-size=1200,400"),
                                                     QStringLiteral("--screenshot=%1/status_page.png").arg(shots), url});
        QVERIFY(browser.waitForFinished(60000));
    }
    QVERIFY(bridge->stop());
}

void Test_metrics::page_in_english()
{
    QVERIFY(use_language(QStringLiteral("en")));
    const QString page = page_of(Page_modem());
    for (const QString& text : {QStringLiteral("Link with the RUVO-LoRa server:"), QStringLiteral("<td>none</td>"),
                                QStringLiteral("<td>%1</td>").arg(modem_state_word(Modem_state::link_down))})
        QVERIFY2(page.contains(text), qPrintable(text));
    QVERIFY(!has_cyrillic(page));
}

QTEST_MAIN(Test_metrics)
#include "test_metrics.moc"
