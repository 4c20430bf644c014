// The program as an unattended service, run for real against the simulator: descriptor limits,
// connect errors, the reload of the devices file on SIGHUP and the notices to systemd.
#include "tests/bridge_process.h"
#include "app/os_service.h"
#include "common/descriptors.h"
#include "tests/test_util.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

const QString connect_failed = QString::fromUtf8("Не удалось установить соединение с сервером RUVO-LoRa.");

// The datagram socket that systemd would hand the program as NOTIFY_SOCKET.
class Notify_socket {
public:
    Notify_socket() : path(dir.filePath(QStringLiteral("notify")).toUtf8())
    {
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            qWarning() << "cannot bind" << path;
        notifier.reset(new QSocketNotifier(fd, QSocketNotifier::Read));
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] { read(); });
        clock.start();
    }
    ~Notify_socket() { ::close(fd); }

    QString environment() const { return QStringLiteral("NOTIFY_SOCKET=") + QString::fromUtf8(path); }
    int index_of(const QString& prefix, int from = 0) const
    {
        for (int i = from; i < messages.size(); ++i)
            if (messages[i].startsWith(prefix))
                return i;
        return -1;
    }
    bool wait(const QString& prefix, int from = 0)
    {
        if (wait_for([&] { return index_of(prefix, from) >= 0; }))
            return true;
        qWarning() << "no notice" << prefix << messages;
        return false;
    }

    QStringList messages;
    QVector<qint64> arrived_ms;

private:
    void read()
    {
        char buffer[4096];
        ssize_t size;
        while ((size = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            messages << QString::fromUtf8(buffer, static_cast<int>(size));
            arrived_ms << clock.elapsed();
        }
    }

    QTemporaryDir dir;
    QByteArray path;
    int fd;
    std::unique_ptr<QSocketNotifier> notifier;
    QElapsedTimer clock;
};

Bridge_options with_limit(int soft, int hard)
{
    Bridge_options options;
    options.devlist_period = 60000;
    options.trace_tcp = "bad_frames";
    options.launcher = QStringList{QStringLiteral("prlimit"), QStringLiteral("--nofile=%1:%2").arg(soft).arg(hard),
                                   QStringLiteral("--")};
    return options;
}

void send_signal(Bridge& bridge, int signal_number)
{
    ::kill(static_cast<pid_t>(bridge.process.processId()), signal_number);
}

}  // namespace

class Test_service : public QObject {
    Q_OBJECT
private slots:
    void connect_errors_carry_code_and_text_data();
    void connect_errors_carry_code_and_text();
    void descriptor_limit_decides_the_ports_served();
    void sighup_reloads_the_devices_file();
    void sighup_storm_while_the_file_is_rewritten_in_place();
    void sighup_swap_of_two_ports_leaves_both_open();
    void systemd_hears_readiness_state_watchdog_and_stop_data();
    void systemd_hears_readiness_state_watchdog_and_stop();
    void sample_unit_passes_systemd_verification();
    void notices_leave_the_log_its_spare_descriptor();

private:
    bool clients_beyond_the_limit_are_logged(Bridge& bridge, const std::vector<Device>& list, int limit);
    bool round_trip(QTcpSocket& client, const char* data);
    std::unique_ptr<Bridge> serve_echoes(const std::vector<Device>& list);
    std::unique_ptr<Sim> sim;
};

// The simulator with an echo modem for each device and the program serving all of them, without
// device lists of its own meanwhile; null when either did not come up.
std::unique_ptr<Bridge> Test_service::serve_echoes(const std::vector<Device>& list)
{
    sim.reset(new Sim(sim_modems(list, "echo")));
    if (!sim->started())
        return nullptr;
    Bridge_options options;
    options.devlist_period = 60000;
    std::unique_ptr<Bridge> bridge(new Bridge(sim->port, list, options));
    if (!wait_for([&] { return all_listening(list); }))
        return nullptr;
    return bridge;
}

