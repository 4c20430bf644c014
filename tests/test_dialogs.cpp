// Tests of the device list, the modem picker and the add and edit dialogs, driven as a user
// drives them: fields typed, buttons clicked, message boxes read and answered.
#include "device_tables.h"
#include "test_util.h"
#include "window_fit.h"

#include "core/cfg.h"
#include "core/devices_file.h"
#include "metrics/metrics.h"
#include "app/engine.h"
#include "app/link_view.h"
#include "app/service_control.h"
#include "core/shared.h"
#include "link/ws_connection.h"
#include "tcp/tcp_server.h"
#include "ui/dialog_add_device.h"
#include "ui/dialog_devices.h"
#include "ui/dialog_edit_device.h"
#include "ui/dialog_modems.h"
#include "ui/window_size.h"
#include "ui/colours.h"
#include "ui/error_box.h"
#include "ui/main_window.h"
#include "ui/resources_for_editing.h"
#include "ui/window_text.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QToolTip>
#include <QtTest>
#include <algorithm>
#include <csignal>
#include <functional>
#include <initializer_list>
#include <memory>

namespace {

const QString tick = QStringLiteral("\u221A");
const QString blank = QStringLiteral(" ");

struct Modem {
    quint64 eui;
    quint16 port;
    quint32 size;
};

void set_devices(std::initializer_list<Modem> modems)
{
    QMutexLocker lock(&cfg_mutex);
    devices_in_cfg.clear();
    tcp_ports.clear();
    for (const Modem& m : modems)
        tcp_ports.insert(m.port, devices_in_cfg.insert(m.eui, Device_in_cfg{m.size, m.port}));
}

// What the exchange thread would have published: the server's modems and the link state.
void set_server(std::initializer_list<Device_on_lora> modems, bool online)
{
    QMutexLocker lock(&cfg_mutex);
    devices_on_lora = QVector<Device_on_lora>(modems);
    ws_flags = online ? WS_ONLINE : 0;
}

bool port_listens(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    const bool ok = s.waitForConnected(3000);
    s.abort();
    return ok;
}

QPushButton* button(QWidget* w, const QString& caption)
{
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == caption)
            return b;
    return nullptr;
}

void click(QWidget* w, const QString& caption)
{
    if (QPushButton* b = button(w, caption))
        b->click();
}

// Answers the modal windows that appear while it lives, one action per window in order;
// windows beyond the script are closed with their escape button. The text of every message
// box is kept.
class Modal_script : public QObject {
public:
    using Action = std::function<void(QWidget*)>;

    Modal_script()
    {
        connect(&timer, &QTimer::timeout, this, &Modal_script::poll);
        timer.start(5);
    }
    Modal_script& then(Action a)
    {
        actions.append(std::move(a));
        return *this;
    }

    QStringList texts;
    int seen = 0;

private:
    // A modal window counts once while it stays open: a window it opened in turn may close and
    // leave it active again before its action has ended it, which a busy machine makes likely.
    void poll()
    {
        open.removeAll(nullptr);
        open.erase(std::remove_if(open.begin(), open.end(), [](const QPointer<QWidget>& o) { return !o->isVisible(); }),
                   open.end());
        QWidget* w = QApplication::activeModalWidget();
        if (!w || open.contains(w))
            return;
        open.append(w);
        ++seen;
        if (auto* box = qobject_cast<QMessageBox*>(w))
            texts << box->text();
        Action action = actions.isEmpty() ? Action(escape) : actions.takeFirst();
        // From a timer of its own, so that windows the action opens are polled for too.
        QPointer<QWidget> target(w);
        QTimer::singleShot(0, this, [action, target] {
            if (target)
                action(target);
        });
    }

    static void escape(QWidget* w)
    {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            if (QAbstractButton* b = box->escapeButton()) {
                b->click();
                return;
            }
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
    }

    QTimer timer;
    QList<Action> actions;
    QList<QPointer<QWidget>> open;
};

Modal_script::Action press(const QString& caption)
{
    return [caption](QWidget* w) { click(w, caption); };
}

// What the modal windows that an action opened showed, answered in order by the given actions.
struct Answered {
    int seen;
    QStringList texts;
};

Answered with_answers(const QList<Modal_script::Action>& answers, const std::function<void()>& action)
{
    Modal_script script;
    for (const Modal_script::Action& answer : answers)
        script.then(answer);
    action();
    return {script.seen, script.texts};
}

// In the picker: the first row of the category shown, taken with the picker's button.
void pick_first_row(QWidget* picker)
{
    picker->findChild<QTableView*>()->selectRow(0);
    click(picker, QStringLiteral("Выбрать"));
}

// Types into the three fields of an add or edit dialog (a null text leaves the field as it is)
// and confirms.
Modal_script::Action fill(const char* eui, const char* port, const char* size, const QString& confirm)
{
    return [=](QWidget* w) {
        const QList<QLineEdit*> fields = w->findChildren<QLineEdit*>();
        const char* texts[] = {eui, port, size};
        for (int i = 0; i < 3 && i < fields.size(); ++i)
            if (texts[i])
                fields[i]->setText(QString::fromUtf8(texts[i]));
        click(w, confirm);
    };
}

QTableView* table_of(QWidget& dialog)
{
    return dialog.findChild<QTableView*>();
}

int rows(QWidget& dialog)
{
    return table_of(dialog)->model()->rowCount();
}

QStringList column(QWidget& dialog, int c)
{
    const QAbstractItemModel* m = table_of(dialog)->model();
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, c).data().toString();
    return out;
}

QComboBox* combo(QWidget& dialog, int i)
{
    const QList<QComboBox*> all = dialog.findChildren<QComboBox*>();
    return i < all.size() ? all[i] : nullptr;
}

// As a mouse does it: the view acts on a double click only on the cell it was pressed on.
void double_click(QTableView* view, int row, int column)
{
    const QPoint at = view->visualRect(view->model()->index(row, column)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

void select_row(QWidget& dialog, int row)
{
    table_of(dialog)->selectRow(row);
}

void mouse_click(QTableView* view, int row)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      view->visualRect(view->model()->index(row, 0)).center());
}

QModelIndex selected_row(QWidget& dialog)
{
    const QModelIndexList rows = table_of(dialog)->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.first() : QModelIndex();
}

bool in_view(QTableView* view, const QModelIndex& index)
{
    return index.isValid() && view->viewport()->rect().contains(view->visualRect(index));
}

// The window title and EUI field of the edit dialog that the action opens, which is then cancelled.
QString edit_opened_by(const std::function<void()>& action)
{
    QString opened;
    Modal_script script;
    script.then([&](QWidget* w) {
        opened = w->windowTitle() + QLatin1Char(' ') + w->findChildren<QLineEdit*>().value(0)->text();
        press(QStringLiteral("Отмена"))(w);
    });
    action();
    return script.seen == 1 ? opened : QStringLiteral("%1 windows").arg(script.seen);
}

// Runs accept() of an add or edit dialog with the given fields (a null text leaves the field as
// it is); returns the error shown, if any.
QString confirm(QDialog& d, const QString& eui, const QString& port, const QString& size)
{
    const QList<QLineEdit*> fields = d.findChildren<QLineEdit*>();
    const QString texts[] = {eui, port, size};
    for (int i = 0; i < 3; ++i)
        if (!texts[i].isNull())
            fields[i]->setText(texts[i]);
    Modal_script script;
    d.accept();
    return script.texts.value(0);
}

QString msg(const char* format, const QString& name, const QString& number)
{
    return QString::fromUtf8(format).arg(name, number);
}

// One way of taking a modem from the picker.
using Picker_use = std::function<void(Dialog_modems&)>;

}  // namespace

Q_DECLARE_METATYPE(Picker_use)

class Test_dialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void shared_texts();
    void input_checks_data();
    void input_checks();
    void form_refusals_data();
    void form_refusals();
    void stored_port_zero_must_be_changed();
    void suggested_port_data();
    void suggested_port();
    void edit_applies_data();
    void edit_applies();
    void site_fields_data();
    void site_fields();

    void list_offline_blank();
    void open_list_follows_sighup_reload();
    void list_online_states_and_clients();
    void list_link_appears_later();
    void list_filter_all_fields();
    void list_shows_units_and_cache();
    void list_double_click_filtered_row();
    void list_buttons_need_selection();
    void list_enter_outside_rows_opens_nothing();
    void list_keys_and_double_click_act_on_their_row();
    void list_edits_keep_place_and_show_the_row();
    void list_delete_question_escape_keeps();
    void list_delete_last_modem();
    void list_save_failure_keeps_change();
    void protocol_round_trip();
    void end_to_end_with_simulator();

    void picker_categories_data();
    void picker_categories();
    void picker_choosing_data();
    void picker_choosing();
    void picker_configured_modem_refused();
    void picker_shows_whole_captions();

    void list_fits_the_screen_data();
    void list_fits_the_screen();
    void forms_align_fields();
    void list_long_name_shown_whole();
    void list_focus_follows_edits();
    void add_enter_after_picking_adds();
    void port_held_by_another_program();
    void modem_states_side_by_side();
    void list_keeps_operator_size();

