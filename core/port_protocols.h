// The client protocols a modem's port may speak, one row each: the protocol's name in the devices
// file and in the window, how many clients a port serves at once and the largest answer it writes.
// The devices file, the dialogs, the device list and the port's server read them here; the framing
// of each is built in tcp/ (make_framing).
#pragma once

#include <QtGlobal>

struct Tr;

// How a modem's port carries requests: raw bytes cut by pauses, or Modbus TCP turned into RTU frames.
enum class Port_protocol : quint8 { raw, modbus_tcp };
const int port_protocol_count = 2;
// A modem whose devices file entry names no protocol; only another one is written to the file.
const Port_protocol default_port_protocol = Port_protocol::raw;

struct Port_protocol_row {
    Port_protocol protocol;
    // The value of the devices file's protocol attribute.
    const char* file_name;
    // The name in the dialogs and the device list.
    Tr& caption;
    // Clients the port serves at once; beyond them, the oldest is broken off.
    const int& max_clients;
    // The largest answer written to a client at once, in bytes; a client that leaves a few of them
    // unread is dropped.
    qint64 max_answer;
};

// Every protocol, in the order of Port_protocol.
extern const Port_protocol_row port_protocols[port_protocol_count];

inline const Port_protocol_row& port_protocol_row(Port_protocol protocol)
{
    return port_protocols[static_cast<int>(protocol)];
}
