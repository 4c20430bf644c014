// Tests of the configuration file: keys, values, limits, defaults, the order of the checks,
// the messages with their positions, and the sample file shipped with the program.
#include "core/cfg.h"
#include "tests/test_util.h"

#include <QtTest>

namespace {

const QByteArray mandatory = "ws_url = \"ws://h:1\"\nws_login = \"user\"\nws_password = \"secret\"\n";

// Every key with a value other than its default, in another order than the key table's.
const QByteArray every_key_text = "\xEF\xBB\xBF// every key, in another order\r\n"
                                  "trace_tcp=all\r\n"
                                  "  interframe_delay = 20   # ms\r\n"
                                  "default_max_frame\t=\t200\r\n"
                                  "devices_file = \"modems.cfg\"\r\n"
                                  "ws_data_timeout = 1\r\n"
                                  "ws_devlist_timeout = 2\r\n"
                                  "ws_devlist_period = 3\r\n"
                                  "ws_reconnect_delay = 4\r\n"
                                  "ws_auth_timeout = 5\r\n"
                                  "ws_connect_timeout = 6\r\n"
                                  "ws_password = \"p\\u0430ss\"\r\n"
                                  "ws_login = \"\xD0\xBB\xD0\xBE\xD0\xB3\xD0\xB8\xD0\xBD\"\r\n"
                                  "ws_url = \"wss://example:443/\"\r\n"
                                  "ws_batch_max = 20\r\n"
                                  "modbus_timeout = 7\r\n"
                                  "modbus_max_clients = 9\r\n"
                                  "modbus_site_port = 502\r\n"
                                  "tcp_keepalive = 10\r\n"
                                  "tcp_listen_address = \"::1\"\r\n"
                                  "metrics_listen = \"127.0.0.1:9464\"\r\n"
                                  "trace_ws = err\r\n"
                                  "language = \"en\"";

QString value_of(const QString& name)
{
    const QMap<QString, QString> values{
        {"ws_url", ws_url},
        {"ws_login", ws_login},
        {"ws_password", ws_password_hash},
        {"ws_connect_timeout", QString::number(ws_connect_timeout)},
        {"ws_auth_timeout", QString::number(ws_auth_timeout)},
        {"ws_reconnect_delay", QString::number(ws_reconnect_delay)},
        {"ws_devlist_period", QString::number(ws_devlist_period)},
        {"ws_devlist_timeout", QString::number(ws_devlist_timeout)},
        {"ws_data_timeout", QString::number(ws_sdata_timeout)},
        {"devices_file", devices_fname},
        {"default_max_frame", QString::number(default_max_frame)},
        {"interframe_delay", QString::number(tcp_interframe_delay)},
        {"trace_ws", QString::number(trace_ws)},
        {"trace_tcp", QString::number(trace_tcp)},
        {"modbus_timeout", QString::number(modbus_timeout)},
        {"modbus_max_clients", QString::number(modbus_max_clients)},
        {"modbus_site_port", QString::number(modbus_site_port)},
        {"tcp_keepalive", QString::number(tcp_keepalive)},
        {"ws_batch_max", QString::number(ws_batch_max)},
        {"tcp_listen_address", tcp_listen_address.toString()},
        {"metrics_listen", metrics_listen},
        {"language", cfg_language},
    };
    return values.value(name, QStringLiteral("no such key"));
}

// The "key=value" pairs of the list whose key's global holds another value, as it holds it.
QStringList differing(const QStringList& expected)
{
    QStringList held;
    for (const QString& pair : expected) {
        const QString key = pair.section(QLatin1Char('='), 0, 0);
        if (key + QLatin1Char('=') + value_of(key) != pair)
            held << key + QLatin1Char('=') + value_of(key);
    }
    return held;
}

QString framed(const QString& file, int column, int line, const QString& reason)
{
    return QStringLiteral("Ошибка в %1-м символе %2-й строки файла «%3»: %4")
        .arg(QString::number(column), QString::number(line), file, reason);
}

}  // namespace

