// Running unattended: the exit and reload signals, the descriptor check of the devices file,
// and the readiness, status and stopping notices for the service manager.
#pragma once

#include "app/os_service.h"
#include "core/devices_file.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class Engine;
class Link_view;

// Logs one entry when the descriptor limit is below what the modems to serve can need.
void check_descriptor_limit();

class Service_control : public QObject {
    Q_OBJECT
public:
    // Made once the view is up and the exchange thread runs; tells the service manager so.
    Service_control(Engine& engine, Link_view& view);

private slots:
    void on_os_exit_requested();
    void on_os_reload_requested();
    void on_view_state_shown();
    void on_view_shutdown();
    void on_devices_changed();
    void on_settle_timer_timeout();

private:
    // Notes how the devices file looks and looks again after a moment.
    void watch_devices_file();
    void end_reload();
    // Tells the service manager once that the program is ending.
    void announce_stopping();

    Engine& engine;
    Os_service os;
    bool stopping = false;
    // A reload waits for the devices file to stand still, and for the dialogs that hold entries.
    bool reload_waiting = false;
    Devices_file_stamp settling;
    QTimer settle_timer;
    QElapsedTimer settle_clock;
};
