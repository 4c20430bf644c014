// Tests of the main window, its fonts and colours, the About dialog and the exit dialog.
#include "common/qt_version.h"
#include "core/cfg.h"
#include "core/build_info.h"
#include "core/exit_codes.h"
#include "core/program_end.h"
#include "app/engine.h"
#include "core/shared.h"
#include "link/ws_connection.h"
#include "test_util.h"
#include "ui/dialog_about.h"
#include "ui/dialog_devices.h"
#include "ui/dialog_exit.h"
#include "ui/fonts.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QMutexLocker>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStackedLayout>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

const char* const hint_link =
    "Здесь отображается наличие связи с используемым нами сервером\n"
    "RUVO-LoRa.\n"
    "\n"
    "«нет» означает, что связи с сервером RUVO-LoRa в данный момент нет\n"
    "(и мы, скорее всего, выжидаем задержку, прежде чем снова попытаться\n"
    "установить эту связь).\n"
    "\n"
    "«старт» означает, что установление соединения с сервером RUVO-LoRa\n"
    "начато, и первый отклик от сервера уже получен (успешно установлено\n"
    "соединение TCP/IP с этим сервером), но ещё не завершены\n"
    "формальности, которые необходимо выполнить перед тем, как можно\n"
    "будет использовать это соединение (например, наша авторизация на\n"
    "этом сервере).\n"
    "\n"
    "«есть» означает, что соединение с сервером RUVO-LoRa в данный\n"
    "момент существует и готово к использованию.\n"
    "\n"
    "При возникновении проблем со связью имеет смысл посмотреть\n"
    "сообщения об ошибках, записанные программой в файл журнала\n"
    "(«%1»).";
const char* const hint_devices =
    "Здесь отображается общее количество радиомодемов, подлежащих\n"
    "обслуживанию нашей программой (количество радиомодемов, упомянутых\n"
    "в файле «%1»).";
const char* const hint_online =
    "Здесь отображается количество радиомодемов, которые подлежат\n"
    "обслуживанию нашей программой, и при этом доступны нашей программе\n"
    "(точнее, сервер RUVO-LoRa, с которым программа имеет в данный\n"
    "момент связь, сообщил, что эти радиомодемы имеют на нём\n"
    "аккаунт).\n"
    "\n"
    "Для каждого такого радиомодема наша программа создаёт отдельный\n"
    "TCP-сервер, к которому может подключаться клиент, желающий получить\n"
    "доступ к устройствам, подключенным к этому радиомодему через RS-232\n"
    "или RS-485.";
const char* const hint_clients =
    "Здесь отображается, к скольким TCP-серверам, созданным нашей\n"
    "программой для предоставления доступа к радиомодемам (см. выше), в\n"
    "данный момент подключены клиенты.\n"
    "\n"
    "К каждому созданному нами TCP-серверу в каждый момент времени может\n"
    "быть подключен только один клиент. Если к серверу подключается\n"
    "новый клиент, программа разрывает сеанс связи со старым клиентом.";
const char* const hint_btn_devices =
    "Если вы нажмёте эту кнопку, будет открыто окно со списком\n"
    "радиомодемов, подлежащих обслуживанию данной программой. С помощью\n"
    "этого окна вы сможете добавить радиомодемы в этот список, удалить\n"
    "радиомодемы из списка или изменить параметры радиомодемов, входящих\n"
    "в список.";
const char* const hint_btn_about =
    "Если вы нажмёте эту кнопку, будет открыто окно с информацией о\n"
    "данной программе.";
const char* const hint_btn_exit = "Если вы нажмёте эту кнопку, работа программы будет завершена.";
const char* const hint_rough_exit =
    "Качественно написанная программа перед завершением работы должна\n"
    "сообщить противоположным сторонам всех сетевых соединений о\n"
    "закрытии этих соединений.\n"
    "\n"
    "Если этот процесс занимает слишком много времени, вы можете\n"
    "прервать его и завершить программу мгновенно. Ничего плохого из-за\n"
    "этого, скорее всего, не случится - противоположные стороны через\n"
    "некоторое время заметят неработоспособность соединений и сами\n"
    "закроют их.";
const char* const about_head =
    "ruvo_bridge, версия 1.3.5 (2 февраля 2018), сборка Feb  2 2018 12:01:06\n\nЭта программа через "
    "соединение WebSocket подключается к серверу RUVO-LoRa, а к этой программе, но уже через соединения "
    "TCP, подключаются клиенты, желающие получить доступ к устройствам, подключенным через RS-232 или "
    "RS-485 к радиомодемам, доступным через этот сервер RUVO-LoRa.";

QString u(const char* text)
{
    return QString::fromUtf8(text);
}

QGridLayout& grid_of(Main_window& window)
{
    return *qobject_cast<QGridLayout*>(window.layout());
}

QStackedLayout* stack_at(Main_window& window, int row, int column)
{
    return qobject_cast<QStackedLayout*>(grid_of(window).itemAtPosition(row, column)->layout());
}

// The widget that a cell shows now (the current page of a stacked cell).
QWidget* shown_at(Main_window& window, int row, int column)
{
    if (QStackedLayout* stack = stack_at(window, row, column))
        return stack->currentWidget();
    return grid_of(window).itemAtPosition(row, column)->widget();
}

QString text_at(Main_window& window, int row, int column)
{
    return qobject_cast<QLabel*>(shown_at(window, row, column))->text();
}

// The counter of a stacked row, whether shown or not.
QLabel* counter_of_row(Main_window& window, int row)
{
    return qobject_cast<QLabel*>(stack_at(window, row, 1)->widget(1));
}

