// Tests of the devices file: sentences and attributes, the messages with their positions,
// duplicate warnings in the log, saving and reading back, and saves that cannot complete.
// Every file is read with a site port on 502, which only the rows about it give a modem.
#include "core/cfg.h"
#include "core/devices_file.h"
#include "core/shared.h"
#include "tests/device_tables.h"
#include "tests/test_util.h"

#include <QDir>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString framed(const QString& file, int column, int line, const QString& reason)
{
    return QStringLiteral("Ошибка в %1-м символе %2-й строки файла «%3»: %4")
        .arg(QString::number(column), QString::number(line), file, reason);
}

void add_device(unsigned long eui, quint16 tcp_port, quint32 max_frame, Port_protocol protocol = default_port_protocol)
{
    tcp_ports.insert(tcp_port, devices_in_cfg.insert(eui, Device_in_cfg{max_frame, tcp_port, protocol}));
}

// Makes a folder unwritable for the life of the object: the immutable flag for the superuser,
// whom permissions do not stop, the permission bits for anyone else.
class Locked_folder {
public:
    explicit Locked_folder(const QString& path) : path(QFile::encodeName(path))
    {
        locked = geteuid() == 0 ? set_immutable(true) : chmod(this->path.constData(), 0555) == 0;
    }
    ~Locked_folder()
    {
        if (locked && geteuid() == 0)
            set_immutable(false);
        else if (locked)
            chmod(path.constData(), 0755);
    }
    bool locked = false;

private:
    bool set_immutable(bool on)
    {
        const int fd = open(path.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        close(fd);
        return done;
    }
    QByteArray path;
};

// Makes every write past a few bytes of a regular file fail (as on a full disk) for the life
// of the object; the log goes to /dev/null meanwhile, which the limit does not touch.
class Small_file_limit {
public:
    Small_file_limit()
    {
        getrlimit(RLIMIT_FSIZE, &old_limit);
        old_handler = signal(SIGXFSZ, SIG_IGN);
        old_log = log_fname;
        log_fname = "/dev/null";
        rlimit limit = old_limit;
        limit.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~Small_file_limit()
    {
        setrlimit(RLIMIT_FSIZE, &old_limit);
        signal(SIGXFSZ, old_handler);
        log_fname = old_log;
    }

private:
    rlimit old_limit;
    void (*old_handler)(int);
    const char* old_log;
};

}  // namespace

class Test_devices_file : public QObject {
    Q_OBJECT

    Temp_log temp_log;
    QTemporaryDir files;

    QString devices_path() const { return files.path() + QStringLiteral("/devices.cfg"); }

    // Loads the text as the devices file; returns the error message, or "" on success.
    QString load(const QByteArray& text)
    {
        devices_fname = devices_path();
        write_file(devices_fname, text);
        try {
            load_devices_in_cfg();
        } catch (const Err& e) {
            return e.message();
        }
        return QString();
    }

