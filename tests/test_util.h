// Helpers shared by the tests: temporary folders, files, free ports, the log and the real executables.
#pragma once

#include "temp_settings.h"
#include "common/err.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

const int process_wait_ms = 15000;

// Looks again at every event that comes and every few milliseconds, so that a condition is seen
// as soon as it holds (QTest::qWaitFor sleeps 10 ms between looks).
inline bool wait_for(const std::function<bool()>& done, int ms = process_wait_ms)
{
    QTimer tick;
    tick.start(2);
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// Writes bytes to a file, replacing it.
inline void write_file(const QString& name, const QByteArray& data)
{
    QFile f(name);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
}

// Whether a text has Russian letters (a text left untranslated in English).
inline bool has_cyrillic(const QString& text)
{
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    return text.contains(cyrillic);
}

inline QByteArray read_file(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A memory figure of a process ("VmRSS", "VmSize") from /proc/<process>/status, in kilobytes;
// process is a number or "self". -1 when it cannot be read.
inline qint64 proc_status_kb(const QString& process, const char* field)
{
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : read_file(QStringLiteral("/proc/%1/status").arg(process)).split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Ports that are free now, all different, taken below the kernel's range of ports for outgoing
// connections, so that no connection made meanwhile can sit on one of them.
inline std::vector<quint16> free_ports(int count)
{
    const QList<QByteArray> range = read_file(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range")).simplified().split(' ');
    const int ephemeral = range.isEmpty() ? 32768 : std::max(range.first().toInt(), 2048 + count);
    const int lowest = 1024;
    const int span = ephemeral - lowest;
    const int first = lowest + static_cast<int>(QRandomGenerator::global()->bounded(span));
    std::vector<quint16> ports;
    for (int i = 0; i < span && static_cast<int>(ports.size()) < count; ++i) {
        const quint16 candidate = static_cast<quint16>(lowest + (first - lowest + i) % span);
        QTcpServer probe;
        if (probe.listen(QHostAddress::Any, candidate))
            ports.push_back(candidate);
    }
    return ports;
}

// Points the program's log at a file in a temporary folder for the life of the object.
class Temp_log {
public:
    Temp_log() : path(dir.path().toUtf8() + "/test.log")
    {
        previous = log_fname;
        log_fname = path.constData();
    }
    ~Temp_log() { log_fname = previous; }
    QByteArray text() const { return read_file(QString::fromUtf8(path)); }
    void clear() const { QFile::remove(QString::fromUtf8(path)); }
    QString folder() const { return dir.path(); }

private:
    QTemporaryDir dir;
    QByteArray path;
    const char* previous;
};