bool has_text_color(const QWidget* widget, const QColor& color)
{
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        if (widget->palette().color(group, QPalette::WindowText) != color)
            return false;
    return true;
}

QPushButton* button_with_text(QWidget& parent, const QString& text)
{
    for (QPushButton* button : parent.findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

void set_link(unsigned char flags, int servers, quint32 clients)
{
    QMutexLocker lock(&cfg_mutex);
    ws_flags = flags;
    tcp_servers.clear();
    for (int i = 0; i < servers; ++i)
        tcp_servers.insert(0x1000 + i, nullptr);
    clients_number = clients;
}

unsigned char current_ws_flags()
{
    QMutexLocker lock(&cfg_mutex);
    return ws_flags;
}

// Arms a timer, alive as long as the context, that hands the active modal widget to inspect and
// then closes it.
void on_next_modal(QObject* context, const std::function<void(QWidget*)>& inspect)
{
    QTimer::singleShot(0, context, [inspect] {
        QWidget* modal = QApplication::activeModalWidget();
        inspect(modal);
        if (auto dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    });
}

// The exit sequence leaves the application's event loop; no loop runs in a test, but the request
// would end the next modal loop at once, so it is taken back by running and quitting one loop.
void clear_quit_request()
{
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// The entries saying how the program ended, as start-up writes them when its event loop has ended.
QStringList end_entries(const Temp_log& log)
{
    log_program_end(exit_ok);
    QStringList found;
    for (const QString& entry : QString::fromUtf8(log.text()).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts))
        if (entry.contains(QStringLiteral("Программа завершила работу: ")))
            found << entry.mid(entry.indexOf(QStringLiteral("Программа")));
    return found;
}

// A thread with an event loop that the test ends when it wants.
class Running_thread : public QThread {
public:
    Running_thread() { start(); }
    ~Running_thread() override { finish(); }
    void finish()
    {
        quit();
        wait();
    }
};

// The main window with the immediate end of the process recorded instead of done.
class Test_window : public Main_window {
public:
    using Main_window::Main_window;
    int quit_calls = 0;

protected:
    void quit_at_once() override { ++quit_calls; }
};

// Empties the shared tables before the link object goes, which would shut down the servers listed.
class Clear_link_at_end {
public:
    ~Clear_link_at_end() { set_link(0, 0, 0); }
};

// Stands for the link object: notifies the way the exchange thread does, once per pending bit.
class Fake_link : public QObject {
    Q_OBJECT
public:
    void change_servers(int servers, quint32 clients)
    {
        QMutexLocker lock(&cfg_mutex);
        set_tables(servers, clients);
        if (!(ws_flags & WS_SERVERS_PENDING)) {
            ws_flags |= WS_SERVERS_PENDING;
            emit servers_changed();
        }
    }
    void change_clients(quint32 clients)
    {
        QMutexLocker lock(&cfg_mutex);
        clients_number = clients;
        if (!(ws_flags & WS_CLIENTS_PENDING)) {
            ws_flags |= WS_CLIENTS_PENDING;
            emit clients_changed();
        }
    }

signals:
    void servers_changed();
    void clients_changed();

private:
    static void set_tables(int servers, quint32 clients)
    {
        tcp_servers.clear();
        for (int i = 0; i < servers; ++i)
            tcp_servers.insert(0x2000 + i, nullptr);
        clients_number = clients;
    }
};

}  // namespace

class Test_main_window : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void init_fonts_uses_screen_and_metrics();
    void captions_and_tooltips();
    void link_states_data();
    void link_states();
    void back_offline_hides_rows();
    void clients_changed_while_offline();
    void notifications_coalesce();
    void configured_devices_counter();
    void window_has_fixed_size();
    void only_one_window();
    void link_created_first_is_connected();
    void f1_opens_about();
    void other_keys_do_nothing();
    void list_button_opens_device_list();
    void about_text_names_files_in_use();
    void about_closes_rejected();
    void typeface_walk_data();
    void typeface_walk();
    void typeface_examined_only_when_better();
    void typeface_acceptance();
    void table_sorted();
    void font_scale_data();
    void font_scale();
    void build_fonts_point_and_pixel();
    void build_fonts_refuses_unusable_sizes();
    void exit_dialog_texts();
    void exit_dialog_accepts_data();
    void exit_dialog_accepts();
    void rough_exit_rejects();
    void exit_button_ends_in_order();
    void exit_button_with_real_link_closes_everything();
    void close_request_takes_exit_sequence();
    void rough_exit_from_window_data();
    void rough_exit_from_window();
    void end_entry_text_data();
    void end_entry_text();

private:
    Temp_log log;
    QThread idle_thread;
    QFont app_font_at_start;
};

void Test_main_window::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
    app_font_at_start = QApplication::font();
    devices_fname = QStringLiteral("devices_in_use.cfg");
}

void Test_main_window::init()
{
    set_link(0, 0, 0);
    devices_in_cfg.clear();
    log.clear();
    note_program_start();
}

void Test_main_window::cleanup()
{
    set_link(0, 0, 0);
    devices_in_cfg.clear();
}

