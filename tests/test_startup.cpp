// Tests of the command line and the start of the program: the desktop program's whole start-up
// runs in this process, and every message box it shows is read and closed from here; the daemon
// runs as a child process with neither a display nor a Qt platform.
#include "bridge_process.h"
#include "core/cfg.h"
#include "start_in_process.h"
#include "test_util.h"

#include <QtTest>

namespace {

const char help_text_tail[] =
    "\n\nОпции командной строки:\n--help, -?, -h, -help, /?, /h, /help и т.п. - выдать этот текст и выйти\n"
    "--cfg=\"файл\" - использовать указанный файл конфигурации (если опция не указана, используется файл "
    "«ruvo_bridge.cfg»)\n--log=\"файл\" - использовать указанный файл журнала (если опция не указана, "
    "используется файл «ruvo_bridge.log»)\n";
// The line for --lang that follows the help text.
const char help_lang_line[] =
    "--lang=en или --lang=ru - язык окон и журнала: английский или русский (если опция не указана, используется "
    "параметр «language» файла конфигурации, а без него - русский)\n";

// The start-up under test makes and ends its own application object; the tests that only drive
// child processes make theirs, of the same kind, for the box closer that starts with each.
struct Own_application {
    int argc = 1;
    char name[5] = "test";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

struct Daemon_run {
    int exit_code = -1;
    QString out;
    QString err;
    QByteArray log;
};

// The daemon in a folder of its own, with the configuration given (none when empty).
Daemon_run run_daemon(const QStringList& args, const QByteArray& cfg)
{
    const Own_application application;
    QTemporaryDir dir;
    if (!cfg.isEmpty())
        write_file(dir.filePath(QStringLiteral("ruvo_bridge.cfg")), cfg);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral(RUVO_BRIDGED_EXE), args);
    Daemon_run run;
    if (!process.waitForFinished(process_wait_ms))
        return run;
    run.exit_code = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    run.log = read_file(dir.filePath(QStringLiteral("ruvo_bridge.log")));
    return run;
}

// The libraries a program loads, as ldd names them.
QStringList loaded_libraries(const QString& program)
{
    const Own_application application;
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {program});
    if (!ldd.waitForFinished(process_wait_ms))
        return {};
    QStringList names;
    for (const QString& line : QString::fromLocal8Bit(ldd.readAllStandardOutput()).split(QLatin1Char('\n')))
        names << line.trimmed().section(QLatin1Char(' '), 0, 0);
    return names;
}

}  // namespace

class Test_startup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void help_alone_shows_help_data();
    void help_alone_shows_help();
    void command_line_errors_data();
    void command_line_errors();
    void file_options_accepted_in_either_order();
    void unknown_language_key_ends_with_3();
    void no_arguments_use_default_files();
    void bad_metrics_address_ends_the_start();
    void daemon_ends_at_once_data();
    void daemon_ends_at_once();
    void daemon_serves_without_display();
    void window_libraries_data();
    void window_libraries();

private:
    int run(const QStringList& args);
    Start_folder* folder = nullptr;
};

void Test_startup::initTestCase()
{
    prepare_start_up();
}

void Test_startup::init()
{
    folder = new Start_folder;
    QVERIFY(folder->valid());
}

void Test_startup::cleanup()
{
    delete folder;
    folder = nullptr;
}

int Test_startup::run(const QStringList& args)
{
    return run_start_up(args);
}

void Test_startup::help_alone_shows_help_data()
{
    QTest::addColumn<QStringList>("args");
    for (const char* option : {"-?", "/h", "--HELP", "-Help", "-h", "/?", "--help", "-H"})
        QTest::newRow(option) << QStringList{QString::fromUtf8(option)};
    QTest::newRow("--lang=ru first") << QStringList{"--lang=ru", "-h"};
    QTest::newRow("--lang=ru last") << QStringList{"/?", "--lang=ru"};
}

void Test_startup::help_alone_shows_help()
{
    QFETCH(QStringList, args);
    QCOMPARE(run(args), 0);
    QCOMPARE(box_seen.count, 1);
    QCOMPARE(box_seen.title, QStringLiteral("ruvo_bridge --help"));
    QCOMPARE(box_seen.icon, QMessageBox::Information);
    QVERIFY2(box_seen.text.endsWith(QString::fromUtf8(help_text_tail) + QString::fromUtf8(help_lang_line)),
             qPrintable(box_seen.text));
    QVERIFY(box_seen.text.startsWith(QStringLiteral("ruvo_bridge, версия 1.3.5")));
    QVERIFY(!QFile::exists(QStringLiteral("ruvo_bridge.log")));
}

