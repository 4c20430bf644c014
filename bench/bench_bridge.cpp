// Benchmark of the bridge as a whole, the real program against the simulated server on loopback:
// round trips of one and of 100 clients, a Modbus read through a raw and a Modbus TCP port, the
// queue's throughput (also with metrics on and off), 1,000 modems at once, the memory a configured
// modem costs among 10,000, a burst of clients against a distant server with and without
// batching, and the exchange thread's cost per frame on Qt's event dispatcher and on the epoll
// one, with socat as the floor.
#include "tests/bridge_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <cstdio>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int interframe_delay = 15;
const QByteArray message(20, 'm');

// One request of a round trip, the size of its answer, and the pause the port waits for before
// it sends the request on (not counted as overhead).
struct Trip {
    QByteArray request;
    int answer_size;
    int pause_ms;
};

const Trip echo_trip{message, static_cast<int>(message.size()), interframe_delay};
// Read 10 holding registers from 0 of slave 1: as an RTU frame, and as a Modbus TCP request.
const Trip rtu_read_trip{QByteArray::fromHex("01030000000ac5cd"), 25, interframe_delay};
const Trip mbap_read_trip{QByteArray::fromHex("00010000000601030000000a"), 29, 0};

// As in service: no traffic traced, no periodic device list during the measurement.
Bridge_options quiet_options()
{
    Bridge_options o;
    o.interframe_delay = interframe_delay;
    o.devlist_period = 60000;
    o.trace_tcp = "bad_frames";
    return o;
}

// The simulator and the program with every listed modem reported and served.
struct Setup {
    Setup(const std::vector<Device>& list, const char* kind, const Bridge_options& options = quiet_options(),
          const QStringList& sim_options = {})
        : sim(sim_modems(list, kind), sim_options)
    {
        if (!sim.started())
            return;
        bridge.reset(new Bridge(sim.port, list, options));
        ready = wait_for([&] { return all_listening(list); }, 60000);
        if (!ready)
            std::printf("the program did not listen on every port\n");
    }
    ~Setup()
    {
        if (bridge && !bridge->stop())
            std::printf("  the program did not end with exit code 0\n");
    }

    Sim sim;
    std::unique_ptr<Bridge> bridge;
    bool ready = false;
};

// Runs the event loop for real: the waiting helpers of QtTest nap between their rounds, which
// would show up in every figure.
void run_loop(int ms, const std::function<void(QEventLoop&)>& start)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    start(loop);
    loop.exec();
}

double percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const size_t i = std::min(samples.size() - 1, static_cast<size_t>(fraction * static_cast<double>(samples.size())));
    return samples[i];
}

// Processor time used by a process so far, in milliseconds: the sum of its threads' run times,
// which the kernel counts in nanoseconds rather than in clock ticks.
double cpu_ms(qint64 pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    qint64 ns = 0;
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        ns += read_file(tasks + QLatin1Char('/') + task + QStringLiteral("/schedstat")).split(' ').first().toLongLong();
    return static_cast<double>(ns) / 1e6;
}

