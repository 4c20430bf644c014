// A read-only table of whole rows seen through a case-insensitive filter, and its EUI cell.
#include "ui/table_with_proxy.h"

#include "ui/combo_box_fitting.h"
#include "ui/fonts.h"
#include "ui/resources_for_editing.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QStyle>
#include <QToolTip>

namespace {

// Row numbers drawn flat, as labels: the style's raised sections look like buttons when scaled.
const char flat_row_numbers[] = "QHeaderView::section { border: none; border-right: 1px solid palette(mid); "
                                "border-bottom: 1px solid palette(midlight); background: palette(window); "
                                "padding: 0px 4px; }";

// The filter field keeps room for this many digits however narrow the window.
const int filter_min_digits = 10;
// What a line edit keeps between its frame and its text, on both sides together.
const int filter_margins = 4;

}  // namespace

Tr errtext_not_selected{TR_TEXT("devices",
                                "Прежде, чем нажимать эту кнопку, надо выбрать строчку в списке (щёлкнуть её левой "
                                "кнопкой мыши).")};

Eui_item::Eui_item(const QString& text, Devices_in_cfg::iterator entry)
    : QStandardItem(text), eui(entry.key()), entry(entry)
{
}

Eui_item::Eui_item(const QString& text, quint64 eui) : QStandardItem(text), eui(eui), entry() {}

// The text filter, and the table's own condition on a source row besides it.
class Table_with_proxy::Row_filter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void set_condition(std::function<bool(int)> wanted)
    {
        // Rows are looked at again only when a condition is, or was, in force.
        if (!wanted && !condition)
            return;
        condition = std::move(wanted);
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        return (!condition || condition(row)) && QSortFilterProxyModel::filterAcceptsRow(row, parent);
    }

private:
    std::function<bool(int)> condition;
};

Table_with_proxy::Table_with_proxy(int rows, int columns, QWidget* parent)
    : QTableView(parent),
      model_src(new QStandardItemModel(rows, columns, parent)),
      row_filter(new Row_filter(this)),
      proxy(row_filter)
{
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(false);
    setFont(font_name_small);
    verticalHeader()->setStyleSheet(QLatin1String(flat_row_numbers));
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy->setSourceModel(model_src);
    setModel(proxy);
}

QStandardItem* Table_with_proxy::clicked_item(const QModelIndex& index, int column)
{
    if (!index.isValid()) {
        show_debug(0x0309, this);
        return nullptr;
    }
    const QModelIndex source = proxy->mapToSource(index);
    if (!source.isValid()) {
        show_debug(0x030A, this);
        return nullptr;
    }
    QStandardItem* item = model_src->item(source.row(), column);
    if (!item)
        show_debug(0x030C, this);
    return item;
}

QStandardItem* Table_with_proxy::selected_item(int column)
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        show_error(errtext_not_selected.tr(), this);
        return nullptr;
    }
    const int row = selected.first().row();
    if (row < 0) {
        show_debug(0x0301, this);
        return nullptr;
    }
    if (selected.first().column() < 0) {
        show_debug(0x0302, this);
        return nullptr;
    }
    QModelIndex found;
    for (const QModelIndex& index : selected) {
        unsigned short fault = 0;
        if (index.row() != row)
            fault = 0x0303;
        else if (index.column() < 0)
            fault = 0x0304;
        else if (index.column() == column && found.isValid())
            fault = 0x0305;
        if (fault) {
            show_debug(fault, this);
            return nullptr;
        }
        if (index.column() == column)
            found = index;
    }
    if (!found.isValid()) {
        show_debug(0x0306, this);
        return nullptr;
    }
    const QModelIndex source = proxy->mapToSource(found);
    if (!source.isValid()) {
        show_debug(0x0307, this);
        return nullptr;
    }
    QStandardItem* item = model_src->itemFromIndex(source);
    if (!item)
        show_debug(0x0308, this);
    return item;
}

void Table_with_proxy::reset_rows(int rows)
{
    model_src->removeRows(0, model_src->rowCount());
    model_src->setRowCount(rows);
}

void Table_with_proxy::set_filter_text(const QString& text)
{
    proxy->setFilterFixedString(text);
}

void Table_with_proxy::set_row_condition(std::function<bool(int)> wanted)
{
    row_filter->set_condition(std::move(wanted));
}

void Table_with_proxy::set_filter_column(int column)
{
    proxy->setFilterKeyColumn(column);
}

QSize Table_with_proxy::sizeHint() const
{
    return QSize(preferred_width, 40 * module_h);
}

bool Table_with_proxy::select_modem(quint64 eui)
{
    for (int row = 0; row < model_src->rowCount(); ++row) {
        const auto* item = static_cast<const Eui_item*>(model_src->item(row, 0));
        if (!item || item->eui != eui)
            continue;
        const QModelIndex shown = proxy->mapFromSource(item->index());
        if (!shown.isValid())
            return false;
        select_shown(shown);
        return true;
    }
    return false;
}

