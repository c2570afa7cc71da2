// The first joystick through the multimedia joystick calls.
#include <windows.h>
#include <mmsystem.h>

#include "frontend/platform.h"

namespace koru::platform {

namespace {

// The first part of the capabilities record, up to the polling periods:
// the form every joystick driver fills.
constexpr UINT ShortCapsSize = 72;

}  // namespace

int JoystickCount() { return static_cast<int>(joyGetNumDevs()); }

bool JoystickCapabilities(JoystickCaps* caps) {
    JOYCAPSA full{};
    // A driver that wants the whole record gets it.
    if (joyGetDevCapsA(JOYSTICKID1, &full, ShortCapsSize) != JOYERR_NOERROR &&
        joyGetDevCapsA(JOYSTICKID1, &full, sizeof full) != JOYERR_NOERROR) {
        return false;
    }
    *caps = JoystickCaps{full.wXmin, full.wXmax, full.wYmin, full.wYmax};
    return true;
}

bool JoystickRead(JoystickPosition* position) {
    JOYINFO info;
    if (joyGetPos(JOYSTICKID1, &info) != JOYERR_NOERROR) return false;
    *position = JoystickPosition{info.wXpos, info.wYpos, info.wButtons & 0xF};
    return true;
}

// The multimedia calls know no pad layouts; a joystick plugged in later
// answers joyGetPos as soon as it is there.
bool GamepadKeys(uint32_t*) { return false; }
bool JoystickArrived() { return false; }

}  // namespace koru::platform