// One client doing round trips: the next one after a random pause of up to max_pause_ms (0: at
// once) once the previous answer is back.
class Round_trips {
public:
    Round_trips(quint16 port, const Trip& trip, int count, int max_pause_ms, std::vector<double>& samples,
                std::function<void()> done)
        : trip(trip), left(count + warm_up), max_pause_ms(max_pause_ms), samples(samples), done(std::move(done))
    {
        pause.setSingleShot(true);
        QObject::connect(&pause, &QTimer::timeout, [this] { send(); });
        QObject::connect(&socket, &QTcpSocket::connected, [this] { next(); });
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { on_ready_read(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }

    // Trips before the measured ones.
    static const int warm_up = 5;

private:

    void next()
    {
        if (max_pause_ms)
            pause.start(QRandomGenerator::global()->bounded(max_pause_ms));
        else
            send();
    }

    void send()
    {
        got = 0;
        clock.start();
        socket.write(trip.request);
    }

    void on_ready_read()
    {
        got += static_cast<int>(socket.readAll().size());
        if (got < trip.answer_size)
            return;
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (++trips > warm_up)
            samples.push_back(ms - trip.pause_ms);
        if (--left > 0)
            next();
        else
            done();
    }

    const Trip trip;
    QTcpSocket socket;
    QTimer pause;
    QElapsedTimer clock;
    int got = 0;
    int trips = 0;
    int left;
    int max_pause_ms;
    std::vector<double>& samples;
    std::function<void()> done;
};

// The overheads of the round trips of as many clients as echo modems, all at once; the count of
// clients left unfinished goes to unfinished. Empty when the set-up failed.
std::vector<double> round_trip_overheads(int clients, int trips, int max_pause_ms, const Bridge_options& options,
                                         int& unfinished)
{
    const std::vector<Device> list = numbered_devices(clients);
    Setup setup(list, "echo", options);
    unfinished = clients;
    std::vector<double> samples;
    if (!setup.ready)
        return samples;
    std::vector<std::unique_ptr<Round_trips>> all;
    run_loop(600000, [&](QEventLoop& loop) {
        for (const Device& d : list)
            all.emplace_back(new Round_trips(d.port, echo_trip, trips, max_pause_ms, samples, [&] {
                if (--unfinished == 0)
                    loop.quit();
            }));
    });
    return samples;
}

void round_trip(int clients, int trips, int max_pause_ms)
{
    int running = 0;
    const std::vector<double> samples = round_trip_overheads(clients, trips, max_pause_ms, quiet_options(), running);
    if (samples.empty())
        return;
    const double median = percentile(samples, 0.5);
    const double p99 = percentile(samples, 0.99);
    std::printf("round trip, %d client(s) on as many echo modems, %s, %zu trips%s:\n", clients,
                max_pause_ms ? qPrintable(QStringLiteral("a random pause of up to %1 ms between trips").arg(max_pause_ms))
                             : "each trip as soon as the previous one is back",
                samples.size(), running ? " (unfinished)" : "");
    std::printf("  overhead (round trip - interframe_delay %d ms): median %.2f ms (goal <= 2) %s, p99 %.2f ms (goal <= 10) %s\n",
                interframe_delay, median, median <= 2 ? "ok" : "MISSED", p99, p99 <= 10 ? "ok" : "MISSED");
}

// The overheads of one client's round trips through one port, one trip after the other.
std::vector<double> overheads(quint16 port, const Trip& trip, int trips)
{
    std::vector<double> samples;
    std::unique_ptr<Round_trips> client;
    run_loop(600000, [&](QEventLoop& loop) {
        client.reset(new Round_trips(port, trip, trips, 0, samples, [&] { loop.quit(); }));
    });
    return samples;
}

// What masters polling one Modbus TCP port together cost per request: the program's processor
// time and the wall time.
struct Poll_cost {
    double cpu_us;
    double wall_ms;
};

Poll_cost masters_cost(qint64 pid, quint16 port, int masters, int trips)
{
    std::vector<double> samples;
    std::vector<std::unique_ptr<Round_trips>> all;
    int running = masters;
    const double cpu_from = cpu_ms(pid);
    QElapsedTimer clock;
    clock.start();
    run_loop(600000, [&](QEventLoop& loop) {
        for (int m = 0; m < masters; ++m)
            all.emplace_back(new Round_trips(port, mbap_read_trip, trips, 0, samples, [&] {
                if (--running == 0)
                    loop.quit();
            }));
    });
    const double requests = static_cast<double>(samples.size() + static_cast<size_t>(masters * Round_trips::warm_up));
    return {(cpu_ms(pid) - cpu_from) * 1000.0 / requests, static_cast<double>(clock.elapsed()) / requests};
}

// The same Modbus read through a raw port (RTU over TCP, cut by the pause) and through a Modbus
// TCP port (cut by the MBAP length), each to its own Modbus slave, in one run; then one and two
// masters on the Modbus TCP port.
void modbus_round_trip(int trips)
{
    std::vector<Device> list = numbered_devices(2);
    list[1].protocol = "modbus_tcp";
    Setup setup(list, "modbus");
    if (!setup.ready)
        return;
    const double raw = percentile(overheads(list[0].port, rtu_read_trip, trips), 0.5);
    const double mbap = percentile(overheads(list[1].port, mbap_read_trip, trips), 0.5);
    std::printf("Modbus read of 10 holding registers, simulator radio delay 0, %d trips per port:\n", trips);
    std::printf("  raw port (RTU over TCP): median round trip %.2f ms, overhead (- interframe_delay %d ms) %.2f ms\n",
                raw + interframe_delay, interframe_delay, raw);
    std::printf("  modbus_tcp port: median round trip %.2f ms, overhead (no pause) %.2f ms (goal <= 1) %s\n", mbap,
                mbap, mbap <= 1 ? "ok" : "MISSED");
    const qint64 pid = setup.bridge->process.processId();
    Poll_cost one[2];
    Poll_cost two[2];
    // In turns, so that a change of the machine's load falls on both.
    for (int round = 0; round < 2; ++round) {
        one[round] = masters_cost(pid, list[1].port, 1, trips);
        two[round] = masters_cost(pid, list[1].port, 2, trips / 2);
    }
    const Poll_cost single{(one[0].cpu_us + one[1].cpu_us) / 2, (one[0].wall_ms + one[1].wall_ms) / 2};
    const Poll_cost pair{(two[0].cpu_us + two[1].cpu_us) / 2, (two[0].wall_ms + two[1].wall_ms) / 2};
    std::printf("  one master on the modbus_tcp port: %.1f us processor time, %.2f ms wall time per request\n",
                single.cpu_us, single.wall_ms);
    // Within a tenth: the figures of two runs differ by a few percent on an idle machine.
    const bool no_more = pair.cpu_us <= single.cpu_us * 1.1 && pair.wall_ms <= single.wall_ms * 1.1;
    std::printf("  two masters together: %.1f us processor time, %.2f ms wall time per request "
                "(goal: no more than one master's) %s\n",
                pair.cpu_us, pair.wall_ms, no_more ? "ok" : "MISSED");
}

// One client writing a message, then again a period after each write; the pause always exceeds
// interframe_delay, so every write is one frame.
class Sender {
public:
    Sender(quint16 port, int period_ms, int& written) : written(written)
    {
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(period_ms);
        QObject::connect(&timer, &QTimer::timeout, [this] { send(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    bool connected() const { return socket.state() == QAbstractSocket::ConnectedState; }
    void start(int after_ms)
    {
        QTimer::singleShot(after_ms, &timer, [this] { send(); });
    }
    void stop()
    {
        stopped = true;
        timer.stop();
    }

private:
    void send()
    {
        if (stopped || !connected())
            return;
        socket.write(message);
        ++written;
        timer.start();
    }

    QTcpSocket socket;
    QTimer timer;
    int& written;
    bool stopped = false;
};

// The frames the simulator receives in data commands and accepts, with the time of every
// acceptance; a command carries several when ws_batch_max allows.
struct Frame_count {
    explicit Frame_count(Sim& sim)
    {
        clock.start();
        sim.on_line = [this](const QString& line) {
            static const QRegularExpression data(QStringLiteral("\"data\":\"04([0-9a-f]*)\""));
            if (line.startsWith(QLatin1String("recv {\"cmd\":\"send_data_req\""))) {
                for (auto i = data.globalMatch(line); i.hasNext();) {
                    ++frames;
                    bytes += i.next().capturedLength(1) / 2;
                }
            } else if (line.startsWith(QLatin1String("sent {\"append_status\""))) {
                for (int n = line.count(QLatin1String("devEui")); n > 0; --n)
                    accepted.push_back(clock.nsecsElapsed());
            }
        };
    }
    double rate(qint64 from_ns, qint64 to_ns) const
    {
        const auto n = std::count_if(accepted.begin(), accepted.end(), [&](qint64 t) { return t >= from_ns && t < to_ns; });
        return static_cast<double>(n) / (static_cast<double>(to_ns - from_ns) / 1e9);
    }

    QElapsedTimer clock;
    std::vector<qint64> accepted;
    int frames = 0;
    qint64 bytes = 0;
};

// Scrapes the metrics endpoint once a second, far more often than Prometheus would.
class Scraper {
public:
    explicit Scraper(const QString& listen) : url(QStringLiteral("http://%1/metrics").arg(listen))
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QNetworkReply* reply = manager.get(QNetworkRequest(url));
            QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] {
                if (reply->error() == QNetworkReply::NoError && !reply->readAll().isEmpty())
                    ++scrapes;
                reply->deleteLater();
            });
        });
        timer.start(1000);
    }

    int scrapes = 0;

private:
    QUrl url;
    QNetworkAccessManager manager;
    QTimer timer;
};

// What a run of senders cost: the frames per second the server accepted, the program's processor
// time per frame, and whether everything written was carried in the end.
struct Carried {
    double rate = 0;
    double us_per_frame = 0;
    int written = 0;
    int frames = 0;
    bool drained = false;
};

// The first `clients` modems of the list get a client that keeps sending without waiting for
// anything; the modems are silent, so what the simulator accepts is what the queue puts through.
// The first second is not counted. Nothing when the set-up failed.
std::optional<Carried> carry(const std::vector<Device>& list, int clients, int period_ms, int seconds,
                             const Bridge_options& options)
{
    Setup setup(list, "silent", options);
    if (!setup.ready)
        return std::nullopt;
    int written = 0;
    std::vector<std::unique_ptr<Sender>> senders;
    for (int i = 0; i < clients; ++i)
        senders.emplace_back(new Sender(list[static_cast<size_t>(i)].port, period_ms, written));
    if (!wait_for([&] { return std::all_of(senders.begin(), senders.end(), [](const std::unique_ptr<Sender>& s) { return s->connected(); }); })) {
        std::printf("the clients could not connect\n");
        return std::nullopt;
    }
    Frame_count count(setup.sim);
    const qint64 pid = setup.bridge->process.processId();
    double cpu_from = 0;
    const qint64 from_ns = 1000000000LL;
    const qint64 to_ns = static_cast<qint64>(seconds) * 1000000000LL;
    run_loop(seconds * 1000, [&](QEventLoop&) {
        for (size_t i = 0; i < senders.size(); ++i)
            senders[i]->start(static_cast<int>(i) * period_ms / clients);
        QTimer::singleShot(1000, [&] { cpu_from = cpu_ms(pid); });
    });
    const double cpu = cpu_ms(pid) - cpu_from;
    for (auto& s : senders)
        s->stop();
    Carried c;
    c.rate = count.rate(from_ns, to_ns);
    // Every byte written reaches the server and every command is answered.
    c.drained = wait_for([&] {
        return count.bytes == static_cast<qint64>(written) * message.size() &&
               static_cast<int>(count.accepted.size()) == count.frames;
    }, 60000);
    c.written = written;
    c.frames = count.frames;
    c.us_per_frame = c.rate > 0 ? cpu * 1000.0 / (c.rate * static_cast<double>(to_ns - from_ns) / 1e9) : 0.0;
    return c;
}

// The queue's throughput, the clients each on a modem of their own; returns the program's
// processor time per frame in microseconds, 0 when nothing was measured. With an address,
// metrics are served there and scraped.
double throughput(int clients, int period_ms, int seconds, const QString& metrics_listen = QString())
{
    Bridge_options options = quiet_options();
    if (!metrics_listen.isEmpty())
        options.extra_cfg = "metrics_listen = \"" + metrics_listen.toUtf8() + "\"\n";
    // Made before the program starts, scraping from its first second.
    std::unique_ptr<Scraper> scraper(metrics_listen.isEmpty() ? nullptr : new Scraper(metrics_listen));
    const std::optional<Carried> c = carry(numbered_devices(clients), clients, period_ms, seconds, options);
    if (!c)
        return 0;
    std::printf("throughput of the queue, %d clients each writing a message every %d ms (up to %d frames/s):\n", clients,
                period_ms, clients * 1000 / period_ms);
    std::printf("  %.0f frames/s accepted by the server (goal >= 3000) %s\n", c->rate, c->rate >= 3000 ? "ok" : "MISSED");
    std::printf("  %d messages written, %d frames sent, %s\n", c->written, c->frames,
                c->drained ? "all answered" : "not all answered within a minute");
    std::printf("  processor time of the program: %.1f us per frame%s\n", c->us_per_frame,
                scraper ? qPrintable(QStringLiteral(", metrics on, %1 scrapes").arg(scraper->scrapes)) : "");
    return c->us_per_frame;
}

// The queue's throughput with metrics off and on, in turns, so that the load of the machine
// weighs on both alike; the medians are compared.
void throughput_metrics(int rounds)
{
    std::vector<double> off_us, on_us;
    // Odd rounds run with metrics first, so that neither mode always follows the other.
    for (int i = 0; i < rounds; ++i)
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn + i) % 2 == 0) {
                off_us.push_back(throughput(100, 20, 6));
                continue;
            }
            on_us.push_back(throughput(100, 20, 6, QStringLiteral("127.0.0.1:%1").arg(free_ports(1).front())));
        }
    const double off = percentile(off_us, 0.5);
    const double with = percentile(on_us, 0.5);
    const double rise = off > 0 ? (with - off) / off * 100.0 : 0.0;
    std::printf("metrics, %d rounds: processor time per frame, median %.1f us off, %.1f us on: %+.1f%% (goal <= +5%%) %s\n",
                rounds, off, with, rise, off > 0 && rise <= 5 ? "ok" : "MISSED");
}

