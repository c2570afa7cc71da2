// A random program: the input is code that the processor runs from work RAM
// for two frames (about 900 slices), in ARM or THUMB as its first byte says,
// switching between them by BX as the code does. The registers start out
// holding the bases of the I/O area, the DMA channels, the memories and the
// save windows, so that stores to them are a few random bits away; SWI
// reaches the BIOS services. After the run nothing may have been written
// outside the machine's regions (guard pages around each, the page tables
// and read-only images compared).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cpu/cpu_state.h"
#include "fuzz_guard.h"
#include "fuzz_support.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/savefiles.h"

namespace {

// The frames are few, and a frame of any program takes the same number of
// slices: the work per input is bounded by the machine's own timing.
constexpr uint32_t Frames = 2;

constexpr uint32_t Bases[13] = {
    0x04000000,  // I/O
    0x040000B0,  // DMA 0
    0x02000000,  // external work RAM
    0x03000000,  // internal work RAM
    0x0E000000,  // SRAM and FLASH
    0x0D000000,  // EEPROM
    0x06000000,  // VRAM
    0x040000D4,  // DMA 3
    0x05000000,  // palette
    0x07000000,  // sprites
    0x08000000,  // cartridge
    0x03007FFC,  // the interrupt handler's pointer
    0x04000200,  // interrupt control
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru;
    fuzz::EnterWorkDirectory();
    static bool prepared = false;
    if (!prepared) {
        // A cartridge that declares no save memory offers every one.
        fuzz::WriteQuietCartridge("program.gba");
        if (!PrepareMachine("program.gba")) __builtin_trap();
        // No battery save or state file: each input starts from nothing.
        std::free(SavName);
        std::free(StaName);
        SavName = StaName = nullptr;
        fuzz::GuardRegions();
        prepared = true;
    }
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    // Bit 0: THUMB; bit 1: external work RAM rather than internal.
    const uint32_t base = (mode & 2) ? 0x02000000 : 0x03000000;
    uint8_t* const memory = (mode & 2) ? ExternalWram : InternalWram;
    // Internal work RAM keeps its top 512 bytes (stacks, handler pointer)
    // as the reset leaves them, for the program's interrupts to use.
    const size_t room = (mode & 2) ? ExternalWramSize : InternalWramSize - 512;
    const size_t n = std::min(size - 1, room);

    fuzz::ClearMachine();
    std::memcpy(memory, data + 1, n);
    for (int i = 0; i < 13; ++i) CpuState.R[i] = Bases[i];
    CpuState.R[15] = base;
    if (mode & 1) CpuState.CPSR |= FlagT;
    fuzz::RunFrames(Frames);
    fuzz::CheckMachineIntact();
    return 0;
}
