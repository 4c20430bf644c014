// Tests of the log file under trouble: entries written whole or not at all, losses told on standard
// error, counted and reported when writing works again (a file size limit and a full tmpfs), the
// log followed through rotation and deletion; and the summaries of repeated entries.
#include "common/log_file.h"
#include "common/repeated_log.h"
#include "tests/bridge_process.h"

#include <QtTest>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QRegularExpression stamp(QStringLiteral("^\\[\\d{1,2}\\.\\d{1,2}\\.\\d{4} \\d{1,2}:\\d{2}:\\d{2}\\.\\d{3}\\] "));
const QRegularExpression torn(QStringLiteral("^TORN: "));

QString works_again(quint64 lost)
{
    return QStringLiteral("Запись в журнал снова работает. Записей журнала потеряно, пока она не работала: %1.")
        .arg(lost);
}

// The texts of the entries; an entry without its own timestamp, or with a second one glued inside,
// shows as "TORN: " and its text.
QStringList entries(const QByteArray& log_text)
{
    static const QRegularExpression inner(QStringLiteral("\\[\\d{1,2}\\.\\d{1,2}\\.\\d{4} \\d"));
    QStringList result;
    for (QString e : QString::fromUtf8(log_text).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts)) {
        const bool whole = stamp.match(e).hasMatch() && !e.mid(1).contains(inner) && log_text.endsWith("\n\n");
        e.remove(stamp);
        result << (whole ? e : QStringLiteral("TORN: ") + e);
    }
    return result;
}

// What an action writes to this process's standard error. A pipe takes it, not a file, which a
// file size limit would cut short.
QByteArray stderr_of(const std::function<void()>& action)
{
    int ends[2];
    if (pipe2(ends, O_NONBLOCK) != 0)
        return QByteArray();
    fflush(stderr);
    const int saved = dup(2);
    dup2(ends[1], 2);
    action();
    fflush(stderr);
    dup2(saved, 2);
    ::close(saved);
    ::close(ends[1]);
    QByteArray got;
    char buf[4096];
    for (ssize_t n; (n = read(ends[0], buf, sizeof buf)) > 0;)
        got.append(buf, static_cast<int>(n));
    ::close(ends[0]);
    return got;
}

// The files that a process holds open.
QStringList open_files(qint64 pid)
{
    const QString fd_dir = QStringLiteral("/proc/%1/fd").arg(pid);
    QStringList files;
    for (const QString& fd : QDir(fd_dir).entryList(QDir::Files | QDir::System))
        files << QFileInfo(fd_dir + QLatin1Char('/') + fd).symLinkTarget();
    return files;
}

}  // namespace

class Test_log : public QObject {
    Q_OBJECT
private slots:
    void repeated_entries_data();
    void repeated_entries();
    void lasting_fault_data();
    void lasting_fault();
    void entry_cut_short_is_undone_and_losses_are_told();
    void kept_open_log_follows_rotation_and_deletion();
    void traced_run_writes_on_after_rotation_and_deletion();
    void full_disk_tears_no_entry_and_counts_the_losses();
};

void Test_log::repeated_entries_data()
{
    // Steps: "e<ms>:<peer>" an event, "s<ms>" a look for a due summary, "d<ms>" the time left
    // until one is due. Entries are written as "E:<peer>", summaries as "S <count>: <peers>".
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("written");
    QTest::newRow("a lone event is written") << "e0:a s60000 d60000 e60001:b"
                                             << QStringList{"E:a", "due -1", "E:b"};
    QTest::newRow("the rest of the minute is summed up once")
        << "e0:a e1:a e2:b d2 e3:a s59999 s60000 s60001"
        << QStringList{"E:a", "due 59998", "S 3: a (2), b (1)"};
    QTest::newRow("a summary is due at the next event, which it holds back")
        << "e0:a e1:b e70000:c s129999 s130000 s190000 e190001:d"
        << QStringList{"E:a", "S 1: b (1)", "S 1: c (1)", "E:d"};
    QTest::newRow("the three peers seen most, ties by address")
        << "e0:x e1:d e2:c e3:c e4:b e5:b e6:b e7:a e8:a e9:a s60000"
        << QStringList{"E:x", "S 9: a (3), b (3), c (2)"};
}