void scale(int count)
{
    const std::vector<Device> list = numbered_devices(count);
    Sim sim(sim_modems(list, "silent"));
    if (!sim.started()) {
        std::printf("scale: the simulator did not start\n");
        return;
    }
    QElapsedTimer since_list;
    sim.on_line = [&](const QString& line) {
        if (!since_list.isValid() && line.startsWith(QLatin1String("sent {\"cmd\":\"get_device_appdata_resp\"")))
            since_list.start();
    };
    Bridge bridge(sim.port, list, quiet_options());
    bool all = false;
    QElapsedTimer limit;
    limit.start();
    while (!all && limit.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        all = since_list.isValid() && all_listening(list);
        if (!all)
            QThread::msleep(1);
    }
    const double ms = static_cast<double>(since_list.nsecsElapsed()) / 1e6;
    const qint64 rss = proc_status_kb(QString::number(bridge.process.processId()), "VmRSS");
    std::printf("scale, %d configured modems all reported:\n", count);
    if (all)
        std::printf("  from the device list to %d ports listening: %.1f ms (goal <= 500) %s\n", count, ms,
                    ms <= 500 ? "ok" : "MISSED");
    else
        std::printf("  the ports were not all listening within a minute\n");
    std::printf("  resident memory of the program: %.1f MB (goal <= 200) %s\n", static_cast<double>(rss) / 1024.0,
                rss >= 0 && rss <= 200 * 1024 ? "ok" : "MISSED");
    if (!bridge.stop())
        std::printf("  the program did not end with exit code 0\n");
}

