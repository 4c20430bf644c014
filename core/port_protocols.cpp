// The client protocols a modem's port may speak, one row each.
#include "core/port_protocols.h"

#include "common/err.h"
#include "core/cfg.h"

namespace {

Tr caption_protocol_raw{TR_TEXT("add_device", "поток байтов")};
Tr caption_protocol_modbus_tcp{TR_TEXT("add_device", "Modbus TCP")};

const int one_client = 1;

}  // namespace

const Port_protocol_row port_protocols[port_protocol_count] = {
    // An answer is as long as the uplink's total size says, which has 16 bits.
    {Port_protocol::raw, "raw", caption_protocol_raw, one_client, 65535},
    // An MBAP response: the 7-byte header with the unit id, and a PDU of 253 bytes.
    {Port_protocol::modbus_tcp, "modbus_tcp", caption_protocol_modbus_tcp, modbus_max_clients, 260},
};
