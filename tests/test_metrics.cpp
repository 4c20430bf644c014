// Tests of the Prometheus metrics: the real program against the simulated server, scraped over
// HTTP on loopback, its output checked by promtool; a port that cannot be bound.
#include "tests/bridge_process.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QFileInfo>
#include <QtTest>
#include <cmath>

namespace {

// Echo modems B and C, the silent modem S; D is configured but unknown to the server.
const char eui_b[] = "0102030405060702";
const char eui_c[] = "0102030405060703";
const char eui_s[] = "0102030405060704";
const char eui_d[] = "0102030405060705";
const int max_frame_c = 10;

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

}  // namespace

class Test_metrics : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void scrape_shows_traffic_modems_and_link();
    void client_errors_by_kind();
    void overlong_messages_are_counted_all_and_logged_summed_up();
    void busy_metrics_port_is_logged_and_the_bridge_goes_on();
    void slow_http_clients_do_not_hold_the_scrape();

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
    sim.reset(new Sim({QStringLiteral("%1:echo").arg(QLatin1String(eui_b)), QStringLiteral("%1:echo").arg(QLatin1String(eui_c)),
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

void Test_metrics::slow_http_clients_do_not_hold_the_scrape()
{
    QVERIFY(start());
    // Three clients that begin a request and never end it.
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < 3; ++i) {
        slow.push_back(client_of(metrics_port));
        slow.back()->write("GET /metrics HTTP/1.1\r\nHo");
        QVERIFY(slow.back()->waitForBytesWritten(process_wait_ms));
    }
    QElapsedTimer timer;
    timer.start();
    const QByteArray text = scrape();
    qInfo("scrape beside three slow clients: %lld ms", static_cast<long long>(timer.elapsed()));
    QCOMPARE(value_of(text, QStringLiteral("ruvo_bridge_link_state")), 2.0);
    // The scrape did not wait for them: they are all still held.
    for (const auto& c : slow)
        QCOMPARE(c->state(), QAbstractSocket::ConnectedState);
    // A request that does not arrive in time is given up.
    for (const auto& c : slow)
        QVERIFY(wait_gone(*c));
}

QTEST_MAIN(Test_metrics)
#include "test_metrics.moc"
