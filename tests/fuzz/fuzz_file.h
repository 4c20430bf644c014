// Shared by the libFuzzer targets of the file readers: the input becomes a file in /tmp,
// and the log and Qt's warnings are silenced so that millions of runs do not fill the disk.
#pragma once

#include "common/err.h"

#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

inline void drop_qt_message(QtMsgType, const QMessageLogContext&, const QString&) {}

// Writes the input to this process's file of the given kind and returns its name.
inline const QString& fuzz_input_file(const char* kind, const uint8_t* data, size_t size)
{
    static const QString name =
        QStringLiteral("/tmp/ruvo_fuzz_%1_%2.cfg").arg(QLatin1String(kind)).arg(static_cast<qint64>(getpid()));
    static const bool quiet = [] {
        log_fname = "/dev/null";
        qInstallMessageHandler(drop_qt_message);
        return true;
    }();
    (void)quiet;
    QFile file(name);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    return name;
}