class Test_cfg : public QObject {
    Q_OBJECT

    Temp_log temp_log;

    QString cfg_path() const { return temp_log.folder() + QStringLiteral("/ruvo_bridge.cfg"); }

    // Loads the text as a configuration file; returns the error message, or "" on success.
    QString load(const QByteArray& text)
    {
        write_file(cfg_path(), text);
        try {
            load_cfg(cfg_path());
        } catch (const Err& e) {
            return e.message();
        }
        return QString();
    }

private slots:
    void mandatory_keys_only_give_defaults();
    void every_key();
    void accepted_values_data();
    void accepted_values();
    void refused_statements_data();
    void refused_statements();
    void missing_mandatory_keys_data();
    void missing_mandatory_keys();
    void missing_file();
    void sample_file();
};

// Whatever a file read before gave, a file without the optional keys gives their defaults.
void Test_cfg::mandatory_keys_only_give_defaults()
{
    QCOMPARE(load(every_key_text), QString());
    QCOMPARE(load(mandatory), QString());
    QCOMPARE(differing({"ws_url=ws://h:1", "ws_login=user", "ws_password=secret", "ws_connect_timeout=10000",
                        "ws_auth_timeout=3000", "ws_reconnect_delay=3000", "ws_devlist_period=10000",
                        "ws_devlist_timeout=3000", "ws_data_timeout=3000", "modbus_timeout=15000",
                        "modbus_max_clients=8", "tcp_keepalive=120", "devices_file=devices.cfg",
                        "default_max_frame=51", "interframe_delay=15", "trace_ws=1", "trace_tcp=1",
                        "ws_batch_max=1", "metrics_listen=", "language=", "modbus_site_port=0"}),
             QStringList());
    QCOMPARE(tcp_listen_address, QHostAddress(QHostAddress::Any));
}

void Test_cfg::every_key()
{
    QCOMPARE(load(every_key_text), QString());
    QCOMPARE(differing({"ws_url=wss://example:443/", "ws_login=логин", QString::fromUtf8("ws_password=p\xD0\xB0ss"),
                        "ws_connect_timeout=6", "ws_auth_timeout=5", "ws_reconnect_delay=4", "ws_devlist_period=3",
                        "ws_devlist_timeout=2", "ws_data_timeout=1", "devices_file=modems.cfg",
                        "default_max_frame=200", "interframe_delay=20", "trace_ws=0", "trace_tcp=2",
                        "ws_batch_max=20", "modbus_timeout=7", "modbus_max_clients=9", "tcp_keepalive=10",
                        "tcp_listen_address=::1", "metrics_listen=127.0.0.1:9464", "language=en",
                        "modbus_site_port=502"}),
             QStringList());
}

