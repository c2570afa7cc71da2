// Placeholder line timing: counts lines and frames, polls the host at the
// start of each vertical blank and stops on ExitRequest. The timers, blank
// flags, DMA and interrupts replace this file.
#include "hardware/timing.h"

#include "cpu/cpu_state.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/memory.h"

namespace koru {

int32_t TimerPrescale[4];
int32_t TimerCountdown[4];
int32_t TimerCounter[4];
uint32_t FrameSkipCounter;
uint32_t AutoFirePhase;

int32_t AdvanceScanline() {
    uint16_t status = static_cast<uint16_t>(Peek16(IoRam + 0x004) ^ 0x0002);
    if (status & 0x0002) {
        CpuState.SliceCycles = 272;
    } else {
        CpuState.SliceCycles = 960;
        const uint16_t line = static_cast<uint16_t>((Peek16(IoRam + 0x006) + 1) % 228);
        Poke16(IoRam + 0x006, line);
        if (line == 160) {
            const uint32_t keys = PollInput() & 0xFFFF;
            Poke16(IoRam + 0x130, static_cast<uint16_t>(~keys | 0xFC00));
            if (ExitRequest) return -1;
        }
    }
    Poke16(IoRam + 0x004, status);
    return 0;
}

}  // namespace koru