// Clients of further served ports until the program runs out of descriptors: the refused one is
// logged with its port and the limit, even though the log file itself needs a descriptor.
bool Test_service::clients_beyond_the_limit_are_logged(Bridge& bridge, const std::vector<Device>& list, int limit)
{
    const QRegularExpression refused(QStringLiteral("^Не удалось принять соединение клиента на порту TCP (\\d+)\\. .* "
                                                    "предел числа открытых файлов процесса равен %1\\.$").arg(limit));
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    const QSet<quint16> ports = listening_ports();
    for (const Device& d : list) {
        if (d.port == list.front().port || !ports.contains(d.port))
            continue;
        clients.push_back(client_of(d.port));
        if (clients.size() % 16 == 0 && wait_for([&] { return !bridge.log().filter(refused).isEmpty(); }, 500))
            break;
    }
    const QStringList log = bridge.log();
    const QStringList entries = log.filter(refused);
    if (entries.isEmpty()) {
        qWarning() << "no refusal logged after" << clients.size() << "clients; the log ends with" << log.mid(log.size() - 5)
                   << "and the program wrote" << bridge.process.readAllStandardOutput().right(500)
                   << bridge.process.readAllStandardError().right(500);
        return false;
    }
    const quint16 port = static_cast<quint16>(refused.match(entries.first()).captured(1).toUInt());
    return std::any_of(list.begin(), list.end(), [&](const Device& d) { return d.port == port; }) &&
           bridge.process.state() == QProcess::Running;
}

bool Test_service::round_trip(QTcpSocket& client, const char* data)
{
    client.write(data);
    return read_exactly(client, data);
}

void Test_service::connect_errors_carry_code_and_text_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("code");
    QTest::newRow("closed port") << QStringLiteral("ws://127.0.0.1:%1/").arg(free_ports(1).front()) << 0;
    // Labels of the longest length, too long a name in all: refused by the resolver itself,
    // without asking a name server.
    const QString label(63, QLatin1Char('a'));
    QTest::newRow("unresolvable host") << QStringLiteral("ws://%1.%1.%1.%1.invalid/").arg(label) << 2;
}

void Test_service::connect_errors_carry_code_and_text()
{
    QFETCH(QString, url);
    QFETCH(int, code);
    Bridge_options options;
    options.ws_url = url;
    Bridge bridge(0, {}, options);
    const QRegularExpression with_code(QRegularExpression::escape(connect_failed.chopped(1)) +
                                       QStringLiteral("\\. Код ошибки = %1 \\(«.+»\\)\\.$").arg(code));
    // The tries after the first are summed up within the minute.
    QVERIFY(wait_for([&] { return bridge.log().filter(with_code).size() == 1; }));
    const QStringList attempts = bridge.log().filter(connect_failed.chopped(1));
    QCOMPARE(attempts.filter(with_code), attempts);
    QVERIFY(bridge.stop());
}

void Test_service::descriptor_limit_decides_the_ports_served()
{
    const int count = 1500;
    const int hard_low = 1024;
    const std::vector<Device> list = numbered_devices(count);
    sim.reset(new Sim(sim_modems(list, "echo")));
    QVERIFY(sim->started());
    {
        Notify_socket notices;
        Bridge_options options = with_limit(hard_low, hard_low);
        options.devlist_period = 500;
        options.environment << notices.environment();
        Bridge bridge(sim->port, list, options);
        QVERIFY(notices.wait(QStringLiteral("STATUS=Связь с сервером RUVO-LoRa: есть")));
        const int served = hard_low - 64;
        QVERIFY(notices.wait(QStringLiteral("STATUS=Связь с сервером RUVO-LoRa: есть. Устройств в списке: %1, "
                                            "доступно: %2,").arg(count).arg(served)));
        QVERIFY(bridge.logged(QStringLiteral("Предел числа открытых файлов процесса (%1) меньше, чем может "
                                             "понадобиться для %2 устройств из списка (%3: ")
                                  .arg(hard_low).arg(count).arg(2 * count + 64) +
                              QStringLiteral("слушающий сокет и клиент на каждое, и запас для самой программы). "
                                             "Порты будут открыты не более чем для %1 устройств, а клиенты сверх "
                                             "предела не будут приняты. Поднимите предел (LimitNOFILE= в службе "
                                             "systemd, ulimit -n) и перезапустите программу.")
                                  .arg(served)));
        const QSet<quint16> ports = listening_ports();
        QCOMPARE(std::count_if(list.begin(), list.end(), [&](const Device& d) { return ports.contains(d.port); }),
                 served);
        auto client = client_of(list.front().port);
        QVERIFY(round_trip(*client, "served"));
        QVERIFY(clients_beyond_the_limit_are_logged(bridge, list, hard_low));
        client = client_of(list.front().port);
        QVERIFY(round_trip(*client, "served again"));
        // Each refused port is logged once, though every device list tries it again.
        QVERIFY(wait_for([&] { return sim->lines.filter(QStringLiteral("get_device_appdata_req")).size() >= 3; }));
        const QStringList log = bridge.log();
        for (const Device& d : list) {
            if (ports.contains(d.port))
                continue;
            const QString not_served = QStringLiteral("Не удалось создать серверный сокет, слушающий порт TCP %1. "
                                                      "Не хватает дескрипторов файлов: предел числа открытых "
                                                      "файлов процесса равен %2.").arg(d.port).arg(hard_low);
            QVERIFY2(log.count(not_served) == 1, qPrintable(not_served));
        }
        QVERIFY(bridge.stop());
    }
    Bridge bridge(sim->port, list, with_limit(hard_low, 8192));
    QVERIFY(wait_for([&] {
        const QSet<quint16> ports = listening_ports();
        return std::all_of(list.begin(), list.end(), [&](const Device& d) { return ports.contains(d.port); });
    }, 60000));
    QVERIFY(!bridge.log().join('\n').contains(QStringLiteral("Предел числа открытых файлов")));
    auto client = client_of(list.back().port);
    QVERIFY(round_trip(*client, "last of all"));
    QVERIFY(bridge.stop());
}