void Test_main_window::init_fonts_uses_screen_and_metrics()
{
    QVERIFY(!fonts_initialized);
    QWidget widget;
    const QFontMetrics metrics(app_font_at_start, &widget);
    const QRect area = widget.screen()->availableGeometry();
    const Font_scale scale = ::font_scale(area.width(), area.height(), metrics.horizontalAdvance('0'),
                                          metrics.height());
    init_fonts(widget);
    QVERIFY(fonts_initialized);
    QVERIFY(app_font_at_start.pointSize() > 0);
    QCOMPARE(font_name_big.pointSize(), scaled_font_size(app_font_at_start.pointSize(), scale.big));
    QCOMPARE(font_value_small.pointSize(), scaled_font_size(app_font_at_start.pointSize(), scale.small));
    QCOMPARE(font_name_big.family(), app_font_at_start.family());
    QCOMPARE(font_name_small.family(), app_font_at_start.family());
    QCOMPARE(font_name_big.weight(), app_font_at_start.weight());
    QCOMPARE(QApplication::font(), font_name_big);
    const QFontMetrics big(font_name_big, &widget);
    QCOMPARE(module_w, big.horizontalAdvance('0'));
    QCOMPARE(module_h, big.height());

    // The value family is the best of the table or else the system's fixed font.
    QStringList families = RUVO_FONT_DATABASE(families(QFontDatabase::Cyrillic));
    families.sort(Qt::CaseInsensitive);
    QString expected = find_best_typeface(families, monospace_fonts, 10);
    if (expected.isEmpty())
        expected = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    QCOMPARE(font_value_big.family(), expected);

    // Later calls change nothing.
    const QFont before = font_name_big;
    QApplication::setFont(QFont(QStringLiteral("Courier"), 30));
    init_fonts(widget);
    QCOMPARE(font_name_big, before);
    QApplication::setFont(font_name_big);
}

void Test_main_window::captions_and_tooltips()
{
    devices_in_cfg.insert(1, {51, 3000});
    devices_in_cfg.insert(2, {51, 3001});
    devices_in_cfg.insert(3, {51, 3002});
    Main_window window(idle_thread);
    QCOMPARE(window.windowTitle(), QStringLiteral("ruvo_bridge 1.3.5"));
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(window.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);

    set_link(WS_ONLINE, 2, 1);
    window.on_servers_changed();
    const struct {
        int row;
        QString caption;
        QString hint;
    } rows[] = {
        {0, u("Соединение с сервером RUVO-LoRa: "), u(hint_link).arg(u(log_fname))},
        {1, u("Радиомодемов, подлежащих обслуживанию: "), u(hint_devices).arg(devices_fname)},
        {2, u("... из них доступных для связи: "), u(hint_online)},
        {3, u("... из них используемых клиентами: "), u(hint_clients)},
    };
    for (const auto& row : rows) {
        QCOMPARE(text_at(window, row.row, 0), row.caption);
        QCOMPARE(shown_at(window, row.row, 0)->toolTip(), row.hint);
        QCOMPARE(shown_at(window, row.row, 1)->toolTip(), row.hint);
    }
    QCOMPARE(text_at(window, 1, 1), QStringLiteral("3"));

    auto list = qobject_cast<QPushButton*>(shown_at(window, 1, 2));
    QVERIFY(list);
    QCOMPARE(list->text(), u("Список"));
    QCOMPARE(list->toolTip(), u(hint_btn_devices));

    auto box = qobject_cast<QDialogButtonBox*>(shown_at(window, 4, 0));
    QVERIFY(box);
    QCOMPARE(box->orientation(), Qt::Horizontal);
    QCOMPARE(box->buttons().size(), 2);
    QPushButton* about = button_with_text(*box, u("О программе"));
    QPushButton* exit = button_with_text(*box, u("Выйти"));
    QVERIFY(about && exit);
    QCOMPARE(box->buttonRole(about), QDialogButtonBox::HelpRole);
    QCOMPARE(box->buttonRole(exit), QDialogButtonBox::RejectRole);
    QCOMPARE(about->toolTip(), u(hint_btn_about));
    QCOMPARE(exit->toolTip(), u(hint_btn_exit));
}

void Test_main_window::link_states_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<bool>("rows_shown");
    QTest::newRow("offline") << 0 << u("нет") << QColor(128, 0, 0) << false;
    QTest::newRow("starting") << int(WS_STARTING) << u("старт") << QColor(0, 0, 128) << false;
    QTest::newRow("online") << int(WS_ONLINE) << u("есть") << QColor(0, 128, 0) << true;
    QTest::newRow("ending, offline") << int(WS_ENDING) << u("нет") << QColor(128, 0, 0) << false;
}

void Test_main_window::link_states()
{
    QFETCH(int, flags);
    QFETCH(QString, word);
    QFETCH(QColor, color);
    QFETCH(bool, rows_shown);
    Main_window window(idle_thread);
    window.show();
    QCOMPARE(text_at(window, 0, 1), u("нет"));
    QVERIFY(has_text_color(shown_at(window, 0, 1), QColor(128, 0, 0)));

    set_link(flags | WS_SERVERS_PENDING | WS_CLIENTS_PENDING, 7, 4);
    window.on_servers_changed();
    QCOMPARE(current_ws_flags(), flags);
    QCOMPARE(text_at(window, 0, 1), word);
    QVERIFY(has_text_color(shown_at(window, 0, 1), color));
    QCOMPARE(counter_of_row(window, 2)->isVisible(), rows_shown);
    QCOMPARE(counter_of_row(window, 3)->isVisible(), rows_shown);
    if (rows_shown) {
        QCOMPARE(text_at(window, 2, 1), QStringLiteral("7"));
        QCOMPARE(text_at(window, 3, 1), QStringLiteral("4"));
        QVERIFY(has_text_color(shown_at(window, 2, 1), QColor(0, 128, 0)));
        QVERIFY(has_text_color(shown_at(window, 3, 1), QColor(100, 0, 100)));
    } else {
        for (int row : {2, 3})
            for (int column : {0, 1})
                QCOMPARE(text_at(window, row, column), QStringLiteral(" "));
    }
}