private:
    Temp_log temp_log;
    QString saved_fname;
};

void Test_dialogs::initTestCase()
{
    saved_fname = devices_fname;
    install_error_box();
    Resources_for_editing::init();
}

void Test_dialogs::init()
{
    devices_fname = temp_log.folder() + QStringLiteral("/devices.cfg");
    QFile::remove(devices_fname);
    set_devices({});
    set_server({}, false);
    modbus_site_port = 0;
    QMutexLocker lock(&cfg_mutex);
    tcp_servers.clear();
}

void Test_dialogs::cleanup()
{
    devices_fname = saved_fname;
}

void Test_dialogs::shared_texts()
{
    QCOMPARE(caption_devices_add, QStringLiteral("Добавить"));
    QCOMPARE(caption_btn_add, QStringLiteral("Добавить"));
    QCOMPARE(caption_filter_field, QStringLiteral(" по полю"));
    QCOMPARE(short_caption_max_frame_sz, QStringLiteral("Макс.\nразмер\nпакета"));
    QVERIFY(hint_tcp_port_add.contains(QStringLiteral("не меньший\n3000, ещё не занятый")));
    QVERIFY(!hint_tcp_port.contains(QStringLiteral("%1")));
    QVERIFY(hint_max_frame_sz.endsWith(QStringLiteral("клиенту\n\"одним куском\").")));
    QVERIFY(hint_filter_selector.startsWith(QStringLiteral("Здесь вы можете выбрать, какие")));
    QCOMPARE(br_server_exists.color(), color_online);
    QCOMPARE(br_client_exists.color(), color_clients);
    // A later dialog finds the texts as they are.
    const QString before = hint_tcp_port_add;
    Resources_for_editing::init();
    QCOMPARE(hint_tcp_port_add, before);
}

void Test_dialogs::input_checks_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::addColumn<quint64>("value");
    const QString n = QStringLiteral("Параметр");
    QTest::newRow("uint letters") << "req_uint" << "12a"
                                  << msg("Значение параметра «%1» должно быть целым десятичным числом, не "
                                         "превышающим %2.",
                                         n, "65535")
                                  << quint64(0);
    QTest::newRow("uint 65535") << "req_uint" << "65535" << "" << quint64(65535);
    QTest::newRow("uint 0") << "req_uint" << "0" << "" << quint64(0);
    QTest::newRow("size 9999") << "req_uint_min" << "9999" << "" << quint64(9999);
    QTest::newRow("hex lower") << "req_hex64" << "00000000000000ff" << "" << quint64(0xFF);
    QTest::newRow("hex max") << "req_hex64" << "FFFFFFFFFFFFFFFF" << "" << quint64(0xFFFFFFFFFFFFFFFFull);
    QTest::newRow("hex above small max") << "req_hex64_small" << "0000000000000100"
                                         << msg("Значение параметра «%1» не должно превышать 0x%2.", n,
                                                "00000000000000ff")
                                         << quint64(0);
}

void Test_dialogs::input_checks()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, error);
    QFETCH(quint64, value);
    QLineEdit field(text);
    const QString name = QStringLiteral("Параметр");
    QString thrown;
    quint64 got = 0;
    try {
        if (kind == QLatin1String("req_uint"))
            got = req_uint(&field, name, 65535);
        else if (kind == QLatin1String("req_uint_min"))
            got = req_uint(&field, name, 1, 9999);
        else if (kind == QLatin1String("req_hex64"))
            got = req_hex64(&field, name, 0xFFFFFFFFFFFFFFFFull);
        else
            got = req_hex64(&field, name, 0xFF);
    } catch (const Err& e) {
        thrown = e.message();
    }
    QCOMPARE(thrown, error);
    QCOMPARE(got, value);
    if (!error.isEmpty())
        QVERIFY(QString::fromUtf8(temp_log.text()).contains(error));
}

void Test_dialogs::form_refusals_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("eui");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("error");
    const QString eui = QStringLiteral("Адрес (EUI) радиомодема");
    const QString port = QStringLiteral("Порт TCP для подключения клиентов");
    const QString size = QStringLiteral("Максимальный размер пакета");
    const auto not_given = [](const QString& name) {
        return QStringLiteral("Не указано значение параметра «%1».").arg(name);
    };
    const auto below_1 = [](const QString& name) {
        return msg("Значение параметра «%1» не должно быть меньше %2.", name, "1");
    };
    const auto digits = [&](const char* typed) {
        return msg("Значение параметра «%1» должно быть шестнадцатизначным целым шестнадцатиричным числом без "
                   "знака (а вы ввели %2 символов).",
                   eui, typed);
    };
    const auto listed = [](const char* modem) {
        return QStringLiteral("Радиомодем с адресом 0x%1 уже есть в списке радиомодемов, подлежащих обслуживанию.")
            .arg(QLatin1String(modem));
    };
    const auto taken = [](const char* taken_port) {
        return QStringLiteral("Порт TCP %1 уже занят (другим радиомодемом из списка радиомодемов, подлежащих "
                              "обслуживанию).")
            .arg(QLatin1String(taken_port));
    };
    const QString not_edited =
        QStringLiteral("Ничего не изменилось.\nЕсли вы не хотите ничего менять, закройте диалог кнопкой «Отмена».");
    // Configured: A1 on port 3000 with size 51, A2 on port 3001; the edit form is A1's.
    QTest::newRow("add: empty EUI") << false << "" << "4000" << "51" << not_given(eui);
    QTest::newRow("add: EUI of 15 digits") << false << "0123456789ABCDE" << "4000" << "51" << digits("15");
    QTest::newRow("add: G in the EUI") << false << "0123456789ABCDGF" << "4000" << "51"
                                       << msg("Значение параметра «%1» должно быть целым шестнадцатиричным числом "
                                              "без знака, не превышающим %2. В шестнадцатиричной записи: от "
                                              "0000000000000000 до FFFFFFFFFFFFFFFF (цифры 0-9 и буквы A-F).",
                                              eui, "18446744073709551615");
    QTest::newRow("add: port 70000") << false << "00000000000000B1" << "70000" << "51"
                                     << msg("Значение параметра «%1» не должно превышать %2.", port, "65535");
    QTest::newRow("add: port 0") << false << "00000000000000B1" << "0" << "51" << below_1(port);
    QTest::newRow("add: empty port") << false << "00000000000000B1" << "" << "51" << not_given(port);
    QTest::newRow("add: size 0") << false << "00000000000000B1" << "4000" << "0" << below_1(size);
    QTest::newRow("add: EUI listed, in lowercase") << false << "00000000000000a2" << "3002" << "51"
                                                   << listed("00000000000000A2");
    QTest::newRow("add: listed EUI told before taken port") << false << "00000000000000A1" << "3001" << "51"
                                                            << listed("00000000000000A1");
    QTest::newRow("add: port taken") << false << "00000000000000B1" << "3000" << "51" << taken("3000");
    QTest::newRow("add: size 0 told before listed EUI") << false << "00000000000000A1" << "3000" << "0"
                                                        << below_1(size);
    QTest::newRow("edit: no change") << true << "00000000000000A1" << "3000" << "51" << not_edited;
    QTest::newRow("edit: same EUI in lowercase") << true << "00000000000000a1" << "3000" << "51" << not_edited;
    QTest::newRow("edit: port of another") << true << "00000000000000A1" << "3001" << "51" << taken("3001");
    QTest::newRow("edit: taken port told before listed EUI") << true << "00000000000000A2" << "3001" << "51"
                                                             << taken("3001");
    QTest::newRow("edit: EUI of another") << true << "00000000000000A2" << "3000" << "51"
                                          << listed("00000000000000A2");
    QTest::newRow("edit: port 0") << true << "00000000000000A1" << "0" << "51" << below_1(port);
    QTest::newRow("edit: EUI of 17 digits") << true << "00000000000000A10" << "3000" << "51" << digits("17");
}

// A refused add or edit changes nothing, and the fields keep what was typed for another try.
void Test_dialogs::form_refusals()
{
    QFETCH(bool, edit);
    QFETCH(QString, eui);
    QFETCH(QString, port);
    QFETCH(QString, size);
    QFETCH(QString, error);
    set_devices({{0xA1, 3000, 51}, {0xA2, 3001, 115}});
    std::unique_ptr<QDialog> d;
    if (edit)
        d.reset(new Dialog_edit_device(0xA1, devices_in_cfg.find(0xA1), nullptr));
    else
        d.reset(new Dialog_add_device(nullptr));
    const QList<QLineEdit*> fields = d->findChildren<QLineEdit*>();
    // The edit form opens with the modem's values.
    if (edit)
        QCOMPARE((QStringList{fields[0]->text(), fields[1]->text(), fields[2]->text()}),
                 (QStringList{"00000000000000A1", "3000", "51"}));
    QCOMPARE(confirm(*d, eui, port, size), error);
    QCOMPARE(d->result(), int(QDialog::Rejected));
    QCOMPARE(tables(), QStringLiteral("00000000000000A1:3000:51 00000000000000A2:3001:115"));
    QCOMPARE(fields[0]->text(), eui);
}

