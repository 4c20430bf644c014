// HTTP clients that send a request head one byte a second, from the event loop of the thread that
// makes them; a client the server closes connects anew. What a slow or hostile client does to the
// metrics endpoint.
#pragma once

#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <vector>

class Slow_http_clients {
public:
    Slow_http_clients(quint16 port, int count) : clients(count)
    {
        QObject::connect(&tick, &QTimer::timeout, [this, port] {
            for (Client& c : clients)
                dribble(c, port);
        });
        tick.start(1000);
        for (Client& c : clients)
            dribble(c, port);
    }

    // Connections the server has closed so far.
    int closed = 0;

    // Whether every client is connected and has sent at least this many bytes of its head.
    bool each_sent(int bytes) const
    {
        for (const Client& c : clients)
            if (c.socket->state() != QAbstractSocket::ConnectedState || c.sent < bytes)
                return false;
        return true;
    }

private:
    struct Client {
        std::unique_ptr<QTcpSocket> socket{new QTcpSocket};
        int sent = 0;
    };

    void dribble(Client& c, quint16 port)
    {
        static const QByteArray head = "GET /metrics HTTP/1.1\r\nX-Slow: ";
        if (c.socket->state() == QAbstractSocket::UnconnectedState) {
            closed += c.sent > 0;
            c.sent = 0;
            c.socket->connectToHost(QHostAddress::LocalHost, port);
        }
        c.socket->write(c.sent < head.size() ? head.mid(c.sent, 1) : QByteArray("x"));
        ++c.sent;
    }

    std::vector<Client> clients;
    QTimer tick;
};
