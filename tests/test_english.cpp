// Tests of the program in English: the command line, the help box and a broken configuration
// with --lang=en (the whole start-up runs in this process), the "language" key and the option
// that wins over it (the real program against the simulated server), and the windows' captions,
// tooltips and layout. Every text translated here stays English for the life of the process.
#include "bridge_process.h"
#include "start_in_process.h"
#include "window_fit.h"

#include "core/cfg.h"
#include "app/language.h"
#include "core/shared.h"
#include "ui/dialog_about.h"
#include "ui/dialog_add_device.h"
#include "ui/dialog_devices.h"
#include "ui/dialog_exit.h"
#include "ui/dialog_modems.h"
#include "ui/main_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMutexLocker>
#include <QTableView>
#include <QTextEdit>
#include <QtTest>
#include <functional>
#include <map>
#include <memory>

namespace {

// Every caption, tooltip and title that a window shows, its own and its children's.
QStringList window_texts(QWidget& window)
{
    QStringList texts{window.windowTitle()};
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets << &window;
    for (QWidget* w : widgets) {
        texts << w->toolTip();
        if (auto* label = qobject_cast<QLabel*>(w))
            texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            texts << button->text();
        if (auto* edit = qobject_cast<QTextEdit*>(w))
            texts << edit->toPlainText();
        if (auto* combo = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        if (auto* table = qobject_cast<QTableView*>(w))
            for (int c = 0; c < table->model()->columnCount(); ++c)
                for (int role : {Qt::DisplayRole, Qt::ToolTipRole})
                    texts << table->model()->headerData(c, Qt::Horizontal, role).toString();
    }
    texts.removeAll(QString());
    return texts;
}

// A caption narrower or lower than its text shows the text cut off (a label's minimum size is
// that of its text even where the label prefers another width).
QStringList cut_captions(QWidget& window)
{
    QStringList cut;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        QSize needed;
        if (auto* label = qobject_cast<QLabel*>(w))
            needed = label->minimumSizeHint();
        else if (qobject_cast<QAbstractButton*>(w))
            needed = w->sizeHint();
        if (w->width() < needed.width() || w->height() < needed.height())
            cut << w->property("text").toString();
    }
    for (QHeaderView* header : window.findChildren<QHeaderView*>())
        for (int c = 0; c < header->count(); ++c)
            if (header->orientation() == Qt::Horizontal && header->sectionSize(c) < header->sectionSizeHint(c))
                cut << header->model()->headerData(c, Qt::Horizontal).toString();
    return cut;
}

// An application object for the tests that run outside the program's own start-up.
class Local_app {
public:
    Local_app() : app(argc, argv) {}

private:
    int argc = 1;
    char name[13] = "test_english";
    char* argv[2] = {name, nullptr};
    QApplication app;
};

const QString cfg_name = QStringLiteral("ruvo_bridge.cfg");
const QByteArray mandatory_keys = "ws_url = \"ws://127.0.0.1:1\"\nws_login = \"a\"\nws_password = \"b\"\n";

}  // namespace

class Test_english : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void help_box_in_english();
    void command_line_errors_in_english_data();
    void command_line_errors_in_english();
    void broken_configuration_in_english();

    void log_language_data();
    void log_language();

    void list_fits_the_screen_data();
    void list_fits_the_screen();
    void windows_in_english_data();
    void windows_in_english();

private:
    Start_folder* folder = nullptr;
};

void Test_english::initTestCase()
{
    prepare_start_up();
}

void Test_english::init()
{
    folder = new Start_folder;
    QVERIFY(folder->valid());
}

// The windows' tests leave no modems and no link behind.
void Test_english::cleanup()
{
    delete folder;
    folder = nullptr;
    QMutexLocker lock(&cfg_mutex);
    devices_in_cfg.clear();
    tcp_ports.clear();
    devices_on_lora.clear();
    ws_flags = 0;
}