void Test_main_window::back_offline_hides_rows()
{
    Main_window window(idle_thread);
    window.show();
    const int width = shown_at(window, 0, 1)->sizeHint().width();
    set_link(WS_ONLINE, 2, 1);
    window.on_servers_changed();
    QVERIFY(counter_of_row(window, 3)->isVisible());
    set_link(WS_STARTING, 0, 0);
    window.on_servers_changed();
    QCOMPARE(text_at(window, 0, 1), u("старт"));
    QCOMPARE(text_at(window, 2, 0), QStringLiteral(" "));
    QVERIFY(!counter_of_row(window, 2)->isVisible());
    QVERIFY(!counter_of_row(window, 3)->isVisible());
    // Hidden counters keep their last text until the link is up again.
    QCOMPARE(counter_of_row(window, 2)->text(), QStringLiteral("2"));
    // The link-state label does not change width with its word.
    QCOMPARE(shown_at(window, 0, 1)->sizeHint().width(), width);
}

void Test_main_window::clients_changed_while_offline()
{
    Main_window window(idle_thread);
    window.show();
    set_link(WS_STARTING | WS_CLIENTS_PENDING | WS_SERVERS_PENDING, 0, 5);
    window.on_clients_changed();
    QCOMPARE(current_ws_flags(), WS_STARTING | WS_SERVERS_PENDING);
    QCOMPARE(text_at(window, 0, 1), u("нет"));
    QCOMPARE(counter_of_row(window, 3)->text(), QStringLiteral("0"));
    QVERIFY(!counter_of_row(window, 3)->isVisible());

    set_link(WS_ONLINE, 1, 0);
    window.on_servers_changed();
    set_link(WS_ONLINE | WS_CLIENTS_PENDING, 1, 1);
    window.on_clients_changed();
    QCOMPARE(text_at(window, 3, 1), QStringLiteral("1"));
    QCOMPARE(current_ws_flags(), WS_ONLINE);
}

void Test_main_window::notifications_coalesce()
{
    Main_window window(idle_thread);
    Fake_link link;
    connect(&link, &Fake_link::servers_changed, &window, &Main_window::on_servers_changed, Qt::QueuedConnection);
    connect(&link, &Fake_link::clients_changed, &window, &Main_window::on_clients_changed, Qt::QueuedConnection);
    QSignalSpy servers_spy(&link, &Fake_link::servers_changed);
    QSignalSpy clients_spy(&link, &Fake_link::clients_changed);
    set_link(WS_ONLINE, 0, 0);
    for (int i = 1; i <= 5; ++i) {
        link.change_servers(i, quint32(i - 1));
        link.change_clients(quint32(i));
    }
    QCOMPARE(servers_spy.count(), 1);
    QCOMPARE(clients_spy.count(), 1);
    QCOMPARE(text_at(window, 0, 1), u("нет"));
    QCoreApplication::processEvents();
    QCOMPARE(text_at(window, 0, 1), u("есть"));
    QCOMPARE(text_at(window, 2, 1), QStringLiteral("5"));
    QCOMPARE(text_at(window, 3, 1), QStringLiteral("5"));
    QCOMPARE(current_ws_flags(), WS_ONLINE);

    // With the bits clear again, the next change is announced again.
    link.change_servers(6, 2);
    link.change_clients(3);
    QCOMPARE(servers_spy.count(), 2);
    QCOMPARE(clients_spy.count(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(text_at(window, 2, 1), QStringLiteral("6"));
    QCOMPARE(text_at(window, 3, 1), QStringLiteral("3"));
}

void Test_main_window::configured_devices_counter()
{
    devices_in_cfg.insert(1, {51, 3000});
    Main_window window(idle_thread);
    QCOMPARE(text_at(window, 1, 1), QStringLiteral("1"));
    devices_in_cfg.insert(2, {51, 3001});
    devices_in_cfg.insert(3, {51, 3002});
    window.configured_devices_changed();
    QCOMPARE(text_at(window, 1, 1), QStringLiteral("3"));
    devices_in_cfg.clear();
    window.configured_devices_changed();
    QCOMPARE(text_at(window, 1, 1), QStringLiteral("0"));
}

void Test_main_window::window_has_fixed_size()
{
    Main_window window(idle_thread);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize size = window.size();
    QCOMPARE(window.minimumSize(), size);
    QCOMPARE(window.maximumSize(), size);
    window.resize(size + QSize(100, 50));
    QCOMPARE(window.size(), size);
    // Showing the rows of the live link does not change the size either.
    set_link(WS_ONLINE, 3, 2);
    window.on_servers_changed();
    QCoreApplication::processEvents();
    QCOMPARE(window.size(), size);
}

void Test_main_window::only_one_window()
{
    {
        Main_window window(idle_thread);
        QCOMPARE(Main_window::instance, &window);
        QVERIFY_EXCEPTION_THROWN(Main_window second(idle_thread), Debug);
        QCOMPARE(Main_window::instance, &window);
        QVERIFY(log.text().contains(u("Неожиданная ошибка №2.203.").toUtf8()));
    }
    QCOMPARE(Main_window::instance, nullptr);
    Main_window again(idle_thread);
    QCOMPARE(Main_window::instance, &again);
}

void Test_main_window::link_created_first_is_connected()
{
    Ws_connection connection(idle_thread);
    Main_window window(idle_thread);
    Clear_link_at_end clear_link;
    set_link(WS_ONLINE | WS_SERVERS_PENDING, 4, 2);
    emit connection.servers_changed();
    QCOMPARE(text_at(window, 0, 1), u("есть"));
    QCOMPARE(text_at(window, 2, 1), QStringLiteral("4"));
    set_link(WS_ONLINE | WS_CLIENTS_PENDING, 4, 3);
    emit connection.clients_changed();
    QCOMPARE(text_at(window, 3, 1), QStringLiteral("3"));
    QVERIFY(!(connection.flags & Ws_connection::shutting_down));
    emit window.shutdown();
    QVERIFY(connection.flags & Ws_connection::shutting_down);
    QVERIFY(!log.text().contains("2.11"));
}

void Test_main_window::f1_opens_about()
{
    Main_window window(idle_thread);
    window.show();
    QString title;
    on_next_modal(&window, [&title](QWidget* modal) {
        if (qobject_cast<Dialog_about*>(modal))
            title = modal->windowTitle();
    });
    QTest::keyClick(&window, Qt::Key_F1);
    QCOMPARE(title, u("О программе"));

    title.clear();
    on_next_modal(&window, [&title](QWidget* modal) {
        if (qobject_cast<Dialog_about*>(modal))
            title = modal->windowTitle();
    });
    button_with_text(window, u("О программе"))->click();
    QCOMPARE(title, u("О программе"));
}

void Test_main_window::other_keys_do_nothing()
{
    Main_window window(idle_thread);
    window.show();
    QWidget* opened = nullptr;
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_F2, Qt::Key_Space, Qt::Key_A}) {
        on_next_modal(&window, [&opened](QWidget* modal) { opened = modal ? modal : opened; });
        QTest::keyClick(&window, key);
        QCoreApplication::processEvents();
    }
    QCOMPARE(opened, nullptr);
    QVERIFY(window.isVisible());
    QVERIFY(!(current_ws_flags() & WS_ENDING));
}