// A devices file may bring port 0; the edit dialog keeps refusing it until the modem has a port.
void Test_dialogs::stored_port_zero_must_be_changed()
{
    set_devices({{0x0A0B, 0, 51}});
    const auto entry = devices_in_cfg.find(0x0A0B);
    Dialog_edit_device d(0x0A0B, entry, nullptr);
    QCOMPARE(confirm(d, {}, {}, "222"),
             QStringLiteral("Значение параметра «Порт TCP для подключения клиентов» не должно быть меньше 1."));
    QCOMPARE(entry->max_frame, quint32(51));
    QCOMPARE(confirm(d, {}, "4001", {}), QString());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(tables(), QStringLiteral("0000000000000A0B:4001:222"));
}

void Test_dialogs::suggested_port_data()
{
    QTest::addColumn<QList<int>>("used");
    QTest::addColumn<QString>("suggested");
    QTest::newRow("none used") << QList<int>{} << "3000";
    QTest::newRow("gap at 3002") << QList<int>{100, 2999, 3000, 3001, 3003} << "3002";
    QTest::newRow("below 3000 only") << QList<int>{1, 2999} << "3000";
    QList<int> all;
    for (int p = 3000; p <= 65535; ++p)
        all << p;
    QTest::newRow("all taken") << all << "";
}

void Test_dialogs::suggested_port()
{
    QFETCH(QList<int>, used);
    QFETCH(QString, suggested);
    {
        QMutexLocker lock(&cfg_mutex);
        for (int p : used)
            tcp_ports.insert(p, devices_in_cfg.insert(quint64(p) << 8, Device_in_cfg{51, quint16(p)}));
    }
    Dialog_add_device d(nullptr);
    const QList<QLineEdit*> fields = d.findChildren<QLineEdit*>();
    QCOMPARE(fields.size(), 5);
    QCOMPARE(fields[0]->text(), QString());
    QCOMPARE(fields[1]->text(), suggested);
    QCOMPARE(fields[2]->text(), QStringLiteral("51"));
}

void Test_dialogs::edit_applies_data()
{
    QTest::addColumn<QString>("eui");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("after");
    // Modem A1 (port 3000, size 51) edited beside A2; a null field is left as the dialog shows it.
    QTest::newRow("size only, the port's entry kept")
        << QString() << QString() << "222" << "00000000000000A1:3000:222 00000000000000A2:3001:115";
    QTest::newRow("EUI only, the port moves with it")
        << "00000000000000C3" << QString() << QString() << "00000000000000A2:3001:115 00000000000000C3:3000:51";
    QTest::newRow("EUI, port and size, the old port freed")
        << "00000000000000D4" << "3005" << "9" << "00000000000000A2:3001:115 00000000000000D4:3005:9";
}

void Test_dialogs::edit_applies()
{
    QFETCH(QString, eui);
    QFETCH(QString, port);
    QFETCH(QString, size);
    QFETCH(QString, after);
    set_devices({{0xA1, 3000, 51}, {0xA2, 3001, 115}});
    const auto entry = devices_in_cfg.find(0xA1);
    Dialog_edit_device d(0xA1, entry, nullptr);
    QCOMPARE(confirm(d, eui, port, size), QString());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(tables(), after);
    if (eui.isNull())
        QCOMPARE(tcp_ports.value(3000), entry);
}

void Test_dialogs::site_fields_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("units");
    QTest::addColumn<QString>("cache");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("after");
    // Configured: A1 (port 3000, units 10:1, cache 500) and A2 (port 3001, unit 20); the site port is
    // 1502. The add form is for B1, the edit form A1's; a null port is left as the form shows it.
    const QString before = QStringLiteral("00000000000000A1:3000:51:cache=500:units=10>1 "
                                          "00000000000000A2:3001:115:units=20>20");
    const QString units = QStringLiteral("Номера устройств на общем порту");
    const auto bad_entry = [&](const char* entry) {
        return msg("Неправильный элемент «%1» в значении параметра «%2»: ожидается номер устройства или номер и "
                   "адрес через двоеточие (например, «11» или «11:1»).",
                   QLatin1String(entry), units);
    };
    const auto out_of_range = [&](const char* number) {
        return msg("Номера и адреса устройств в значении параметра «%1» должны быть от 1 до 247 (а указано %2).",
                   units, QLatin1String(number));
    };
    const auto taken = [](const char* id, const char* modem) {
        return QStringLiteral("Номер устройства %1 уже занят (устройством за радиомодемом 0x%2 из списка "
                              "радиомодемов, подлежащих обслуживанию).")
            .arg(QLatin1String(id), QLatin1String(modem));
    };
    const QString site_port = QStringLiteral("Порт TCP 1502 уже занят (общим портом Modbus TCP, параметр "
                                             "«modbus_site_port» файла конфигурации).");
    QTest::newRow("add: units and cache") << false << "4000" << "12, 11:1" << "3000" << ""
                                          << before + " 00000000000000B1:4000:51:cache=3000:units=11>1,12>12";
    QTest::newRow("add: empty fields") << false << "4000" << "" << "" << "" << before + " 00000000000000B1:4000:51";
    QTest::newRow("add: blanks and empty entries") << false << "4000" << " 13 : 2 ,, 9," << "0" << ""
                                                   << before + " 00000000000000B1:4000:51:units=9>9,13>2";
    QTest::newRow("add: a dash") << false << "4000" << "11-1" << "" << bad_entry("11-1") << before;
    QTest::newRow("add: three parts") << false << "4000" << "12, 11:1:1" << "" << bad_entry("11:1:1") << before;
    QTest::newRow("add: a sign") << false << "4000" << "+11" << "" << bad_entry("+11") << before;
    QTest::newRow("add: id 0") << false << "4000" << "0:1" << "" << out_of_range("0") << before;
    QTest::newRow("add: slave 248") << false << "4000" << "11:248" << "" << out_of_range("248") << before;
    QTest::newRow("add: a number past 32 bits") << false << "4000" << "99999999999" << ""
                                                << out_of_range("99999999999") << before;
    QTest::newRow("add: id twice") << false << "4000" << "11:1, 12, 11:2" << ""
                                   << msg("Номер устройства %1 указан в значении параметра «%2» дважды.", "11", units)
                                   << before;
    QTest::newRow("add: id of another modem") << false << "4000" << "21, 20" << "" << taken("20", "00000000000000A2")
                                              << before;
    QTest::newRow("add: cache above an hour")
        << false << "4000" << "" << "3600001"
        << QStringLiteral("Значение параметра «Кэш ответов на чтение, мс» не должно превышать 3600000.") << before;
    QTest::newRow("add: the site port") << false << "1502" << "" << "" << site_port << before;
    QTest::newRow("edit: own unit kept, one added")
        << true << QString() << "10:1, 14" << "500" << ""
        << "00000000000000A1:3000:51:cache=500:units=10>1,14>14 00000000000000A2:3001:115:units=20>20";
    QTest::newRow("edit: cache off") << true << QString() << "10:1" << "0" << ""
                                     << "00000000000000A1:3000:51:units=10>1 00000000000000A2:3001:115:units=20>20";
    QTest::newRow("edit: unit of another modem") << true << QString() << "10:1, 20" << "500"
                                                 << taken("20", "00000000000000A2") << before;
    QTest::newRow("edit: to the site port") << true << "1502" << "10:1" << "500" << site_port << before;
}

// The units and cache fields of both forms: read, checked against the modem's own units and the
// others', and stored; a refusal changes nothing.
void Test_dialogs::site_fields()
{
    QFETCH(bool, edit);
    QFETCH(QString, port);
    QFETCH(QString, units);
    QFETCH(QString, cache);
    QFETCH(QString, error);
    QFETCH(QString, after);
    set_devices({{0xA1, 3000, 51}, {0xA2, 3001, 115}});
    devices_in_cfg[0xA1].units = {{10, 1}};
    devices_in_cfg[0xA1].cache_ms = 500;
    devices_in_cfg[0xA2].units = {{20, 20}};
    modbus_site_port = 1502;
    std::unique_ptr<QDialog> d;
    if (edit)
        d.reset(new Dialog_edit_device(0xA1, devices_in_cfg.find(0xA1), nullptr));
    else
        d.reset(new Dialog_add_device(nullptr));
    const QList<QLineEdit*> fields = d->findChildren<QLineEdit*>();
    QCOMPARE(fields.size(), 5);
    QCOMPARE((QStringList{fields[3]->text(), fields[4]->text()}),
             edit ? (QStringList{"10:1", "500"}) : (QStringList{"", "0"}));
    fields[3]->setText(units);
    fields[4]->setText(cache);
    QCOMPARE(confirm(*d, edit ? QString() : QStringLiteral("00000000000000B1"), port, QString()), error);
    QCOMPARE(tables(), after);
}

