// The devices file: the modems to serve, read at start into the shared tables and rewritten after edits.
#pragma once

#include "core/shared.h"

// Empties both tables and reads the file named by devices_fname into them; throws Err at the
// first error (of syntax, a unit of a modem not described before it, a modem on the site port).
// False when the file holds nothing but blanks (not even a comment).
bool read_devices_file(Devices_in_cfg& devices, Port_index& ports);

// The modem whose units include the site port's unit id; cend() when none has it.
Devices_in_cfg::const_iterator unit_owner(const Devices_in_cfg& devices, quint8 id);

// What the devices file looks like from outside; every write changes at least one part.
struct Devices_file_stamp {
    qint64 size = -1;  // -1: no such file
    qint64 modified_ns = 0;
    quint64 inode = 0;

    bool operator==(const Devices_file_stamp& other) const
    {
        return size == other.size && modified_ns == other.modified_ns && inode == other.inode;
    }
    bool operator!=(const Devices_file_stamp& other) const { return !(*this == other); }
};

Devices_file_stamp stamp_devices_file();

// Empties devices_in_cfg and tcp_ports and reads the file named by devices_fname into them;
// throws Err at the first syntax error.
void load_devices_in_cfg();

// Writes devices_in_cfg to the file named by devices_fname, replacing it atomically;
// throws Err when the file cannot be written.
void save_devices_in_cfg();
