// Benchmark of the metrics' own cost on the data path: the reporting calls one frame makes on its
// way through the program, timed in-process with metrics off and on, while the endpoint is scraped;
// and the time of a scrape alone and beside clients that send their request one byte a second.
#include "core/cfg.h"
#include "metrics/metrics.h"
#include "tests/bridge_process.h"
#include "tests/slow_http_clients.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <algorithm>
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

// One whole scrape of the endpoint, waiting at most 5 s for each part of the answer; false when
// nothing came.
bool scrape_once(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(5000))
        return false;
    s.write("GET /metrics HTTP/1.0\r\n\r\n");
    qint64 got = 0;
    while (s.waitForReadyRead(5000))
        got += s.readAll().size();
    return got > 0;
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

struct Scrape_times {
    double p50, p95, p99;
    int count;
    int unanswered;
};

// Scrapes the endpoint every tenth of a second for 20 s from a thread of its own, beside so many
// clients that send their request head one byte a second from this thread's event loop.
Scrape_times scrape_times(quint16 port, int slow_clients)
{
    Slow_http_clients slow(port, slow_clients);
    std::vector<double> ms;
    int unanswered = 0;
    std::atomic<bool> done{false};
    std::thread scraper([&] {
        QElapsedTimer run;
        run.start();
        while (run.elapsed() < 20000) {
            QElapsedTimer clock;
            clock.start();
            unanswered += !scrape_once(port);
            ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        done = true;
    });
    wait_for([&] { return done.load(); }, 60000);
    scraper.join();
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double share) { return ms[static_cast<size_t>(share * (ms.size() - 1))]; };
    return {at(0.5), at(0.95), at(0.99), static_cast<int>(ms.size()), unanswered};
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
    const Scrape_times alone = scrape_times(port, 0);
    const Scrape_times beside = scrape_times(port, 6);
    std::printf("scrape time, ms     alone   beside 6 clients sending a header byte a second\n");
    std::printf("  p50          %8.1f   %8.1f\n", alone.p50, beside.p50);
    std::printf("  p95          %8.1f   %8.1f\n", alone.p95, beside.p95);
    std::printf("  p99          %8.1f   %8.1f\n", alone.p99, beside.p99);
    std::printf("  scrapes      %8d   %8d in 20 s\n", alone.count, beside.count);
    std::printf("  unanswered   %8d   %8d (nothing within 5 s)\n", alone.unanswered, beside.unanswered);
    return 0;
}