void Test_service::sighup_reloads_the_devices_file()
{
    const std::vector<Device> list = numbered_devices(3);
    const Device& kept = list[0];
    const Device& removed = list[1];
    const Device& added = list[2];
    sim.reset(new Sim(sim_modems(list, "echo")));
    QVERIFY(sim->started());
    Bridge bridge(sim->port, {kept, removed});
    QVERIFY(wait_for([&] { return listening(kept.port) && listening(removed.port); }));
    auto client = client_of(kept.port);
    QVERIFY(round_trip(*client, "before"));

    bridge.write_devices({kept, added});
    send_signal(bridge, SIGHUP);
    QVERIFY(wait_for([&] { return listening(added.port) && !listening(removed.port); }));
    QVERIFY(bridge.logged(QStringLiteral("Файл со списком устройств «devices.cfg» перечитан: устройств в списке 2.")));
    QVERIFY(round_trip(*client, "after reload"));
    QCOMPARE(bridge.log().filter(QStringLiteral("tcp%1(peer=").arg(kept.port)).filter(QStringLiteral(".accept")).size(), 1);

    write_file(bridge.path("devices.cfg"), "device(eui=0102030405060701, tcp_port=)\n");
    send_signal(bridge, SIGHUP);
    const QString not_reloaded = QStringLiteral("Файл со списком устройств не перечитан, действует прежний список устройств.");
    QVERIFY(wait_for([&] { return bridge.log().join('\n').contains(not_reloaded); }));
    const QStringList log = bridge.log();
    QVERIFY(!log.filter(QRegularExpression(QStringLiteral("^Ошибка в \\d+-м символе 1-й строки файла «devices.cfg»: "))).isEmpty());
    QVERIFY(round_trip(*client, "after a broken file"));
    QVERIFY(listening(added.port));
    QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
    QVERIFY(bridge.stop());
}