void Test_log::repeated_entries()
{
    QFETCH(QString, steps);
    QFETCH(QStringList, written);
    qint64 now = 0;
    Repeated_entries repeated([](quint64 held, const QString& peers) { return QStringLiteral("S %1: %2").arg(held).arg(peers); },
                              [&] { return now; });
    QStringList out;
    for (const QString& step : steps.split(QLatin1Char(' '))) {
        const QStringList parts = step.mid(1).split(QLatin1Char(':'));
        now = parts[0].toLongLong();
        if (step[0] == QLatin1Char('e'))
            out << repeated.event(QStringLiteral("E:") + parts[1], parts[1]);
        else if (step[0] == QLatin1Char('s'))
            out << repeated.summary_due();
        else if (step[0] == QLatin1Char('d'))
            out << QStringLiteral("due %1").arg(repeated.due_in());
    }
    // Nothing due gives an empty text, which is left out.
    out.removeAll(QString());
    QCOMPARE(out, written);
}

// Steps "<ms>:<reason>", each a failed try; written: F for an entry in full, S<tries> for a summary.
void Test_log::lasting_fault_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("written");
    QTest::newRow("once, then summed up once an interval")
        << "0:a 10:a 99:a 100:a 150:a 199:a 200:a" << "F - - S3 - - S3";
    QTest::newRow("another reason is written in full and starts a new interval")
        << "0:a 50:b 120:b 149:b 150:b" << "F F - - S3";
    QTest::newRow("the first reason again is news too") << "0:a 10:b 20:a" << "F F F";
}

void Test_log::lasting_fault()
{
    QFETCH(QString, steps);
    QFETCH(QString, written);
    Lasting_fault fault;
    QStringList out;
    for (const QString& step : steps.split(QLatin1Char(' '))) {
        const qint64 now = step.section(QLatin1Char(':'), 0, 0).toLongLong();
        const Lasting_fault::Verdict v = fault.tried(step.section(QLatin1Char(':'), 1), now, 100);
        out << (v.entry == Lasting_fault::Entry::full      ? QStringLiteral("F")
                : v.entry == Lasting_fault::Entry::summary ? QStringLiteral("S%1").arg(v.tries)
                                                           : QStringLiteral("-"));
    }
    QCOMPARE(out.join(QLatin1Char(' ')), written);
}

void Test_log::entry_cut_short_is_undone_and_losses_are_told()
{
    Temp_log log_file;
    log("before");
    const quint64 lost_before = log_entries_lost();
    // A file size limit stops the long entry part way, as a full disk does.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old_limit{};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit limit = old_limit;
    limit.rlim_cur = static_cast<rlim_t>(log_file.text().size() + 20);
    const QString long_text(200, QLatin1Char('x'));
    const QByteArray told = stderr_of([&] {
        setrlimit(RLIMIT_FSIZE, &limit);
        log(long_text);
        log("second lost");
        setrlimit(RLIMIT_FSIZE, &old_limit);
    });
    log("after");
    QCOMPARE(entries(log_file.text()), (QStringList{"before", works_again(2), "after"}));
    QCOMPARE(log_entries_lost() - lost_before, quint64(2));
    // One notice for the run of losses, with the reason and the first lost entry.
    QVERIFY2(told.count('\n') == 1, told.constData());
    QVERIFY2(told.startsWith(QStringLiteral("Не удалось записать в журнал «%1» (%2). ")
                                 .arg(log_file.folder() + QStringLiteral("/test.log"), qt_error_string(EFBIG))
                                 .toLocal8Bit()),
             told.constData());
    QVERIFY(told.contains(long_text.toUtf8()));
}

void Test_log::kept_open_log_follows_rotation_and_deletion()
{
    Temp_log log_file;
    const QString name = log_file.folder() + QStringLiteral("/test.log");
    keep_log_open(true);
    log("one");
    QVERIFY(open_files(QCoreApplication::applicationPid()).contains(name));
    QVERIFY(QFile::rename(name, name + QStringLiteral(".1")));
    log("two");
    QCOMPARE(entries(read_file(name + QStringLiteral(".1"))), QStringList{"one"});
    QCOMPARE(entries(log_file.text()), QStringList{"two"});
    QVERIFY(QFile::remove(name));
    log("three");
    QCOMPARE(entries(log_file.text()), QStringList{"three"});
    keep_log_open(false);
    QVERIFY(!open_files(QCoreApplication::applicationPid()).contains(name));
}

