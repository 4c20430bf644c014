// The real program and the simulated RUVO-LoRa server as child processes, for the end-to-end
// tests and the benchmarks: configuration, log, control commands and the kernel's listening ports.
#pragma once

#include "tests/test_util.h"

#include <QDebug>
#include <QDir>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

// Sockets in the listening state, from the kernel's own tables: their ports by socket inode.
inline QHash<QByteArray, quint16> listening_sockets()
{
    QHash<QByteArray, quint16> sockets;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"})
        for (const QByteArray& line : read_file(QString::fromLatin1(table)).split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 9 && fields[3] == "0A")
                sockets.insert(fields[9], static_cast<quint16>(
                                              fields[1].mid(fields[1].lastIndexOf(':') + 1).toUInt(nullptr, 16)));
        }
    return sockets;
}

inline QSet<quint16> listening_ports()
{
    QSet<quint16> ports;
    for (quint16 port : listening_sockets())
        ports.insert(port);
    return ports;
}

// Ports on which the process itself listens: its open files that are listening sockets.
inline QSet<quint16> listening_ports_of(qint64 pid)
{
    const QHash<QByteArray, quint16> sockets = listening_sockets();
    const QString fd_dir = QStringLiteral("/proc/%1/fd").arg(pid);
    QSet<quint16> ports;
    for (const QString& fd : QDir(fd_dir).entryList(QDir::Files | QDir::System)) {
        char target[64] = {};
        if (readlink(QFile::encodeName(fd_dir + QLatin1Char('/') + fd).constData(), target, sizeof target - 1) <= 0)
            continue;
        const QByteArray link(target);
        if (link.startsWith("socket:[") && sockets.contains(link.mid(8, link.size() - 9)))
            ports.insert(sockets.value(link.mid(8, link.size() - 9)));
    }
    return ports;
}

inline bool listening(quint16 port)
{
    return listening_ports().contains(port);
}

// The entries of a log, without their time stamps.
inline QStringList entries_of(const QByteArray& log_text)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[[0-9.: ]+\\] "));
    QStringList result;
    for (QString entry : QString::fromUtf8(log_text).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts))
        result << entry.remove(stamp);
    return result;
}

inline std::unique_ptr<QTcpSocket> client_of(quint16 port)
{
    std::unique_ptr<QTcpSocket> c(new QTcpSocket);
    c->connectToHost(QHostAddress::LocalHost, port);
    if (!c->waitForConnected(process_wait_ms))
        qWarning() << "cannot connect to" << port;
    return c;
}

inline bool wait_gone(QTcpSocket& c)
{
    return wait_for([&] { return c.state() == QAbstractSocket::UnconnectedState; });
}

inline bool read_exactly(QTcpSocket& c, const QByteArray& expected, int ms = process_wait_ms)
{
    QByteArray got;
    const bool ok = wait_for(
        [&] {
            got += c.readAll();
            return got.size() >= expected.size();
        },
        ms);
    if (!ok || got != expected)
        qWarning() << "read" << got.toHex() << "expected" << expected.toHex();
    return ok && got == expected;
}

struct Device {
    QString eui;
    quint16 port;
    int max_frame;
    // Written only when given.
    const char* protocol = nullptr;
    // More attributes, such as "cache_ms=3000", written as they are when given.
    const char* more = nullptr;
};

// Modems numbered from a base EUI, with ports from the kernel.
inline std::vector<Device> numbered_devices(int count, int max_frame = 255)
{
    const std::vector<quint16> ports = free_ports(count);
    std::vector<Device> result;
    for (int i = 0; i < count; ++i)
        result.push_back({QStringLiteral("%1").arg(0x0102030405000000ULL + static_cast<quint64>(i), 16, 16, QLatin1Char('0')).toUpper(),
                          ports[static_cast<size_t>(i)], max_frame});
    return result;
}

// The simulator's --modem values for the devices, all of one kind.
inline QStringList sim_modems(const std::vector<Device>& list, const char* kind)
{
    QStringList result;
    for (const Device& d : list)
        result << d.eui + QLatin1Char(':') + QLatin1String(kind);
    return result;
}

// The simulated server, driven through its standard input and watched through its output.
class Sim {
public:
    explicit Sim(const QStringList& modems, const QStringList& options = {})
    {
        QStringList args{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                         QStringLiteral("--radio-delay"), QStringLiteral("0")};
        for (const QString& m : modems)
            args << QStringLiteral("--modem") << m;
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { read_lines(); });
        process.start(QStringLiteral(RUVO_SIM_EXE), args + options);
    }
    ~Sim()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
    }

    bool started()
    {
        return wait_for([this] { return port != 0; });
    }

    // Runs one control command; true when the simulator answers "ok".
    bool command(const QString& text)
    {
        const int before = answers().size();
        process.write(text.toUtf8() + '\n');
        if (!wait_for([&] { return answers().size() > before; }))
            return false;
        const QString answer = answers().at(before);
        if (answer != QLatin1String("ok"))
            qWarning() << text << answer;
        return answer == QLatin1String("ok");
    }

    int count(const QString& line) const { return lines.count(line); }
    bool wait_count(const QString& line, int n)
    {
        return wait_for([&] { return count(line) >= n; });
    }
    bool wait_line(const QString& line) { return wait_count(line, 1); }

    QStringList lines;
    quint16 port = 0;
    // Called with every line as it arrives.
    std::function<void(const QString&)> on_line;