void Test_cfg::accepted_values_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("connect timeout 0") << QByteArray("ws_connect_timeout = 0") << "ws_connect_timeout" << "0";
    QTest::newRow("connect timeout 60000") << QByteArray("ws_connect_timeout = 60000") << "ws_connect_timeout"
                                           << "60000";
    QTest::newRow("leading zeros") << QByteArray("ws_data_timeout = 007") << "ws_data_timeout" << "7";
    QTest::newRow("interframe delay 60000") << QByteArray("interframe_delay = 60000") << "interframe_delay"
                                            << "60000";
    QTest::newRow("interframe delay 1") << QByteArray("interframe_delay = 1") << "interframe_delay" << "1";
    QTest::newRow("max frame 1") << QByteArray("default_max_frame = 1") << "default_max_frame" << "1";
    QTest::newRow("max frame 9999") << QByteArray("default_max_frame = 9999") << "default_max_frame" << "9999";
    QTest::newRow("modbus timeout 1") << QByteArray("modbus_timeout = 1") << "modbus_timeout" << "1";
    QTest::newRow("modbus timeout 60000") << QByteArray("modbus_timeout = 60000") << "modbus_timeout" << "60000";
    QTest::newRow("modbus clients 32") << QByteArray("modbus_max_clients = 32") << "modbus_max_clients" << "32";
    QTest::newRow("site port 1") << QByteArray("modbus_site_port = 1") << "modbus_site_port" << "1";
    QTest::newRow("site port 65535") << QByteArray("modbus_site_port=65535") << "modbus_site_port" << "65535";
    QTest::newRow("batch 1") << QByteArray("ws_batch_max = 1") << "ws_batch_max" << "1";
    QTest::newRow("batch 100") << QByteArray("ws_batch_max = 100") << "ws_batch_max" << "100";
    QTest::newRow("trace all") << QByteArray("trace_ws = all") << "trace_ws" << "2";
    QTest::newRow("trace bad_frames") << QByteArray("trace_tcp = bad_frames") << "trace_tcp" << "1";
    QTest::newRow("joined string") << QByteArray("devices_file = \"my \" # first half\n  \"devices.cfg\"")
                                   << "devices_file" << "my devices.cfg";
    QTest::newRow("listen on a scoped address") << QByteArray("tcp_listen_address = \"fe80::1%lo\"")
                                                << "tcp_listen_address" << "fe80::1%lo";
    QTest::newRow("language ru") << QByteArray("language=\"ru\" # the default") << "language" << "ru";
    QTest::newRow("no-break space in a string") << QByteArray("devices_file = \"a\xC2\xA0z\"") << "devices_file"
                                                << QString::fromUtf8("a\xC2\xA0z");
    QTest::newRow("metrics on every address") << QByteArray("metrics_listen = \"0.0.0.0:65535\"")
                                              << "metrics_listen" << "0.0.0.0:65535";
}

void Test_cfg::accepted_values()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QCOMPARE(load(mandatory + line), QString());
    QCOMPARE(value_of(key), value);
    QCOMPARE(load(line + "\n" + mandatory), QString());
    QCOMPARE(value_of(key), value);
}