// Another process rewrites the devices file in place, line by line, with pauses of every length,
// while the program gets 200 SIGHUPs: no empty or partial file is applied, so the client of the
// last modem is never dropped.
void Test_service::sighup_storm_while_the_file_is_rewritten_in_place()
{
    const std::vector<Device> list = numbered_devices(3);
    const std::unique_ptr<Bridge> serving = serve_echoes(list);
    QVERIFY(serving);
    Bridge& bridge = *serving;
    auto client = client_of(list.back().port);
    QVERIFY(round_trip(*client, "before"));

    const char* rewriter = "import random, sys, time\n"
                           "path = sys.argv[1]\n"
                           "lines = open(path, 'rb').read().splitlines(keepends=True)\n"
                           "while True:\n"
                           "    with open(path, 'r+b') as f:\n"
                           "        f.truncate(0)\n"
                           "        for line in lines:\n"
                           "            f.write(line)\n"
                           "            f.flush()\n"
                           "            time.sleep(random.uniform(0, 0.01))\n"
                           "    time.sleep(random.choice([0, 0, 0.01, 0.05, 0.3]))\n";
    QProcess writer;
    writer.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QLatin1String(rewriter), bridge.path("devices.cfg")});
    const int storm = 100;
    QVERIFY(writer.waitForStarted(5000));
    for (int i = 0; i < storm; ++i) {
        send_signal(bridge, SIGHUP);
        QTest::qWait(20);
    }
    writer.kill();
    writer.waitForFinished(5000);
    const QString reloaded = QStringLiteral("Файл со списком устройств «devices.cfg» перечитан: устройств в списке ");
    const int during_storm = bridge.log().filter(reloaded).size();
    bridge.write_devices(list);
    send_signal(bridge, SIGHUP);
    QVERIFY(wait_for([&] { return bridge.log().filter(reloaded).size() > during_storm; }));

    const QStringList reloads = bridge.log().filter(reloaded);
    qInfo("reloads applied during the storm of %d signals: %d", storm, during_storm);
    QVERIFY2(during_storm >= 1, qPrintable(bridge.log().join('\n').right(2000)));
    QCOMPARE(reloads.filter(reloaded + QStringLiteral("3.")), reloads);
    QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
    QVERIFY(round_trip(*client, "after the storm"));
    QCOMPARE(bridge.log().filter(QStringLiteral("tcp%1(peer=").arg(list.back().port)).filter(QStringLiteral(".accept")).size(), 1);
    QVERIFY(all_listening(list));
    QVERIFY(bridge.stop());
}

// Two modems trade their ports in one reload: both ports are open at once, not one of them only
// after the next device list.
void Test_service::sighup_swap_of_two_ports_leaves_both_open()
{
    const std::vector<Device> list = numbered_devices(2);
    const std::unique_ptr<Bridge> serving = serve_echoes(list);
    QVERIFY(serving);
    Bridge& bridge = *serving;
    std::vector<Device> swapped = list;
    std::swap(swapped[0].port, swapped[1].port);
    bridge.write_devices(swapped);
    send_signal(bridge, SIGHUP);
    QVERIFY(bridge.wait_log(QStringLiteral("Файл со списком устройств «devices.cfg» перечитан: устройств в списке 2.")));
    QVERIFY(wait_for([&] { return all_listening(list); }, 5000));
    for (const Device& d : list) {
        auto client = client_of(d.port);
        QVERIFY(round_trip(*client, "traded"));
    }
    QVERIFY(bridge.log().filter(QStringLiteral("Не удалось создать")).isEmpty());
    QVERIFY(bridge.stop());
}

// The daemon, which the unit starts, and the desktop program, which a service may still run.
void Test_service::systemd_hears_readiness_state_watchdog_and_stop_data()
{
    QTest::addColumn<bool>("daemon");
    QTest::newRow("ruvo_bridged") << true;
    QTest::newRow("ruvo_bridge") << false;
}

void Test_service::systemd_hears_readiness_state_watchdog_and_stop()
{
    QFETCH(bool, daemon);
    const std::vector<Device> list = numbered_devices(1);
    sim.reset(new Sim(sim_modems(list, "echo")));
    QVERIFY(sim->started());
    Notify_socket notices;
    const int watchdog_ms = 400;
    Bridge_options options;
    options.daemon = daemon;
    options.environment << notices.environment() << QStringLiteral("WATCHDOG_USEC=%1").arg(watchdog_ms * 1000);
    Bridge bridge(sim->port, list, options);
    QVERIFY(notices.wait(QStringLiteral("READY=1")));
    QVERIFY(notices.wait(QStringLiteral("STATUS=Связь с сервером RUVO-LoRa: есть. Устройств в списке: 1, доступно: 1, "
                                        "занято клиентами: 0.")));

    const int first = notices.index_of(QStringLiteral("WATCHDOG=1"));
    QVERIFY(wait_for([&] { return notices.messages.count(QStringLiteral("WATCHDOG=1")) >= 11; }));
    const int last = notices.messages.lastIndexOf(QStringLiteral("WATCHDOG=1"));
    const double mean_ms = static_cast<double>(notices.arrived_ms[last] - notices.arrived_ms[first]) /
                           (notices.messages.count(QStringLiteral("WATCHDOG=1")) - 1);
    QVERIFY2(mean_ms >= watchdog_ms / 2 * 0.9 && mean_ms <= watchdog_ms, qPrintable(QString::number(mean_ms)));

    const int before_reload = notices.messages.size();
    send_signal(bridge, SIGHUP);
    QVERIFY(notices.wait(QStringLiteral("RELOADING=1\nMONOTONIC_USEC="), before_reload));
    QVERIFY(notices.wait(QStringLiteral("READY=1"), notices.index_of(QStringLiteral("RELOADING=1"), before_reload)));

    bridge.process.terminate();
    QVERIFY(notices.wait(QStringLiteral("STOPPING=1")));
    QVERIFY(wait_for([&] { return bridge.process.state() == QProcess::NotRunning; }));
    QCOMPARE(bridge.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bridge.process.exitCode(), 0);
    const QStringList ends = bridge.log().filter(QStringLiteral("Программа завершила работу"));
    QCOMPARE(ends.size(), 1);
    QVERIFY2(ends.front().startsWith(QStringLiteral("Программа завершила работу: получен сигнал SIGTERM. Время работы: "
                                                    "0:00:")),
             qPrintable(ends.front()));
}

