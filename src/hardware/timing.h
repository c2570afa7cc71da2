// Half-scanline timing: timers, display flags, blank-timed DMA, the frame's
// keypad, sound and presentation steps, and the interrupt request.
#pragma once
#include <cstdint>

namespace koru {

extern int32_t TimerPrescale[4];   // cycles per tick, 0 = stopped
extern int32_t TimerCountdown[4];  // cycles to the next tick, 0 = count-up
extern int32_t TimerCounter[4];    // running counter, above 0xFFFF = overflow
extern uint32_t FrameSkipCounter;  // frames still to skip
extern uint32_t AutoFirePhase;     // 0-7

// Advances the hardware by half a scanline. Returns -1 when the machine must
// stop, else 1 when an interrupt is pending and 0 when not.
int32_t AdvanceScanline();

}  // namespace koru