void Test_cfg::refused_statements_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("at_line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("reason");

    const QString too_big = QStringLiteral("число слишком большое (должно быть не более %1)");
    const QString too_small = QStringLiteral("число слишком маленькое (должно быть не менее %1).");
    const QString end_of_line = QStringLiteral("ожидается конец строки.");
    const QString bad_trace = QStringLiteral(
        "неправильное значение параметра «%1»: знаю только значения «err», «bad_frames» и «all».");
    const QString unknown = QStringLiteral(
        "неизвестный параметр. Знаю только параметры «ws_url», «ws_login», «ws_password», «ws_connect_timeout», "
        "«ws_auth_timeout», «ws_reconnect_delay», «ws_devlist_period», «ws_devlist_timeout», «ws_data_timeout», "
        "«devices_file», «default_max_frame», «interframe_delay», «trace_ws» и «trace_tcp». "
        "Знаю также параметры «tcp_listen_address», «tcp_allow», «ws_ca_file», «ws_client_cert», «ws_client_key», "
        "«metrics_listen», «modbus_timeout», «ws_batch_max», «language», «tcp_keepalive», «modbus_max_clients» и "
        "«modbus_site_port».");
    const QString bad_listen = QStringLiteral(
        "неправильное значение параметра «metrics_listen»: ожидается адрес IPv4 и порт TCP, например "
        "«127.0.0.1:9464» или «0.0.0.0:9464».");
    const QString bad_language =
        QStringLiteral("неправильное значение параметра «language»: знаю только значения «en» и «ru».");

    QTest::newRow("timing 60001") << QByteArray("ws_connect_timeout = 60001") << 1 << 26 << too_big.arg(60000);
    QTest::newRow("timing not a number") << QByteArray("ws_auth_timeout = x") << 1 << 19
                                         << QStringLiteral("ожидается десятичное число");
    QTest::newRow("timing negative") << QByteArray("ws_devlist_period = -1") << 1 << 21
                                     << QStringLiteral("ожидается десятичное число");
    QTest::newRow("max frame 0") << QByteArray("default_max_frame = 0") << 1 << 21 << too_small.arg(1);
    QTest::newRow("max frame 10000") << QByteArray("default_max_frame = 10000") << 1 << 25 << too_big.arg(9999);
    QTest::newRow("max frame not a number") << QByteArray("default_max_frame = \"5\"") << 1 << 21
                                            << QStringLiteral("ожидается десятичное число.");
    QTest::newRow("interframe delay 0") << QByteArray("interframe_delay = 00") << 1 << 20 << too_small.arg(1);
    QTest::newRow("interframe delay 60001") << QByteArray("interframe_delay = 60001") << 1 << 24
                                            << too_big.arg(60000);
    QTest::newRow("modbus timeout 0") << QByteArray("modbus_timeout = 0") << 1 << 18 << too_small.arg(1);
    QTest::newRow("modbus timeout 60001") << QByteArray("modbus_timeout = 60001") << 1 << 22 << too_big.arg(60000);
    QTest::newRow("modbus clients 33") << QByteArray("modbus_max_clients = 33") << 1 << 23 << too_big.arg(32);
    QTest::newRow("site port 0") << QByteArray("modbus_site_port = 0") << 1 << 20 << too_small.arg(1);
    QTest::newRow("site port 65536") << QByteArray("modbus_site_port = 65536") << 1 << 24 << too_big.arg(65535);
    QTest::newRow("batch 0") << QByteArray("ws_batch_max = 0") << 1 << 16 << too_small.arg(1);
    QTest::newRow("batch 101") << QByteArray("ws_batch_max = 101") << 1 << 18 << too_big.arg(100);
    QTest::newRow("trace ALL") << QByteArray("trace_ws = ALL") << 1 << 12 << bad_trace.arg("trace_ws");
    QTest::newRow("quoted trace") << QByteArray("trace_tcp = \"all\"") << 1 << 13 << bad_trace.arg("trace_tcp");
    QTest::newRow("trace errors") << QByteArray("trace_ws = errors") << 1 << 15 << end_of_line;
    QTest::newRow("two statements on one line") << QByteArray("ws_reconnect_delay = 5 ws_auth_timeout = 5") << 1
                                                << 23 << end_of_line;
    QTest::newRow("ws_url_2") << QByteArray("ws_url_2 = \"x\"") << 1 << 7
                              << QStringLiteral("ожидается символ «=».");
    QTest::newRow("no equals sign") << QByteArray("trace_tcp all") << 1 << 11
                                    << QStringLiteral("ожидается символ «=».");
    QTest::newRow("key twice") << QByteArray("ws_url = \"a\"") << 2 << 7
                               << QStringLiteral("параметр «ws_url» уже определён выше по тексту.");
    QTest::newRow("unknown key") << QByteArray("  port = 1") << 1 << 3 << unknown + QStringLiteral(" Указано имя «port».");
    for (const char* value : {"\"127.0.0.1\"", "\"127.0.0.1:0\"", "\"127.0.0.1:65536\"", "\"127.0.0.1:+80\"",
                              "\"localhost:9464\"", "\"127.1:9464\"", "\"::1:9464\"", "\"[::1]:9464\"", "\"[127.0.0.1]:9464\"",
                              "\":9464\"", "\"\""})
        QTest::newRow(value) << QByteArray("metrics_listen = ") + value << 1 << 18 << bad_listen;
    QTest::newRow("metrics not a string") << QByteArray("metrics_listen = 9464") << 1 << 18
                                          << QStringLiteral("здесь должна быть строка в двойных кавычках.");
    QTest::newRow("key in capitals") << QByteArray("WS_URL = \"a\"") << 1 << 1
                                     << unknown + QStringLiteral(" Указано имя «WS_URL».");
    QTest::newRow("string without quotes") << QByteArray("devices_file = a.cfg") << 1 << 16
                                           << QStringLiteral("здесь должна быть строка в двойных кавычках.");
    QTest::newRow("raw tab in a string")
        << QByteArray("devices_file = \"a\tb\"") << 1 << 18
        << QStringLiteral("в строке обнаружен недопустимый символ с кодом 0x09 (эта строка не должна содержать "
                          "управляющие символы).");
    QTest::newRow("string over a line end")
        << QByteArray("devices_file = \"a\nb\"") << 1 << 18
        << QStringLiteral("ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен перевод строки "
                          "(0x0a).");
    QTest::newRow("language EN") << QByteArray("language = \"EN\"") << 1 << 12 << bad_language;
    QTest::newRow("language de") << QByteArray("language = \"de\" # Deutsch") << 1 << 12 << bad_language;
    QTest::newRow("language empty") << QByteArray("language = \"\"") << 1 << 12 << bad_language;
    QTest::newRow("language unquoted") << QByteArray("language = en") << 1 << 12
                                       << QStringLiteral("здесь должна быть строка в двойных кавычках.");
    QTest::newRow("after a Cyrillic string") << QByteArray("devices_file = \"файл\" x") << 1 << 22 << end_of_line;
}

