// libFuzzer target: the devices-file reader must refuse any bad text with an Err, never crash,
// and leave the device tables consistent whatever it has read.
#include "core/cfg.h"
#include "core/devices_file.h"
#include "core/shared.h"
#include "tests/fuzz/fuzz_file.h"

#include <bitset>
#include <cstdlib>

namespace {

// Every port entry must point at the device that uses that port; a unit id is routed once, from
// 1 to 247 with a slave as well, in ascending order within its modem.
void check_tables()
{
    if (tcp_ports.size() != devices_in_cfg.size())
        abort();
    for (auto it = tcp_ports.cbegin(); it != tcp_ports.cend(); ++it)
        if (it.value()->tcp_port != it.key() || it.value()->max_frame < 1 || it.value()->max_frame > 9999)
            abort();
    std::bitset<256> routed;
    for (const Device_in_cfg& device : devices_in_cfg) {
        unsigned previous = 0;
        for (const Site_unit& unit : device.units) {
            if (unit.id <= previous || unit.id > 247 || unit.slave < 1 || unit.slave > 247 || routed[unit.id])
                abort();
            routed[unit.id] = true;
            previous = unit.id;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    devices_fname = fuzz_input_file("devices", data, size);
    try {
        load_devices_in_cfg();
    } catch (const Err&) {
    }
    check_tables();
    return 0;
}