void Test_english::help_box_in_english()
{
    for (const QStringList& args : {QStringList{"--lang=en", "-h"}, QStringList{"--help", "--lang=en"}}) {
        box_seen = Box_seen();
        QCOMPARE(run_start_up(args), 0);
        QCOMPARE(box_seen.count, 1);
        QVERIFY2(!has_cyrillic(box_seen.text), qPrintable(box_seen.text));
        QVERIFY(box_seen.text.startsWith(QStringLiteral("ruvo_bridge, version 1.3.5 (2 February 2018), build ")));
        QVERIFY(box_seen.text.contains(
            QStringLiteral("\n\nCommand-line options:\n--help, -?, -h, -help, /?, /h, /help etc. - show this text "
                           "and exit\n--cfg=\"file\" - use the given configuration file (without this option the "
                           "file \"ruvo_bridge.cfg\" is used)\n")));
        QVERIFY(box_seen.text.endsWith(QStringLiteral(
            "is used)\n--lang=en or --lang=ru - language of the windows and the log: English or Russian (without "
            "this option the key \"language\" of the configuration file is used, and without that key Russian)\n")));
        QCOMPARE(box_seen.button, QStringLiteral("Close"));
    }
}

void Test_english::command_line_errors_in_english_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("cfg format") << QStringList{"--lang=en", "--cfgfile"}
                                    << QStringLiteral("Wrong format of the option \"--cfg\". Expected format: "
                                                      "--cfg=\"configuration file name\".");
    QTest::newRow("bare name") << QStringList{"a.cfg", "--lang=en"}
                               << QStringLiteral("Unknown command-line option: \"a.cfg\". For help on the command-line "
                                                 "options, start the program with the option \"-h\".");
    QTest::newRow("help not alone") << QStringList{"--lang=en", "--log=x", "-?"}
                                    << QStringLiteral("When the option \"-?\" is given on the command line, there "
                                                      "must be no other options or parameters in it.");
}

void Test_english::command_line_errors_in_english()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QCOMPARE(run_start_up(args), 1);
    QCOMPARE(box_seen.count, 1);
    QCOMPARE(box_seen.text, message);
    QCOMPARE(box_seen.title, QStringLiteral("ruvo_bridge 1.3.5: error"));
    QCOMPARE(box_seen.button, QStringLiteral("Close"));
}

void Test_english::broken_configuration_in_english()
{
    write_file(cfg_name, mandatory_keys + "devices_file = \"устройства.cfg\"\ntrace_ws = everything\n");
    QCOMPARE(run_start_up({"--lang=en"}), 3);
    QCOMPARE(box_seen.count, 1);
    const QString message = QStringLiteral(
        "Error at character 12 of line 5 of the file \"ruvo_bridge.cfg\": wrong value of the parameter \"trace_ws\": "
        "known values are only \"err\", \"bad_frames\" and \"all\".");
    QCOMPARE(box_seen.text, message);
    QCOMPARE(box_seen.title, QStringLiteral("ruvo_bridge 1.3.5: error"));
    const QString log = QString::fromUtf8(read_file(QStringLiteral("ruvo_bridge.log")));
    QVERIFY2(log.contains(QStringLiteral("] ruvo_bridge, version 1.3.5 (2 February 2018), build Feb  2 2018 "
                                         "12:01:06: the program is starting...\n\n")),
             qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("] ") + message + QStringLiteral("\n\n")));
    QVERIFY2(!has_cyrillic(log), qPrintable(log));
    // The entries keep the date format of the Russian log.
    static const QRegularExpression entry(
        QStringLiteral("^\\[\\d{1,2}\\.\\d{1,2}\\.\\d{4} \\d{1,2}:\\d\\d:\\d\\d\\.\\d{3}\\] \\S"));
    const QStringList entries = log.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
    QCOMPARE(entries.size(), 3);
    QVERIFY(entries[2].endsWith(QStringLiteral("] The program has ended: the start failed. It ran for 0:00:00 (h:mm:ss).")));
    for (const QString& e : entries)
        QVERIFY2(entry.match(e).hasMatch(), qPrintable(e));
    // The user's own data is shown as it is.
    write_file(cfg_name, mandatory_keys + "devices_file = \"устройства.cfg\"\n");
    box_seen = Box_seen();
    QCOMPARE(run_start_up({"--lang=en"}), 3);
    QCOMPARE(box_seen.text, QStringLiteral("File \"устройства.cfg\" not found."));
}

void Test_english::log_language_data()
{
    QTest::addColumn<QString>("language_key");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("banner");
    QTest::addColumn<QString>("entry");
    const QString ru_banner = QStringLiteral("ruvo_bridge, версия 1.3.5");
    const QString russian = QStringLiteral("Установлено соединение с сервером RUVO-LoRa.");
    const QString english = QStringLiteral("Connected to the RUVO-LoRa server.");
    QTest::newRow("key en: English after the banner") << "en" << QStringList{} << ru_banner << english;
    QTest::newRow("--lang=ru wins over key en") << "en" << QStringList{"--lang=ru"} << ru_banner << russian;
    QTest::newRow("--lang=en wins over key ru") << "ru" << QStringList{"--lang=en"} << "ruvo_bridge, version 1.3.5"
                                                << english;
}