void Test_main_window::list_button_opens_device_list()
{
    Main_window window(idle_thread);
    window.show();
    bool opened = false;
    on_next_modal(&window, [&opened](QWidget* modal) { opened = qobject_cast<Dialog_devices*>(modal) != nullptr; });
    button_with_text(window, u("Список"))->click();
    QVERIFY(opened);
}

void Test_main_window::about_text_names_files_in_use()
{
    const char* const previous_cfg = cfg_fname;
    const QByteArray cfg = "/srv/ruvo/другой.cfg";
    cfg_fname = cfg.constData();
    devices_fname = QStringLiteral("/srv/ruvo/modems.cfg");
    Dialog_about dialog;
    cfg_fname = previous_cfg;
    QCOMPARE(dialog.windowTitle(), u("О программе"));
    QCOMPARE(about_program(), u(about_head));
    auto text = dialog.findChild<QTextEdit*>();
    QVERIFY(text);
    QVERIFY(text->isReadOnly());
    const QString expected =
        u("%1\n\nПри запуске программа читает свою конфигурацию из файла «%2». Для изменения конфигурации "
          "отредактируйте этот файл с помощью текстового редактора. Формат файла описан в образцовом файле "
          "конфигурации, поставляемом вместе с программой.\n\nПрограмма записывает сообщения об ошибках в файл "
          "«%3». Также в этот файл может записываться трассировка обмена с сервером и с клиентами, если это "
          "заказано в файле конфигурации.\n\nС помощью командной строки программа может быть настроена на "
          "работу с другим файлом конфигурации и/или файлом журнала. Для получения справки по параметрам "
          "командной строки запускайте программу с опцией «-h».\n\nСписок радиомодемов, подлежащих "
          "обслуживанию, хранится в файле «%4» (имя файла настраивается в файле конфигурации). Обычно нет "
          "необходимости редактировать этот файл вручную.")
            .arg(u(about_head), u("/srv/ruvo/другой.cfg"), u(log_fname), u("/srv/ruvo/modems.cfg"));
    QCOMPARE(text->toPlainText(), expected);
    QCOMPARE(text->sizeHint(), QSize(85 * module_w, 60 * module_h));
    devices_fname = QStringLiteral("devices_in_use.cfg");
}