// The program's resident memory, in kilobytes, once every listed modem's port listens and the
// figure has settled; -1 when the ports did not all open.
qint64 settled_rss_kb(const std::vector<Device>& list)
{
    Setup setup(list, "silent");
    if (!setup.ready)
        return -1;
    const QString pid = QString::number(setup.bridge->process.processId());
    qint64 rss = proc_status_kb(pid, "VmRSS");
    for (qint64 before = -1; rss != before;) {
        QThread::msleep(500);
        before = rss;
        rss = proc_status_kb(pid, "VmRSS");
    }
    return rss;
}

// What one configured modem costs: the resident memory with count modems served beyond that with
// one, shared out among the others.
void memory_per_modem(int count)
{
    // The layout before ports allocated their parts on first use.
    const double before_kb = 4.0;
    const qint64 one = settled_rss_kb(numbered_devices(1));
    const qint64 many = settled_rss_kb(numbered_devices(count));
    std::printf("memory, %d configured modems served:\n", count);
    if (one < 0 || many < 0) {
        std::printf("  the ports were not all listening within a minute\n");
        return;
    }
    const double per_modem = static_cast<double>(many - one) / (count - 1);
    std::printf("  resident memory %.1f MB, with one modem %.1f MB\n", static_cast<double>(many) / 1024.0,
                static_cast<double>(one) / 1024.0);
    std::printf("  per modem: %.2f KB (before: %.1f KB; goal <= 2.5) %s\n", per_modem, before_kb,
                per_modem <= 2.5 ? "ok" : "MISSED");
}