    QString save_error()
    {
        try {
            save_devices_in_cfg();
        } catch (const Err& e) {
            return e.message();
        }
        return QString();
    }

private slots:
    void init();
    void sentences_data();
    void sentences();
    void refused_data();
    void refused();
    void duplicate_warnings_data();
    void duplicate_warnings();
    void port_zero_loaded_and_logged();
    void save_and_read_back();
    void protocols_data();
    void protocols();
    void save_into_locked_folder();
    void save_that_cannot_be_written();
    void sample_file();
};

void Test_devices_file::init()
{
    default_max_frame = 51;
    modbus_site_port = 502;
    add_device(1, 1, 1);  // reading must begin with empty tables
    temp_log.clear();
}

void Test_devices_file::sentences_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("only comments") << QByteArray("\xEF\xBB\xBF# one\n// two\n   \n") << QString();
    QTest::newRow("one modem") << QByteArray("device(eui=0102030405A0B0C0, tcp_port=4001, max_frame=51)")
                               << "0102030405A0B0C0:4001:51";
    QTest::newRow("lower case, blanks, default max_frame")
        << QByteArray("device ( eui = 0102030405a0b0c0 , tcp_port = 7 )\n") << "0102030405A0B0C0:7:77";
    QTest::newRow("limits") << QByteArray("device(max_frame=9999,tcp_port=65535,eui=FFFFFFFFFFFFFFFF)"
                                          "device(max_frame=00001,tcp_port=1,eui=0000000000000000)")
                            << "0000000000000000:1:1 FFFFFFFFFFFFFFFF:65535:9999";
    QTest::newRow("sentences sharing a line")
        << QByteArray("device(eui=0000000000000002,tcp_port=2)device(eui=0000000000000001,tcp_port=1) # c")
        << "0000000000000001:1:77 0000000000000002:2:77";
    QTest::newRow("comments between attributes")
        << QByteArray("device( # modem in the boiler room\n  eui=00000000000000AB, // its EUI\n  tcp_port=5020\n)")
        << "00000000000000AB:5020:77";
    QTest::newRow("cache and units, slave left out, ids in any order")
        << QByteArray("device(eui=0000000000000001, tcp_port=1, cache_ms=3000)\n"
                      "device(eui=0000000000000002, tcp_port=2)\n"
                      "unit(id=12, eui=0000000000000002, slave=1)\n"
                      "unit ( slave = 5 , id = 11 , eui = 0000000000000001 ) unit(eui=0000000000000002,id=247)")
        << "0000000000000001:1:77:cache=3000:units=11>5 0000000000000002:2:77:units=12>1,247>247";
    QTest::newRow("unit limits, cache 0 and 3600000")
        << QByteArray("device(eui=0000000000000001, tcp_port=1, cache_ms=0)"
                      "device(eui=0000000000000002, tcp_port=2, cache_ms=3600000)"
                      "unit(id=1, eui=0000000000000001, slave=247) unit(id=002, eui=0000000000000001, slave=1)")
        << "0000000000000001:1:77:units=1>247,2>1 0000000000000002:2:77:cache=3600000";
    QTest::newRow("each unit after its modem")
        << QByteArray("device(eui=00000000000000A1, tcp_port=1)\nunit(id=7, eui=00000000000000a1)\n"
                      "device(eui=00000000000000A2, tcp_port=2)\nunit(id=3, eui=00000000000000A2) # meter 3\n")
        << "00000000000000A1:1:77:units=7>7 00000000000000A2:2:77:units=3>3";
}

void Test_devices_file::sentences()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    default_max_frame = 77;
    QCOMPARE(load(text), QString());
    QCOMPARE(tables(), expected);
    QCOMPARE(temp_log.text(), QByteArray());
}

