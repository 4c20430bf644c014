// Benchmark of the metrics' own cost on the data path: the reporting calls one frame makes on its
// way through the program, timed in-process with metrics off and on, while the endpoint is scraped;
// and the time of a scrape alone and beside slow clients that hold connections.
#include "core/cfg.h"
#include "metrics/metrics.h"
#include "tests/bridge_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <atomic>
#include <cstdio>
#include <thread>

namespace {

const int modems = 100;
const int frames = 2000000;
const quint64 first_eui = 0x0102030405000000ULL;

// What one frame reports: it is queued and sent, its answer accepted, and the modem's answer
// comes back in one packet and goes to the client.
double ns_per_frame()
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < frames; ++i) {
        const quint64 eui = first_eui + static_cast<quint64>(i % modems);
        metrics::queued(1);
        metrics::queued(-1);
        metrics::frame_sent(eui, 20);
        metrics::answer_accepted();
        metrics::uplink_received(eui, 26);
        metrics::answer_to_client(eui);
    }
    return static_cast<double>(clock.nsecsElapsed()) / frames;
}

// One whole scrape of the endpoint; false when it could not be reached.
bool scrape_once(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(5000))
        return false;
    s.write("GET /metrics HTTP/1.0\r\n\r\n");
    while (s.waitForReadyRead(5000))
        s.readAll();
    return true;
}

// Scrapes the endpoint over and over from its own thread while the frames are reported.
int scrape_meanwhile(quint16 port, const std::function<double()>& work, double& result)
{
    std::atomic<bool> done{false};
    int scrapes = 0;
    std::thread scraper([&] {
        while (!done)
            if (scrape_once(port))
                ++scrapes;
    });
    result = work();
    done = true;
    scraper.join();
    return scrapes;
}

// Milliseconds of one scrape while so many clients hold connections with a request they never end.
double scrape_ms(quint16 port, int slow_clients)
{
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < slow_clients; ++i) {
        slow.push_back(client_of(port));
        slow.back()->write("GET /metrics HTTP/1.1\r\nHo");
        slow.back()->waitForBytesWritten(5000);
    }
    QElapsedTimer clock;
    clock.start();
    scrape_once(port);
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Temp_log temp_log;
    const double off = ns_per_frame();

    const quint16 port = free_ports(1).front();
    metrics_listen = QStringLiteral("127.0.0.1:%1").arg(port);
    Metrics_endpoint endpoint;
    if (!endpoint.serving()) {
        std::printf("metrics: the endpoint could not be opened\n");
        return 1;
    }
    for (int i = 0; i < modems; ++i)
        metrics::modem_added(first_eui + static_cast<quint64>(i), static_cast<quint16>(10000 + i));
    double on = 0;
    const int scrapes = scrape_meanwhile(port, ns_per_frame, on);
    std::printf("metrics' reporting calls of one frame, %d modems, %d frames:\n", modems, frames);
    std::printf("  %.1f ns per frame with metrics off, %.1f ns with metrics on (%d scrapes meanwhile)\n", off, on,
                scrapes);
    const double alone = scrape_ms(port, 0);
    std::printf("one scrape: %.1f ms alone, %.1f ms beside 3 slow clients holding connections\n", alone,
                scrape_ms(port, 3));
    return 0;
}
