// Any state file: loaded into a running machine, which then runs a frame.
// A file that is refused must leave the machine able to run.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "machine/machine.h"
#include "machine/savefiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru;
    fuzz::EnterWorkDirectory();
    if (size > 2 * StateFileSize) return 0;
    static bool prepared = false;
    if (!prepared) {
        fuzz::WriteQuietCartridge("quiet.gba");
        prepared = PrepareMachine("quiet.gba");
        if (!prepared) __builtin_trap();
    }
    fuzz::WriteBytes("input.sta", data, size);
    LoadState("input.sta");
    fuzz::RunFrames(1);
    return 0;
}
