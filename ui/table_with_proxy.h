// A read-only table of whole rows seen through a case-insensitive filter, and the EUI cell
// that ties a row to its modem; the base of the device list and of the modem picker.
#pragma once

#include "core/shared.h"
#include "common/err.h"

#include <QStandardItem>
#include <QTableView>
#include <functional>

class QComboBox;
class QLayout;
class QLineEdit;
class QStandardItemModel;
class QSortFilterProxyModel;

extern Tr errtext_not_selected;

// The filter row of the device list and the modem picker: "Фильтр", the text field,
// " по полю" and the chooser of the column to search, offering `fields`.
QLayout* make_filter_row_widgets(QLineEdit*& text, QComboBox*& field, const QStringList& fields);

// The cell of column 0. The device list keeps the entry of devices_in_cfg in it, so that
// edit and delete reach the entry; the modem picker, whose modems need not be configured,
// keeps only the EUI.
class Eui_item : public QStandardItem {
public:
    Eui_item(const QString& text, Devices_in_cfg::iterator entry);
    Eui_item(const QString& text, quint64 eui);

    const quint64 eui;
    const Devices_in_cfg::iterator entry;
};

class Table_with_proxy : public QTableView {
    Q_OBJECT
public:
    // The model (rows x columns) belongs to the parent dialog, the proxy to the table.
    Table_with_proxy(int rows, int columns, QWidget* parent);

    // The source item in the given column of the row of a proxy index from the view's signals;
    // null (after an internal-error box) when the index leads nowhere.
    QStandardItem* clicked_item(const QModelIndex& index, int column);
    // The source item in the given column of the selected row; null after an error box when
    // no row is selected or the selection is inconsistent.
    QStandardItem* selected_item(int column);

    // Empties the model and gives it the number of rows, to be filled again.
    void reset_rows(int rows);
    void set_filter_text(const QString& text);
    // -1 filters on all columns.
    void set_filter_column(int column);
    // Shows only the source rows that the condition takes (and the text filter); none: all rows.
    // Called again whenever what the condition reads changes.
    void set_row_condition(std::function<bool(int source_row)> wanted);

    QSize sizeHint() const override;

    // The tooltip of a cell (a proxy index): its own, or else its whole text when the column
    // is too narrow to show it; empty when there is nothing more to say.
    QString cell_tooltip(const QModelIndex& index) const;

    // Selects the row of the modem and scrolls it into view; false when no row shows it (not
    // listed, or hidden by the filter).
    bool select_modem(quint64 eui);
    // The place of the item's row among the rows shown, -1 when the filter hides it.
    int shown_row(const QStandardItem& item) const;
    // Selects the shown row at that place, or the last one when fewer are left, and scrolls to it.
    void select_shown_row(int row);
    // With no row selected and exactly one shown, selects that one.
    void select_lone_row();

signals:
    // Enter and Delete on the selected row; the index is the proxy's, as from the view's signals.
    void row_entered(const QModelIndex& row);
    void row_delete_pressed(const QModelIndex& row);

protected:
    // Enter and Delete stay in the table even with no row selected: Enter must never reach
    // a default button of the dialog.
    void keyPressEvent(QKeyEvent* event) override;
    // Tabbing into a table with no row selected selects the current row, so that Enter and
    // Delete act at once.
    void focusInEvent(QFocusEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void select_shown(const QModelIndex& index);
    // The column that takes the width the others leave, never narrower than it is now: a
    // narrowed window scrolls rather than cut a caption.
    void set_stretching_column(int column);

    void set_header(int column, const QString& caption, const QString& hint);
    // Centres the item and puts it into the source model.
    void put(int row, int column, QStandardItem* item);
    // The width that the frame, the row header and the vertical scroll bar add to the columns;
    // a missing scroll bar logs internal error missing_bar_code.
    int width_around_columns(unsigned short missing_bar_code) const;

    QStandardItemModel* model_src;

private:
    class Row_filter;
    Row_filter* row_filter;

protected:
    QSortFilterProxyModel* proxy;
    int preferred_width = 0;

private:
    void stretch_column();

    int stretching_column = -1;
    int stretching_min_width = 0;
};
