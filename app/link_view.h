// What follows the link's state while the program runs: the main window in the desktop program,
// a watcher with nothing to show in the daemon. Service_control hears of the state through it.
#pragma once

#include <QObject>

class Link_view : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // The link state or a counter has been taken in: the service manager's status may follow.
    void state_shown();
    // The operator has asked the program to end.
    void shutdown();
};