// The sample unit as shipped, but starting the executable just built, must be clean for systemd.
void Test_service::sample_unit_passes_systemd_verification()
{
    QByteArray unit = read_file(QStringLiteral(RUVO_SOURCE_DIR "/packaging/ruvo-bridge.service"));
    for (const char* line : {"Type=notify\n", "ExecReload=/bin/kill -HUP $MAINPID\n", "LimitNOFILE=65536\n",
                             "RestartPreventExitStatus=1 2 3\n", "ProtectSystem=strict\n"})
        QVERIFY2(unit.contains(line), line);
    QVERIFY(unit.contains("\nWatchdogSec="));
    QVERIFY(unit.contains("\nExecStart=/usr/bin/ruvo_bridged\n"));
    QVERIFY(!unit.contains("QT_QPA_PLATFORM"));
    unit.replace("ExecStart=/usr/bin/ruvo_bridged", "ExecStart=" RUVO_BRIDGED_EXE);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("ruvo-bridge.service"));
    write_file(file, unit);
    QProcess verify;
    verify.start(QStringLiteral("systemd-analyze"), {QStringLiteral("verify"), file});
    QVERIFY(verify.waitForFinished(60000));
    const QByteArray complaints = verify.readAllStandardError();
    QVERIFY2(complaints.isEmpty(), complaints.constData());
    QCOMPARE(verify.exitCode(), 0);
}

// Once the descriptors have run out, the entry saying so is written through the spare
// descriptor's place; a notice to systemd sent from another thread meanwhile (one for every
// change of the client count) opens a socket, and must not take that place first.
void Test_service::notices_leave_the_log_its_spare_descriptor()
{
    Temp_log log_file;
    QTemporaryDir dir;
    // Nobody listens there: every notice still opens and closes a socket.
    qputenv("NOTIFY_SOCKET", dir.filePath(QStringLiteral("none")).toUtf8());
    keep_spare_descriptor();
    log(QStringLiteral("before"));
    rlimit old_limit{};
    getrlimit(RLIMIT_NOFILE, &old_limit);
    rlimit limit = old_limit;
    limit.rlim_cur = static_cast<rlim_t>(QDir(QStringLiteral("/proc/self/fd")).count() + 16);
    setrlimit(RLIMIT_NOFILE, &limit);
    std::vector<int> taken;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        taken.push_back(fd);
    std::atomic<bool> stop{false};
    std::thread notices([&] {
        while (!stop)
            notify_status(QStringLiteral("x"));
    });
    const int count = 2000;
    for (int i = 0; i < count; ++i)
        log(QString::number(i));
    stop = true;
    notices.join();
    for (int fd : taken)
        ::close(fd);
    setrlimit(RLIMIT_NOFILE, &old_limit);
    qunsetenv("NOTIFY_SOCKET");
    const QList<QByteArray> written = log_file.text().split('\n');
    QCOMPARE(std::count_if(written.begin(), written.end(), [](const QByteArray& line) { return line.startsWith('['); }),
             count + 1);
}

QTEST_MAIN(Test_service)
#include "test_service.moc"