void Test_log::traced_run_writes_on_after_rotation_and_deletion()
{
    const std::vector<Device> devices = numbered_devices(1);
    Sim sim(sim_modems(devices, "echo"));
    QVERIFY(sim.started());
    Bridge_options options;
    options.trace_ws = "all";
    options.devlist_period = 100;
    Bridge bridge(sim.port, devices, options);
    const QString name = bridge.path("ruvo_bridge.log");
    QVERIFY(wait_for([&] { return bridge.log().size() >= 3; }));
    QVERIFY(wait_for([&] { return open_files(bridge.process.processId()).contains(name); }));
    QVERIFY(QFile::rename(name, name + QStringLiteral(".1")));
    QVERIFY(wait_for([&] { return entries(read_file(name)).size() >= 2; }));
    QVERIFY(QFile::remove(name));
    QVERIFY(wait_for([&] { return entries(read_file(name)).size() >= 2; }));
    QCOMPARE((entries(read_file(name)) + entries(read_file(name + QStringLiteral(".1")))).filter(torn), QStringList());
    QVERIFY(bridge.stop());
}

void Test_log::full_disk_tears_no_entry_and_counts_the_losses()
{
    QTemporaryDir mount_point;
    const QByteArray where = QFile::encodeName(mount_point.path());
    if (::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("a small tmpfs cannot be mounted here (root is needed)");
    // Unmounted however the test ends, after the program is gone.
    struct Unmount {
        const QByteArray& where;
        ~Unmount() { ::umount2(where.constData(), MNT_DETACH); }
    } unmount{where};
    const QString name = mount_point.filePath(QStringLiteral("ruvo.log"));
    const QString filler = mount_point.filePath(QStringLiteral("filler"));
    const std::vector<Device> devices = numbered_devices(1);
    const quint16 metrics_port = free_ports(1).front();
    Sim sim(sim_modems(devices, "echo"));
    QVERIFY(sim.started());
    Bridge_options options;
    options.trace_ws = "all";
    // About 3 KB of trace a second: the freed space lasts well beyond the test.
    options.devlist_period = 200;
    options.args << QStringLiteral("--log=") + name;
    options.extra_cfg = "metrics_listen = \"127.0.0.1:" + QByteArray::number(metrics_port) + "\"\n";
    Bridge bridge(sim.port, devices, options);
    const auto lost_in_metrics = [&] {
        return metric_value(scrape_metrics(metrics_port), "ruvo_bridge_log_entries_lost_total");
    };
    QVERIFY(wait_for([&] { return entries(read_file(name)).size() >= 3; }));

    // Fill the disk to the last byte: in blocks, then byte by byte.
    QFile fill(filler);
    QVERIFY(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    for (const QByteArray& piece : {QByteArray(512, '.'), QByteArray(1, '.')})
        while (fill.write(piece) == piece.size()) {
        }
    QByteArray told;
    QVERIFY(wait_for([&] {
        told += bridge.process.readAllStandardError();
        return told.contains(qt_error_string(ENOSPC).toLocal8Bit());
    }));
    QVERIFY(wait_for([&] { return lost_in_metrics() >= 5; }));
    fill.close();
    QVERIFY(QFile::remove(filler));
    // Writing works again once a few more entries have come.
    const int size_freed = read_file(name).size();
    QVERIFY(wait_for([&] { return read_file(name).size() > size_freed + 2000; }));
    const double counted = lost_in_metrics();
    QVERIFY(bridge.stop());
    told += bridge.process.readAllStandardError();
    QCOMPARE(told.count(QStringLiteral("Не удалось записать в журнал").toLocal8Bit()), 1);
    QVERIFY(told.contains(name.toLocal8Bit()));

    // Every entry whole; each run of losses reported by the entry after it, all of them counted.
    const QStringList all = entries(read_file(name));
    QCOMPARE(all.filter(torn), QStringList());
    const QStringList reports = all.filter(QStringLiteral("снова работает"));
    QVERIFY(!reports.isEmpty());
    double reported = 0;
    for (const QString& report : reports) {
        const quint64 lost = report.section(QLatin1Char(' '), -1).chopped(1).toULongLong();
        QCOMPARE(report, works_again(lost));
        reported += static_cast<double>(lost);
    }
    QCOMPARE(reported, counted);
}

QTEST_MAIN(Test_log)
#include "test_log.moc"