void Test_startup::command_line_errors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString unknown = QStringLiteral(
        "Неизвестная опция командной строки: «%1». Для получения справки по опциям командной строки запустите "
        "программу с опцией «-h».");
    const QString cfg_format =
        QStringLiteral("Неправильный формат опции «--cfg». Ожидаемый формат: --cfg=\"имя файла конфигурации\".");
    const QString log_format =
        QStringLiteral("Неправильный формат опции «--log». Ожидаемый формат: --log=\"имя файла журнала\".");
    const QString alone = QStringLiteral(
        "Если в командной строке определена опция «%1», в ней не должно быть никаких других опций или "
        "параметров.");
    QTest::newRow("-hElp") << QStringList{"-hElp"} << unknown.arg("-hElp");
    QTest::newRow("bare name") << QStringList{"a.cfg"} << unknown.arg("a.cfg");
    QTest::newRow("--x") << QStringList{"--x"} << unknown.arg("--x");
    QTest::newRow("--cfg=") << QStringList{"--cfg="} << cfg_format;
    QTest::newRow("--cfg a.cfg") << QStringList{"--cfg", "a.cfg"} << cfg_format;
    QTest::newRow("--cfgx") << QStringList{"--cfgx"} << cfg_format;
    QTest::newRow("--login=a") << QStringList{"--login=a"} << log_format;
    QTest::newRow("--log=") << QStringList{"--log="} << log_format;
    QTest::newRow("--cfg twice") << QStringList{"--cfg=a", "--cfg=b"}
                                 << QStringLiteral("В командной строке дважды указана одна и та же опция: «--cfg».");
    QTest::newRow("--log twice") << QStringList{"--log=a", "--log=b"}
                                 << QStringLiteral("В командной строке дважды указана одна и та же опция: «--log».");
    QTest::newRow("help after cfg") << QStringList{"--cfg=a.cfg", "-h"} << alone.arg("-h");
    QTest::newRow("help before cfg") << QStringList{"/?", "--cfg=a.cfg"} << alone.arg("/?");
    QTest::newRow("help with --lang and cfg") << QStringList{"--lang=ru", "-h", "--cfg=a.cfg"} << alone.arg("-h");
    const QString lang_format =
        QStringLiteral("Неправильный формат опции «--lang». Ожидаемый формат: --lang=en или --lang=ru.");
    QTest::newRow("--lang=") << QStringList{"--lang="} << lang_format;
    QTest::newRow("--lang en") << QStringList{"--lang", "en"} << lang_format;
    QTest::newRow("--language=en") << QStringList{"--language=en"} << lang_format;
    QTest::newRow("--lang twice") << QStringList{"--lang=ru", "--cfg=a", "--lang=ru"}
                                  << QStringLiteral("В командной строке дважды указана одна и та же опция: «--lang».");
    QTest::newRow("--lang=EN") << QStringList{"--cfg=a", "--lang=EN"}
                               << QStringLiteral("Неизвестный язык в опции «--lang»: «EN». Знаю только языки «en» "
                                                 "(английский) и «ru» (русский).");
}

void Test_startup::command_line_errors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QCOMPARE(run(args), 1);
    QCOMPARE(box_seen.count, 1);
    QCOMPARE(box_seen.text, message);
    QCOMPARE(box_seen.title, QStringLiteral("ruvo_bridge 1.3.5: ошибка"));
    QCOMPARE(box_seen.icon, QMessageBox::Critical);
    QVERIFY(!QFile::exists(QStringLiteral("ruvo_bridge.log")));
    QVERIFY(!QFile::exists(QStringLiteral("a")));
}

void Test_startup::file_options_accepted_in_either_order()
{
    for (const QStringList& args : {QStringList{"--log=my.log", "--cfg=my.cfg"}, QStringList{"--cfg=my.cfg", "--log=my.log"}}) {
        box_seen = Box_seen();
        QFile::remove(QStringLiteral("my.log"));
        QCOMPARE(run(args), 3);
        QCOMPARE(box_seen.count, 1);
        QCOMPARE(box_seen.text, QStringLiteral("Не найден файл «my.cfg»."));
        const QByteArray log_text = read_file(QStringLiteral("my.log"));
        QVERIFY2(log_text.contains("ruvo_bridge, версия 1.3.5 (2 февраля 2018), сборка Feb  2 2018 12:01:06: "
                                   "программа запускается...\n\n"),
                 log_text.constData());
        QVERIFY(log_text.contains("Не найден файл «my.cfg».\n\n"));
    }
    QVERIFY(!QFile::exists(QStringLiteral("ruvo_bridge.log")));
}

void Test_startup::unknown_language_key_ends_with_3()
{
    write_file(QStringLiteral("ruvo_bridge.cfg"),
               "ws_url = \"ws://127.0.0.1:1\"\nws_login = \"a\"\nws_password = \"b\"\nlanguage = \"fr\"\n");
    QCOMPARE(run({}), 3);
    QCOMPARE(box_seen.count, 1);
    QCOMPARE(box_seen.text, QStringLiteral("Ошибка в 12-м символе 4-й строки файла «ruvo_bridge.cfg»: неправильное "
                                           "значение параметра «language»: знаю только значения «en» и «ru»."));
}

