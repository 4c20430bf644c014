// Benchmark of the daemon beside the desktop program (offscreen platform), 1,000 modems served
// from the simulated server: the start-up time, from starting the process to every port
// listening, and the resident memory once the figure has settled; each the median of a few runs
// taken in turns.
#include "tests/bridge_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {

const int modems = 1000;
const int rounds = 3;

struct Figures {
    std::vector<double> start_ms;
    std::vector<double> rss_mb;
};

double median(std::vector<double> samples)
{
    if (samples.empty())
        return -1;
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// One run of a program: both figures, or nothing when its ports did not all open.
void measure(bool daemon, const std::vector<Device>& list, Figures& figures)
{
    Sim sim(sim_modems(list, "silent"));
    if (!sim.started()) {
        std::printf("the simulator did not start\n");
        return;
    }
    Bridge_options options;
    options.devlist_period = 60000;
    options.trace_tcp = "bad_frames";
    options.daemon = daemon;
    QElapsedTimer clock;
    clock.start();
    Bridge bridge(sim.port, list, options);
    bool all = false;
    while (!all && clock.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        all = all_listening(list);
        if (!all)
            QThread::msleep(1);
    }
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (!all) {
        std::printf("the ports were not all listening within a minute\n");
        return;
    }
    const QString pid = QString::number(bridge.process.processId());
    qint64 rss = proc_status_kb(pid, "VmRSS");
    for (qint64 before = -1; rss != before;) {
        QThread::msleep(500);
        before = rss;
        rss = proc_status_kb(pid, "VmRSS");
    }
    figures.start_ms.push_back(ms);
    figures.rss_mb.push_back(static_cast<double>(rss) / 1024.0);
    if (!bridge.stop())
        std::printf("the program did not end with exit code 0\n");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::vector<Device> list = numbered_devices(modems);
    Figures figures[2];  // 0: the daemon, 1: the desktop program
    for (int round = 0; round < rounds; ++round)
        for (int turn = 0; turn < 2; ++turn) {
            const int program = (turn + round) % 2;
            measure(program == 0, list, figures[program]);
        }
    std::printf("%d modems, median of %d runs each:\n", modems, rounds);
    std::printf("  %-40s %12s %14s\n", "program", "start-up ms", "resident MB");
    const char* const names[] = {"ruvo_bridged (no display)", "ruvo_bridge (QT_QPA_PLATFORM=offscreen)"};
    for (int program = 0; program < 2; ++program)
        std::printf("  %-40s %12.1f %14.1f\n", names[program], median(figures[program].start_ms),
                    median(figures[program].rss_mb));
    return 0;
}