// SIGHUP while the list is open: the rows become those of the file; a broken file changes nothing.
// The modem selected before a reload stays selected when the file still lists it, whatever moved
// around it; a modem the file dropped leaves no row selected.
void Test_dialogs::open_list_follows_sighup_reload()
{
    set_devices({{0xA1, 4001, 51}, {0xA2, 4002, 51}, {0xA3, 4003, 51}});
    Engine engine;
    Main_window window(engine);
    Link_view view;
    Service_control service(engine, view);
    Dialog_devices d(&window);
    d.setModal(true);
    d.show();
    QTRY_COMPARE(QApplication::activeModalWidget(), &d);
    select_row(d, 1);
    QCOMPARE(selected_row(d).data().toString(), QStringLiteral("00000000000000A2"));

    write_file(devices_fname, "device(eui=0000000000000090, tcp_port=4009)\ndevice(eui=0000000000000091, tcp_port=4010, max_frame=7)\n"
                              "device(eui=00000000000000A2, tcp_port=4012)\ndevice(eui=00000000000000A3, tcp_port=4003)\n");
    ::raise(SIGHUP);
    QTRY_COMPARE_WITH_TIMEOUT(rows(d), 4, 10000);
    QCOMPARE(column(d, 0), (QStringList{"0000000000000090", "0000000000000091", "00000000000000A2", "00000000000000A3"}));
    QCOMPARE(column(d, 2), (QStringList{QString::number(default_max_frame), "7", QString::number(default_max_frame),
                                        QString::number(default_max_frame)}));
    QCOMPARE(tcp_ports.keys(), (QList<unsigned long>{4003, 4009, 4010, 4012}));
    QCOMPARE(selected_row(d).data().toString(), QStringLiteral("00000000000000A2"));
    QCOMPARE(selected_row(d).row(), 2);

    write_file(devices_fname, "device(eui=0000000000000040, tcp_port=x)\n");
    ::raise(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(QString::fromUtf8(temp_log.text()).contains(QStringLiteral("не перечитан")), 10000);
    QCOMPARE(rows(d), 4);
    QCOMPARE(devices_in_cfg.keys(), (QList<unsigned long>{0x90, 0x91, 0xA2, 0xA3}));

    write_file(devices_fname, "device(eui=00000000000000A3, tcp_port=4003)\n");
    ::raise(SIGHUP);
    QTRY_COMPARE_WITH_TIMEOUT(rows(d), 1, 10000);
    QVERIFY(table_of(d)->selectionModel()->selectedRows().isEmpty());
    d.reject();
}

void Test_dialogs::list_offline_blank()
{
    set_devices({{0x0102030405A0B0C0, 4001, 51}, {0x10, 4002, 222}});
    // Modems known to the server do not show while the link is down.
    set_server({{0x10, QStringLiteral("name")}}, false);
    Dialog_devices d(nullptr);
    QCOMPARE(rows(d), 2);
    QCOMPARE(column(d, 0), (QStringList{"0000000000000010", "0102030405A0B0C0"}));
    QCOMPARE(column(d, 1), (QStringList{"4002", "4001"}));
    QCOMPARE(column(d, 2), (QStringList{"222", "51"}));
    for (int c = 3; c <= 5; ++c)
        QCOMPARE(column(d, c), (QStringList{blank, blank}));
    QCOMPARE(d.windowTitle(), QStringLiteral("Список радиомодемов, подлежащих обслуживанию"));
}

void Test_dialogs::list_online_states_and_clients()
{
    const std::vector<quint16> ports = free_ports(2);
    const quint16 p1 = ports[0];
    const quint16 p2 = ports[1];
    set_devices({{0x10, p1, 51}, {0x20, p2, 51}, {0x30, 1, 51}});
    set_server({{0x10, QStringLiteral("первый")}, {0x20, QString()}, {0x40, QStringLiteral("чужой")}}, true);
    Ws_connection connection(*QThread::currentThread());
    // As if logged in: the TCP servers announce their clients only then.
    connection.state = Ws_connection::State::online;
    connection.update_servers();
    {
        QMutexLocker lock(&cfg_mutex);
        QCOMPARE(tcp_servers.keys(), (QList<unsigned long>{0x10, 0x20}));
        // The main window would have taken these notices.
        ws_flags &= ~(WS_SERVERS_PENDING | WS_CLIENTS_PENDING);
    }
    {
        Dialog_devices d(nullptr);
        QCOMPARE(column(d, 3), (QStringList{tick, tick, blank}));
        QCOMPARE(column(d, 4), (QStringList{blank, blank, blank}));
        QCOMPARE(column(d, 5), (QStringList{QStringLiteral("первый"), QString(), blank}));

        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, p1);
        QTRY_COMPARE_WITH_TIMEOUT(column(d, 4), (QStringList{tick, blank, blank}), 10000);
        client.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(column(d, 4), (QStringList{blank, blank, blank}), 10000);

        // The link drops: everything the server told is blanked.
        set_server({}, false);
        connection.update_servers();
        QTRY_COMPARE_WITH_TIMEOUT(column(d, 3), (QStringList{blank, blank, blank}), 10000);
        QCOMPARE(column(d, 5), (QStringList{blank, blank, blank}));
    }
    QTRY_VERIFY_WITH_TIMEOUT(connection.live_count == 1, 10000);
}

void Test_dialogs::list_link_appears_later()
{
    set_devices({{0x10, 4001, 51}});
    set_server({{0x10, QStringLiteral("modem")}}, false);
    Dialog_devices d(nullptr);
    QCOMPARE(column(d, 5), QStringList{blank});
    {
        Ws_connection connection(*QThread::currentThread());
        set_server({{0x10, QStringLiteral("modem")}}, true);
        QTRY_COMPARE_WITH_TIMEOUT(column(d, 5), QStringList{QStringLiteral("modem")}, 10000);
        // From now on the dialog follows the link's notices.
        set_server({}, false);
        emit connection.servers_changed();
        QTRY_COMPARE_WITH_TIMEOUT(column(d, 5), QStringList{blank}, 10000);
    }
    // The link object is gone; the dialog stays usable.
    QTest::qWait(50);
    QCOMPARE(rows(d), 1);
}

void Test_dialogs::list_filter_all_fields()
{
    set_devices({{0x0A, 3000, 51}, {0xB0, 3001, 51}, {0xC0, 3002, 51}, {0xD0, 3003, 51}});
    set_server({{0xC0, QStringLiteral("x0Ay")}, {0xD0, QStringLiteral("plain")}}, true);
    Dialog_devices d(nullptr);
    d.findChild<QLineEdit*>()->setText(QStringLiteral("0a"));
    // By EUI (the initial field) only the modem whose EUI holds 0A.
    QCOMPARE(column(d, 0), QStringList{"000000000000000A"});
    combo(d, 0)->setCurrentIndex(5);
    QCOMPARE(column(d, 0), (QStringList{"000000000000000A", "00000000000000C0"}));
    combo(d, 0)->setCurrentIndex(3);
    QCOMPARE(column(d, 0), QStringList{"00000000000000C0"});
    d.findChild<QLineEdit*>()->setText(QStringLiteral("3001"));
    combo(d, 0)->setCurrentIndex(1);
    QCOMPARE(column(d, 0), QStringList{"00000000000000B0"});
}

void Test_dialogs::list_shows_units_and_cache()
{
    set_devices({{0xA1, 3000, 51}, {0xA2, 3001, 51}, {0xA3, 3002, 51}});
    devices_in_cfg[0xA1].units = {{10, 1}, {11, 2}};
    devices_in_cfg[0xA1].cache_ms = 5000;
    devices_in_cfg[0xA2].units = {{200, 200}};
    Dialog_devices d(nullptr);
    QCOMPARE(column(d, 7), (QStringList{QStringLiteral("10\u21921, 11\u21922"), QStringLiteral("200\u2192200"), ""}));
    QCOMPARE(column(d, 8), (QStringList{"5000", "", ""}));
    // By units: the modem that routes unit 200, not the one on port 3000 or with the cache of 5000.
    d.findChild<QLineEdit*>()->setText(QStringLiteral("200"));
    combo(d, 0)->setCurrentIndex(4);
    QCOMPARE(column(d, 0), QStringList{"00000000000000A2"});
}

void Test_dialogs::list_double_click_filtered_row()
{
    set_devices({{0xA1, 3000, 51}, {0xA2, 3001, 51}, {0xA3, 3002, 51}});
    Dialog_devices d(nullptr);
    d.show();
    d.findChild<QLineEdit*>()->setText(QStringLiteral("A3"));
    QCOMPARE(rows(d), 1);
    QString eui_shown;
    Modal_script script;
    script.then([&](QWidget* w) {
        eui_shown = w->findChildren<QLineEdit*>().value(0)->text();
        fill(nullptr, "3010", nullptr, QStringLiteral("Установить"))(w);
    });
    double_click(table_of(d), 0, 1);
    QCOMPARE(script.seen, 1);
    QCOMPARE(eui_shown, QStringLiteral("00000000000000A3"));
    QCOMPARE(tables(), QStringLiteral("00000000000000A1:3000:51 00000000000000A2:3001:51 00000000000000A3:3010:51"));
    // The table was rebuilt and the filter still holds.
    QCOMPARE(column(d, 1), QStringList{"3010"});
}