int Table_with_proxy::shown_row(const QStandardItem& item) const
{
    const QModelIndex shown = proxy->mapFromSource(item.index());
    return shown.isValid() ? shown.row() : -1;
}

void Table_with_proxy::select_shown_row(int row)
{
    const int last = proxy->rowCount() - 1;
    if (row >= 0 && last >= 0)
        select_shown(proxy->index(qMin(row, last), 0));
}

void Table_with_proxy::select_lone_row()
{
    if (!selectionModel()->hasSelection() && proxy->rowCount() == 1)
        select_shown(proxy->index(0, 0));
}

QString Table_with_proxy::cell_tooltip(const QModelIndex& index) const
{
    if (!index.isValid())
        return QString();
    const QString own = index.data(Qt::ToolTipRole).toString();
    if (!own.isEmpty())
        return own;
    const QString text = index.data(Qt::DisplayRole).toString();
    const QVariant cell_font = index.data(Qt::FontRole);
    const QFontMetrics metrics(cell_font.isValid() ? cell_font.value<QFont>() : font());
    // The margin that the style leaves on each side of a cell's text.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    return metrics.horizontalAdvance(text) > visualRect(index).width() - 2 * margin ? text : QString();
}

bool Table_with_proxy::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        const bool done = QTableView::viewportEvent(event);
        stretch_column();
        return done;
    }
    if (event->type() != QEvent::ToolTip)
        return QTableView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString tip = cell_tooltip(index);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
    return true;
}

void Table_with_proxy::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    const bool tabbed = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    if (!tabbed || selectionModel()->hasSelection() || proxy->rowCount() == 0)
        return;
    const QModelIndex current = currentIndex();
    select_shown(current.isValid() ? current : proxy->index(0, 0));
}

void Table_with_proxy::set_stretching_column(int column)
{
    stretching_column = column;
    stretching_min_width = horizontalHeader()->sectionSize(column);
    stretch_column();
}

void Table_with_proxy::stretch_column()
{
    if (stretching_column < 0)
        return;
    QHeaderView* header = horizontalHeader();
    const int others = header->length() - header->sectionSize(stretching_column);
    header->resizeSection(stretching_column, qMax(stretching_min_width, viewport()->width() - others));
}

void Table_with_proxy::select_shown(const QModelIndex& index)
{
    setCurrentIndex(index);
    scrollTo(index);
}

void Table_with_proxy::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if ((!enter && key != Qt::Key_Delete) || (event->modifiers() & ~Qt::KeypadModifier)) {
        QTableView::keyPressEvent(event);
        return;
    }
    event->accept();
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    if (enter)
        emit row_entered(rows.first());
    else
        emit row_delete_pressed(rows.first());
}

void Table_with_proxy::set_header(int column, const QString& caption, const QString& hint)
{
    auto* item = new QStandardItem(caption);
    item->setToolTip(hint);
    model_src->setHorizontalHeaderItem(column, item);
}

void Table_with_proxy::put(int row, int column, QStandardItem* item)
{
    item->setTextAlignment(Qt::AlignCenter);
    model_src->setItem(row, column, item);
}

int Table_with_proxy::width_around_columns(unsigned short missing_bar_code) const
{
    int width = this->width() - horizontalHeader()->width();
    const QScrollBar* bar = verticalScrollBar();
    if (!bar) {
        log_debug(missing_bar_code);
        return width;
    }
    if (!bar->isVisible()) {
        const QSize hint = bar->sizeHint();
        if (hint.width() >= 0 && hint.height() >= 0)
            width += hint.width();
    }
    return width;
}

QLayout* make_filter_row_widgets(QLineEdit*& text, QComboBox*& field, const QStringList& fields)
{
    auto* row = new QHBoxLayout;
    auto* text_label = new QLabel(caption_filter_text);
    text_label->setToolTip(hint_filter_text);
    text = new QLineEdit;
    text->setMaxLength(16);
    text->setFont(font_value_big);
    text->setToolTip(hint_filter_text);
    const int frame = text->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, text);
    text->setMinimumWidth(text->fontMetrics().horizontalAdvance(QString(filter_min_digits, QLatin1Char('0'))) +
                          2 * frame + filter_margins);
    auto* field_label = new QLabel(caption_filter_field);
    field_label->setToolTip(hint_filter_field);
    field = new Combo_box_fitting;
    field->addItems(fields);
    field->setCurrentIndex(0);
    field->setToolTip(hint_filter_field);
    row->addWidget(text_label);
    row->addWidget(text);
    row->addWidget(field_label);
    row->addWidget(field);
    return row;
}
