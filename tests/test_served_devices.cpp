// Tests of the owner of the list of modems to serve: every change is published before it is
// announced, and announced exactly once; a reload that fails changes and announces nothing.
#include "core/cfg.h"
#include "core/devices_file.h"
#include "core/served_devices.h"
#include "core/shared.h"
#include "tests/device_tables.h"
#include "tests/test_util.h"

#include <QTemporaryDir>
#include <QtTest>
#include <functional>

using Operation = std::function<void()>;
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
    void list_change_counts_data();
    void list_change_counts();
    void refused_blank_file_says_how_to_empty_the_list();
    void reload_after_failed_save_says_what_it_undoes();
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
                         << "00000000000000A1:3000:51 00000000000000A2:3001:51 00000000000000B1:4000:60";
    QTest::newRow("edit size") << Operation([=] { served_devices.edit(at(0xA1), 0xA1, {9, 3000}); }) << 1
                               << "00000000000000A1:3000:9 00000000000000A2:3001:51";
    QTest::newRow("edit port") << Operation([=] { served_devices.edit(at(0xA1), 0xA1, {51, 3005}); }) << 1
                               << "00000000000000A1:3005:51 00000000000000A2:3001:51";
    QTest::newRow("edit eui") << Operation([=] { served_devices.edit(at(0xA2), 0xC3, {51, 3001}); }) << 1
                              << "00000000000000A1:3000:51 00000000000000C3:3001:51";
    QTest::newRow("remove") << Operation([=] { served_devices.remove(at(0xA1)); }) << 1 << "00000000000000A2:3001:51";
    const auto reload = [this](const QByteArray& text) {
        return Operation([this, text] {
            write_devices(text);
            served_devices.replace_from_file(stamp_devices_file());
        });
    };
    const QString kept = QStringLiteral("00000000000000A1:3000:51 00000000000000A2:3001:51");
    QTest::newRow("reload") << reload("device(eui=00000000000000D4, tcp_port=3001, max_frame=7)\n") << 1
                            << "00000000000000D4:3001:7";
    QTest::newRow("reload of a broken file") << reload("device(eui=00000000000000D4, tcp_port=)\n") << 0 << kept;
    QTest::newRow("reload of an empty file") << reload("") << 0 << kept;
    QTest::newRow("reload of blanks") << reload("\xEF\xBB\xBF \r\n\t\n") << 0 << kept;
    QTest::newRow("reload of a comment alone") << reload("# no modems\n") << 1 << "";
    QTest::newRow("reload of a file written meanwhile") << Operation([this] {
        const Devices_file_stamp before = stamp_devices_file();
        write_devices("device(eui=00000000000000D4, tcp_port=3001)\n");
        QCOMPARE(served_devices.replace_from_file(before), Served_devices::Reload::file_changed);
    }) << 0 << kept;
    QTest::newRow("save") << Operation([] { served_devices.save(); }) << 0 << kept;
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

void Test_served_devices::list_change_counts_data()
{
    QTest::addColumn<QList<int>>("before");  // port of EUI i, 0 for none
    QTest::addColumn<QList<int>>("after");
    QTest::addColumn<QList<int>>("added_removed_changed");
    QTest::newRow("same") << QList<int>{1, 2} << QList<int>{1, 2} << QList<int>{0, 0, 0};
    QTest::newRow("all new") << QList<int>{} << QList<int>{1, 2} << QList<int>{2, 0, 0};
    QTest::newRow("all gone") << QList<int>{1, 2} << QList<int>{} << QList<int>{0, 2, 0};
    QTest::newRow("ports swapped") << QList<int>{1, 2} << QList<int>{2, 1} << QList<int>{0, 0, 2};
    QTest::newRow("mixed") << QList<int>{1, 0, 3, 4} << QList<int>{0, 2, 3, 5} << QList<int>{1, 1, 1};
}

void Test_served_devices::list_change_counts()
{
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, after);
    QFETCH(QList<int>, added_removed_changed);
    const auto list = [](const QList<int>& ports) {
        Devices_in_cfg devices;
        for (int i = 0; i < ports.size(); ++i)
            if (ports[i])
                devices.insert(i, Device_in_cfg{51, quint16(ports[i])});
        return devices;
    };
    const List_change change = list_change(list(before), list(after));
    QCOMPARE((QList<int>{change.added, change.removed, change.changed}), added_removed_changed);
}

void Test_served_devices::refused_blank_file_says_how_to_empty_the_list()
{
    write_devices("");
    QCOMPARE(served_devices.replace_from_file(stamp_devices_file()), Served_devices::Reload::kept);
    QCOMPARE(QString::fromUtf8(temp_log.text()).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts).size(), 2);
    QVERIFY(temp_log.text().contains(
        QStringLiteral("Файл со списком устройств «%1» пуст, а в действующем списке устройств 2: файл, вероятно, "
                       "ещё не дописан. Чтобы намеренно убрать из списка все устройства, оставьте в файле только "
                       "комментарий (например, строку «# нет устройств») и снова пошлите сигнал SIGHUP.")
            .arg(devices_fname)
            .toUtf8()));
    QVERIFY(temp_log.text().contains(
        QByteArray("Файл со списком устройств не перечитан, действует прежний список устройств.")));
    // With no modems in force an empty file takes nothing away.
    served_devices.remove(devices_in_cfg.find(0xA1));
    served_devices.remove(devices_in_cfg.find(0xA2));
    QCOMPARE(served_devices.replace_from_file(stamp_devices_file()), Served_devices::Reload::replaced);
}

// A save that failed leaves the list ahead of the file; the reload says what it takes back.
void Test_served_devices::reload_after_failed_save_says_what_it_undoes()
{
    served_devices.add(0xB1, {51, 4000});
    served_devices.add(0xB2, {51, 4001});
    served_devices.edit(devices_in_cfg.find(0xA1), 0xA1, {60, 3000});
    served_devices.remove(devices_in_cfg.find(0xA2));
    QCOMPARE(served_devices.replace_from_file(stamp_devices_file()), Served_devices::Reload::replaced);
    const QString undone = QStringLiteral(
        "Действовавший список устройств отличался от файла «%1»: изменения, сделанные в окне списка, не удалось "
        "сохранить. Перечитанный файл добавил устройств: 1, убрал: 2, изменил: 1.").arg(devices_fname);
    QVERIFY2(temp_log.text().contains(undone.toUtf8()), temp_log.text().constData());
    // After a save, or with the list as the file has it, a reload says nothing of the kind.
    temp_log.clear();
    served_devices.add(0xB1, {51, 4000});
    served_devices.save();
    QCOMPARE(served_devices.replace_from_file(stamp_devices_file()), Served_devices::Reload::replaced);
    QVERIFY(!temp_log.text().contains("отличался"));
    QVERIFY(temp_log.text().contains("перечитан: устройств в списке 3."));
}

QTEST_MAIN(Test_served_devices)
#include "test_served_devices.moc"