private:
    QStringList answers() const
    {
        static const QRegularExpression answer(QStringLiteral("^(ok$|error )"));
        return lines.filter(answer);
    }

    void read_lines()
    {
        while (process.canReadLine()) {
            QString line = QString::fromUtf8(process.readLine());
            line.chop(1);
            if (line.startsWith(QLatin1String("listening ")))
                port = static_cast<quint16>(line.mid(10).toUInt());
            if (on_line)
                on_line(line);
            lines << line;
        }
    }

    QProcess process;
};

inline bool all_listening(const std::vector<Device>& list)
{
    const QSet<quint16> ports = listening_ports();
    return std::all_of(list.begin(), list.end(), [&](const Device& d) { return ports.contains(d.port); });
}

struct Bridge_options {
    int interframe_delay = 15;
    int devlist_period = 500;
    int reconnect_delay = 100;
    const char* trace_ws = "bad_frames";
    const char* trace_tcp = "all";
    // Another server address than the simulator's.
    QString ws_url;
    // A command that starts the program in turn (such as prlimit), and more environment.
    QStringList launcher;
    QStringList environment;
    // Written only when not 0.
    int modbus_timeout = 0;
    int batch_max = 0;  // 0: no ws_batch_max in the file
    const char* scheme = "ws";
    const char* password = "demo";
    QByteArray extra_cfg;  // further lines of the configuration
    QByteArray extra_devices;  // further sentences of the devices file
    QFileDevice::Permissions cfg_mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                        QFileDevice::ReadOther;
    // More arguments of the command line.
    QStringList args;
    // The daemon instead of the desktop program, with neither a display nor a Qt platform named.
    bool daemon = false;
};

// The program in a temporary folder with its configuration, devices file and log.
class Bridge {
public:
    Bridge(quint16 ws_port, const std::vector<Device>& devices, const Bridge_options& options = Bridge_options())
    {
        const QString url = options.ws_url.isEmpty()
                                ? QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(options.scheme)).arg(ws_port)
                                : options.ws_url;
        write_file(path("ruvo_bridge.cfg"),
                   QStringLiteral("ws_url = \"%1\"\n"
                                  "ws_login = \"demo\"\n"
                                  "ws_password = \"%6\"\n"
                                  "ws_reconnect_delay = %7\n"
                                  "ws_devlist_period = %2\n"
                                  "interframe_delay = %3\n"
                                  "trace_ws = %4\n"
                                  "trace_tcp = %5\n"
                                  "devices_file = \"devices.cfg\"\n")
                       .arg(url)
                       .arg(options.devlist_period)
                       .arg(options.interframe_delay)
                       .arg(QLatin1String(options.trace_ws), QLatin1String(options.trace_tcp),
                            QLatin1String(options.password))
                       .arg(options.reconnect_delay)
                       .toUtf8() +
                       (options.modbus_timeout ? "modbus_timeout = " + QByteArray::number(options.modbus_timeout) + "\n"
                                               : QByteArray()) +
                       (options.batch_max ? "ws_batch_max = " + QByteArray::number(options.batch_max) + "\n" : QByteArray()) +
                       options.extra_cfg);
        QFile::setPermissions(path("ruvo_bridge.cfg"), options.cfg_mode);
        write_devices(devices, options.extra_devices);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (options.daemon) {
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        } else {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("RUVO_UNATTENDED_BOX_MS"), QStringLiteral("100"));
        }
        for (const QString& setting : options.environment)
            env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        QStringList command = options.launcher;
        command << QString::fromUtf8(options.daemon ? RUVO_BRIDGED_EXE : RUVO_BRIDGE_EXE) << options.args;
        const QString program = command.takeFirst();
        process.start(program, command);
    }

    void write_devices(const std::vector<Device>& devices, const QByteArray& more = QByteArray()) const
    {
        QByteArray list;
        for (const Device& d : devices)
            list += QStringLiteral("device(eui=%1, tcp_port=%2, max_frame=%3%4%5)\n")
                        .arg(d.eui)
                        .arg(d.port)
                        .arg(d.max_frame)
                        .arg(d.protocol ? QStringLiteral(", protocol=") + QLatin1String(d.protocol) : QString(),
                             d.more ? QStringLiteral(", ") + QLatin1String(d.more) : QString())
                        .toUtf8();
        write_file(path("devices.cfg"), list + more);
    }
    ~Bridge()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    QStringList log() const { return entries_of(read_file(path("ruvo_bridge.log"))); }
    bool logged(const QString& text) const { return log().contains(text); }
    bool wait_log(const QString& text)
    {
        if (wait_for([&] { return logged(text); }))
            return true;
        qWarning() << "not logged:" << text << log();
        return false;
    }

    // SIGTERM ends the program in order; it must say so with exit code 0.
    bool stop()
    {
        process.terminate();
        if (!process.waitForFinished(process_wait_ms)) {
            qWarning() << "the program did not end";
            return false;
        }
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            qWarning() << "exit" << process.exitStatus() << process.exitCode() << log()
                       << process.readAllStandardError().right(4000);
            return false;
        }
        return true;
    }

    QProcess process;

private:
    QTemporaryDir dir;
};

// The text of the program's metrics endpoint on loopback; empty when it does not answer.
inline QByteArray scrape_metrics(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(process_wait_ms))
        return QByteArray();
    s.write("GET /metrics HTTP/1.0\r\n\r\n");
    QByteArray reply;
    wait_for([&] {
        reply += s.readAll();
        return s.state() == QAbstractSocket::UnconnectedState;
    });
    reply += s.readAll();
    const int body = reply.indexOf("\r\n\r\n");
    return body < 0 ? QByteArray() : reply.mid(body + 4);
}

// The value of one series in a scrape; -1 when the series is not there.
inline double metric_value(const QByteArray& text, const QByteArray& series)
{
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(series + ' '))
            return line.mid(series.size() + 1).toDouble();
    return -1;
}
