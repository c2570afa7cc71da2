// Any cartridge image, run for a few frames with every subsystem on: the
// image is mapped as the cartridge and, on every other input, also copied
// into Internal Working RAM and started there.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "cpu/cpu_state.h"
#include "fuzz_support.h"
#include "hardware/bus.h"
#include "machine/machine.h"
#include "machine/settings.h"
#include "sound/midilog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru;
    fuzz::EnterWorkDirectory();
    if (size == 0 || size > 1024 * 1024) return 0;
    fuzz::WriteBytes("cart.gba", data, size);
    UpdatePeriod = 1;
    UseDrums = data[0] & 1;
    if (PrepareMachine("cart.gba")) {
        MidiLog(1);
        if (data[0] & 2) {
            const size_t n = std::min<size_t>(size, InternalWramSize - 0x200);
            std::copy(data, data + n, InternalWram);
            CpuState.R[15] = 0x03000000;
            if (data[0] & 4) SetCpsr(CpuState, CpuState.CPSR | FlagT);
        }
        fuzz::RunFrames(3);
        MidiLog(0);
    }
    ShutdownMachine();
    return 0;
}