void Test_devices_file::refused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("reason");

    const QString hex16 = QStringLiteral("ожидается 16-значное шестнадцатиричное число. В шестнадцатиричной записи: "
                                         "от 0000000000000000 до FFFFFFFFFFFFFFFF (цифры 0-9 и буквы A-F).");
    const QString comma = QStringLiteral(
        "ожидается запятая, разделяющая атрибуты, или круглая скобка, завершающая список атрибутов.");
    const QString no_eui = QStringLiteral("в описании объекта «device» отсутствует обязательный атрибут: «eui».");
    const QString no_port =
        QStringLiteral("в описании объекта «device» отсутствует обязательный атрибут: «tcp_port».");
    const QString unknown = QStringLiteral(
        "неизвестный атрибут объекта «device». Знаю только атрибуты «eui», «tcp_port» и «max_frame». "
        "Знаю также атрибуты «protocol» и «cache_ms».");
    const QString too_big = QStringLiteral("число слишком большое (должно быть не более %1)");
    const QString too_small = QStringLiteral("число слишком маленькое (должно быть не менее %1).");
    const QByteArray modem = "device(eui=0102030405060708, tcp_port=1)\n";
    const auto no_unit_attribute = [](const char* name) {
        return QStringLiteral("в описании объекта «unit» отсутствует обязательный атрибут: «%1».").arg(name);
    };
    const auto no_device = [](const char* eui) {
        return QStringLiteral("устройство с eui=0x%1 не описано выше по тексту предложением «device»: предложение "
                              "«unit» может ссылаться только на устройство, описанное до него.")
            .arg(eui);
    };

    QTest::newRow("another word") << QByteArray("\n  modem(eui=0102030405060708, tcp_port=1)") << 2 << 3
                                  << QStringLiteral("файл со списком устройств должен состоять только из "
                                                    "предложений «device». Допустимы также предложения «unit».");
    QTest::newRow("no parenthesis") << QByteArray("device eui=0102030405060708") << 1 << 8
                                    << QStringLiteral("ожидается символ «(».");
    QTest::newRow("empty list") << QByteArray("device( )") << 1 << 10 << no_eui;
    QTest::newRow("only eui") << QByteArray("device(eui=0102030405060708)") << 1 << 29 << no_port;
    QTest::newRow("only port") << QByteArray("device(tcp_port=1, max_frame=2)") << 1 << 32 << no_eui;
    QTest::newRow("15-digit EUI") << QByteArray("device(eui=010203040506070)") << 1 << 12 << hex16;
    QTest::newRow("17-digit EUI") << QByteArray("device(eui=01020304050607080, tcp_port=1)") << 1 << 28
                                  << comma;
    QTest::newRow("EUI with 0x") << QByteArray("device(eui=0x02030405060708, tcp_port=1)") << 1 << 12 << hex16;
    QTest::newRow("max_frame 0") << QByteArray("device(eui=0102030405060708, tcp_port=1, max_frame=0)") << 1 << 52
                                 << QStringLiteral("число слишком маленькое (должно быть не менее 1).");
    QTest::newRow("max_frame 10000") << QByteArray("device(max_frame=10000)") << 1 << 22 << too_big.arg(9999);
    QTest::newRow("max_frame not a number") << QByteArray("device(max_frame=-1)") << 1 << 18
                                            << QStringLiteral("ожидается десятичное число.");
    QTest::newRow("port 65536") << QByteArray("device(tcp_port=65536)") << 1 << 21 << too_big.arg(65535);
    QTest::newRow("port not a number") << QByteArray("device(tcp_port=x)") << 1 << 17
                                       << QStringLiteral("ожидается десятичное число");
    QTest::newRow("unknown attribute") << QByteArray("device(port=1)") << 1 << 8
                                       << unknown + QStringLiteral(" Указано имя «port».");
    QTest::newRow("protocol rtu") << QByteArray("device(protocol=rtu)") << 1 << 17
                                  << QStringLiteral("неправильное значение атрибута «protocol»: знаю только значения "
                                                    "«raw» и «modbus_tcp».");
    QTest::newRow("protocol longer") << QByteArray("device(protocol=raw2)") << 1 << 20 << comma;
    QTest::newRow("protocol twice") << QByteArray("device(protocol=raw, protocol=raw)") << 1 << 30
                                    << QStringLiteral("параметр «protocol» уже определён выше по тексту.");
    QTest::newRow("attribute twice")
        << QByteArray("device(eui=0102030405060708,\n eui=0102030405060709)") << 2 << 5
        << QStringLiteral("параметр «eui» уже определён выше по тексту.");
    QTest::newRow("no equals sign") << QByteArray("device(eui 0102030405060708)") << 1 << 12
                                    << QStringLiteral("ожидается символ «=».");
    QTest::newRow("no comma") << QByteArray("device(eui=0102030405060708 tcp_port=1)") << 1 << 29 << comma;
    QTest::newRow("a single slash is no comment") << QByteArray("device(tcp_port=1 /* c */)") << 1 << 19 << comma;
    QTest::newRow("comma before the parenthesis") << QByteArray("device(tcp_port=1,)") << 1 << 19 << unknown;
    QTest::newRow("end of text in the list") << QByteArray("device(tcp_port=1") << 1 << 18 << comma;
    QTest::newRow("cache_ms 3600001") << QByteArray("device(cache_ms=3600001)") << 1 << 23 << too_big.arg(3600000);
    QTest::newRow("cache_ms twice") << QByteArray("device(cache_ms=1,cache_ms=1)") << 1 << 27
                                    << QStringLiteral("параметр «cache_ms» уже определён выше по тексту.");
    QTest::newRow("modem on the site port")
        << QByteArray("device(eui=0102030405060708,\n  tcp_port = 502)") << 2 << 14
        << QStringLiteral("порт TCP 502 устройства с eui=0x0102030405060708 совпадает с общим портом Modbus TCP "
                          "(параметр «modbus_site_port» файла конфигурации); у общего порта и у каждого "
                          "устройства должен быть свой порт.");
    QTest::newRow("unit id 0") << modem + "unit(id=0, eui=0102030405060708)" << 2 << 9 << too_small.arg(1);
    QTest::newRow("unit id 248") << modem + "unit(id=248, eui=0102030405060708)" << 2 << 11 << too_big.arg(247);
    QTest::newRow("slave 0") << modem + "unit(slave=00)" << 2 << 12 << too_small.arg(1);
    QTest::newRow("slave 1000") << modem + "unit(slave=1000)" << 2 << 15 << too_big.arg(247);
    QTest::newRow("unit without id") << modem + "unit(eui=0102030405060708, slave=1)" << 2 << 36
                                     << no_unit_attribute("id");
    QTest::newRow("unit without eui") << modem + "unit(id=1)" << 2 << 11 << no_unit_attribute("eui");
    QTest::newRow("unit attribute of a device") << modem + "unit(id=1, tcp_port=1)" << 2 << 12
                                                << QStringLiteral("неизвестный атрибут объекта «unit». Знаю только "
                                                                  "атрибуты «id», «eui» и «slave». Указано имя "
                                                                  "«tcp_port».");
    QTest::newRow("unit id twice") << modem + "unit(id=1, id=2)" << 2 << 14
                                   << QStringLiteral("параметр «id» уже определён выше по тексту.");
    QTest::newRow("unit before its modem")
        << QByteArray("unit(id=1, eui=0102030405060708)\n") + modem << 1 << 16 << no_device("0102030405060708");
    QTest::newRow("unit of an unknown modem, the eui on its own line")
        << modem + "unit(id=1,\n    eui=01020304050607FF)" << 3 << 9 << no_device("01020304050607FF");
    QTest::newRow("unit without parenthesis") << modem + "unit id=1" << 2 << 6
                                              << QStringLiteral("ожидается символ «(».");
    QTest::newRow("error in a later sentence")
        << QByteArray("device(eui=0102030405060708, tcp_port=1)\ndevice(eui=0102030405060709)") << 2 << 29
        << no_port;
}

