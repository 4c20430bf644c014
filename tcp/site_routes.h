// The site port's routing table: each unit id to the line of the modem that serves it and the RTU
// slave address behind that modem. Rebuilt by the link whenever the ports change; empty while
// the link is down.
#pragma once

#include <QtGlobal>
#include <array>
#include <vector>

class Modbus_line;

class Site_routes {
public:
    struct Route {
        Modbus_line* line = nullptr;
        quint8 slave = 0;
    };

    // Unit ids a route may have: 1 to 247.
    static constexpr int max_unit = 247;

    void clear() { routes.fill(Route()); }
    void add(quint8 unit, Modbus_line& line, quint8 slave);
    // The route of the unit id; no line when it has none.
    Route find(quint8 unit) const;
    // Every line routed to, once each.
    std::vector<Modbus_line*> lines() const;

private:
    std::array<Route, max_unit + 1> routes{};
};
