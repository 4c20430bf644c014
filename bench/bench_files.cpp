// Benchmark of the file readers: a devices file of 10,000 modems and the sample configuration
// file, each read many times; prints the time per file and per line. And the log: the time of a
// trace entry with the file opened and closed for each, and kept open.
#include "core/cfg.h"
#include "core/devices_file.h"
#include "core/shared.h"
#include "common/err.h"
#include "common/log_file.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

const int modems = 10000;

int count_lines(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<int>(file.readAll().count('\n'));
}

// Runs the reader the given number of times; prints the best and the mean time per file and per line.
void measure(const char* title, const QString& file_name, int runs, const std::function<void()>& read)
{
    const int lines = count_lines(file_name);
    qint64 best = -1;
    qint64 total = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        read();
        const qint64 ns = timer.nsecsElapsed();
        total += ns;
        best = best < 0 ? ns : std::min(best, ns);
    }
    const double mean = static_cast<double>(total) / runs;
    printf("%s: %d lines, %d runs\n", title, lines, runs);
    printf("  per file: best %.3f ms, mean %.3f ms\n", best / 1e6, mean / 1e6);
    printf("  per line: best %.1f ns, mean %.1f ns\n", static_cast<double>(best) / lines, mean / lines);
}

// A devices file as the program writes it, with modems on consecutive ports.
void write_devices_file(const QString& name)
{
    devices_in_cfg.clear();
    tcp_ports.clear();
    for (int i = 0; i < modems; ++i) {
        const unsigned long eui = 0x0102030400000000ul + static_cast<unsigned long>(i) * 7919;
        const quint16 port = static_cast<quint16>(20000 + i);
        tcp_ports.insert(port, devices_in_cfg.insert(eui, Device_in_cfg{51, port}));
    }
    devices_fname = name;
    save_devices_in_cfg();
}

void measure_log_entries()
{
    const QString text = QStringLiteral("tcp41082.recv 0x{01 03 00 00 00 0A C5 CD}");
    const int entries = 20000;
    for (bool kept : {false, true}) {
        keep_log_open(kept);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < entries; ++i)
            log(text);
        printf("log entries, %s: %.2f us per entry\n", kept ? "file kept open" : "file opened and closed for each",
               static_cast<double>(timer.nsecsElapsed()) / 1e3 / entries);
    }
    keep_log_open(false);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QByteArray log_name = QFile::encodeName(dir.path() + QStringLiteral("/bench.log"));
    log_fname = log_name.constData();
    try {
        const QString devices = dir.path() + QStringLiteral("/devices.cfg");
        write_devices_file(devices);
        measure("devices file of 10000 modems", devices, 30, [&devices] {
            devices_fname = devices;
            load_devices_in_cfg();
        });
        if (devices_in_cfg.size() != modems)
            printf("  wrong result: %d modems read\n", static_cast<int>(devices_in_cfg.size()));

        const QString cfg = QStringLiteral(RUVO_SOURCE_DIR "/samples/ruvo_bridge.cfg");
        measure("sample configuration file", cfg, 3000, [&cfg] { load_cfg(cfg); });
        measure_log_entries();
    } catch (const Err& e) {
        printf("error: %s\n", e.message().toUtf8().constData());
        return 1;
    }
    return 0;
}
