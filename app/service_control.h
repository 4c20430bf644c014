// Running unattended: the exit and reload signals, the descriptor check of the devices file,
// and the readiness, status and stopping notices for the service manager.
#pragma once

#include "app/os_service.h"

#include <QObject>

class Engine;
class Main_window;

// Logs one entry when the descriptor limit is below what the modems to serve can need.
void check_descriptor_limit();

class Service_control : public QObject {
    Q_OBJECT
public:
    // Made once the window is shown and the exchange thread runs; tells the service manager so.
    Service_control(Engine& engine, Main_window& window);

private slots:
    void on_os_exit_requested();
    void on_os_reload_requested();
    void on_window_state_shown();
    void on_window_shutdown();
    void on_devices_changed();

private:
    // Tells the service manager once that the program is ending.
    void announce_stopping();

    Engine& engine;
    Main_window& window;
    Os_service os;
    bool stopping = false;
};