void Test_devices_file::refused()
{
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(QString, reason);
    QCOMPARE(load(text), framed(devices_path(), column, line, reason));
}

// The first mention wins; the later one is dropped with one warning, and reading goes on.
void Test_devices_file::duplicate_warnings_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("warning");
    QTest::newRow("EUI") << QByteArray("device(eui=00000000000000A1, tcp_port=10, max_frame=5)\n"
                                       "device(eui=00000000000000a1, tcp_port=11)\n"
                                       "device(eui=00000000000000A2, tcp_port=12)\n")
                         << "00000000000000A1:10:5 00000000000000A2:12:51"
                         << "Файл со списком устройств («%1») несколько раз упоминает устройство с "
                            "eui=0x00000000000000A1. Все упоминания кроме первого игнорируются.";
    QTest::newRow("port") << QByteArray("device(eui=00000000000000B2, tcp_port=4001)\n"
                                        "device(eui=00000000000000B1, tcp_port=4001)\n")
                          << "00000000000000B2:4001:51"
                          << "Файл со списком устройств «%1» несколько раз упоминает один и тот же номер порта TCP: "
                             "4001. Все упоминания кроме первого игнорируются.";
    QTest::newRow("unit id, on another modem")
        << QByteArray("device(eui=00000000000000C1, tcp_port=1)\ndevice(eui=00000000000000C2, tcp_port=2)\n"
                      "unit(id=11, eui=00000000000000C2, slave=1)\nunit(id=11, eui=00000000000000C1, slave=1)\n"
                      "unit(id=12, eui=00000000000000C1, slave=1)\n")
        << "00000000000000C1:1:51:units=12>1 00000000000000C2:2:51:units=11>1"
        << "Файл со списком устройств («%1») несколько раз упоминает номер устройства (unit id) 11 общего порта "
           "Modbus TCP. Все упоминания кроме первого игнорируются.";
}

