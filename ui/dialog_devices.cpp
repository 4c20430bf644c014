// The list of modems to serve, with their live state, a filter and the edit buttons.
#include "ui/dialog_devices.h"

#include "core/build_info.h"
#include "core/modem_state.h"
#include "core/served_devices.h"
#include "common/hex.h"
#include "link/ws_connection.h"
#include "tcp/tcp_server.h"
#include "ui/dialog_add_device.h"
#include "ui/dialog_edit_device.h"
#include "ui/colours.h"
#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/protocol_choice.h"
#include "ui/resources_for_editing.h"
#include "ui/site_units.h"
#include "ui/window_size.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutexLocker>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <iterator>

const QString caption_yes = QStringLiteral("\u221A");
const QString caption_no = QStringLiteral(" ");

namespace {

Tr_with_hint caption_state{TR_TEXT("devices", "Состояние"),
                           TR_HINT("devices", "Обслуживается ли радиомодем, а если нет, то почему.")};
Tr_with_hint caption_not_served_only{TR_TEXT("devices", "только необслуживаемые"),
                                     TR_HINT("devices", "Показать только радиомодемы, которые сейчас не обслуживаются.")};

// The colour of a modem's state: served, refused by the system or cut off, or waiting on the server.
QBrush state_brush(Modem_state state)
{
    switch (state) {
    case Modem_state::served:
        return QBrush(color_online);
    case Modem_state::port_failed:
    case Modem_state::link_down:
        return QBrush(color_offline);
    default:
        return QBrush(color_start);
    }
}

// The size the operator gave the list, for its next opening.
Window_size opening_size("device_list_size");

enum Column {
    col_eui,
    col_port,
    col_size,
    col_server,
    col_client,
    col_name,
    col_protocol,
    col_units,
    col_cache,
    col_state,
    column_count
};

// How often the dialog looks for a link that did not exist when it opened.
const int link_poll_ms = 1000;

const QBrush* column_brush(int column)
{
    if (column == col_server || column == col_name)
        return &br_server_exists;
    if (column == col_client)
        return &br_client_exists;
    return nullptr;
}

// The modem of the selected row, read back from its EUI cell; false when no row is selected.
bool selected_eui(const QTableView& table, quint64& eui)
{
    const QModelIndexList selected = table.selectionModel()->selectedRows(col_eui);
    bool found = false;
    if (!selected.isEmpty())
        eui = selected.first().data().toString().toULongLong(&found, 16);
    return found;
}

}  // namespace

Dialog_devices::Table::Table(QWidget* parent) : Table_with_proxy(devices_in_cfg.size(), column_count, parent)
{
    set_header(col_eui, caption_eui, hint_eui);
    set_header(col_port, short_caption_tcp_port, hint_tcp_port);
    set_header(col_size, short_caption_max_frame_sz, hint_max_frame_sz);
    set_header(col_server, short_caption_server_exists, hint_server_exists);
    set_header(col_client, short_caption_client_exists, hint_client_exists);
    set_header(col_name, caption_name, hint_name);
    set_header(col_protocol, caption_protocol_column(), hint_protocol());
    set_header(col_units, caption_units_column(), hint_units());
    set_header(col_cache, caption_cache_column(), hint_cache());
    set_header(col_state, caption_state.get_caption(), caption_state.get_hint());

    const QFontMetrics metrics(font_value_small);
    int dec = 0;
    int hex = 0;
    digit_width(metrics, dec, hex);
    const int pad = qMax(dec, 12);
    const int tick = pad + metrics.horizontalAdvance(caption_yes);
    column_width[col_eui] = pad + 16 * hex;
    column_width[col_port] = pad + 5 * dec;
    column_width[col_size] = pad + 4 * dec;
    column_width[col_server] = tick;
    column_width[col_client] = tick;
    // Short of the longest names, which are cut with the whole name in the cell's tooltip, so that
    // every other column fits a 1280-pixel screen; the column takes whatever width is left.
    column_width[col_name] = pad + 16 * hex;
    int widest_protocol = 0;
    for (const Port_protocol_row& row : port_protocols)
        widest_protocol = qMax(widest_protocol, metrics.horizontalAdvance(protocol_caption(row.protocol)));
    column_width[col_protocol] = pad + widest_protocol;
    // Two short units whole; more are cut, with the whole list in the cell's tooltip.
    column_width[col_units] = pad + metrics.horizontalAdvance(QStringLiteral("11\u21921, 12\u21922"));
    column_width[col_cache] = pad + 7 * dec;
    // The start of the state's words; longer words and the reasons are cut, with the whole text in
    // the cell's tooltip, and shown whole as the operator widens the column or the window.
    column_width[col_state] = pad + 8 * hex;

    preferred_width = width_around_columns(0x030E);
    resizeColumnsToContents();
    preferred_width += horizontalHeader()->length();
    set_stretching_column(col_name);
}

