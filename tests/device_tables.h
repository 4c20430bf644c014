// The served list as the tests compare it: one "EUI:port:max_frame[:protocol other than the default]
// [:cache=cache_ms when not 0][:units=id>slave,...]" per modem.
#pragma once

#include "core/shared.h"

#include <QString>
#include <QStringList>

// The optional parts of an entry: the cache time and the units, when the modem has them.
inline QString cache_and_units(const Device_in_cfg& device)
{
    QString text = device.cache_ms ? QStringLiteral(":cache=%1").arg(device.cache_ms) : QString();
    QStringList units;
    for (const Site_unit& unit : device.units)
        units << QStringLiteral("%1>%2").arg(unit.id).arg(unit.slave);
    return units.isEmpty() ? text : text + QStringLiteral(":units=") + units.join(QLatin1Char(','));
}

// The tables as "EUI:port:max_frame" entries, after checking that tcp_ports indexes devices_in_cfg.
inline QString tables()
{
    if (tcp_ports.size() != devices_in_cfg.size())
        return QStringLiteral("tcp_ports out of step");
    for (auto it = tcp_ports.cbegin(); it != tcp_ports.cend(); ++it)
        if (devices_in_cfg.find(it.value().key()) != it.value() || it.value()->tcp_port != it.key())
            return QStringLiteral("tcp_ports out of step");
    QStringList entries;
    for (auto it = devices_in_cfg.cbegin(); it != devices_in_cfg.cend(); ++it)
        entries << QStringLiteral("%1:%2:%3")
                       .arg(static_cast<qulonglong>(it.key()), 16, 16, QLatin1Char('0'))
                       .toUpper()
                       .arg(it->tcp_port)
                       .arg(it->max_frame) +
                   (it->protocol == default_port_protocol
                        ? QString()
                        : QStringLiteral(":") + port_protocol_row(it->protocol).file_name) +
                   cache_and_units(*it);
    return entries.join(QLatin1Char(' '));
}
