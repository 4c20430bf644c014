// Tests of the limits on one client socket: the keepalive times, a client that never reads (the
// program's memory, a replaced socket, the orderly exit) and a client whose network went away
// without a word (in a network namespace of its own), with the real program and the simulator.
#include "tcp/client_socket_guard.h"
#include "tests/bridge_process.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char echo_eui[] = "0102030405060701";

// A client with a small receive buffer that never reads: a plain socket, as Qt would read.
class Deaf_client {
public:
    explicit Deaf_client(quint16 port)
    {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Deaf_client() { ::close(fd); }

    bool send(const QByteArray& bytes) const
    {
        return ::send(fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }
    // True while the program keeps its end of the connection open.
    bool open() const
    {
        tcp_info info{};
        socklen_t size = sizeof info;
        return getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 && info.tcpi_state == 1;  // ESTABLISHED
    }

    int fd = -1;
    bool connected = false;
};

// Runs the ip command; true when it ends with code 0.
bool ip(const QString& args)
{
    QProcess p;
    p.start(QStringLiteral("ip"), args.split(QLatin1Char(' ')));
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

class Test_client_guard : public QObject {
    Q_OBJECT
private slots:
    void keepalive_times_data();
    void keepalive_times();
    void client_that_never_reads_costs_no_memory_and_holds_nothing();
    void vanished_client_is_closed_by_keepalive();

private:
    // One echo modem whose answers are as long as its messages, served by the program.
    bool start(const Bridge_options& options);
    // A message of size bytes, told from others by its number n.
    QByteArray message(int size, int n) const { return QByteArray(size - 8, 'm') + QByteArray::number(10000000 + n); }

    std::unique_ptr<Sim> sim;
    std::unique_ptr<Bridge> bridge;
    quint16 port = 0;
};

void Test_client_guard::keepalive_times_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QList<int>>("idle_interval_probes_user_timeout_ms");
    QTest::newRow("off") << 0 << QList<int>{0, 0, 0, 0};
    QTest::newRow("default two minutes") << 120 << QList<int>{60, 20, 3, 120000};
    QTest::newRow("odd seconds round down") << 7 << QList<int>{3, 1, 3, 6000};
    QTest::newRow("shortest still probes") << 1 << QList<int>{1, 1, 3, 4000};
    QTest::newRow("a day") << 86400 << QList<int>{43200, 14400, 3, 86400000};
}

void Test_client_guard::keepalive_times()
{
    QFETCH(int, seconds);
    const Keepalive_times t = ::keepalive_times(seconds);
    QTEST((QList<int>{t.idle_s, t.interval_s, t.probes, t.user_timeout_ms}), "idle_interval_probes_user_timeout_ms");
}

bool Test_client_guard::start(const Bridge_options& options)
{
    port = free_ports(1).front();
    sim.reset(new Sim({QStringLiteral("%1:echo").arg(QLatin1String(echo_eui))},
                      {QStringLiteral("--packet-size"), QStringLiteral("255")}));
    if (!sim->started())
        return false;
    bridge.reset(new Bridge(sim->port, {{QLatin1String(echo_eui), port, 9999}}, options));
    return wait_for([&] { return listening(port); });
}

// A client floods its port with long messages and never reads the echoes; dropped, it comes back.
// The program's memory stays flat, a replaced client's undrained socket is cut off within the
// grace, and SIGTERM ends the program in order although a client never reads.
void Test_client_guard::client_that_never_reads_costs_no_memory_and_holds_nothing()
{
    Bridge_options options;
    options.trace_tcp = "bad_frames";
    // A message ends well within the flood's pace.
    options.interframe_delay = 2;
    QVERIFY(start(options));
    const qint64 pid = bridge->process.processId();
    // The next message goes once a frame went to the modem: should that frame be only the first
    // part of a message, the rest and the next message still fit the frame limit.
    const int size = 4000;
    const QString dropped =
        QStringLiteral("Клиент на порту %1 не читает ответы: их непереданный остаток превысил %2 байтов. Соединение "
                       "с клиентом разорвано.")
            .arg(port)
            .arg(unsent_answers_limit * 65535);

    // What the simulator hears: frames forwarded to the modem, answer packets sent back.
    int forwarded = 0;
    int packets = 0;
    sim->on_line = [&](const QString& line) {
        forwarded += line.contains(QLatin1String("send_data_req"));
        packets += line.contains(QLatin1String("\"cmd\":\"rx\""));
    };
    // The simulator outlives this function and its counters.
    const auto unhook = qScopeGuard([this] { sim->on_line = nullptr; });
    const int packets_per_answer = (size + 254) / 255;
    // One message at a time, once the one before went to the modem.
    const auto feed = [&](Deaf_client& client, int n) {
        const int before = forwarded;
        return client.send(message(size, n)) && wait_for([&] { return forwarded > before || !client.open(); });
    };

    // A first deaf client is replaced while answers wait for it.
    std::unique_ptr<Deaf_client> deaf(new Deaf_client(port));
    QVERIFY(deaf->connected);
    int n = 0;
    for (; n < 25; ++n)
        QVERIFY(feed(*deaf, n));
    QVERIFY(wait_for([&] { return packets >= n * packets_per_answer; }));
    QVERIFY(deaf->open());
    Deaf_client replacing(port);
    QElapsedTimer clock;
    clock.start();
    const bool cut_off = wait_for([&] { return !deaf->open(); }, close_grace_ms + 3000);
    if (!cut_off)
        std::system(qPrintable(QStringLiteral("ss -tnpoi 'sport = :%1 or dport = :%1' >&2").arg(port)));
    QVERIFY(cut_off);
    qInfo("a replaced client with unsent answers was cut off after %lld ms (grace %d ms)", clock.elapsed(),
          close_grace_ms);

    // Flooding until the kernel's buffers are full and the unread answers pass the limit: the deaf
    // client is dropped and comes back.
    const long rss_start = proc_status_kb(QString::number(pid), "VmRSS");
    int drops = 0;
    clock.restart();
    while (drops < 2 && clock.elapsed() < 30000) {
        if (!deaf->open()) {
            deaf.reset(new Deaf_client(port));
            ++drops;
        }
        feed(*deaf, n++);
    }
    const long rss_end = proc_status_kb(QString::number(pid), "VmRSS");
    qInfo("RSS under a never-reading flood: %ld kB at its start, %ld kB after %lld ms and %d kB of answers; the "
          "client was dropped %d times",
          rss_start, rss_end, clock.elapsed(), n * size / 1024, drops);
    QVERIFY2(bridge->logged(dropped), qPrintable(bridge->log().filter(QStringLiteral("Ошибка")).join(QLatin1Char('\n')).left(2000)));
    QVERIFY(drops > 1);
    // Well below the answers a leak of each would keep (AddressSanitizer's allocator grows regardless).
    QVERIFY(RUVO_ASAN || rss_end - rss_start < 2048);

    // The deaf client that came back has more answers than its buffer holds; the program ends anyway.
    const int before = packets;
    for (int more = 0; more < 3; ++more)
        QVERIFY(feed(*deaf, n++));
    QVERIFY(wait_for([&] { return packets >= before + 3 * packets_per_answer; }));
    QVERIFY(deaf->open());
    clock.restart();
    bridge->process.terminate();
    QVERIFY(bridge->process.waitForFinished(5000));
    qInfo("SIGTERM with a never-reading client: ended after %lld ms", clock.elapsed());
    QCOMPARE(bridge->process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bridge->process.exitCode(), 0);
}

// A client in a network namespace of its own loses its link without a word; keepalive finds it.
void Test_client_guard::vanished_client_is_closed_by_keepalive()
{
    const QString ns = QStringLiteral("ruvo_ka%1").arg(getpid());
    const QString near = QStringLiteral("rka%1a").arg(getpid() % 100000);
    const QString far = QStringLiteral("rka%1b").arg(getpid() % 100000);
    const QString net = QStringLiteral("10.213.%1.").arg(getpid() % 250);
    if (geteuid() != 0 || !ip(QStringLiteral("netns add ") + ns))
        QSKIP("network namespaces are not available here (root and ip netns are needed)");
    struct Cleanup {
        QString ns, near;
        ~Cleanup()
        {
            ip(QStringLiteral("link del ") + near);
            ip(QStringLiteral("netns del ") + ns);
        }
    } cleanup{ns, near};
    for (const QString& command : {QStringLiteral("link add %1 type veth peer name %2").arg(near, far),
                                   QStringLiteral("link set %1 netns %2").arg(far, ns),
                                   QStringLiteral("addr add %1/30 dev %2").arg(net + QLatin1Char('1'), near),
                                   QStringLiteral("link set %1 up").arg(near),
                                   QStringLiteral("-n %1 addr add %2/30 dev %3").arg(ns, net + QLatin1Char('2'), far),
                                   QStringLiteral("-n %1 link set %2 up").arg(ns, far)})
        QVERIFY2(ip(command), qPrintable(command));

    const quint16 metrics_port = free_ports(1).front();
    Bridge_options options;
    options.extra_cfg = "tcp_keepalive = 1\nmetrics_listen = \"127.0.0.1:" + QByteArray::number(metrics_port) + "\"\n";
    QVERIFY(start(options));
    const auto in_use = [&] {
        return metric_value(scrape_metrics(metrics_port), "ruvo_bridge_modems{state=\"in_use\"}");
    };

    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(QStringLiteral("ip"),
                 {QStringLiteral("netns"), QStringLiteral("exec"), ns, QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"),
                  QStringLiteral("import socket, sys, time\n"
                                 "s = socket.create_connection(('%1', %2))\n"
                                 "print('connected', flush=True)\n"
                                 "time.sleep(600)\n")
                      .arg(net + QLatin1Char('1'))
                      .arg(port)});
    QVERIFY(wait_for([&] { return client.readAllStandardOutput().contains("connected") || client.state() == QProcess::NotRunning; }));
    QVERIFY(wait_for([&] { return in_use() == 1; }));

    QVERIFY(ip(QStringLiteral("-n %1 link set %2 down").arg(ns, far)));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(wait_for([&] { return in_use() == 0; }));
    qInfo("a client whose link went down was closed %lld ms later (tcp_keepalive = 1 s)", clock.elapsed());
    const QStringList closed = bridge->log().filter(QStringLiteral("Соединение с клиентом на порту %1 (").arg(port));
    QCOMPARE(closed.size(), 1);
    QVERIFY2(closed.first().contains(net + QLatin1Char('2')), qPrintable(closed.first()));
    client.kill();
    client.waitForFinished(5000);
}

QTEST_MAIN(Test_client_guard)
#include "test_client_guard.moc"