int Dialog_devices::Table::sizeHintForColumn(int column) const
{
    return column >= 0 && column < column_count ? column_width[column] : Table_with_proxy::sizeHintForColumn(column);
}

void Dialog_devices::Table::put_value(int row, int column, QStandardItem* item)
{
    item->setFont(font_value_small);
    if (const QBrush* brush = column_brush(column))
        item->setForeground(*brush);
    put(row, column, item);
}

void Dialog_devices::Table::set_cell(int row, int column, const QString& text)
{
    if (QStandardItem* item = model_src->item(row, column))
        item->setText(text);
    else
        put_value(row, column, new QStandardItem(text));
}

void Dialog_devices::Table::create_contents()
{
    served.fill(false, devices_in_cfg.size());
    int row = 0;
    for (auto it = devices_in_cfg.begin(); it != devices_in_cfg.end(); ++it, ++row) {
        put_value(row, col_eui, new Eui_item(buf_hex64_gui.set(it.key()), it));
        put_value(row, col_port, new QStandardItem(QString::number(it->tcp_port)));
        put_value(row, col_size, new QStandardItem(QString::number(it->max_frame)));
        put_value(row, col_protocol, new QStandardItem(protocol_caption(it->protocol)));
        put_value(row, col_units, new QStandardItem(units_cell(*it)));
        put_value(row, col_cache, new QStandardItem(cache_cell(*it)));
    }
}

Dialog_devices::Table::Live_rows Dialog_devices::Table::read_live_rows()
{
    Live_rows rows;
    rows.reserve(devices_in_cfg.size());
    const QVector<Modem_status> statuses = read_modem_statuses();
    auto status = statuses.constBegin();
    auto server = tcp_servers.constBegin();
    const auto servers_end = tcp_servers.constEnd();
    auto modem = devices_on_lora.constBegin();
    const auto modems_end = devices_on_lora.constEnd();
    for (auto it = devices_in_cfg.constBegin(); it != devices_in_cfg.constEnd(); ++it, ++status) {
        while (server != servers_end && server.key() < it.key())
            ++server;
        while (modem != modems_end && modem->eui < it.key())
            ++modem;
        const bool exists = server != servers_end && server.key() == it.key();
        const bool known = modem != modems_end && modem->eui == it.key();
        rows.append({exists, exists && server.value() && server.value()->client, known ? modem->name : caption_no,
                     *status});
    }
    return rows;
}

void Dialog_devices::Table::show_live_rows(const Live_rows& rows)
{
    for (int row = 0; row < rows.size(); ++row) {
        const Live_row& live = rows[row];
        set_cell(row, col_server, live.server ? caption_yes : caption_no);
        set_cell(row, col_client, live.client ? caption_yes : caption_no);
        set_cell(row, col_name, live.name);
        set_state(row, live.status);
    }
}

void Dialog_devices::Table::set_state(int row, const Modem_status& status)
{
    set_cell(row, col_state, modem_status_text(status));
    model_src->item(row, col_state)->setForeground(state_brush(status.state));
    set_row_tooltip(row, status.reason);
    if (row < served.size())
        served[row] = status.state == Modem_state::served;
}

bool Dialog_devices::Table::row_served(int row) const
{
    return row < served.size() && served[row];
}

void Dialog_devices::Table::set_row_tooltip(int row, const QString& text)
{
    for (int column = 0; column < column_count; ++column)
        if (column != col_name && column != col_state)
            if (QStandardItem* item = model_src->item(row, column))
                item->setToolTip(text);
}

void Dialog_devices::Table::hide_states_and_names(const QVector<Modem_status>& statuses)
{
    for (int row = 0; row < statuses.size(); ++row) {
        for (int column : {col_server, col_client, col_name})
            set_cell(row, column, caption_no);
        set_state(row, statuses[row]);
    }
}

void Dialog_devices::Table::show_states(const QVector<Modem_status>& statuses)
{
    for (int row = 0; row < statuses.size(); ++row)
        set_state(row, statuses[row]);
}