void Test_devices_file::duplicate_warnings()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QFETCH(QString, warning);
    QCOMPARE(load(text), QString());
    QCOMPARE(tables(), expected);
    const QString log = QString::fromUtf8(temp_log.text());
    QCOMPARE(log.count(QStringLiteral("несколько раз упоминает")), 1);
    QVERIFY2(log.contains(QStringLiteral("] ") + warning.arg(devices_path()) + QStringLiteral("\n\n")),
             qPrintable(log));
}

// Stored files may hold port 0: the modem loads (so it can be given a port), and the log says
// once why it is not served. A second modem on port 0 is a duplicate port, as any other.
void Test_devices_file::port_zero_loaded_and_logged()
{
    QCOMPARE(load("device(eui=00000000000000C1, tcp_port=00, max_frame=1)\n"
                  "device(eui=00000000000000C2, tcp_port=4002)\n"
                  "device(eui=00000000000000C3, tcp_port=0)\n"),
             QString());
    QCOMPARE(tables(), QStringLiteral("00000000000000C1:0:1 00000000000000C2:4002:51"));
    const QString log = QString::fromUtf8(temp_log.text());
    QCOMPARE(log.count(QStringLiteral("порт TCP 0")), 1);
    QVERIFY2(log.contains(QStringLiteral("] Файл со списком устройств («%1») задаёт для устройства с "
                                         "eui=0x00000000000000C1 порт TCP 0. Порт 0 не годится для подключения "
                                         "клиентов, поэтому это устройство не обслуживается; укажите ему порт от 1 "
                                         "до 65535.\n\n")
                              .arg(devices_path())),
             qPrintable(log));
    QCOMPARE(log.count(QStringLiteral("номер порта TCP: 0.")), 1);
}

void Test_devices_file::save_and_read_back()
{
    devices_in_cfg.clear();
    tcp_ports.clear();
    add_device(0xFFFFFFFFFFFFFFFFul, 65535, 9999);
    add_device(0x0102030405A0B0C0ul, 4001, 51, Port_protocol::modbus_tcp);
    add_device(0, 0, 1);
    devices_in_cfg[0x0102030405A0B0C0ul].cache_ms = 3600000;
    devices_in_cfg[0x0102030405A0B0C0ul].units = {{11, 1}, {247, 2}};
    devices_in_cfg[0xFFFFFFFFFFFFFFFFul].units = {{1, 1}, {12, 12}};
    const QString saved = tables();
    devices_fname = devices_path();
    write_file(devices_fname, "old text");
    QCOMPARE(save_error(), QString());
    QCOMPARE(read_file(devices_fname),
             QByteArray("\xEF\xBB\xBF# Содержимое этого файла сформировано программой ruvo_bridge 1.3.5.\n\n"
                        "device(eui=0000000000000000, tcp_port=0, max_frame=1)\n"
                        "device(eui=0102030405A0B0C0, tcp_port=4001, max_frame=51, protocol=modbus_tcp, "
                        "cache_ms=3600000)\n"
                        "device(eui=FFFFFFFFFFFFFFFF, tcp_port=65535, max_frame=9999)\n"
                        "unit(id=1, eui=FFFFFFFFFFFFFFFF, slave=1)\n"
                        "unit(id=11, eui=0102030405A0B0C0, slave=1)\n"
                        "unit(id=12, eui=FFFFFFFFFFFFFFFF, slave=12)\n"
                        "unit(id=247, eui=0102030405A0B0C0, slave=2)\n"));
    default_max_frame = 9;
    devices_in_cfg.clear();
    tcp_ports.clear();
    load_devices_in_cfg();
    QCOMPARE(tables(), saved);

    devices_in_cfg.clear();
    tcp_ports.clear();
    QCOMPARE(save_error(), QString());
    load_devices_in_cfg();
    QCOMPARE(tables(), QString());
}

