// The first joystick through the multimedia joystick calls.
#include <windows.h>
#include <mmsystem.h>

#include "frontend/platform.h"

namespace koru::platform {

namespace {

// The first part of the capabilities record, up to the polling periods:
// the form every joystick driver fills.
constexpr UINT ShortCapsSize = 72;

// Whether the first joystick answered when last asked, and how many polls
// ago that was: asking for a joystick that is not there costs more than
// reading one, so it is done every so many polls.
bool Answered;
unsigned PollsSinceLook;
constexpr unsigned PollsPerLook = 30;

}  // namespace

int JoystickCount() { return static_cast<int>(joyGetNumDevs()); }

bool JoystickCapabilities(JoystickCaps* caps) {
    JOYCAPSA full{};
    // A driver that wants the whole record gets it.
    if (joyGetDevCapsA(JOYSTICKID1, &full, ShortCapsSize) != JOYERR_NOERROR &&
        joyGetDevCapsA(JOYSTICKID1, &full, sizeof full) != JOYERR_NOERROR) {
        Answered = false;
        return false;
    }
    *caps = JoystickCaps{full.wXmin, full.wXmax, full.wYmin, full.wYmax};
    Answered = true;
    return true;
}

bool JoystickRead(JoystickPosition* position) {
    JOYINFO info;
    if (joyGetPos(JOYSTICKID1, &info) != JOYERR_NOERROR) return false;
    *position = JoystickPosition{info.wXpos, info.wYpos, info.wButtons & 0xF};
    return true;
}

// The multimedia calls know no pad layouts.
bool GamepadKeys(uint32_t*) { return false; }

// A joystick plugged in later answers as soon as it is there, but its axes'
// ranges are only known once its capabilities are read again: without them
// every position would count as right and down.
bool JoystickArrived() {
    if (++PollsSinceLook < PollsPerLook) return false;
    PollsSinceLook = 0;
    JOYINFO info;
    const bool answers = joyGetPos(JOYSTICKID1, &info) == JOYERR_NOERROR;
    const bool arrived = answers && !Answered;
    Answered = answers;
    return arrived;
}

}  // namespace koru::platform