Dialog_devices::Dialog_devices(QWidget* parent) : QDialog(parent, editing_dialog_flags)
{
    Resources_for_editing::init();
    init_fonts(*this);
    setWindowTitle(title_dialog_devices);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(make_filter_row());
    // Under the filter row rather than in it, so that the window can still be narrowed as far.
    not_served_only = new QCheckBox(caption_not_served_only.get_caption());
    not_served_only->setToolTip(caption_not_served_only.get_hint());
    connect(not_served_only, &QCheckBox::toggled, this, &Dialog_devices::on_not_served_only_toggled);
    layout->addWidget(not_served_only);
    table = new Table(this);
    table->create_contents();
    layout->addWidget(table);
    layout->addWidget(make_buttons());
    connect(table, &QTableView::doubleClicked, this, &Dialog_devices::on_double_click);
    // Enter on a row does what a double-click on it does.
    connect(table, &Table_with_proxy::row_entered, this, &Dialog_devices::on_double_click);
    connect(table, &Table_with_proxy::row_delete_pressed, this, &Dialog_devices::on_table_delete_pressed);
    connect(&served_devices, &Served_devices::changed, this, &Dialog_devices::update_table);

    link_timer.setInterval(link_poll_ms);
    connect(&link_timer, &QTimer::timeout, this, &Dialog_devices::on_link_timer_timeout);
    // Linked before the state is read, so that no change between the two goes unseen.
    if (!link_to_connection())
        link_timer.start();
    show_link_state(true);
    opening_size.apply(*this);
}

void Dialog_devices::done(int result)
{
    opening_size.keep(*this);
    QDialog::done(result);
}

QLayout* Dialog_devices::make_filter_row()
{
    QComboBox* field;
    QLayout* row = make_filter_row_widgets(filter_text, field,
                                           {caption_eui, caption_tcp_port, caption_max_frame_sz, caption_name,
                                            caption_units(), caption_all_fields});
    connect(filter_text, &QLineEdit::textChanged, this, &Dialog_devices::on_filter_text_changed);
    connect(field, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Dialog_devices::on_filter_field_changed);
    return row;
}

QWidget* Dialog_devices::make_buttons()
{
    auto* box = new QDialogButtonBox(Qt::Horizontal);
    const auto add_action = [&](const QString& caption, const QString& hint, void (Dialog_devices::*slot)()) {
        QPushButton* button = box->addButton(caption, QDialogButtonBox::ActionRole);
        button->setToolTip(hint);
        // No default button: Enter in the filter or on a row must not add a modem.
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, slot);
    };
    add_action(caption_devices_add, hint_devices_add, &Dialog_devices::on_btn_add_clicked);
    add_action(caption_devices_del, hint_devices_del, &Dialog_devices::on_btn_delete_clicked);
    add_action(caption_devices_edit, hint_devices_edit, &Dialog_devices::on_btn_edit_clicked);
    QPushButton* exit = box->addButton(caption_devices_exit, QDialogButtonBox::RejectRole);
    exit->setToolTip(hint_devices_exit);
    exit->setAutoDefault(false);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    return box;
}

bool Dialog_devices::link_to_connection()
{
    QMutexLocker lock(&cfg_mutex);
    Ws_connection* connection = Ws_connection::instance;
    if (!connection || connection == linked)
        return connection != nullptr;
    connect(connection, &Ws_connection::servers_changed, this, &Dialog_devices::on_servers_changed);
    connect(connection, &Ws_connection::clients_changed, this, &Dialog_devices::on_clients_changed);
    // Qt drops the connections with the object; a link built later is looked for again.
    connect(connection, &QObject::destroyed, this, [this] {
        linked = nullptr;
        link_timer.start();
    });
    linked = connection;
    link_timer.stop();
    return true;
}

void Dialog_devices::show_link_state(bool blank_always)
{
    std::optional<Table::Live_rows> rows;
    QVector<Modem_status> statuses;
    {
        QMutexLocker lock(&cfg_mutex);
        if (ws_flags & WS_ONLINE)
            rows = Table::read_live_rows();
        else
            statuses = read_modem_statuses();
    }
    if (rows)
        table->show_live_rows(*rows);
    else if (blank_always || live)
        table->hide_states_and_names(statuses);
    else
        table->show_states(statuses);
    live = rows.has_value();
    refilter();
}

void Dialog_devices::show_not_served_only()
{
    not_served_only->setChecked(true);
}

void Dialog_devices::on_not_served_only_toggled()
{
    refilter();
}

void Dialog_devices::refilter()
{
    if (!not_served_only->isChecked()) {
        table->set_row_condition(nullptr);
        return;
    }
    const Table* shown = table;
    table->set_row_condition([shown](int row) { return !shown->row_served(row); });
}

