// The list of modems to serve: their ports, sizes, protocols, site port units, cache times and
// live state, with a filter, and the buttons that add, change and delete them.
#pragma once

#include "core/modem_state.h"
#include "ui/table_with_proxy.h"

#include <QDialog>
#include <QTimer>
#include <QVector>
#include <optional>

class QCheckBox;
class QLineEdit;
class Ws_connection;

extern const QString caption_yes;
extern const QString caption_no;

class Dialog_devices : public QDialog {
    Q_OBJECT
public:
    class Table : public Table_with_proxy {
    public:
        explicit Table(QWidget* parent);
        int sizeHintForColumn(int column) const override;

        // What the live columns of one row show: copied under cfg_mutex, shown after it is released,
        // so that the exchange thread never waits on the model.
        struct Live_row {
            bool server;
            bool client;
            // The server's name of the modem, caption_no when it has none.
            QString name;
            Modem_status status;
        };
        using Live_rows = QVector<Live_row>;

        // The columns from devices_in_cfg: all but the live ones.
        void create_contents();
        // Needs cfg_mutex held: every row's server and client from tcp_servers, its name from
        // devices_on_lora, its state, in the order of devices_in_cfg.
        static Live_rows read_live_rows();
        // Columns 3 to 5 and the state.
        void show_live_rows(const Live_rows& rows);
        // Without a link: columns 3 to 5 blank, the states shown.
        void hide_states_and_names(const QVector<Modem_status>& statuses);
        void show_states(const QVector<Modem_status>& statuses);
        // Whether the source row's modem was served when the states were last shown.
        bool row_served(int row) const;

    private:
        // Sets the text of a cell, creating the cell with its font and colour when it is missing.
        void set_cell(int row, int column, const QString& text);
        void put_value(int row, int column, QStandardItem* item);
        // Every cell of the row but the name says it; an empty text takes the tooltip away.
        void set_row_tooltip(int row, const QString& text);
        // The state cell, its colour, the row's tooltip and whether it is served.
        void set_state(int row, const Modem_status& status);

        int column_width[10];
        QVector<bool> served;
    };

    explicit Dialog_devices(QWidget* parent);

    // Rebuilds the rows from the list; the list's owner calls it on every change.
    void update_table();
    // Ticks the filter row's "not served only" box: the main window's counter of available
    // modems opens the list so.
    void show_not_served_only();
    void edit_device(const QStandardItem* item);
    // Keeps the window's size for its next opening.
    void done(int result) override;

private slots:
    void on_filter_field_changed(int index);
    void on_filter_text_changed(const QString& text);
    void on_not_served_only_toggled();
    void on_btn_add_clicked();
    void on_btn_delete_clicked();
    void on_btn_edit_clicked();
    void on_double_click(const QModelIndex& index);
    void on_servers_changed();
    void on_clients_changed();
    void on_link_timer_timeout();
    void on_table_delete_pressed(const QModelIndex& index);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLayout* make_filter_row();
    QWidget* make_buttons();
    bool link_to_connection();
    void show_link_state(bool blank_always);
    void refilter();
    void delete_device(const QStandardItem* item);
    void show_modem(quint64 eui);
    void save();

    Table* table;
    QLineEdit* filter_text;
    QCheckBox* not_served_only;
    bool live = false;
    // The connection whose signals reach this dialog; it may appear after the dialog opens.
    Ws_connection* linked = nullptr;
    QTimer link_timer;
};
