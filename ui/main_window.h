// The main window: link state and counters, and the program's shared fonts.
#pragma once

#include <QThread>
#include <QWidget>

class Main_window : public QWidget {
    Q_OBJECT
public:
    explicit Main_window(QThread& exchange_thread, QWidget* parent = nullptr);
    ~Main_window() override;
    void configured_devices_changed();

    // The one existing main window, null when none; guarded by cfg_mutex.
    static Main_window* instance;

signals:
    void shutdown();

public slots:
    void on_servers_changed();
    void on_clients_changed();

private:
    QThread& exchange_thread;
};

// Chooses the program's fonts once per run and applies them to the widget's application.
void init_fonts(QWidget& widget);
