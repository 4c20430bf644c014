// Benchmark of the security options, the real program against the simulated server on loopback:
// round trips over ws:// and over wss:// with a private CA, and the round trips of an allowed
// client while connections from a refused address hammer its port.
#include "tests/bridge_process.h"
#include "tests/tls_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

const char eui[] = "0102030405060701";
const int interframe_delay = 15;
const int trips = 200;
const QByteArray message(20, 'm');
// ws:// and wss:// are compared with a radio delay as in service: with none, the simulator's answer
// and its uplink leave back to back, and over TLS the second waits for a delayed ACK (40 ms).
const int radio_delay = 100;

// Median of the round trips of one client, less the interframe and radio delays; -1 when one failed.
double median_overhead_ms(QTcpSocket& c, int delays_ms = interframe_delay)
{
    std::vector<double> samples;
    for (int i = 0; i < trips; ++i) {
        QElapsedTimer clock;
        clock.start();
        c.write(message);
        qint64 got = 0;
        while (got < message.size() && c.waitForReadyRead(5000))
            got += c.readAll().size();
        if (got < message.size())
            return -1;
        samples.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6 - delays_ms);
        // The simulator's output is read by the event loop; its pipe must not fill up.
        QCoreApplication::processEvents();
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Connections from 127.0.0.1, one after another, each waited for until the program closes it.
class Refused_flood : public QThread {
public:
    explicit Refused_flood(quint16 port) : port(port) {}
    std::atomic<bool> stop{false};
    std::atomic<int> closed{0};

protected:
    void run() override
    {
        while (!stop) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            if (s.waitForConnected(5000) && s.waitForDisconnected(5000))
                ++closed;
        }
    }

private:
    const quint16 port;
};

// The simulator with one echo modem, the program serving it, and a client from 127.0.0.2.
struct Rig {
    Rig(const QStringList& sim_options, const Bridge_options& options)
        : port(free_ports(1)[0]),
          sim({QStringLiteral("%1:echo").arg(QLatin1String(eui))}, sim_options),
          bridge(sim.started() ? sim.port : 1, {{eui, port, 255}}, options)
    {
        client.bind(QHostAddress(QStringLiteral("127.0.0.2")));
    }

    // The modem's port is served and the client connected to it.
    bool up()
    {
        if (wait_for([&] { return listening(port); }, 30000)) {
            client.connectToHost(QHostAddress::LocalHost, port);
            if (client.waitForConnected(5000))
                return true;
        }
        std::printf("  the program did not come up\n");
        return false;
    }

    quint16 port;
    Sim sim;
    Bridge bridge;
    QTcpSocket client;
};

Bridge_options quiet_options()
{
    Bridge_options o;
    o.interframe_delay = interframe_delay;
    o.devlist_period = 60000;
    o.trace_tcp = "err";
    return o;
}

void round_trips_over(const char* scheme, const QStringList& sim_options, const QByteArray& cfg)
{
    Bridge_options options = quiet_options();
    options.scheme = scheme;
    options.extra_cfg = cfg;
    Rig rig(sim_options + QStringList{"--radio-delay", QString::number(radio_delay)}, options);
    if (rig.up())
        std::printf("round trip over %s://, radio delay %d ms, %d trips: median overhead %.2f ms\n", scheme,
                    radio_delay, trips, median_overhead_ms(rig.client, interframe_delay + radio_delay));
}

void round_trips_while_refusing()
{
    Bridge_options options = quiet_options();
    options.extra_cfg = "tcp_allow = \"127.0.0.2\"\n";
    Rig rig({}, options);
    if (!rig.up())
        return;
    const double calm = median_overhead_ms(rig.client);
    Refused_flood flood(rig.port);
    QElapsedTimer clock;
    clock.start();
    flood.start();
    const double hammered = median_overhead_ms(rig.client);
    flood.stop = true;
    flood.wait();
    const double seconds = static_cast<double>(clock.elapsed()) / 1000;
    std::printf("allowed client, %d trips: median overhead %.2f ms alone, %.2f ms while %d connections from a "
                "refused address were closed (%.0f per second)\n",
                trips, calm, hammered, flood.closed.load(), flood.closed / seconds);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir pki;
    if (!make_private_ca(pki.path()))
        return 1;
    round_trips_over("ws", {}, {});
    round_trips_over("wss",
                     {"--tls-cert", pki.filePath("server.pem"), "--tls-key", pki.filePath("server.key")},
                     "ws_ca_file = \"" + pki.filePath("ca.pem").toUtf8() + "\"\n");
    round_trips_while_refusing();
    return 0;
}
