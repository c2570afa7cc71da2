// Half-scanline timing: the display flags and lines, blank-timed DMA, the
// frame's presentation, keypad and sound steps, and the interrupt request.
#pragma once
#include <cstdint>

namespace koru {

extern uint32_t FrameSkipCounter;  // frames still to skip

// Advances the hardware by half a scanline. Returns -1 when the machine must
// stop, else 1 when an interrupt is pending and 0 when not.
int32_t AdvanceScanline();

}  // namespace koru
