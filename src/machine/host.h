// The calls that the core makes into its host. Each host (the desktop
// program, the headless runner, the test programs) defines them once.
#pragma once
#include <cstdint>

namespace koru {

// Copies the rectangle (x, y, w, h) of the FrameBuffer to the screen.
void ShowFrame(int x, int y, int w, int h);

// Once per frame: handles the host's pending events and returns the pressed
// console keys (A 0x001 ... L 0x200, 1 = pressed). May block.
uint32_t PollInput();

}  // namespace koru
