// libFuzzer target: the configuration reader must refuse any bad text with an Err, never crash.
#include "core/cfg.h"
#include "tests/fuzz/fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString& name = fuzz_input_file("cfg", data, size);
    try {
        load_cfg(name);
    } catch (const Err&) {
    }
    return 0;
}