void Test_startup::no_arguments_use_default_files()
{
    QCOMPARE(run({}), 3);
    QCOMPARE(box_seen.count, 1);
    QCOMPARE(box_seen.text, QStringLiteral("Не найден файл «ruvo_bridge.cfg»."));
    const QByteArray log_text = read_file(QStringLiteral("ruvo_bridge.log"));
    QVERIFY(log_text.contains("программа запускается..."));
    QCOMPARE(log_text.count("Программа завершила работу: запуск не удался. Время работы: 0:00:00 (ч:мм:сс).\n\n"), 1);
}

void Test_startup::bad_metrics_address_ends_the_start()
{
    write_file(QStringLiteral("my.cfg"), "ws_url = \"ws://127.0.0.1:1\"\nws_login = \"a\"\nws_password = \"b\"\n"
                                         "metrics_listen = \"127.0.0.1:99999\"\n");
    QCOMPARE(run({QStringLiteral("--cfg=my.cfg")}), 3);
    QCOMPARE(box_seen.count, 1);
    QCOMPARE(box_seen.text, QStringLiteral("Ошибка в 18-м символе 4-й строки файла «my.cfg»: неправильное значение "
                                           "параметра «metrics_listen»: ожидается адрес IPv4 и порт TCP, например "
                                           "«127.0.0.1:9464» или «0.0.0.0:9464»."));
}

// What the desktop program shows in a box, the daemon writes to a standard stream, and ends at once.
void Test_startup::daemon_ends_at_once_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("cfg");
    QTest::addColumn<int>("exit_code");
    QTest::addColumn<bool>("on_stdout");
    QTest::addColumn<QString>("told");
    QTest::addColumn<QString>("logged");
    const QString help = QString::fromUtf8(help_text_tail) + QString::fromUtf8(help_lang_line);
    QTest::newRow("--help") << QStringList{"--help"} << QByteArray() << 0 << true << help << QString();
    QTest::newRow("unknown option")
        << QStringList{"--x"} << QByteArray() << 1 << false
        << QStringLiteral("Неизвестная опция командной строки: «--x». Для получения справки по опциям командной "
                          "строки запустите программу с опцией «-h».")
        << QString();
    const QString broken = QStringLiteral("Ошибка в 12-м символе 1-й строки файла «ruvo_bridge.cfg»: ожидается "
                                          "двойная кавычка, закрывающая строку, вместо неё обнаружен перевод строки "
                                          "(0x0a).");
    QTest::newRow("broken configuration")
        << QStringList() << QByteArray("ws_url = \"x\n") << 3 << false << broken << broken;
    QTest::newRow("no log file") << QStringList{"--log=no-folder/x.log"} << QByteArray() << 2 << false
                                 << QStringLiteral("Не удалось записать в журнал «no-folder/x.log» (%1).")
                                        .arg(qt_error_string(ENOENT))
                                 << QString();
}

void Test_startup::daemon_ends_at_once()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, cfg);
    QFETCH(int, exit_code);
    QFETCH(bool, on_stdout);
    QFETCH(QString, told);
    QFETCH(QString, logged);
    const Daemon_run run = run_daemon(args, cfg);
    QCOMPARE(run.exit_code, exit_code);
    const QString& stream = on_stdout ? run.out : run.err;
    QVERIFY2(stream.contains(told), qPrintable(stream));
    if (on_stdout)
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    if (!logged.isEmpty())
        QVERIFY2(entries_of(run.log).contains(logged), run.log.constData());
}

// With no display and no Qt platform, the daemon serves a raw port and ends in order on SIGTERM.
void Test_startup::daemon_serves_without_display()
{
    const Own_application application;
    const std::vector<Device> devices = numbered_devices(1);
    Sim sim(sim_modems(devices, "echo"));
    QVERIFY(sim.started());
    Bridge_options options;
    options.daemon = true;
    Bridge bridge(sim.port, devices, options);
    QVERIFY(wait_for([&] { return all_listening(devices); }));
    const std::unique_ptr<QTcpSocket> client = client_of(devices[0].port);
    client->write("ping");
    QVERIFY(read_exactly(*client, "ping"));
    QVERIFY(bridge.stop());
}

// The daemon loads nothing of a window system; the desktop program, for contrast, does.
void Test_startup::window_libraries_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("windows");
    QTest::newRow("ruvo_bridged") << QStringLiteral(RUVO_BRIDGED_EXE) << false;
    QTest::newRow("ruvo_bridge") << QStringLiteral(RUVO_BRIDGE_EXE) << true;
}

void Test_startup::window_libraries()
{
    QFETCH(QString, program);
    QFETCH(bool, windows);
    const QStringList libraries = loaded_libraries(program);
    QVERIFY2(!libraries.filter(QRegularExpression(QStringLiteral("^libQt\\dNetwork\\."))).isEmpty(),
             qPrintable(libraries.join(' ')));
    const QRegularExpression window_library(
        QStringLiteral("^lib(Qt\\d(Gui|Widgets|OpenGL|XcbQpa)|GL|EGL|GLX|OpenGL|X11|xcb)[.-]"));
    QCOMPARE(!libraries.filter(window_library).isEmpty(), windows);
}

QTEST_APPLESS_MAIN(Test_startup)
#include "test_startup.moc"