// The program against the simulated server, with the key and the options given: the banner comes
// before the configuration is read, the link's entries after.
void Test_english::log_language()
{
    QFETCH(QString, language_key);
    QFETCH(QStringList, args);
    QFETCH(QString, banner);
    QFETCH(QString, entry);
    Local_app app;
    Sim sim({});
    QVERIFY(sim.started());
    Bridge_options options;
    options.extra_cfg = "language = \"" + language_key.toUtf8() + "\"\n";
    options.args = args;
    Bridge bridge(sim.port, {}, options);
    QVERIFY(bridge.wait_log(entry));
    QVERIFY2(bridge.log().first().startsWith(banner), qPrintable(bridge.log().first()));
    QVERIFY(bridge.stop());
}

void Test_english::list_fits_the_screen_data()
{
    add_screen_rows();
}

// The device list in English, with 250 modems, shows every column whole; the add form keeps
// its fields in one column.
void Test_english::list_fits_the_screen()
{
    QFETCH(QRect, screen);
    Local_app app;
    QVERIFY(use_language(QStringLiteral("en")));
    configure_250_modems();
    {
        Dialog_devices d(nullptr);
        const QString cut = columns_cut_on(d, screen);
        QVERIFY2(cut.isEmpty(), qPrintable(cut));
    }
    Dialog_add_device add(nullptr);
    add.show();
    QCOMPARE(field_columns(add).size(), 1);
}

void Test_english::windows_in_english_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("caption");
    QTest::newRow("main window") << "main" << "Connection to the RUVO-LoRa server: ";
    QTest::newRow("device list") << "devices" << "Close";
    QTest::newRow("add dialog") << "add" << "Radio modem address (EUI)";
    QTest::newRow("picker") << "modems" << "Modems to list:";
    QTest::newRow("About") << "about" << "About";
    QTest::newRow("exit window") << "exit" << "Quit now";
}

// Each window in English: no Russian caption, tooltip or title, no caption cut off, and room
// for the title beside the title bar's icon and buttons (the exit window is narrow but for that).
void Test_english::windows_in_english()
{
    QFETCH(QString, window);
    QFETCH(QString, caption);
    Local_app app;
    QVERIFY(use_language(QStringLiteral("en")));
    devices_fname = QStringLiteral("devices.cfg");
    {
        QMutexLocker lock(&cfg_mutex);
        for (quint64 eui = 1; eui <= 3; ++eui)
            tcp_ports.insert(quint16(3000 + eui), devices_in_cfg.insert(eui, Device_in_cfg{51, quint16(3000 + eui)}));
        devices_on_lora = {{1, QStringLiteral("boiler")}, {7, QString()}};
        ws_flags = WS_ONLINE;
    }
    QThread idle_thread;
    const std::map<QString, std::function<QWidget*()>> makers{
        {"main", [&] { return new Main_window(idle_thread); }},
        {"devices", [] { return new Dialog_devices(nullptr); }},
        {"add", [] { return new Dialog_add_device(nullptr); }},
        {"modems", [] { return new Dialog_modems(nullptr); }},
        {"about", [] { return new Dialog_about(nullptr); }},
        {"exit", [&] { return new Dialog_exit(nullptr, idle_thread); }},
    };
    std::unique_ptr<QWidget> shown(makers.at(window)());
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
    const QStringList texts = window_texts(*shown);
    QVERIFY2(texts.contains(caption), qPrintable(texts.join(QLatin1String(" | "))));
    QVERIFY(texts.size() > 2);
    for (const QString& text : texts)
        QVERIFY2(!has_cyrillic(text), qPrintable(text));
    QVERIFY2(cut_captions(*shown).isEmpty(), qPrintable(cut_captions(*shown).join(QLatin1String(" | "))));
    const QFontMetrics metrics = shown->fontMetrics();
    QVERIFY(shown->width() > metrics.horizontalAdvance(shown->windowTitle()) + 4 * metrics.height());
}

QTEST_APPLESS_MAIN(Test_english)
#include "test_english.moc"
