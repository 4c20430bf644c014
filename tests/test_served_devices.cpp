// Tests of the owner of the list of modems to serve: every change is published before it is
// announced, and announced exactly once; a reload that fails changes and announces nothing.
#include "core/cfg.h"
#include "core/served_devices.h"
#include "core/shared.h"
#include "tests/test_util.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

namespace {

// The list as "EUI:port:max_frame" entries, or a complaint when tcp_ports does not index it.
QString tables()
{
    if (tcp_ports.size() != devices_in_cfg.size())
        return QStringLiteral("tcp_ports out of step");
    for (auto it = tcp_ports.cbegin(); it != tcp_ports.cend(); ++it)
        if (devices_in_cfg.find(it.value().key()) != it.value() || it.value()->tcp_port != it.key())
            return QStringLiteral("tcp_ports out of step");
    QStringList entries;
    for (auto it = devices_in_cfg.cbegin(); it != devices_in_cfg.cend(); ++it)
        entries << QStringLiteral("%1:%2:%3").arg(it.key(), 0, 16).arg(it->tcp_port).arg(it->max_frame);
    return entries.join(QLatin1Char(' '));
}

using Operation = std::function<void()>;

}  // namespace

Q_DECLARE_METATYPE(Operation)

class Test_served_devices : public QObject {
    Q_OBJECT

    Temp_log temp_log;
    QTemporaryDir files;

    void write_devices(const QByteArray& text) { write_file(devices_fname, text); }

private slots:
    void init();
    void each_change_published_then_announced_once_data();
    void each_change_published_then_announced_once();
};

void Test_served_devices::init()
{
    default_max_frame = 51;
    devices_fname = files.path() + QStringLiteral("/devices.cfg");
    write_devices("device(eui=00000000000000A1, tcp_port=3000)\ndevice(eui=00000000000000A2, tcp_port=3001)\n");
    served_devices.load();
    temp_log.clear();
}

void Test_served_devices::each_change_published_then_announced_once_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<int>("announced");
    QTest::addColumn<QString>("after");

    const auto at = [](unsigned long eui) { return devices_in_cfg.find(eui); };
    QTest::newRow("add") << Operation([] { served_devices.add(0xB1, {60, 4000}); }) << 1
                         << "a1:3000:51 a2:3001:51 b1:4000:60";
    QTest::newRow("edit size") << Operation([=] { served_devices.edit(at(0xA1), 0xA1, {9, 3000}); }) << 1
                               << "a1:3000:9 a2:3001:51";
    QTest::newRow("edit port") << Operation([=] { served_devices.edit(at(0xA1), 0xA1, {51, 3005}); }) << 1
                               << "a1:3005:51 a2:3001:51";
    QTest::newRow("edit eui") << Operation([=] { served_devices.edit(at(0xA2), 0xC3, {51, 3001}); }) << 1
                              << "a1:3000:51 c3:3001:51";
    QTest::newRow("remove") << Operation([=] { served_devices.remove(at(0xA1)); }) << 1 << "a2:3001:51";
    QTest::newRow("reload") << Operation([this] {
        write_devices("device(eui=00000000000000D4, tcp_port=3001, max_frame=7)\n");
        served_devices.replace_from_file();
    }) << 1 << "d4:3001:7";
    QTest::newRow("reload of a broken file") << Operation([this] {
        write_devices("device(eui=00000000000000D4, tcp_port=)\n");
        served_devices.replace_from_file();
    }) << 0 << "a1:3000:51 a2:3001:51";
    QTest::newRow("save") << Operation([] { served_devices.save(); }) << 0 << "a1:3000:51 a2:3001:51";
}

void Test_served_devices::each_change_published_then_announced_once()
{
    QFETCH(Operation, operation);
    QFETCH(int, announced);
    QFETCH(QString, after);
    QStringList seen;
    const QMetaObject::Connection subscriber =
        connect(&served_devices, &Served_devices::changed, this, [&] { seen << tables(); });
    operation();
    disconnect(subscriber);
    QCOMPARE(tables(), after);
    QCOMPARE(seen, QStringList(QVector<QString>(announced, after).toList()));
}

QTEST_MAIN(Test_served_devices)
#include "test_served_devices.moc"