// A plain TCP relay of the same load as the floor of what pushing the bytes costs: one socat
// between every client and a sink that reads everything. Their processor time per frame, 0 when
// socat could not serve.
double socat_us_per_frame(int clients, int period_ms, int seconds)
{
    QTcpServer sink;
    qint64 received = 0;
    QObject::connect(&sink, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = sink.nextPendingConnection())
            QObject::connect(s, &QTcpSocket::readyRead, [&received, s] { received += s->readAll().size(); });
    });
    sink.listen(QHostAddress::LocalHost);
    const std::vector<Device> list = numbered_devices(clients);
    std::vector<std::unique_ptr<QProcess>> relays;
    for (const Device& d : list) {
        relays.emplace_back(new QProcess);
        relays.back()->start(QStringLiteral("socat"), {QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(d.port),
                                                       QStringLiteral("TCP:127.0.0.1:%1").arg(sink.serverPort())});
    }
    int written = 0;
    std::vector<std::unique_ptr<Sender>> senders;
    const bool up = wait_for([&] { return all_listening(list); });
    if (up)
        for (const Device& d : list)
            senders.emplace_back(new Sender(d.port, period_ms, written));
    const auto cpu = [&] {
        double sum = 0;
        for (const auto& r : relays)
            sum += cpu_ms(r->processId());
        return sum;
    };
    double cpu_from = 0;
    qint64 received_from = 0;
    if (up && wait_for([&] { return std::all_of(senders.begin(), senders.end(), [](const std::unique_ptr<Sender>& s) { return s->connected(); }); }))
        run_loop(seconds * 1000, [&](QEventLoop&) {
            for (size_t i = 0; i < senders.size(); ++i)
                senders[i]->start(static_cast<int>(i) * period_ms / clients);
            QTimer::singleShot(1000, [&] {
                cpu_from = cpu();
                received_from = received;
            });
        });
    const double used = cpu() - cpu_from;
    const double frames = static_cast<double>(received - received_from) / message.size();
    senders.clear();
    for (const auto& r : relays) {
        r->terminate();
        r->waitForFinished(5000);
    }
    return frames > 0 ? used * 1000.0 / frames : 0.0;
}

