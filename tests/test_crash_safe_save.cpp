// The devices file survives the program being killed while it saves: a child process (this executable
// started with --save-loop) rewrites the file again and again and is killed with SIGKILL at random
// moments; the file must always read back as one of the two tables, byte for byte.
#include "core/cfg.h"
#include "core/devices_file.h"
#include "core/shared.h"
#include "test_util.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>
#include <cstdio>
#include <cstring>

namespace {

const char save_loop_option[] = "--save-loop";
const char ready_line[] = "saving\n";
const int kills = 30;
const int wait_ms = 10000;

// Two tables of different sizes and contents, large enough that a save takes a while.
Devices_in_cfg table(int which)
{
    Devices_in_cfg devices;
    const int count = which ? 1700 : 1500;
    for (int i = 0; i < count; ++i) {
        const unsigned long eui = 0x0102030405000000UL + static_cast<unsigned long>(i) * (which ? 7 : 3);
        devices.insert(eui, Device_in_cfg{static_cast<quint32>(1 + (i * (which ? 13 : 5)) % 9999),
                                          static_cast<quint16>(1000 + i * (which ? 2 : 1))});
    }
    return devices;
}

bool same_tables(const Devices_in_cfg& a, const Devices_in_cfg& b)
{
    if (a.size() != b.size())
        return false;
    for (auto i = a.cbegin(), j = b.cbegin(); i != a.cend(); ++i, ++j)
        if (i.key() != j.key() || i->tcp_port != j->tcp_port || i->max_frame != j->max_frame)
            return false;
    return true;
}

// The child: saves the two tables in turn until it is killed; says when the first save is done.
int save_loop(const char* file_name)
{
    log_fname = "/dev/null";
    devices_fname = QString::fromLocal8Bit(file_name);
    const Devices_in_cfg tables[2] = {table(0), table(1)};
    for (unsigned i = 0;; ++i) {
        devices_in_cfg = tables[i % 2];
        try {
            save_devices_in_cfg();
        } catch (const Err& e) {
            fprintf(stderr, "%s\n", e.message().toUtf8().constData());
            return 1;
        }
        if (i == 0) {
            fputs(ready_line, stdout);
            fflush(stdout);
        }
    }
}

// Saves a table in process to the given file and returns the bytes written.
QByteArray saved_bytes(const Devices_in_cfg& devices, const QString& file_name)
{
    devices_fname = file_name;
    devices_in_cfg = devices;
    save_devices_in_cfg();
    return read_file(file_name);
}

}  // namespace

class Test_crash_safe_save : public QObject {
    Q_OBJECT
private slots:
    void killed_saver_leaves_old_or_new_table();
};

void Test_crash_safe_save::killed_saver_leaves_old_or_new_table()
{
    Temp_log log_file;
    QDir dir(log_file.folder());
    const QString file = dir.filePath(QStringLiteral("devices.cfg"));
    const Devices_in_cfg tables[2] = {table(0), table(1)};
    // What the save of each table writes: the file as the reader must find it after any kill.
    QByteArray image_of[2];
    const QString scratch = dir.filePath(QStringLiteral("scratch.cfg"));
    image_of[1] = saved_bytes(tables[1], scratch);
    QVERIFY(QFile::remove(scratch));
    image_of[0] = saved_bytes(tables[0], file);
    QVERIFY(!image_of[0].isEmpty() && image_of[0] != image_of[1]);

    // QSaveFile writes an unnamed file and gives it a name of its own (the file's with six more characters)
    // just before renaming it over the file: a kill in between leaves that name, on a complete table.
    const QRegularExpression temp_name(QStringLiteral("^devices\\.cfg\\.[A-Za-z0-9]{6}$"));
    int leftovers = 0;
    int times_found[2] = {0, 0};
    for (int k = 0; k < kills; ++k) {
        QProcess saver;
        saver.start(QCoreApplication::applicationFilePath(), {QLatin1String(save_loop_option), file});
        QVERIFY2(saver.waitForStarted(wait_ms), qPrintable(saver.errorString()));
        // Every other kill lands after the first save, the rest anywhere from the start.
        if (k % 2)
            QVERIFY(saver.waitForReadyRead(wait_ms));
        QThread::usleep(QRandomGenerator::global()->bounded(k % 2 ? 20000u : 60000u));
        QCOMPARE(saver.state(), QProcess::Running);
        saver.kill();
        QVERIFY(saver.waitForFinished(wait_ms));
        QCOMPARE(saver.exitStatus(), QProcess::CrashExit);

        const QByteArray bytes = read_file(file);
        QVERIFY2(bytes == image_of[0] || bytes == image_of[1],
                 qPrintable(QStringLiteral("kill %1: the file holds %2 bytes of neither table")
                                .arg(k)
                                .arg(bytes.size())));
        devices_fname = file;
        load_devices_in_cfg();
        const int found = bytes == image_of[1] ? 1 : 0;
        QVERIFY(same_tables(devices_in_cfg, tables[found]));
        ++times_found[found];

        QStringList others = dir.entryList(QDir::Files);
        others.removeOne(QStringLiteral("devices.cfg"));
        others.removeOne(QStringLiteral("test.log"));
        for (const QString& name : others) {
            QVERIFY2(temp_name.match(name).hasMatch(), qPrintable(name));
            const QByteArray left = read_file(dir.filePath(name));
            QVERIFY2(left == image_of[0] || left == image_of[1], qPrintable(name));
        }
        QVERIFY(others.size() <= k + 1);
        leftovers = others.size();
    }
    qInfo("%d kills: the file held the first table %d times, the second %d times; %d kills came between "
          "the naming and the renaming of a save's file and left it behind",
          kills, times_found[0], times_found[1], leftovers);
    // Both tables found: the kills came at every stage of the loop, not only before or after it.
    QVERIFY(times_found[0] > 0 && times_found[1] > 0);
}

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], save_loop_option) == 0)
        return save_loop(argv[2]);
    QCoreApplication app(argc, argv);
    Test_crash_safe_save test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_crash_safe_save.moc"
