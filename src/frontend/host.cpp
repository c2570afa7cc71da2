// The calls the core makes into the desktop program. Kept apart from the
// rest of the logic so that tests can link the logic with their own host.
#include "frontend/frontend.h"
#include "frontend/input.h"
#include "frontend/platform.h"
#include "machine/host.h"

namespace koru {

void ShowFrame(int x, int y, int w, int h) {
    WaitForFrameTick();
    platform::PresentSurface(x, y, w, h);
}

uint32_t PollInput() {
    platform::PumpEvents();
    SleepWhileInactive();
    return TakeKeyboardKeys() | ReadJoystickKeys();
}

}  // namespace koru
