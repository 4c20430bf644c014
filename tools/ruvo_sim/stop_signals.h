// Turns SIGTERM and SIGINT into a Qt signal, so that the simulator says goodbye to its clients before it ends.
#pragma once

#include <QObject>

class QSocketNotifier;

class Stop_signals : public QObject {
    Q_OBJECT

public:
    explicit Stop_signals(QObject* parent = nullptr);

signals:
    void stop_requested();

private slots:
    void on_notifier_activated();

private:
    QSocketNotifier* notifier = nullptr;
};
