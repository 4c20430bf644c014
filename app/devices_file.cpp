// The devices file: the modems to serve, read at start into the shared tables and rewritten after edits.
#include "app/devices_file.h"

#include "app/shared.h"

void load_devices_in_cfg()
{
    devices_in_cfg.clear();
    tcp_ports.clear();
}

void save_devices_in_cfg() {}
