// The main window: the link state and the counters of modems.
#pragma once

#include "core/program_end.h"

#include <QLabel>
#include <QThread>
#include <QWidget>

class QStackedLayout;
enum class Link_state : unsigned char;

extern const QString caption_placeholder;

// A label of fixed width, so that value labels keep their width when their text changes.
class Label_with_size : public QLabel {
public:
    Label_with_size(int width, const QString& text = QString(), QWidget* parent = nullptr);
    QSize sizeHint() const override;

private:
    int width;
};

class Main_window : public QWidget {
    Q_OBJECT
public:
    // The texts of the window, needed only while it is built.
    struct Translated {
        QString caption_link;
        QString hint_link;
        QString caption_devices;
        QString hint_devices;
        QString caption_online;
        QString hint_online;
        QString caption_clients;
        QString hint_clients;
        QString caption_btn_devices;
        QString hint_btn_devices;
        QString caption_btn_about;
        QString hint_btn_about;
        QString caption_btn_exit;
        QString hint_btn_exit;
    };

    explicit Main_window(QThread& exchange_thread, QWidget* parent = nullptr);
    ~Main_window() override;
    // Shows the number of modems to serve; called on every change of the list.
    void configured_devices_changed();

    // The one existing main window, null when none; guarded by cfg_mutex.
    static Main_window* instance;

signals:
    void shutdown();
    // The link state or a counter shown has changed.
    void state_shown();

public slots:
    void on_servers_changed();
    void on_clients_changed();
    void on_btn_devices_clicked();
    // The list of modems, showing only those not served.
    void on_online_count_clicked();
    void on_btn_about_clicked();
    void on_btn_exit_clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // A click on the counter of available modems.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Ends the process without waiting for the exchange thread.
    virtual void quit_at_once();

private:
    void translate(Translated& texts);
    void build(const Translated& texts);
    bool register_instance();
    void show_link_state(Link_state state);
    void show_rows_online(bool online);

    QThread& exchange_thread;
    Label_with_size* link_state_label;
    Label_with_size* devices_count;
    Label_with_size* online_count;
    Label_with_size* clients_count;
    QStackedLayout* online_caption_cell;
    QStackedLayout* online_value_cell;
    QStackedLayout* clients_caption_cell;
    QStackedLayout* clients_value_cell;
    // A second exit request while the first waits is ignored; only the final close is let through.
    enum class Exit_state { none, waiting, done };
    Exit_state exit_state = Exit_state::none;
    // What asked for the exit, for the log entry at the end.
    Program_end exit_reason = Program_end::exit_button;
};
