// The modem picker: the modems that the server reports or the devices file names, by
// category, from which the add dialog takes an EUI.
#pragma once

#include "ui/table_with_proxy.h"

#include <QDialog>
#include <QVector>

class QLineEdit;

// Appends the server's modems that are not configured, in EUI order; takes cfg_mutex itself.
void get_unused_modems(QVector<Device_on_lora>& out);

class Dialog_modems : public QDialog {
    Q_OBJECT
public:
    class Table : public Table_with_proxy {
    public:
        Table(const QVector<Device_on_lora>& modems, QWidget* parent);
        void set_contents(const QVector<Device_on_lora>& modems);
    };

    explicit Dialog_modems(QWidget* parent);
    void accept() override;
    // Keeps the window's size for its next opening.
    void done(int result) override;
    void return_result(const QStandardItem* item);

    // Meaningful only after the dialog was accepted.
    quint64 chosen_eui() const { return chosen; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void on_filter_index_changed(int index);
    void on_filter_field_changed(int index);
    void on_filter_text_changed(const QString& text);
    void on_double_click(const QModelIndex& index);

private:
    QLayout* make_category_row();
    QLayout* make_filter_row();

    quint64 chosen = 0;
    Table* table;
    QLineEdit* filter_text;
};
