// Helpers shared by the tests: temporary folders, files, the log and the real executables.
#pragma once

#include "common/err.h"

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>

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