void Test_dialogs::list_buttons_need_selection()
{
    set_devices({{0xA1, 3000, 51}});
    Dialog_devices d(nullptr);
    const QString error = QStringLiteral(
        "Прежде, чем нажимать эту кнопку, надо выбрать строчку в списке (щёлкнуть её левой кнопкой мыши).");
    for (const QString& caption : {QStringLiteral("Изменить"), QStringLiteral("Удалить")}) {
        const Answered shown = with_answers({}, [&] { click(&d, caption); });
        QCOMPARE(shown.seen, 1);
        QCOMPARE(shown.texts, QStringList{error});
    }
    QCOMPARE(devices_in_cfg.size(), 1);
}

void Test_dialogs::list_enter_outside_rows_opens_nothing()
{
    set_devices({{0xA1, 3000, 51}, {0xA2, 3001, 51}});
    Dialog_devices d(nullptr);
    d.show();
    QTableView* view = table_of(d);
    {
        Modal_script script;
        // No row selected yet: Enter in the table has nothing to act on.
        QTest::keyClick(view, Qt::Key_Return);
        mouse_click(view, 0);
        QLineEdit* filter = d.findChild<QLineEdit*>();
        QTest::keyClicks(filter, QStringLiteral("a"));
        QTest::keyClick(filter, Qt::Key_Return);
        QTest::keyClick(filter, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(combo(d, 0), Qt::Key_Return);
        QCOMPARE(script.seen, 0);
    }
    QCOMPARE(rows(d), 2);
    QCOMPARE(devices_in_cfg.size(), 2);
    // A button that has the focus still takes Enter.
    QPushButton* add = button(&d, QStringLiteral("Добавить"));
    add->setFocus();
    QCOMPARE(with_answers({}, [&] { QTest::keyClick(add, Qt::Key_Return); }).seen, 1);
}

void Test_dialogs::list_keys_and_double_click_act_on_their_row()
{
    set_devices({{0xA1, 3000, 51}, {0xA2, 3001, 51}, {0xA3, 3002, 51}});
    Dialog_devices d(nullptr);
    d.show();
    QTableView* view = table_of(d);
    const QString title = QStringLiteral("Параметры радиомодема ");
    mouse_click(view, 1);
    QCOMPARE(edit_opened_by([&] { QTest::keyClick(view, Qt::Key_Return); }), title + "00000000000000A2");
    QCOMPARE(edit_opened_by([&] { QTest::keyClick(view, Qt::Key_Enter, Qt::KeypadModifier); }),
             title + "00000000000000A2");
    QCOMPARE(edit_opened_by([&] { double_click(view, 2, 3); }), title + "00000000000000A3");
    const auto press_delete = [&](const QString& answer) {
        return with_answers({press(answer)}, [&] { QTest::keyClick(view, Qt::Key_Delete); });
    };
    QCOMPARE(press_delete(QStringLiteral("Нет")).texts,
             QStringList{QStringLiteral("Удалить радиомодем с EUI=0x00000000000000A3 (порт TCP-сервера 3002) из "
                                        "списка радиомодемов, подлежащих обслуживанию?")});
    mouse_click(view, 0);
    QCOMPARE(press_delete(QStringLiteral("Да")).seen, 1);
    QCOMPARE(tables(), QStringLiteral("00000000000000A2:3001:51 00000000000000A3:3002:51"));
    // The row that took the deleted one's place is selected, so the keyboard goes on from there.
    QCOMPARE(selected_row(d).data().toString(), QStringLiteral("00000000000000A2"));
}

// On a list of 1,000 modems: the place in the list survives an edit, and a modem added far
// from the view, or hidden by the filter, is selected and in view.
void Test_dialogs::list_edits_keep_place_and_show_the_row()
{
    {
        QMutexLocker lock(&cfg_mutex);
        devices_in_cfg.clear();
        tcp_ports.clear();
        for (int i = 0; i < 1000; ++i)
            tcp_ports.insert(10000 + i, devices_in_cfg.insert(0x1000 + 2 * i, Device_in_cfg{51, quint16(10000 + i)}));
    }
    Dialog_devices d(nullptr);
    d.show();
    QTableView* view = table_of(d);
    QScrollBar* bar = view->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const int scrolled = bar->value();
    QVERIFY(scrolled > 0);

    const int row = view->rowAt(view->viewport()->height() / 2);
    mouse_click(view, row);
    const QString eui = selected_row(d).data().toString();
    const Answered edited = with_answers({fill(nullptr, nullptr, "222", QStringLiteral("Установить"))},
                                         [&] { QTest::keyClick(view, Qt::Key_Return); });
    QCOMPARE(edited.seen, 1);
    QCOMPARE(devices_in_cfg.value(eui.toULong(nullptr, 16)).max_frame, quint32(222));
    QCOMPARE(bar->value(), scrolled);
    QCOMPARE(selected_row(d).data().toString(), eui);

    const auto add = [&](const char* new_eui) {
        return with_answers({fill(new_eui, nullptr, nullptr, QStringLiteral("Добавить"))},
                            [&] { QTest::mouseClick(button(&d, QStringLiteral("Добавить")), Qt::LeftButton); })
            .seen;
    };
    QCOMPARE(add("0000000000001FBD"), 1);
    QCOMPARE(devices_in_cfg.size(), 1001);
    QCOMPARE(selected_row(d).data().toString(), QStringLiteral("0000000000001FBD"));
    QVERIFY(in_view(view, selected_row(d)));

    QTest::keyClicks(d.findChild<QLineEdit*>(), QStringLiteral("00000000000012"));
    QCOMPARE(rows(d), 128);
    QCOMPARE(add("00000000000000A1"), 1);
    QCOMPARE(d.findChild<QLineEdit*>()->text(), QString());
    QCOMPARE(rows(d), 1002);
    QCOMPARE(selected_row(d).data().toString(), QStringLiteral("00000000000000A1"));
    QVERIFY(in_view(view, selected_row(d)));
    // tcp_ports indexes all of them (tables() says where it does not).
    QCOMPARE(tables().split(QLatin1Char(' ')).size(), 1002);
}

void Test_dialogs::list_delete_question_escape_keeps()
{
    set_devices({{0x00000000000000A1, 3000, 51}, {0x0000ABCD00000001, 3001, 51}});
    Dialog_devices d(nullptr);
    d.show();
    select_row(d, 1);
    const auto click_delete = [&](const Modal_script::Action& answer) {
        return with_answers({answer}, [&] { click(&d, QStringLiteral("Удалить")); });
    };
    QCOMPARE(click_delete([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }).texts,
             QStringList{QStringLiteral("Удалить радиомодем с EUI=0x0000ABCD00000001 (порт TCP-сервера 3001) из "
                                        "списка радиомодемов, подлежащих обслуживанию?")});
    QCOMPARE(devices_in_cfg.size(), 2);
    QCOMPARE(rows(d), 2);
    QCOMPARE(click_delete(press(QStringLiteral("Нет"))).seen, 1);
    QCOMPARE(devices_in_cfg.size(), 2);
    QCOMPARE(click_delete(press(QStringLiteral("Да"))).seen, 1);
    QCOMPARE(tables(), QStringLiteral("00000000000000A1:3000:51"));
    QCOMPARE(column(d, 0), QStringList{"00000000000000A1"});
}

void Test_dialogs::list_delete_last_modem()
{
    set_devices({{0xA1, 3000, 51}});
    Main_window window(*QThread::currentThread());
    window.configured_devices_changed();
    const auto counter_texts = [&] {
        QStringList texts;
        for (QLabel* l : window.findChildren<QLabel*>())
            texts << l->text();
        return texts;
    };
    const QStringList before = counter_texts();
    Dialog_devices d(nullptr);
    select_row(d, 0);
    with_answers({press(QStringLiteral("Да"))}, [&] { click(&d, QStringLiteral("Удалить")); });
    QCOMPARE(rows(d), 0);
    QVERIFY(devices_in_cfg.isEmpty());
    QVERIFY(tcp_ports.isEmpty());
    // Exactly the devices counter went from 1 to 0.
    const QStringList after = counter_texts();
    QCOMPARE(after.size(), before.size());
    int changed = 0;
    for (int i = 0; i < after.size(); ++i)
        if (after[i] != before[i]) {
            ++changed;
            QCOMPARE(before[i], QStringLiteral("1"));
            QCOMPARE(after[i], QStringLiteral("0"));
        }
    QCOMPARE(changed, 1);
}

void Test_dialogs::list_save_failure_keeps_change()
{
    devices_fname = temp_log.folder() + QStringLiteral("/no such folder/devices.cfg");
    Dialog_devices d(nullptr);
    const Answered shown = with_answers({fill("00000000000000B1", "4001", "51", QStringLiteral("Добавить"))},
                                        [&] { click(&d, QStringLiteral("Добавить")); });
    QCOMPARE(shown.seen, 2);
    QVERIFY(shown.texts.value(0).contains(QStringLiteral("Не удалось начать запись в файл списка устройств")));
    // The change stays made in memory and in the table; the program goes on.
    QCOMPARE(devices_in_cfg.keys(), QList<unsigned long>{0xB1});
    QCOMPARE(column(d, 0), QStringList{"00000000000000B1"});
}

// A file with and without the protocol attribute goes through adding, editing and deleting in
// the dialogs and comes back byte for byte; the choice shows and changes the protocol.
void Test_dialogs::protocol_round_trip()
{
    const QByteArray file = "\xEF\xBB\xBF# Содержимое этого файла сформировано программой ruvo_bridge 1.3.5.\n\n"
                            "device(eui=00000000000000A1, tcp_port=3000, max_frame=51)\n"
                            "device(eui=00000000000000A2, tcp_port=3001, max_frame=60, protocol=modbus_tcp)\n";
    write_file(devices_fname, file);
    load_devices_in_cfg();
    Dialog_devices d(nullptr);
    QCOMPARE(column(d, 6), (QStringList{"поток байтов", "Modbus TCP"}));

    const auto set_protocol = [](int index) {
        return [index](QWidget* w) {
            w->findChild<QComboBox*>()->setCurrentIndex(index);
            click(w, QStringLiteral("Установить"));
        };
    };
    QString shown;
    Modal_script script;
    script.then([&](QWidget* w) {
              shown = w->findChild<QComboBox*>()->currentText();
              fill(nullptr, nullptr, "61", QStringLiteral("Установить"))(w);
          })
        .then(fill(nullptr, nullptr, "60", QStringLiteral("Установить")))
        .then(set_protocol(1))
        .then(set_protocol(0))
        .then(fill("00000000000000B1", "4001", "51", QStringLiteral("Добавить")))
        .then(press(QStringLiteral("Да")));
    select_row(d, 1);
    click(&d, QStringLiteral("Изменить"));
    QCOMPARE(shown, QStringLiteral("Modbus TCP"));
    QVERIFY(read_file(devices_fname).contains("max_frame=61, protocol=modbus_tcp)\n"));
    select_row(d, 1);
    click(&d, QStringLiteral("Изменить"));
    QCOMPARE(read_file(devices_fname), file);

    select_row(d, 0);
    click(&d, QStringLiteral("Изменить"));
    QVERIFY(read_file(devices_fname).contains("tcp_port=3000, max_frame=51, protocol=modbus_tcp)\n"));
    QCOMPARE(devices_in_cfg.value(0xA1).protocol, Port_protocol::modbus_tcp);
    select_row(d, 0);
    click(&d, QStringLiteral("Изменить"));
    QCOMPARE(read_file(devices_fname), file);

    click(&d, QStringLiteral("Добавить"));
    QCOMPARE(column(d, 6), (QStringList{"поток байтов", "Modbus TCP", "поток байтов"}));
    select_row(d, 2);
    click(&d, QStringLiteral("Удалить"));
    // The delete question was the only message box: no error on the way.
    QCOMPARE(script.texts.size(), 1);
    QCOMPARE(read_file(devices_fname), file);
}

// Starts the simulator with the echo modem E1 and points the link at it.
void start_echo_simulator(QProcess& sim, const QStringList& more_modems = {})
{
    sim.setProgram(QStringLiteral(RUVO_SIM_EXE));
    QStringList args{"--listen", "127.0.0.1:0", "--login", "demo", "--password", "demo", "--radio-delay", "0",
                     "--modem", "00000000000000E1:echo:Эхо"};
    for (const QString& modem : more_modems)
        args << QStringLiteral("--modem") << modem;
    sim.setArguments(args);
    sim.start();
    QVERIFY(sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
    const QByteArray first = sim.readLine().trimmed();
    QVERIFY2(first.startsWith("listening "), first.constData());
    ws_url = QStringLiteral("ws://127.0.0.1:") + QString::fromLatin1(first.mid(10));
    ws_login = ws_password_hash = QStringLiteral("demo");
    ws_connect_timeout = ws_auth_timeout = ws_devlist_timeout = ws_sdata_timeout = 5000;
    ws_reconnect_delay = 200;
}

// The whole program but its entry point: the exchange thread logged in to the simulated server,
// the main window, and the device list driving the TCP servers across the threads.
void Test_dialogs::end_to_end_with_simulator()
{
    QProcess sim;
    start_echo_simulator(sim);
    if (QTest::currentTestFailed())
        return;
    ws_devlist_period = 60000;
    tcp_interframe_delay = 20;

    Engine engine;
    Main_window window(engine);
    engine.start();
    // Also when a check fails: the thread must end before its object goes.
    Engine_stopper stop(engine);
    const auto online = [] {
        QMutexLocker lock(&cfg_mutex);
        return (ws_flags & WS_ONLINE) != 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(online(), 10000);
    const std::vector<quint16> ports = free_ports(2);
    const quint16 p1 = ports[0];
    const quint16 p2 = ports[1];
    {
        Dialog_devices d(&window);
        const QByteArray port1 = QByteArray::number(p1);
        // The EUI is taken from the server's list, as a user would take it.
        const auto pick_and_add = [&](QWidget* w) {
            click(w, QStringLiteral("Выбрать"));
            fill(nullptr, port1.constData(), nullptr, QStringLiteral("Добавить"))(w);
        };
        QCOMPARE(with_answers({pick_and_add, pick_first_row}, [&] { click(&d, QStringLiteral("Добавить")); }).seen, 2);
        QCOMPARE(column(d, 0), QStringList{"00000000000000E1"});
        QTRY_COMPARE_WITH_TIMEOUT(column(d, 3), QStringList{tick}, 10000);
        QCOMPARE(column(d, 5), QStringList{QStringLiteral("Эхо")});
        QVERIFY(read_file(devices_fname).contains("device(eui=00000000000000E1, tcp_port=" + QByteArray::number(p1) +
                                                  ", max_frame=51)\n"));

        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, p1);
        QVERIFY(client.waitForConnected(5000));
        QTRY_COMPARE_WITH_TIMEOUT(column(d, 4), QStringList{tick}, 10000);
        client.write("ping");
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT((answer += client.readAll()).size() >= 4, 10000);
        QCOMPARE(answer, QByteArray("ping"));

        select_row(d, 0);
        const QByteArray port2 = QByteArray::number(p2);
        with_answers({fill(nullptr, port2.constData(), nullptr, QStringLiteral("Установить"))},
                     [&] { click(&d, QStringLiteral("Изменить")); });
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(port_listens(p2), 10000);
        QVERIFY(!port_listens(p1));
        QVERIFY(read_file(devices_fname).contains("tcp_port=" + QByteArray::number(p2)));

        client.connectToHost(QHostAddress::LocalHost, p2);
        QVERIFY(client.waitForConnected(5000));
        select_row(d, 0);
        with_answers({press(QStringLiteral("Да"))}, [&] { click(&d, QStringLiteral("Удалить")); });
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 10000);
        QVERIFY(!port_listens(p2));
        QVERIFY(!read_file(devices_fname).contains("device("));
    }
    sim.closeWriteChannel();
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

void Test_dialogs::picker_categories_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<int>("category");
    QTest::addColumn<QStringList>("euis");
    QTest::addColumn<QStringList>("names");
    // Configured: 0x10 (on the server), 0x30 (not on the server). Server: 0x10, 0x20.
    const QString e10 = QStringLiteral("0000000000000010");
    const QString e20 = QStringLiteral("0000000000000020");
    const QString e30 = QStringLiteral("0000000000000030");
    QTest::newRow("down initial") << false << -1 << QStringList{} << QStringList{};
    QTest::newRow("down used") << false << 0 << QStringList{} << QStringList{};
    QTest::newRow("down online") << false << 2 << QStringList{} << QStringList{};
    QTest::newRow("down offline") << false << 3 << QStringList{e10, e30} << QStringList{"", ""};
    QTest::newRow("down all") << false << 4 << QStringList{e10, e30} << QStringList{"", ""};
    QTest::newRow("up initial") << true << -1 << QStringList{e20} << QStringList{"второй"};
    QTest::newRow("up used") << true << 0 << QStringList{e10} << QStringList{"первый"};
    QTest::newRow("up unused") << true << 1 << QStringList{e20} << QStringList{"второй"};
    QTest::newRow("up online") << true << 2 << QStringList{e10, e20} << QStringList{"первый", "второй"};
    QTest::newRow("up offline") << true << 3 << QStringList{e30} << QStringList{""};
    QTest::newRow("up all") << true << 4 << QStringList{e10, e20, e30} << QStringList{"первый", "второй", ""};
}

void Test_dialogs::picker_categories()
{
    QFETCH(bool, online);
    QFETCH(int, category);
    QFETCH(QStringList, euis);
    QFETCH(QStringList, names);
    set_devices({{0x10, 3000, 51}, {0x30, 3001, 51}});
    if (online)
        set_server({{0x10, QStringLiteral("первый")}, {0x20, QStringLiteral("второй")}}, true);
    Dialog_modems d(nullptr);
    QCOMPARE(combo(d, 0)->currentIndex(), 1);
    if (category >= 0) {
        // Through another category first, so that the list is rebuilt, not merely kept.
        combo(d, 0)->setCurrentIndex(category == 4 ? 0 : 4);
        combo(d, 0)->setCurrentIndex(category);
    }
    QCOMPARE(column(d, 0), euis);
    QCOMPARE(column(d, 1), names);
}

void Test_dialogs::picker_choosing_data()
{
    QTest::addColumn<Picker_use>("use");
    QTest::addColumn<quint64>("chosen");
    // The server lists 0x10 "первый" and 0x20 "второй".
    QTest::newRow("button, refused until a row is selected") << Picker_use([](Dialog_modems& d) {
        QCOMPARE(with_answers({}, [&] { d.accept(); }).texts,
                 QStringList{QStringLiteral("Прежде, чем нажимать эту кнопку, надо выбрать строчку в списке "
                                            "(щёлкнуть её левой кнопкой мыши).")});
        QCOMPARE(d.result(), int(QDialog::Rejected));
        select_row(d, 1);
        d.accept();
    }) << quint64(0x20);
    QTest::newRow("double click on the row the name filter leaves") << Picker_use([](Dialog_modems& d) {
        d.findChild<QLineEdit*>()->setText(QStringLiteral("второй"));
        combo(d, 1)->setCurrentIndex(1);
        QCOMPARE(rows(d), 1);
        double_click(table_of(d), 0, 0);
    }) << quint64(0x20);
    QTest::newRow("Enter on a clicked row") << Picker_use([](Dialog_modems& d) {
        mouse_click(table_of(d), 0);
        QTest::keyClick(table_of(d), Qt::Key_Return);
    }) << quint64(0x10);
    QTest::newRow("Enter in the filter that leaves one row") << Picker_use([](Dialog_modems& d) {
        QTest::keyClicks(d.findChild<QLineEdit*>(), QStringLiteral("20"));
        QCOMPARE(rows(d), 1);
        QTest::keyClick(d.findChild<QLineEdit*>(), Qt::Key_Return);
    }) << quint64(0x20);
    QTest::newRow("Enter in the filter that leaves two rows, then a row chosen") << Picker_use([](Dialog_modems& d) {
        QTest::keyClicks(d.findChild<QLineEdit*>(), QStringLiteral("0"));
        QCOMPARE(rows(d), 2);
        QCOMPARE(with_answers({}, [&] { QTest::keyClick(d.findChild<QLineEdit*>(), Qt::Key_Return); }).seen, 0);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        select_row(d, 0);
        d.accept();
    }) << quint64(0x10);
}

// Each way of taking a modem from the picker accepts it with that modem chosen.
void Test_dialogs::picker_choosing()
{
    QFETCH(Picker_use, use);
    QFETCH(quint64, chosen);
    set_server({{0x10, QStringLiteral("первый")}, {0x20, QStringLiteral("второй")}}, true);
    Dialog_modems d(nullptr);
    d.show();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    use(d);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(d.chosen_eui(), chosen);
}

// A screenshot with the real font: every caption of the picker's choosers is drawn whole,
// its ink ending short of the edge where the style clips the text, clear of the arrow.
void Test_dialogs::picker_shows_whole_captions()
{
    Dialog_modems d(nullptr);
    d.show();
    const QList<QComboBox*> boxes = d.findChildren<QComboBox*>();
    QCOMPARE(boxes.size(), 2);
    for (QComboBox* box : boxes) {
        QVERIFY(!QFontInfo(box->font()).family().isEmpty());
        const QSignalBlocker quiet(box);
        const int chosen = box->currentIndex();
        box->setCurrentIndex(-1);
        const QImage empty = box->grab().toImage();
        QStyleOptionComboBox option;
        option.initFrom(box);
        const QRect field =
            box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
        const QRect arrow = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, box);
        for (int i = 0; i < box->count(); ++i) {
            const QString caption = box->itemText(i);
            QVERIFY2(box->fontMetrics().horizontalAdvance(caption) <= field.width() - 2, qPrintable(caption));
            box->setCurrentIndex(i);
            const QImage shot = box->grab().toImage();
            QCOMPARE(shot.size(), empty.size());
            // The shot has device pixels: more than the layout's under a scale factor.
            const qreal ratio = shot.devicePixelRatio();
            int left = shot.width();
            int right = -1;
            for (int y = qFloor(field.top() * ratio); y < qCeil((field.bottom() + 1) * ratio); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    if (shot.pixel(x, y) != empty.pixel(x, y)) {
                        left = qMin(left, x);
                        right = qMax(right, x);
                    }
            QVERIFY2((right - left) / ratio >= box->fontMetrics().tightBoundingRect(caption).width() - 2,
                     qPrintable(caption));
            QVERIFY2(left > field.left() * ratio && right < (field.right() - 1) * ratio && right < arrow.left() * ratio,
                     qPrintable(caption));
        }
        box->setCurrentIndex(chosen);
    }
}

void Test_dialogs::picker_configured_modem_refused()
{
    set_devices({{0x10, 3000, 51}});
    set_server({{0x10, QStringLiteral("первый")}}, true);
    Dialog_add_device d(nullptr);
    d.show();
    const auto pick_used_modem = [](QWidget* w) {
        w->findChild<QComboBox*>()->setCurrentIndex(0);
        pick_first_row(w);
    };
    QCOMPARE(with_answers({pick_used_modem}, [&] { click(&d, QStringLiteral("Выбрать")); }).seen, 1);
    QCOMPARE(d.findChildren<QLineEdit*>()[0]->text(), QStringLiteral("0000000000000010"));
    // Cancelling the picker leaves the field alone.
    with_answers({press(QStringLiteral("Отмена"))}, [&] { click(&d, QStringLiteral("Выбрать")); });
    QCOMPARE(d.findChildren<QLineEdit*>()[0]->text(), QStringLiteral("0000000000000010"));
    QCOMPARE(confirm(d, {}, {}, {}),
             QStringLiteral(
                 "Радиомодем с адресом 0x0000000000000010 уже есть в списке радиомодемов, подлежащих обслуживанию."));
    QCOMPARE(devices_in_cfg.size(), 1);
}

void Test_dialogs::list_fits_the_screen_data()
{
    add_screen_rows();
}

// 250 modems, every column shown whole: the list opens wider than Qt's two thirds of the screen.
void Test_dialogs::list_fits_the_screen()
{
    QFETCH(QRect, screen);
    configure_250_modems();
    Dialog_devices d(nullptr);
    QVERIFY(d.sizeHint().width() > screen.width() * 2 / 3);
    const QString cut = columns_cut_on(d, screen);
    QVERIFY2(cut.isEmpty(), qPrintable(cut));
    // Narrowed by the operator, the filter field keeps room for ten digits.
    d.resize(d.minimumSizeHint());
    QCoreApplication::processEvents();
    auto* filter = d.findChild<QLineEdit*>();
    const int ten_digits = filter->fontMetrics().horizontalAdvance(QStringLiteral("0000000000"));
    QVERIFY2(filter->width() >= ten_digits, qPrintable(QStringLiteral("%1 %2").arg(filter->width()).arg(ten_digits)));
}

void Test_dialogs::forms_align_fields()
{
    set_devices({{0xA1, 3000, 51}});
    Dialog_add_device add(nullptr);
    add.show();
    QCOMPARE(add.findChildren<QLineEdit*>().size() + add.findChildren<QComboBox*>().size(), 6);
    QCOMPARE(field_columns(add).size(), 1);
    Dialog_edit_device edit(0xA1, devices_in_cfg.find(0xA1), nullptr);
    edit.show();
    QCOMPARE(field_columns(edit).size(), 1);
}

// A 175-character name from the server: cut in its cell, whole in the tooltip; a wider window
// gives its width to the name column.
void Test_dialogs::list_long_name_shown_whole()
{
    const QString long_name = QStringLiteral("Счётчик тепла ").repeated(12) + QStringLiteral("ввод 17");
    QCOMPARE(long_name.size(), 175);
    set_devices({{0xA1, 3000, 51}, {0xA2, 3001, 51}});
    set_server({{0xA1, long_name}, {0xA2, QStringLiteral("Котёл")}}, true);
    Dialog_devices d(nullptr);
    d.resize(900, 400);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto* table = static_cast<Table_with_proxy*>(table_of(d));
    const QModelIndex cut = table->model()->index(0, 5);
    QCOMPARE(cut.data().toString(), long_name);
    QCOMPARE(table->cell_tooltip(cut), long_name);
    QCOMPARE(table->cell_tooltip(table->model()->index(1, 5)), QString());
    QHelpEvent help(QEvent::ToolTip, table->visualRect(cut).center(),
                    table->viewport()->mapToGlobal(table->visualRect(cut).center()));
    QApplication::sendEvent(table->viewport(), &help);
    QTRY_COMPARE(QToolTip::text(), long_name);
    QToolTip::hideText();

    // The test screen is too narrow for all columns: all but the EUI and the name are hidden.
    for (int c : {1, 2, 3, 4, 6, 7, 8, 9})
        table->setColumnHidden(c, true);
    d.resize(720, 400);
    QTRY_COMPARE(d.width(), 720);
    const int name_width = table->columnWidth(5);
    const int others = table->horizontalHeader()->length() - name_width;
    QCOMPARE(others + name_width, table->viewport()->width());
    d.resize(d.width() + 70, d.height());
    QTRY_COMPARE(table->columnWidth(5), name_width + 70);
    QCOMPARE(table->horizontalHeader()->length() - table->columnWidth(5), others);
}

// After an add, a change and a delete the keyboard is on the table, on the selected row:
// Delete and Enter act on it.
void Test_dialogs::list_focus_follows_edits()
{
    set_devices({{0xA1, 3000, 51}, {0xA3, 3002, 51}});
    Dialog_devices d(nullptr);
    d.show();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    QTableView* view = table_of(d);
    const auto click_add = [&] { QTest::mouseClick(button(&d, QStringLiteral("Добавить")), Qt::LeftButton); };
    const Answered added =
        with_answers({fill("00000000000000A2", "3001", nullptr, QStringLiteral("Добавить"))}, click_add);
    QCOMPARE(added.seen, 1);
    QCOMPARE(d.focusWidget(), view);
    QCOMPARE(selected_row(d).data().toString(), QStringLiteral("00000000000000A2"));
    const auto key_on_focus = [&](Qt::Key key) { return [&d, key] { QTest::keyClick(d.focusWidget(), key); }; };
    QCOMPARE(with_answers({press(QStringLiteral("Нет"))}, key_on_focus(Qt::Key_Delete)).texts.value(0).left(46),
             QStringLiteral("Удалить радиомодем с EUI=0x00000000000000A2 (п"));
    const Answered edited =
        with_answers({fill(nullptr, nullptr, "115", QStringLiteral("Установить"))}, key_on_focus(Qt::Key_Return));
    QCOMPARE(edited.seen, 1);
    QCOMPARE(devices_in_cfg.value(0xA2).max_frame, quint32(115));
    QCOMPARE(d.focusWidget(), view);
    QCOMPARE(with_answers({press(QStringLiteral("Да"))}, [&] { click(&d, QStringLiteral("Удалить")); }).seen, 1);
    QCOMPARE(devices_in_cfg.keys(), (QList<unsigned long>{0xA1, 0xA3}));
    QCOMPARE(d.focusWidget(), view);
    QCOMPARE(selected_row(d).data().toString(), QStringLiteral("00000000000000A3"));

    // Tabbing into a table with nothing selected selects its current row.
    view->clearSelection();
    d.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    d.findChild<QLineEdit*>()->setFocus();
    view->setFocus(Qt::TabFocusReason);
    QVERIFY(selected_row(d).isValid());
}

void Test_dialogs::add_enter_after_picking_adds()
{
    set_server({{0x10, QStringLiteral("первый")}}, true);
    Dialog_add_device d(nullptr);
    d.show();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    QPushButton* pick = button(&d, QStringLiteral("Выбрать"));
    pick->setFocus();
    QCOMPARE(with_answers({pick_first_row}, [&] { QTest::keyClick(pick, Qt::Key_Space); }).seen, 1);
    QCOMPARE(d.findChild<QLineEdit*>()->text(), QStringLiteral("0000000000000010"));
    QCOMPARE(with_answers({}, [&] { QTest::keyClick(pick, Qt::Key_Return); }).seen, 0);
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(devices_in_cfg.keys(), QList<unsigned long>{0x10});
}

// A port that another program holds: the system's two entries, then one entry with the modem
// and the reason, none of them repeated while nothing changes; the row's tooltip says why. Freed, the
// port is served at the next device list.
// The metrics page served on this port.
QByteArray scrape_metrics(quint16 port)
{
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(
        manager.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port)))));
    if (!reply->isFinished())
        QSignalSpy(reply.get(), &QNetworkReply::finished).wait(5000);
    return reply->readAll();
}