void Dialog_devices::on_filter_field_changed(int index)
{
    static const int columns[] = {col_eui, col_port, col_size, col_name, col_units, -1};
    if (index < 0 || index >= static_cast<int>(std::size(columns))) {
        log_debug(0x030F);
        return;
    }
    table->set_filter_column(columns[index]);
}

void Dialog_devices::on_filter_text_changed(const QString& text)
{
    table->set_filter_text(text);
}

void Dialog_devices::on_btn_add_clicked()
{
    Dialog_add_device dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    save();
    show_modem(dialog.added_eui());
}

void Dialog_devices::on_btn_delete_clicked()
{
    if (const QStandardItem* item = table->selected_item(col_eui))
        delete_device(item);
}

void Dialog_devices::on_btn_edit_clicked()
{
    if (const QStandardItem* item = table->selected_item(col_eui))
        edit_device(item);
}

void Dialog_devices::on_double_click(const QModelIndex& index)
{
    if (const QStandardItem* item = table->clicked_item(index, col_eui))
        edit_device(item);
}

void Dialog_devices::on_servers_changed()
{
    {
        QMutexLocker lock(&cfg_mutex);
        ws_flags &= ~(WS_SERVERS_PENDING | WS_CLIENTS_PENDING);
    }
    show_link_state(false);
}

void Dialog_devices::on_clients_changed()
{
    {
        QMutexLocker lock(&cfg_mutex);
        ws_flags &= ~WS_CLIENTS_PENDING;
    }
    show_link_state(false);
}

void Dialog_devices::on_link_timer_timeout()
{
    if (link_to_connection())
        show_link_state(false);
}

void Dialog_devices::on_table_delete_pressed(const QModelIndex& index)
{
    if (const QStandardItem* item = table->clicked_item(index, col_eui))
        delete_device(item);
}

// No button is a default one, so Enter on a focused button is handed to it here, as Space is
// by the button itself.
void Dialog_devices::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (enter && button && !(event->modifiers() & ~Qt::KeypadModifier)) {
        button->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Dialog_devices::edit_device(const QStandardItem* item)
{
    const Devices_in_cfg::iterator entry = static_cast<const Eui_item*>(item)->entry;
    Dialog_edit_device dialog(entry.key(), entry, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    save();
    show_modem(dialog.changed_eui());
}

// A modem just added or changed is shown selected. When the filter would hide it, the filter
// is cleared: the operator sees the result of the edit at once, and Enter and Delete act on
// the row in view rather than on a hidden one.
void Dialog_devices::show_modem(quint64 eui)
{
    table->setFocus();
    if (table->select_modem(eui))
        return;
    filter_text->clear();
    table->select_modem(eui);
}

void Dialog_devices::delete_device(const QStandardItem* item)
{
    const Devices_in_cfg::iterator entry = static_cast<const Eui_item*>(item)->entry;
    const int row = table->shown_row(*item);
    QMessageBox box(this);
    init_fonts(box);
    box.setText(title_mbox_del_device.arg(buf_hex64_gui.set(entry.key()), QString::number(entry->tcp_port)));
    box.setWindowTitle(QStringLiteral("%1 %2").arg(QLatin1String(program_name), QLatin1String(program_version)));
    box.setIcon(QMessageBox::Question);
    QPushButton* yes = box.addButton(caption_btn_del, QMessageBox::YesRole);
    yes->setToolTip(hint_btn_del);
    QPushButton* no = box.addButton(caption_btn_not_del, QMessageBox::NoRole);
    no->setToolTip(hint_btn_not_del);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    {
        Served_devices::Hold hold(served_devices);
        box.exec();
    }
    if (box.clickedButton() == no)
        return;
    if (box.clickedButton() != yes) {
        show_debug(0x0310, this);
        return;
    }
    served_devices.remove(entry);
    save();
    // The row that took the deleted one's place, so that the keyboard goes on from there.
    table->select_shown_row(row);
    table->setFocus();
}

// The table follows the list's owner before the file is written: an error box about the file
// must not leave rows that still point at entries already gone.
void Dialog_devices::save()
{
    try {
        served_devices.save();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(0x030D, this);
    }
}

void Dialog_devices::update_table()
{
    // Emptying the model scrolls the view to the top and drops the selection; the operator's
    // place in a long list, and the selected modem while it is still listed (after a reload of
    // the file, say), are put back once the rows are there again.
    const int scrolled = table->verticalScrollBar()->value();
    quint64 eui = 0;
    const bool selected = selected_eui(*table, eui);
    table->reset_rows(devices_in_cfg.size());
    table->create_contents();
    show_link_state(true);
    table->verticalScrollBar()->setValue(scrolled);
    if (selected)
        table->select_modem(eui);
}
