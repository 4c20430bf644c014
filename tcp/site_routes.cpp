// The site port's routes, one slot per unit id.
#include "tcp/site_routes.h"

#include <algorithm>

void Site_routes::add(quint8 unit, Modbus_line& line, quint8 slave)
{
    if (unit >= 1 && unit <= max_unit)
        routes[unit] = {&line, slave};
}

Site_routes::Route Site_routes::find(quint8 unit) const
{
    return unit <= max_unit ? routes[unit] : Route();
}

std::vector<Modbus_line*> Site_routes::lines() const
{
    std::vector<Modbus_line*> all;
    for (const Route& r : routes)
        if (r.line && std::find(all.begin(), all.end(), r.line) == all.end())
            all.push_back(r.line);
    return all;
}
