// The operating-system side of running unattended: the signals that stop the program or reload
// its devices file, and the notices to the service manager.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

// Notices to the service manager; nothing happens when the program was not started by one.
void notify_ready();
void notify_reloading();
void notify_stopping();
void notify_status(const QString& status);

// Turns SIGINT, SIGTERM and SIGHUP into Qt signals of the GUI thread, and sends the watchdog
// notice from the GUI thread's event loop when the service manager asks for it.
class Os_service : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; only one object may exist at a time.
    explicit Os_service(QObject* parent = nullptr);
    ~Os_service() override;

signals:
    void exit_requested();
    void reload_requested();

private slots:
    void on_notifier_activated();
    void on_watchdog_timer_timeout();

private:
    void start_watchdog();

    QSocketNotifier* notifier = nullptr;
    QTimer watchdog_timer;
};