// The metric's line of one modem, without its value.
QString modem_state_series(const QString& eui, const QString& reason, const char* state)
{
    return QStringLiteral("ruvo_bridge_modem_state{eui=\"%1\",reason=\"%2\",state=\"%3\"}")
        .arg(eui, reason, QLatin1String(state));
}

// A port another program holds, a modem the server does not list and a served one, side by side:
// three states, each with its reason, in the list and in the metrics; the counter of available
// modems opens the list on the two not served.
void Test_dialogs::modem_states_side_by_side()
{
    const std::vector<quint16> ports = free_ports(4);
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::Any, ports[0]));
    set_devices({{0xE1, ports[0], 51}, {0xE2, ports[1], 51}, {0xE3, ports[2], 51}});
    QProcess sim;
    start_echo_simulator(sim, {QStringLiteral("00000000000000E2:echo:Второй")});
    if (QTest::currentTestFailed())
        return;
    ws_devlist_period = 60000;
    metrics_listen = QStringLiteral("127.0.0.1:%1").arg(ports[3]);
    Metrics_endpoint endpoint;
    metrics_listen.clear();
    Engine engine;
    Main_window window(engine);
    engine.start();
    Engine_stopper stop(engine);
    Dialog_devices d(&window);

    const QString busy = QStringLiteral("Порт TCP %1 не удалось открыть: порт занят другой программой.").arg(ports[0]);
    QTRY_COMPARE_WITH_TIMEOUT(column(d, 9), (QStringList{busy,
                                                         QStringLiteral("обслуживается"),
                                                         QStringLiteral("не известен серверу")}),
                              10000);
    QVERIFY(endpoint.serving());
    const QString page = QString::fromUtf8(scrape_metrics(ports[3]));
    QVERIFY2(page.contains(modem_state_series("00000000000000E1", busy, "port_failed") + " 1"), qPrintable(page));
    QVERIFY(page.contains(modem_state_series("00000000000000E2", "", "served") + " 1"));
    QVERIFY(page.contains(modem_state_series("00000000000000E3", "", "not_known_to_server") + " 1"));

    QLabel* available = nullptr;
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->cursor().shape() == Qt::PointingHandCursor)
            available = label;
    QVERIFY(available);
    QStringList shown;
    const auto read_rows = [&](QWidget* list) {
        shown = column(*list, 0);
        qobject_cast<QDialog*>(list)->reject();
    };
    QCOMPARE(with_answers({read_rows}, [&] { QTest::mouseClick(available, Qt::LeftButton); }).seen, 1);
    QCOMPARE(shown, (QStringList{QStringLiteral("00000000000000E1"), QStringLiteral("00000000000000E3")}));
    sim.closeWriteChannel();
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

