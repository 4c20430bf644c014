// Turns SIGINT and SIGTERM into a Qt signal delivered in the GUI thread.
#pragma once

#include <QObject>

class QSocketNotifier;

class Signal_exit : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; only one object may exist at a time.
    explicit Signal_exit(QObject* parent = nullptr);
    ~Signal_exit() override;

signals:
    void requested();

private slots:
    void on_notifier_activated();

private:
    QSocketNotifier* notifier = nullptr;
};
