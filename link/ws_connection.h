// The link with the RUVO-LoRa server over one WebSocket.
#pragma once

#include <QObject>
#include <QThread>

class Ws_connection : public QObject {
    Q_OBJECT
public:
    explicit Ws_connection(QThread& thread);
    ~Ws_connection() override;
    void start();

    // The one live connection, null when none; guarded by cfg_mutex.
    static Ws_connection* instance;

signals:
    void servers_changed();
    void clients_changed();

public slots:
    void update_servers();
    void on_shutdown();

private:
    QThread& thread;
};
