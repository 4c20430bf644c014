// The devices file: the modems to serve, read at start into the shared tables and rewritten after edits.
#pragma once

#include "core/shared.h"

// Empties both tables and reads the file named by devices_fname into them; throws Err at the
// first syntax error.
void read_devices_file(Devices_in_cfg& devices, Port_index& ports);

// Empties devices_in_cfg and tcp_ports and reads the file named by devices_fname into them;
// throws Err at the first syntax error.
void load_devices_in_cfg();

// Writes devices_in_cfg to the file named by devices_fname, replacing it atomically;
// throws Err when the file cannot be written.
void save_devices_in_cfg();
