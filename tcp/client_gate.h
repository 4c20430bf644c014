// The listening socket of a modem port, which closes connections from clients outside the allow
// list at once and rests a while after a failed accept.
#pragma once

#include "common/repeated_log.h"

#include <QTcpServer>

class QTcpSocket;

// The listening socket of a modem port. Connections from peers outside tcp_allow are closed as
// soon as they are accepted, before they can reach the pending queue, so the current client
// never notices them; client_waiting() is raised only for connections that were let in. Each
// refusal is announced; the log gets the first of a minute and then a summary.
class Client_gate : public QTcpServer {
    Q_OBJECT
public:
    explicit Client_gate(QObject* parent = nullptr);

    // Connections refused by every gate of the program since it started.
    static quint64 refused_total;

signals:
    void client_waiting();
    void connection_refused();

protected:
    void incomingConnection(qintptr handle) override;

private slots:
    // The listener rests after a failed accept, or the same waiting connection would wake it
    // again at once.
    void on_accept_error(QAbstractSocket::SocketError e);

private:
    void refuse(QTcpSocket* s);

    Repeated_log refusals;
};
