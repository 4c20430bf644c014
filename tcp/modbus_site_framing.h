// Modbus TCP on the site port: one address for every modem, each request routed by its unit id to
// the line of the modem that serves it, with that unit's RTU slave address; the answer goes back
// with the unit id the master asked. A request with no route, and a broadcast, go nowhere.
#pragma once

#include "common/repeated_log.h"
#include "tcp/modbus_port_framing.h"
#include "tcp/site_routes.h"

class Modbus_site_framing : public Modbus_port_framing {
public:
    Modbus_site_framing(Host& host, quint16 tcp_port, const Site_routes& routes);

    // The site port sends no frames of its own: the link never speaks to it.
    void timer_expired() override {}
    void answer_received(const QByteArray&) override {}
    void answer_broken(bool) override {}
    void frame_refused() override {}

private:
    // No route: exception 0x0A at once; a broadcast: nothing; both logged.
    Modbus_route route(Client_number client, const QByteArray& request) override;
    void for_each_line(const std::function<void(Modbus_line&)>& f) override;

    const Site_routes& routes;
    Repeated_log no_route;
};
