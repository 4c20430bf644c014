// The clients a port serves at once, oldest first, each with the number its framing knows it by;
// a number is never given twice, so a client gone cannot be mistaken for a newer one.
#pragma once

#include "tcp/client_framing.h"

#include <vector>

class QObject;
class QTcpSocket;

class Port_clients {
public:
    using Number = Client_framing::Client_number;
    struct Client {
        Number number;
        QTcpSocket* socket;
    };

    // The socket joins as the newest; its number.
    Number add(QTcpSocket* socket);
    void remove(Number number);
    QTcpSocket* socket(Number number) const;
    // The number of the socket, 0 when it is none of the port's clients.
    Number number(const QObject* socket) const;
    // The numbers of all, oldest first: a copy, as serving one may remove others.
    std::vector<Number> numbers() const;
    const Client& oldest() const { return all.front(); }
    QTcpSocket* newest() const { return all.empty() ? nullptr : all.back().socket; }
    size_t size() const { return all.size(); }
    bool empty() const { return all.empty(); }

private:
    std::vector<Client> all;
    Number last_number = 0;
};