void Test_main_window::about_closes_rejected()
{
    Dialog_about dialog;
    auto box = dialog.findChild<QDialogButtonBox*>();
    QVERIFY(box);
    QCOMPARE(box->buttons().size(), 1);
    QAbstractButton* close = box->buttons().first();
    QCOMPARE(close->text(), u("Закрыть"));
    QCOMPARE(box->buttonRole(close), QDialogButtonBox::RejectRole);
    QVERIFY(!(dialog.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));

    QTimer::singleShot(0, close, &QAbstractButton::click);
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QTimer::singleShot(0, &dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

void Test_main_window::typeface_walk_data()
{
    QTest::addColumn<QStringList>("families");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blank of the table optional")
        << QStringList{"Cantarell", "DejaVu Sans", "DejaVu Sans Condensed", "DejaVu Sans Mono", "DejaVu Serif"}
        << "DejaVu Sans Mono";
    QTest::newRow("any case, rest ignored") << QStringList{"dejavu sans mono book"} << "dejavu sans mono book";
    QTest::newRow("blanks of both optional") << QStringList{"DejaVuSansMono"} << "DejaVuSansMono";
    QTest::newRow("with the blank") << QStringList{"Deja Vu Sans Mono"} << "Deja Vu Sans Mono";
    QTest::newRow("preference, not order")
        << QStringList{"Andale Mono", "Consolas", "Courier New", "Inconsolata", "Proggy Clean"} << "Consolas";
    QTest::newRow("most wanted last in the list")
        << QStringList{"Consolas", "DejaVu Sans Mono", "Inconsolata"} << "DejaVu Sans Mono";
    QTest::newRow("first of equal preference") << QStringList{"Courier 10 Pitch", "Courier New"}
                                               << "Courier 10 Pitch";
    QTest::newRow("refused skipped") << QStringList{"Consolas", "DejaVu Sans Mono refused"} << "Consolas";
    QTest::newRow("nothing matches")
        << QStringList{"Aardvark", "Arial", "Deja", "DejaVu Sans", "Monospace", "Zapf", "Шрифт"} << "";
    QTest::newRow("prefix of an entry only") << QStringList{"Consol", "Monof"} << "";
    QTest::newRow("empty list") << QStringList{} << "";
    QTest::newRow("non-ASCII names around") << QStringList{"Inconsolata", "Моноширинный"} << "Inconsolata";
}

void Test_main_window::typeface_walk()
{
    QFETCH(QStringList, families);
    QFETCH(QString, expected);
    families.sort(Qt::CaseInsensitive);
    const QString best = find_best_typeface(families, monospace_fonts, 10, [](const QString& family) {
        return !family.endsWith(QStringLiteral("refused"));
    });
    QCOMPARE(best, expected);
}

void Test_main_window::typeface_examined_only_when_better()
{
    QStringList examined;
    const auto accept = [&examined](const QString& family) {
        examined << family;
        return family != QStringLiteral("Inconsolata");
    };
    QStringList families{"Andale Mono", "Consolas", "Courier New", "Inconsolata", "Monaco", "Proggy"};
    QCOMPARE(find_best_typeface(families, monospace_fonts, 10, accept), QStringLiteral("Consolas"));
    // Courier (9), Monaco (7) and Proggy (4) cannot beat Consolas (1); Inconsolata (2) cannot either.
    QCOMPARE(examined, (QStringList{"Andale Mono", "Consolas"}));
}

void Test_main_window::typeface_acceptance()
{
    QVERIFY(!is_acceptable_typeface(QStringLiteral("No Such Family At All")));
    QCOMPARE(find_best_typeface(QStringList{"No Such Family At All"}, monospace_fonts, 10), QString());
    if (!RUVO_FONT_DATABASE(families()).contains(QStringLiteral("DejaVu Sans")))
        QSKIP("DejaVu Sans is not installed");
    // Proportional: refused even when its name matched.
    QVERIFY(!is_acceptable_typeface(QStringLiteral("DejaVu Sans")));
    const Font_typeface sans_table[] = {{"DejaVu Sans", 0}};
    QCOMPARE(find_best_typeface(QStringList{"DejaVu Sans"}, sans_table, 1), QString());
}

void Test_main_window::table_sorted()
{
    QStringList names;
    for (const Font_typeface& entry : monospace_fonts)
        names << QString::fromLatin1(entry.name);
    QStringList sorted = names;
    sorted.sort(Qt::CaseInsensitive);
    QCOMPARE(names, sorted);
    QCOMPARE(monospace_fonts[3].name, "Deja Vu Sans Mono");
    QCOMPARE(int(monospace_fonts[3].preference), 0);
}

void Test_main_window::font_scale_data()
{
    QTest::addColumn<int>("screen_w");
    QTest::addColumn<int>("screen_h");
    QTest::addColumn<int>("digit_w");
    QTest::addColumn<int>("line_h");
    QTest::addColumn<quint64>("big");
    QTest::addColumn<quint64>("small");
    QTest::addColumn<int>("big_9pt");
    QTest::addColumn<int>("small_9pt");
    QTest::newRow("full HD") << 1920 << 1040 << 7 << 16 << quint64(1599908) << quint64(1200000) << 14 << 10;
    QTest::newRow("small screen never shrinks") << 800 << 600 << 11 << 21 << quint64(1000000) << quint64(1000000)
                                               << 9 << 9;
    QTest::newRow("huge screen capped") << 7680 << 4320 << 7 << 16 << quint64(1800000) << quint64(1600000) << 16
                                        << 14;
    QTest::newRow("height decides") << 3000 << 800 << 7 << 16 << quint64(1250000) << quint64(1000000) << 11 << 9;
}

void Test_main_window::font_scale()
{
    QFETCH(int, screen_w);
    QFETCH(int, screen_h);
    QFETCH(int, digit_w);
    QFETCH(int, line_h);
    QFETCH(quint64, big);
    QFETCH(quint64, small);
    QFETCH(int, big_9pt);
    QFETCH(int, small_9pt);
    const Font_scale scale = ::font_scale(screen_w, screen_h, digit_w, line_h);
    QCOMPARE(scale.big, big);
    QCOMPARE(scale.small, small);
    QCOMPARE(scaled_font_size(9, scale.big), big_9pt);
    QCOMPARE(scaled_font_size(9, scale.small), small_9pt);
}

void Test_main_window::build_fonts_point_and_pixel()
{
    const QFont saved[] = {font_name_big, font_name_small, font_value_big, font_value_small};
    const Font_scale scale{1599908, 1200000};
    const QString caption = QStringLiteral("Caption Family");
    const QString value = QStringLiteral("Value Family");

    QFont points(QStringLiteral("Application"), 9, QFont::Bold);
    QVERIFY(build_fonts(points, caption, value, scale));
    QCOMPARE(font_name_big.pointSize(), 14);
    QCOMPARE(font_value_big.pointSize(), 14);
    QCOMPARE(font_name_small.pointSize(), 10);
    QCOMPARE(font_value_small.pointSize(), 10);
    QCOMPARE(font_name_big.family(), caption);
    QCOMPARE(font_name_small.family(), caption);
    QCOMPARE(font_value_big.family(), value);
    QCOMPARE(font_value_small.family(), value);
    QCOMPARE(font_value_small.weight(), int(QFont::Bold));
    QVERIFY(!font_name_big.italic());

    QFont pixels(QStringLiteral("Application"));
    pixels.setPixelSize(12);
    pixels.setItalic(true);
    QVERIFY(build_fonts(pixels, caption, value, scale));
    QCOMPARE(font_name_big.pixelSize(), 19);
    QCOMPARE(font_value_small.pixelSize(), 14);
    QCOMPARE(font_value_big.family(), value);
    QCOMPARE(font_name_small.family(), caption);
    // Everything but family and size comes from the application font.
    QVERIFY(font_name_big.italic());

    font_name_big = saved[0];
    font_name_small = saved[1];
    font_value_big = saved[2];
    font_value_small = saved[3];
}

void Test_main_window::build_fonts_refuses_unusable_sizes()
{
    const QFont saved = font_name_big;
    const Font_scale scale{1800000, 1600000};
    QFont points;
    points.setPointSize(1193046471);
    QVERIFY(!build_fonts(points, QStringLiteral("A"), QStringLiteral("B"), scale));
    QVERIFY(log.text().contains(u("Неожиданная ошибка №2.109.").toUtf8()));
    QFont pixels;
    pixels.setPixelSize(1193046471);
    QVERIFY(!build_fonts(pixels, QStringLiteral("A"), QStringLiteral("B"), scale));
    QVERIFY(log.text().contains(u("Неожиданная ошибка №2.110.").toUtf8()));
    QCOMPARE(font_name_big, saved);

    // The largest accepted size still fits after growing.
    points.setPointSize(1193046470);
    QVERIFY(build_fonts(points, QStringLiteral("A"), QStringLiteral("B"), scale));
    QCOMPARE(font_name_big.pointSize(), 2147483646);
    font_name_big = font_name_small = font_value_big = font_value_small = saved;
}

void Test_main_window::exit_dialog_texts()
{
    Running_thread thread;
    Dialog_exit dialog(nullptr, thread);
    QCOMPARE(dialog.windowTitle(), u("Выходим"));
    auto box = dialog.findChild<QDialogButtonBox*>();
    QVERIFY(box);
    QCOMPARE(box->buttons().size(), 1);
    QAbstractButton* rough = box->buttons().first();
    QCOMPARE(rough->text(), u("Выйти немедленно"));
    QCOMPARE(rough->toolTip(), u(hint_rough_exit));
    QCOMPARE(box->buttonRole(rough), QDialogButtonBox::DestructiveRole);
    QCOMPARE(dialog.layout()->sizeConstraint(), QLayout::SetFixedSize);
}

void Test_main_window::exit_dialog_accepts_data()
{
    QTest::addColumn<QString>("when");
    QTest::newRow("before built") << "before built";
    QTest::newRow("after built") << "after built";
    QTest::newRow("while hidden, taken") << "while hidden, taken";
    QTest::newRow("while shown") << "while shown";
}

void Test_main_window::exit_dialog_accepts()
{
    QFETCH(QString, when);
    Running_thread thread;
    if (when == "before built")
        thread.finish();
    Dialog_exit dialog(nullptr, thread);
    if (when == "after built" || when == "while hidden, taken")
        thread.finish();
    if (when == "while hidden, taken")
        QCoreApplication::processEvents();
    bool shown_before_end = false;
    if (when == "while shown")
        QTimer::singleShot(50, &dialog, [&] {
            shown_before_end = dialog.isVisible();
            thread.finish();
        });
    // Neither accepted nor rejected means the dialog waited for nothing.
    QTimer::singleShot(20000, &dialog, [&dialog] { dialog.done(99); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(shown_before_end, when == "while shown");
}

void Test_main_window::rough_exit_rejects()
{
    Running_thread thread;
    Dialog_exit dialog(nullptr, thread);
    QTimer::singleShot(0, &dialog, [&dialog] {
        button_with_text(dialog, u("Выйти немедленно"))->click();
    });
    QTimer::singleShot(20000, &dialog, [&dialog] { dialog.done(99); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(thread.isRunning());
}

void Test_main_window::exit_button_ends_in_order()
{
    Running_thread thread;
    Test_window window(thread);
    window.show();
    QSignalSpy shutdown_spy(&window, &Main_window::shutdown);
    QString title;
    unsigned char flags_while_waiting = 0;
    int shutdowns_before_dialog = 0;
    QTimer::singleShot(50, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (dynamic_cast<Dialog_exit*>(modal))
            title = modal->windowTitle();
        flags_while_waiting = current_ws_flags();
        shutdowns_before_dialog = shutdown_spy.count();
        thread.finish();
    });
    QTimer::singleShot(20000, &window, [] {
        if (auto dialog = dynamic_cast<Dialog_exit*>(QApplication::activeModalWidget()))
            dialog->done(99);
    });
    button_with_text(window, u("Выйти"))->click();
    clear_quit_request();
    QCOMPARE(window.quit_calls, 0);
    QCOMPARE(title, u("Выходим"));
    QVERIFY(flags_while_waiting & WS_ENDING);
    QCOMPARE(shutdowns_before_dialog, 1);
    QCOMPARE(shutdown_spy.count(), 1);
    QVERIFY(!window.isVisible());
    QCOMPARE(end_entries(log), QStringList{u("Программа завершила работу: нажата кнопка «Выйти». Время работы: "
                                             "0:00:00 (ч:мм:сс).")});
}

// The whole program in this process against the simulated server: "Выйти" disconnects the
// client, closes the WebSocket with code 1000 and ends the exchange thread before the window goes.
void Test_main_window::exit_button_with_real_link_closes_everything()
{
    QProcess sim;
    sim.start(QStringLiteral(RUVO_SIM_EXE), {"--listen", "127.0.0.1:0", "--radio-delay", "0", "--modem",
                                             "00000000000000E1:echo"});
    QVERIFY(sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
    const QByteArray first = sim.readLine().trimmed();
    QVERIFY2(first.startsWith("listening "), first.constData());
    ws_url = QStringLiteral("ws://127.0.0.1:") + QString::fromLatin1(first.mid(10));
    ws_login = ws_password_hash = QStringLiteral("demo");
    const quint16 port = free_ports(1).front();
    devices_in_cfg.insert(0xE1, {51, port});
    {
        QMutexLocker lock(&cfg_mutex);
        ws_flags = 0;
    }

    Engine engine;
    // Also when a check fails: the thread must end before its object goes.
    Engine_stopper stop(engine);
    Test_window window(engine);
    window.show();
    engine.start();
    QTRY_VERIFY_WITH_TIMEOUT(current_ws_flags() & WS_ONLINE, 10000);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(5000));
    client.write("ping");
    QByteArray answer;
    QTRY_VERIFY_WITH_TIMEOUT((answer += client.readAll()).size() >= 4, 10000);
    QCOMPARE(answer, QByteArray("ping"));

    QTimer::singleShot(20000, &window, [] {
        if (auto dialog = dynamic_cast<Dialog_exit*>(QApplication::activeModalWidget()))
            dialog->done(99);
    });
    button_with_text(window, u("Выйти"))->click();
    clear_quit_request();
    QCOMPARE(window.quit_calls, 0);
    QVERIFY(engine.isFinished());
    QVERIFY(!window.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 5000);
    QByteArray sim_out;
    QTRY_VERIFY_WITH_TIMEOUT((sim_out += sim.readAllStandardOutput()).contains("disconnected 1000"), 5000);
    QVERIFY(!log.text().contains("Утеряно соединение"));
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

void Test_main_window::close_request_takes_exit_sequence()
{
    Running_thread thread;
    Test_window window(thread);
    window.show();
    QSignalSpy shutdown_spy(&window, &Main_window::shutdown);
    bool dialog_shown = false;
    bool second_close = true;
    QTimer::singleShot(100, [&] {
        dialog_shown = dynamic_cast<Dialog_exit*>(QApplication::activeModalWidget()) != nullptr;
        second_close = window.close();
        thread.finish();
    });
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 20000);
    clear_quit_request();
    QCOMPARE(window.quit_calls, 0);
    QVERIFY(dialog_shown);
    QVERIFY(!second_close);
    QCOMPARE(shutdown_spy.count(), 1);
    QVERIFY(current_ws_flags() & WS_ENDING);
    QCOMPARE(end_entries(log), QStringList{u("Программа завершила работу: закрыто главное окно (Alt+F4 или кнопка "
                                             "закрытия окна). Время работы: 0:00:00 (ч:мм:сс).")});
}

void Test_main_window::rough_exit_from_window_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("logged");
    QTest::newRow("rejected") << int(QDialog::Rejected) << false;
    QTest::newRow("unexpected result") << 7 << true;
}

// The window ends the process at once, without closing, when the exit dialog is not accepted.
void Test_main_window::rough_exit_from_window()
{
    QFETCH(int, result);
    QFETCH(bool, logged);
    Running_thread thread;
    Test_window window(thread);
    window.show();
    QTimer::singleShot(0, &window, [result] {
        if (auto dialog = dynamic_cast<Dialog_exit*>(QApplication::activeModalWidget()))
            dialog->done(result);
    });
    window.on_btn_exit_clicked();
    QCOMPARE(window.quit_calls, 1);
    QVERIFY(window.isVisible());
    QVERIFY(thread.isRunning());
    QCOMPARE(log.text().contains(u("Неожиданная ошибка №2.121.").toUtf8()), logged);
    // The exit sequence runs once: a second request while it is under way is ignored.
    window.on_btn_exit_clicked();
    QCOMPARE(window.quit_calls, 1);
    QCOMPARE(end_entries(log), QStringList{u("Программа завершила работу: нажата кнопка «Выйти немедленно». Время "
                                             "работы: 0:00:00 (ч:мм:сс).")});
}

void Test_main_window::end_entry_text_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<qint64>("run_ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("SIGINT, under a second") << int(Program_end::sigint) << qint64(999)
                                            << u("получен сигнал SIGINT. Время работы: 0:00:00");
    QTest::newRow("SIGTERM, an hour, a minute and a second") << int(Program_end::sigterm) << qint64(3661000)
                                                             << u("получен сигнал SIGTERM. Время работы: 1:01:01");
    QTest::newRow("failed start") << int(Program_end::start_failed) << qint64(59999)
                                  << u("запуск не удался. Время работы: 0:00:59");
    QTest::newRow("fatal error, days in hours") << int(Program_end::fatal_error) << qint64(100LL * 3600000 + 5000)
                                                << u("аварийное завершение. Время работы: 100:00:05");
}

void Test_main_window::end_entry_text()
{
    QFETCH(int, how);
    QFETCH(qint64, run_ms);
    QFETCH(QString, text);
    QCOMPARE(program_end_text(static_cast<Program_end>(how), run_ms),
             u("Программа завершила работу: ") + text + u(" (ч:мм:сс)."));
}

QTEST_MAIN(Test_main_window)
#include "test_main_window.moc"