// The exchange thread on Qt's dispatcher (RUVO_QT_DISPATCHER=1) or on the epoll one; data
// commands carrying up to batch frames.
Bridge_options dispatcher_options(bool qt, int batch = 1)
{
    Bridge_options options = quiet_options();
    if (qt)
        options.environment << QStringLiteral("RUVO_QT_DISPATCHER=1");
    // The device list of 10,000 modems may take the simulator more than the default 3 s to send
    // on a busy machine.
    options.extra_cfg = "ws_devlist_timeout = 30000\n";
    if (batch > 1)
        options.extra_cfg += "ws_batch_max = " + QByteArray::number(batch) + "\n";
    return options;
}

// Processor time per frame with Qt's dispatcher and the epoll one in turns, 50 clients sending
// while 50 or 10,000 modems listen, at 1,000 and at 50 frames/s in all (Qt's dispatcher cannot
// carry 1,000 frames/s among 10,000 listeners); on epoll also with ws_batch_max = 10, where one
// acknowledgement of the server answers the frames that waited for it together; socat relaying the
// 1,000 frames/s as the floor; and the median round-trip overhead of 50 clients on each dispatcher.
void dispatchers(int rounds)
{
    const int clients = 50;
    struct Load {
        int modems;
        int period_ms;
        int seconds;
        int batch;
        bool qt;  // Qt's dispatcher measured too
        std::vector<double> us[2];  // by dispatcher: 0 Qt's, 1 epoll
    };
    std::vector<Load> loads = {{50, 50, 6, 1, true, {}},      {10000, 50, 6, 1, false, {}},
                               {50, 1000, 16, 1, true, {}},   {10000, 1000, 16, 1, true, {}},
                               {50, 50, 6, 10, false, {}},    {10000, 50, 6, 10, false, {}}};
    std::vector<double> socat;
    std::vector<double> overheads[2];  // of round trips, by dispatcher
    for (int round = 0; round < rounds; ++round) {
        for (Load& load : loads) {
            const std::vector<Device> list = numbered_devices(load.modems);
            for (int turn = 0; turn < 2; ++turn) {
                const bool qt = (turn + round) % 2 == 0;
                if (qt && !load.qt)
                    continue;
                const std::optional<Carried> c =
                    carry(list, clients, load.period_ms, load.seconds, dispatcher_options(qt, load.batch));
                if (c && c->drained)
                    load.us[qt ? 0 : 1].push_back(c->us_per_frame);
                else
                    std::printf("  %d modems, %s dispatcher: not everything was carried\n", load.modems, qt ? "Qt's" : "epoll");
            }
        }
        socat.push_back(socat_us_per_frame(clients, 50, 6));
        for (int turn = 0; turn < 2; ++turn) {
            const bool qt = (turn + round) % 2 == 0;
            int unfinished = 0;
            const std::vector<double> o = round_trip_overheads(clients, 40, 100, dispatcher_options(qt), unfinished);
            if (unfinished)
                std::printf("  %d round-trip clients unfinished\n", unfinished);
            overheads[qt ? 0 : 1].insert(overheads[qt ? 0 : 1].end(), o.begin(), o.end());
        }
    }
    std::printf("processor time per frame, %d clients, median of %d rounds, Qt's dispatcher and the epoll one in turns:\n",
                clients, rounds);
    std::printf("  %-8s %-10s %-14s %12s %12s\n", "modems", "frames/s", "ws_batch_max", "Qt's", "epoll");
    const auto figure = [](const std::vector<double>& us) {
        return us.empty() ? QByteArray("-") : QByteArray::number(percentile(us, 0.5), 'f', 1) + " us";
    };
    for (const Load& load : loads)
        std::printf("  %-8d %-10d %-14d %12s %12s\n", load.modems, clients * 1000 / load.period_ms, load.batch,
                    figure(load.us[0]).constData(), figure(load.us[1]).constData());
    std::printf("  socat, a plain TCP relay of the 1000 frames/s (the floor): %.1f us\n", percentile(socat, 0.5));
    const double at_50 = percentile(loads[0].us[1], 0.5);
    const double at_10000 = percentile(loads[1].us[1], 0.5);
    const double slow_50 = percentile(loads[2].us[1], 0.5);
    const double slow_10000 = percentile(loads[3].us[1], 0.5);
    const double batched_50 = percentile(loads[4].us[1], 0.5);
    const double batched_10000 = percentile(loads[5].us[1], 0.5);
    const auto per_frame = [](const char* what, double us) {
        std::printf("  epoll, %s50 modems at 1000 frames/s: %.1f us (goal <= 60) %s\n", what, us, us > 0 && us <= 60 ? "ok" : "MISSED");
    };
    const auto ratio = [](const char* what, double many, double few) {
        if (many > 0 && few > 0)
            std::printf("  epoll, %s10000 modems against 50: %.2f times (goal <= 1.5) %s\n", what, many / few,
                        many / few <= 1.5 ? "ok" : "MISSED");
        else
            std::printf("  epoll, %s10000 modems against 50: not measured, MISSED\n", what);
    };
    per_frame("", at_50);
    ratio("1000 frames/s, ", at_10000, at_50);
    ratio("50 frames/s, ", slow_10000, slow_50);
    per_frame("ws_batch_max = 10, ", batched_50);
    ratio("ws_batch_max = 10, 1000 frames/s, ", batched_10000, batched_50);
    const double qt = percentile(overheads[0], 0.5);
    const double epoll = percentile(overheads[1], 0.5);
    std::printf("round trips, %d clients on as many echo modems, a random pause of up to 100 ms between trips, %zu and %zu trips:\n",
                clients, overheads[0].size(), overheads[1].size());
    std::printf("  median overhead (- interframe_delay %d ms): Qt's dispatcher %.2f ms, epoll %.2f ms (goal: no worse) %s\n",
                interframe_delay, qt, epoll, epoll > 0 && epoll <= qt ? "ok" : "MISSED");
}

