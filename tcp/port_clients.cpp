// The clients a port serves at once: few (at most 32), so a plain list searched from the front.
#include "tcp/port_clients.h"

#include <QTcpSocket>
#include <algorithm>

Port_clients::Number Port_clients::add(QTcpSocket* socket)
{
    all.push_back({++last_number, socket});
    return last_number;
}

void Port_clients::remove(Number number)
{
    all.erase(std::remove_if(all.begin(), all.end(), [number](const Client& c) { return c.number == number; }),
              all.end());
}

QTcpSocket* Port_clients::socket(Number number) const
{
    for (const Client& c : all)
        if (c.number == number)
            return c.socket;
    return nullptr;
}

Port_clients::Number Port_clients::number(const QObject* socket) const
{
    for (const Client& c : all)
        if (static_cast<const QObject*>(c.socket) == socket)
            return c.number;
    return 0;
}

std::vector<Port_clients::Number> Port_clients::numbers() const
{
    std::vector<Number> result;
    result.reserve(all.size());
    for (const Client& c : all)
        result.push_back(c.number);
    return result;
}