void Test_cfg::refused_statements()
{
    QFETCH(QByteArray, line);
    QFETCH(int, at_line);
    QFETCH(int, column);
    QFETCH(QString, reason);
    QCOMPARE(load(line + "\n" + mandatory), framed(cfg_path(), column, at_line, reason));
}

void Test_cfg::missing_mandatory_keys_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("at_line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("key");

    QTest::newRow("empty file") << QByteArray() << 1 << 1 << "ws_url";
    QTest::newRow("only comments") << QByteArray("# one\n// two") << 2 << 7 << "ws_url";
    QTest::newRow("no ws_url") << QByteArray("ws_login = \"a\"\nws_password = \"b\"\n") << 3 << 1 << "ws_url";
    QTest::newRow("no ws_login") << QByteArray("ws_password = \"b\"\nws_url = \"a\"") << 2 << 13 << "ws_login";
    QTest::newRow("no ws_password") << QByteArray("ws_url = \"a\"\nws_login = \"b\"\n\n") << 4 << 1
                                    << "ws_password";
}

void Test_cfg::missing_mandatory_keys()
{
    QFETCH(QByteArray, text);
    QFETCH(int, at_line);
    QFETCH(int, column);
    QFETCH(QString, key);
    QCOMPARE(load(text), framed(cfg_path(), column, at_line,
                                QStringLiteral("не определён обязательный параметр «%1».").arg(key)));
}

void Test_cfg::missing_file()
{
    const QString name = temp_log.folder() + QStringLiteral("/absent.cfg");
    try {
        load_cfg(name);
        QFAIL("a missing configuration file was read");
    } catch (const Err& e) {
        QCOMPARE(e.message(), QStringLiteral("Не найден файл «%1».").arg(name));
    }
}

void Test_cfg::sample_file()
{
    load_cfg(QStringLiteral(RUVO_SOURCE_DIR "/samples/ruvo_bridge.cfg"));
    QCOMPARE(ws_url, QStringLiteral("ws://127.0.0.1:8002"));
    QCOMPARE(ws_login, QStringLiteral("demo"));
    QCOMPARE(ws_password_hash, QStringLiteral("demo"));
    QCOMPARE(devices_fname, QStringLiteral("devices.cfg"));
    QCOMPARE(int(trace_ws), 1);
    QCOMPARE(int(trace_tcp), 1);
    QCOMPARE(default_max_frame, 51u);
    QCOMPARE(tcp_interframe_delay, 15);
    QCOMPARE(ws_connect_timeout, 10000);
}

QTEST_GUILESS_MAIN(Test_cfg)
#include "test_cfg.moc"
