// The limits of a modem's settings, the same in the devices file, the configuration and the
// device list's dialogs, and of the modems one data command may carry.
#pragma once

// Port 0 would have the system pick a random port that no client can know; the devices file still
// reads it, and leaves such a modem unserved.
const unsigned min_tcp_port = 1;
const unsigned max_tcp_port = 65535;
// The longest frame a modem takes, in bytes.
const unsigned min_max_frame = 1;
const unsigned max_max_frame = 9999;
const unsigned default_max_frame_value = 51;
// How long a modem's read answers are kept, in milliseconds; 0 keeps none.
const unsigned max_cache_ms = 3600000;
// The unit ids of the site port and the RTU slave addresses they route to: Modbus's individual
// addresses (0 is the broadcast).
const unsigned min_unit_id = 1;
const unsigned max_unit_id = 247;
// Frames that one data command may carry, each for another modem.
const int ws_batch_max_limit = 100;