// The epoll dispatcher alone at 50 modems and 1,000 frames/s, for a longer run: a quick figure
// while tuning, and a steady load to profile the program under.
void epoll_load(int seconds)
{
    const std::optional<Carried> c = carry(numbered_devices(50), 50, 50, seconds, dispatcher_options(false));
    if (!c)
        return;
    std::printf("epoll dispatcher, 50 clients on 50 modems at 1000 frames/s for %d s:\n", seconds);
    std::printf("  %.0f frames/s accepted, %s, processor time %.1f us per frame (goal <= 60) %s\n", c->rate,
                c->drained ? "all carried" : "NOT all carried", c->us_per_frame, c->us_per_frame <= 60 ? "ok" : "MISSED");
}

// One client on every port; in a round all of them send a message at the same moment.
class Burst {
public:
    explicit Burst(const std::vector<Device>& list) : got(list.size()), answered_ms(list.size())
    {
        for (size_t i = 0; i < list.size(); ++i) {
            sockets.emplace_back(new QTcpSocket);
            QObject::connect(sockets[i].get(), &QTcpSocket::readyRead, [this, i] { on_ready_read(i); });
            sockets[i]->connectToHost(QHostAddress::LocalHost, list[i].port);
        }
    }

    bool connected() const
    {
        return std::all_of(sockets.begin(), sockets.end(), [](const std::unique_ptr<QTcpSocket>& s) {
            return s->state() == QAbstractSocket::ConnectedState;
        });
    }

    // The milliseconds from the sending until each client had its answer; empty when not every
    // answer came within a minute.
    std::vector<double> round()
    {
        std::fill(got.begin(), got.end(), 0);
        std::fill(answered_ms.begin(), answered_ms.end(), -1.0);
        left = sockets.size();
        run_loop(60000, [&](QEventLoop& l) {
            loop = &l;
            clock.start();
            for (const std::unique_ptr<QTcpSocket>& s : sockets)
                s->write(message);
        });
        loop = nullptr;
        return left ? std::vector<double>() : answered_ms;
    }

private:
    void on_ready_read(size_t i)
    {
        got[i] += static_cast<int>(sockets[i]->readAll().size());
        if (got[i] < message.size() || answered_ms[i] >= 0)
            return;
        answered_ms[i] = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (--left == 0 && loop)
            loop->quit();
    }

    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<int> got;
    std::vector<double> answered_ms;
    size_t left = 0;
    QElapsedTimer clock;
    QEventLoop* loop = nullptr;
};

struct Burst_figures {
    double all_ms = 0;     // until the last client had its answer
    double median_ms = 0;  // of the clients' waits
};

// The median round of a few, after one to warm up; nothing when the set-up or a round failed.
std::optional<Burst_figures> bursts(const std::vector<Device>& list, int batch_max, int answer_delay_ms)
{
    const int rounds = 5;
    Bridge_options options = quiet_options();
    options.batch_max = batch_max;
    Setup setup(list, "echo", options, {QStringLiteral("--answer-delay"), QString::number(answer_delay_ms)});
    if (!setup.ready)
        return std::nullopt;
    Burst burst(list);
    if (!wait_for([&] { return burst.connected(); }) || burst.round().empty())
        return std::nullopt;
    std::vector<double> all;
    std::vector<double> medians;
    for (int n = 0; n < rounds; ++n) {
        const std::vector<double> waits = burst.round();
        if (waits.empty())
            return std::nullopt;
        all.push_back(*std::max_element(waits.begin(), waits.end()));
        medians.push_back(percentile(waits, 0.5));
    }
    return Burst_figures{percentile(all, 0.5), percentile(medians, 0.5)};
}

