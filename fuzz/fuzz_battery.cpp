// Any battery-save file beside a cartridge: read at start-up, the machine
// runs a frame, and the save is written back at shut-down.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "machine/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru;
    fuzz::EnterWorkDirectory();
    if (size > 256 * 1024) return 0;
    static bool written = false;
    if (!written) {
        fuzz::WriteQuietCartridge("save.gba");
        written = true;
    }
    fuzz::WriteBytes("save.sav", data, size);
    if (PrepareMachine("save.gba")) fuzz::RunFrames(1);
    ShutdownMachine();
    return 0;
}
