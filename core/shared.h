// State shared by the GUI thread and the exchange thread, all guarded by cfg_mutex:
// the device tables, the link flags and the client count.
#pragma once

#include "core/port_protocols.h"

#include <QMap>
#include <QMutex>
#include <QString>
#include <QVector>
#include <QtGlobal>
#include <vector>

class Tcp_server;

// The configuration of one modem to serve; the EUI is the key of its table.
// A unit id of the site port routed to an RTU slave address behind one modem.
struct Site_unit {
    quint8 id;
    quint8 slave;
};

inline bool operator==(const Site_unit& a, const Site_unit& b)
{
    return a.id == b.id && a.slave == b.slave;
}

struct Device_in_cfg {
    // The attributes every modem has; the others start empty.
    Device_in_cfg(quint32 max_frame = 0, quint16 tcp_port = 0, Port_protocol protocol = default_port_protocol)
        : max_frame(max_frame), tcp_port(tcp_port), protocol(protocol)
    {
    }

    quint32 max_frame;
    quint16 tcp_port;
    Port_protocol protocol;
    // How long after a read's answer came an identical read is answered from memory; 0: never.
    quint32 cache_ms = 0;
    // The site port's unit ids routed to this modem, in ascending id.
    std::vector<Site_unit> units;
};

// Whether two settings of a modem agree in every attribute: a port opened for one serves the other
// as it is (a change of any reopens the port), and an edit that keeps them all changes nothing.
inline bool same_setup(const Device_in_cfg& a, const Device_in_cfg& b)
{
    return a.tcp_port == b.tcp_port && a.max_frame == b.max_frame && a.protocol == b.protocol &&
           a.cache_ms == b.cache_ms && a.units == b.units;
}

typedef QMap<unsigned long, Device_in_cfg> Devices_in_cfg;

// Port 0 would have the system pick a random port that no client can know: a modem configured
// with it stays in the tables but is never served.
inline bool has_client_port(const Device_in_cfg& device)
{
    return device.tcp_port != 0;
}

// One modem as the RUVO-LoRa server reports it.
struct Device_on_lora {
    unsigned long eui = 0;
    QString name;
};

extern QMutex cfg_mutex;
// The modems to serve by EUI; written by the GUI thread only, under cfg_mutex.
extern Devices_in_cfg devices_in_cfg;
// Index of devices_in_cfg by TCP port; used by the GUI thread alone.
typedef QMap<unsigned long, Devices_in_cfg::iterator> Port_index;
extern Port_index tcp_ports;
// The server's modems, sorted by EUI; written by the exchange thread only, under cfg_mutex.
extern QVector<Device_on_lora> devices_on_lora;
// The running TCP servers by EUI (not owned); written by the exchange thread only, under cfg_mutex.
extern QMap<unsigned long, Tcp_server*> tcp_servers;
// Why a modem's port could not be opened: the port, the system's reason and its code
// (a QAbstractSocket::SocketError, -1 when the system gave none).
struct Port_failure {
    quint16 port;
    QString reason;
    int error = -1;
};
// The modems to serve whose port could not be opened at the last try, by EUI; written by the
// exchange thread only, under cfg_mutex.
extern QMap<unsigned long, Port_failure> port_failures;
// Number of TCP servers that have a client.
extern quint32 clients_number;

// Bits of ws_flags.
enum : unsigned char {
    WS_STARTING = 0x01,          // connected, login or first device list not complete
    WS_ONLINE = 0x02,            // device list received, TCP servers reconciled
    WS_SERVERS_PENDING = 0x04,   // a servers_changed notice is pending
    WS_CLIENTS_PENDING = 0x08,   // a clients_changed notice is pending
    WS_ENDING = 0x10,            // the program is ending
};
extern unsigned char ws_flags;