void print_bursts(const char* name, const std::optional<Burst_figures>& f)
{
    if (f)
        std::printf("  %s: all answered after %.0f ms, median %.0f ms\n", name, f->all_ms, f->median_ms);
    else
        std::printf("  %s: not every client was answered\n", name);
}

// A server answer_delay_ms away and as many clients as modems sending at once: one frame per
// command against all of them in one.
void batching(int clients, int answer_delay_ms)
{
    const std::vector<Device> list = numbered_devices(clients);
    std::printf("burst of %d clients on as many echo modems, server answering after %d ms, median of 5 rounds:\n",
                clients, answer_delay_ms);
    const std::optional<Burst_figures> alone = bursts(list, 1, answer_delay_ms);
    print_bursts("ws_batch_max 1", alone);
    const std::optional<Burst_figures> batched = bursts(list, clients, answer_delay_ms);
    const QByteArray name = "ws_batch_max " + QByteArray::number(clients);
    print_bursts(name.constData(), batched);
    if (!alone || !batched)
        return;
    std::printf("  with batching (goal <= 300 ms) %s; %.1f times as fast as without\n",
                batched->all_ms <= 300 ? "ok" : "MISSED", alone->all_ms / batched->all_ms);
}

// True once something listens on the port of 127.0.0.1: a plain connect, which is refused at
// once while nothing does.
bool accepts_connection(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return accepted;
}

// SIGHUP with one line of a large devices file changed (the port of one modem): from the signal
// to the new port listening, with every other listener left as it was.
void reload(int count, int rounds)
{
    std::vector<Device> list = numbered_devices(count);
    Bridge_options options = quiet_options();
    options.trace_tcp = "all";
    Setup setup(list, "silent", options);
    if (!setup.ready)
        return;
    Bridge& bridge = *setup.bridge;
    std::vector<double> ms;
    bool others_kept = true;
    for (int round = 0; round < rounds; ++round) {
        Device& changed = list[static_cast<size_t>(count / rounds * round)];
        const quint16 old_port = changed.port;
        changed.port = free_ports(1).front();
        bridge.write_devices(list);
        const int listens = bridge.log().filter(QStringLiteral(".listen")).size();
        QElapsedTimer since_signal;
        since_signal.start();
        ::kill(static_cast<pid_t>(bridge.process.processId()), SIGHUP);
        while (!accepts_connection(changed.port) && since_signal.elapsed() < 10000)
            QThread::usleep(200);
        ms.push_back(static_cast<double>(since_signal.nsecsElapsed()) / 1e6);
        wait_for([&] { return !listening(old_port); }, 5000);
        others_kept = others_kept && all_listening(list) && !listening(old_port) &&
                      bridge.log().filter(QStringLiteral(".listen")).size() == listens + 1;
    }
    std::printf("reload, SIGHUP with one line of a %d-modem devices file changed, %d rounds:\n", count, rounds);
    std::printf("  from the signal to the changed port listening: median %.1f ms, max %.1f ms (goal <= 100) %s\n",
                percentile(ms, 0.5), percentile(ms, 1.0), percentile(ms, 1.0) <= 100 ? "ok" : "MISSED");
    std::printf("  every other listener kept, the old port closed: %s\n", others_kept ? "yes" : "NO");
}

}  // namespace

// Without arguments every benchmark runs; otherwise only those named.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::vector<std::pair<const char*, std::function<void()>>> benches = {
        {"round_trip", [] { round_trip(1, 300, 0); }},
        {"round_trip_100", [] { round_trip(100, 30, 500); }},
        {"round_trip_100_busy", [] { round_trip(100, 30, 0); }},
        {"modbus_round_trip", [] { modbus_round_trip(300); }},
        {"throughput", [] { throughput(100, 20, 6); }},
        {"throughput_metrics", [] { throughput_metrics(6); }},
        {"scale", [] { scale(1000); }},
        {"batching", [] { batching(50, 50); }},
        {"reload", [] { reload(10000, 5); }},
        {"memory", [] { memory_per_modem(10000); }},
        {"dispatchers", [] { dispatchers(2); }},
        {"epoll_load", [] { epoll_load(16); }},
    };
    const QStringList wanted = app.arguments().mid(1);
    for (const auto& b : benches)
        if (wanted.isEmpty() || wanted.contains(QLatin1String(b.first))) {
            b.second();
            std::printf("\n");
        }
    return 0;
}
