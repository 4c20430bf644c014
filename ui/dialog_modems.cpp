// The modem picker: the modems that the server reports or the devices file names, by category.
#include "ui/dialog_modems.h"

#include "common/hex.h"
#include "ui/combo_box_fitting.h"
#include "ui/fonts.h"
#include "ui/resources_for_editing.h"
#include "ui/window_size.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMutexLocker>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <iterator>
#include <limits>

namespace {

// Where a modem is known; a category lists the modems of some of these kinds.
enum Kind : unsigned { on_both = 0x01, server_only = 0x02, config_only = 0x04 };

// The categories of the chooser, in its order.
const unsigned category_kinds[] = {on_both, server_only, on_both | server_only, config_only,
                                   on_both | server_only | config_only};
const int initial_category = 1;

// The size the operator gave the picker, for its next opening.
Window_size opening_size("modem_picker_size");

// Appends the modems of the wanted kinds in ascending EUI order by one walk over both
// sorted tables; a modem on the server keeps its name there. Needs cfg_mutex held.
void merge_modems(unsigned wanted, QVector<Device_on_lora>& out)
{
    const qint64 room = qint64(wanted & (on_both | server_only) ? devices_on_lora.size() : 0) +
                        qint64(wanted & config_only ? devices_in_cfg.size() : 0) + out.size();
    if (room > std::numeric_limits<int>::max()) {
        log_debug(0x0601);
        return;
    }
    out.reserve(static_cast<int>(room));
    auto modem = devices_on_lora.constBegin();
    const auto modems_end = devices_on_lora.constEnd();
    auto cfg = devices_in_cfg.constBegin();
    const auto cfg_end = devices_in_cfg.constEnd();
    while (modem != modems_end || cfg != cfg_end) {
        if (cfg == cfg_end || (modem != modems_end && modem->eui < cfg.key())) {
            if (wanted & server_only)
                out.append(*modem);
            ++modem;
        } else if (modem == modems_end || cfg.key() < modem->eui) {
            if (wanted & config_only)
                out.append(Device_on_lora{cfg.key(), QString()});
            ++cfg;
        } else {
            if (wanted & on_both)
                out.append(*modem);
            ++modem;
            ++cfg;
        }
    }
}

}  // namespace

void get_unused_modems(QVector<Device_on_lora>& out)
{
    QMutexLocker lock(&cfg_mutex);
    merge_modems(server_only, out);
}

Dialog_modems::Table::Table(const QVector<Device_on_lora>& modems, QWidget* parent)
    : Table_with_proxy(modems.size(), 2, parent)
{
    set_header(0, caption_eui, hint_eui);
    set_header(1, caption_name, hint_name);
    preferred_width = width_around_columns(0x0602);
    resizeColumnToContents(0);
    set_stretching_column(1);
    preferred_width += horizontalHeader()->length();
    set_contents(modems);
}

void Dialog_modems::Table::set_contents(const QVector<Device_on_lora>& modems)
{
    for (int row = 0; row < modems.size(); ++row) {
        put(row, 0, new Eui_item(buf_hex64_gui.set(modems[row].eui), modems[row].eui));
        put(row, 1, new QStandardItem(modems[row].name));
    }
}

Dialog_modems::Dialog_modems(QWidget* parent) : QDialog(parent, editing_dialog_flags)
{
    Resources_for_editing::init();
    init_fonts(*this);
    setWindowTitle(title_dialog_modems);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(make_category_row());
    layout->addLayout(make_filter_row());
    QVector<Device_on_lora> modems;
    get_unused_modems(modems);
    table = new Table(modems, this);
    layout->addWidget(table);

    auto* box = new QDialogButtonBox(Qt::Horizontal);
    box->addButton(caption_btn_select, QDialogButtonBox::AcceptRole)->setToolTip(hint_btn_select);
    box->addButton(caption_btn_not_select, QDialogButtonBox::RejectRole)->setToolTip(hint_btn_not_select);
    connect(box, &QDialogButtonBox::accepted, this, &Dialog_modems::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);

    connect(table, &QTableView::doubleClicked, this, &Dialog_modems::on_double_click);
    connect(table, &Table_with_proxy::row_entered, this, &Dialog_modems::on_double_click);
    filter_text->setFocus();
    opening_size.apply(*this);
}

void Dialog_modems::done(int result)
{
    opening_size.keep(*this);
    QDialog::done(result);
}

QLayout* Dialog_modems::make_category_row()
{
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(caption_filter_selector);
    label->setToolTip(hint_filter_selector);
    auto* category = new Combo_box_fitting;
    category->addItems(
        {caption_modems_used, caption_modems_unused, caption_modems_online, caption_modems_offline, caption_modems_all});
    category->setCurrentIndex(initial_category);
    category->setToolTip(hint_filter_selector);
    connect(category, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Dialog_modems::on_filter_index_changed);
    row->addWidget(label);
    row->addWidget(category);
    return row;
}

QLayout* Dialog_modems::make_filter_row()
{
    QComboBox* field;
    QLayout* row = make_filter_row_widgets(filter_text, field, {caption_eui, caption_name, caption_all_fields});
    connect(filter_text, &QLineEdit::textChanged, this, &Dialog_modems::on_filter_text_changed);
    connect(field, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Dialog_modems::on_filter_field_changed);
    return row;
}

void Dialog_modems::on_filter_index_changed(int index)
{
    if (index < 0 || index >= static_cast<int>(std::size(category_kinds))) {
        log_debug(0x0604);
        return;
    }
    QVector<Device_on_lora> modems;
    {
        QMutexLocker lock(&cfg_mutex);
        merge_modems(category_kinds[index], modems);
    }
    table->reset_rows(modems.size());
    table->set_contents(modems);
}

void Dialog_modems::on_filter_field_changed(int index)
{
    static const int columns[] = {0, 1, -1};
    if (index < 0 || index >= static_cast<int>(std::size(columns))) {
        log_debug(0x0605);
        return;
    }
    table->set_filter_column(columns[index]);
}

void Dialog_modems::on_filter_text_changed(const QString& text)
{
    table->set_filter_text(text);
}

void Dialog_modems::on_double_click(const QModelIndex& index)
{
    if (const QStandardItem* item = table->clicked_item(index, 0))
        return_result(item);
}

// A filter that leaves one row has chosen it: Enter in the filter field takes it.
void Dialog_modems::accept()
{
    table->select_lone_row();
    if (const QStandardItem* item = table->selected_item(0))
        return_result(item);
}

// Enter in the filter while it leaves several rows and none is selected does nothing: the operator
// is still narrowing the list, there is nothing to refuse yet (the button still explains).
void Dialog_modems::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && filter_text->hasFocus() && table->model()->rowCount() != 1 && !table->selectionModel()->hasSelection()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Dialog_modems::return_result(const QStandardItem* item)
{
    chosen = static_cast<const Eui_item*>(item)->eui;
    QDialog::accept();
}