// Each row of the protocol table, tagged with its name in the devices file (saved with the others).
void Test_devices_file::protocols_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("clients");
    QTest::newRow("raw") << 0 << "поток байтов" << 1;
    QTest::newRow("modbus_tcp") << 1 << "Modbus TCP" << 5;
}

void Test_devices_file::protocols()
{
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(int, clients);
    QCOMPARE(port_protocol_count, 2);
    const Port_protocol_row& row = port_protocols[index];
    QCOMPARE(static_cast<int>(row.protocol), index);
    QCOMPARE(QByteArray(row.file_name), QByteArray(QTest::currentDataTag()));
    QCOMPARE(row.caption.tr(), caption);
    modbus_max_clients = 5;
    QCOMPARE(row.max_clients, clients);
    QCOMPARE(load(QByteArray("device(eui=0000000000000001, protocol=") + row.file_name + ", tcp_port=1)"), QString());
    QCOMPARE(devices_in_cfg.value(1).protocol, row.protocol);
}

void Test_devices_file::save_into_locked_folder()
{
    devices_fname = devices_path();
    const QByteArray old_text = "device(eui=0000000000000001, tcp_port=1)\n";
    write_file(devices_fname, old_text);
    add_device(2, 2, 2);
    {
        Locked_folder locked(files.path());
        if (!locked.locked)
            QSKIP("cannot make the folder unwritable here");
        QCOMPARE(save_error(),
                 QStringLiteral("Не удалось начать запись в файл списка устройств, подлежащих обслуживанию."));
    }
    QCOMPARE(read_file(devices_fname), old_text);
    QCOMPARE(QDir(files.path()).entryList(QDir::Files), QStringList{"devices.cfg"});
}

void Test_devices_file::save_that_cannot_be_written()
{
    devices_fname = devices_path();
    const QByteArray old_text = "device(eui=0000000000000001, tcp_port=1)\n";
    write_file(devices_fname, old_text);
    add_device(2, 2, 2);
    QString message;
    {
        Small_file_limit limit;
        message = save_error();
    }
    const QString expected_start =
        QStringLiteral("Не удалось записать файл списка устройств, подлежащих обслуживанию, «%1»: ").arg(devices_fname);
    const QString expected_end = QStringLiteral(". Файл остался прежним.");
    QVERIFY2(message.startsWith(expected_start) && message.endsWith(expected_end), qPrintable(message));
    QVERIFY2(message.size() > expected_start.size() + expected_end.size(), "no reason given");
    QCOMPARE(read_file(devices_fname), old_text);
    QCOMPARE(QDir(files.path()).entryList(QDir::Files), QStringList{"devices.cfg"});
}

void Test_devices_file::sample_file()
{
    devices_fname = QStringLiteral(RUVO_SOURCE_DIR "/samples/devices.cfg");
    load_devices_in_cfg();
    QCOMPARE(tables(), QStringLiteral("0102030405060701:3000:51 0102030405060702:3001:51 0102030405060703:3002:51 "
                                      "0102030405060705:3005:51:modbus_tcp:units=11>1 "
                                      "0102030405060706:3006:51:modbus_tcp:cache=5000:units=12>1,13>2"));
    QCOMPARE(temp_log.text(), QByteArray());
}

QTEST_GUILESS_MAIN(Test_devices_file)
#include "test_devices_file.moc"