void Test_dialogs::port_held_by_another_program()
{
    const quint16 port = free_ports(1).front();
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::Any, port));
    set_devices({{0xE1, port, 51}});
    QProcess sim;
    start_echo_simulator(sim);
    if (QTest::currentTestFailed())
        return;
    const int period = 800;
    ws_devlist_period = period;
    temp_log.clear();

    Engine engine;
    Main_window window(engine);
    engine.start();
    // Also when a check fails: the thread must end before its object goes.
    Engine_stopper stop(engine);
    Dialog_devices d(&window);
    const QByteArray system_entry = "Не удалось создать серверный сокет, слушающий порт TCP " + QByteArray::number(port);
    const QByteArray added_entry = "Радиомодем 0x00000000000000E1 не обслуживается: порт TCP " +
                                   QByteArray::number(port) + " не удалось открыть: порт занят другой программой.";
    // Three device lists, three tries: the three entries of the first alone.
    QByteArray sim_output;
    QTRY_VERIFY_WITH_TIMEOUT((sim_output += sim.readAllStandardOutput()).count("get_device_appdata_req") >= 3, 10000);
    const QByteArray log = temp_log.text();
    QCOMPARE(log.count(system_entry), 1);
    QCOMPARE(log.count("Не удалось создать блок управления устройством."), 1);
    QCOMPARE(log.count(added_entry), 1);
    QVERIFY(log.indexOf(added_entry) > log.indexOf("Не удалось создать блок управления устройством."));
    QTRY_COMPARE(table_of(d)->model()->index(0, 0).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Порт TCP %1 не удалось открыть: порт занят другой программой.").arg(port));
    QCOMPARE(column(d, 3), QStringList{blank});

    // Within one period (and well short of two) the next device list finds the port free.
    holder.close();
    QTRY_COMPARE_WITH_TIMEOUT(column(d, 3), QStringList{tick}, period + 500);
    QVERIFY(port_listens(port));
    QCOMPARE(table_of(d)->model()->index(0, 0).data(Qt::ToolTipRole).toString(), QString());
    QCOMPARE(temp_log.text().count(added_entry), 1);
    sim.closeWriteChannel();
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

// The size the operator gives the list is the size it opens with next time.
void Test_dialogs::list_keeps_operator_size()
{
    set_devices({{0xA1, 3000, 51}});
    QSize given;
    {
        Dialog_devices d(nullptr);
        d.show();
        // Within the test screen's 800x600.
        given = QSize(700, 450);
        QVERIFY(d.size() != given);
        d.resize(given);
        d.reject();
    }
    Dialog_devices again(nullptr);
    QCOMPARE(again.size(), given);
    // The next run reads it from the settings (here the tests' own folder).
    QWidget next_run;
    Window_size("device_list_size").apply(next_run, QRect(0, 0, 800, 600));
    QCOMPARE(next_run.size(), given);
    QVERIFY(QFile::exists(temp_settings.dir.filePath(QStringLiteral("ruvo_bridge/ruvo_bridge.ini"))));
}

QTEST_MAIN(Test_dialogs)
#include "test_dialogs.moc"
