// The first joystick through SDL2's joystick subsystem (only that one: no
// window, audio or event handling of SDL's own).
#include <SDL.h>

#include "frontend/platform.h"

namespace koru::platform {

namespace {

SDL_Joystick* Joystick;

// SDL's axes run from -32768 to 32767; the logic wants them unsigned.
constexpr uint32_t AxisMax = 65535;

}  // namespace

int JoystickCount() {
    // SDL must not take over the signals that end the program.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return 0;
    const int count = SDL_NumJoysticks();
    if (count > 0) Joystick = SDL_JoystickOpen(0);
    return Joystick ? count : 0;
}

bool JoystickCapabilities(JoystickCaps* caps) {
    *caps = JoystickCaps{0, AxisMax, 0, AxisMax};
    return Joystick != nullptr;
}

bool JoystickRead(JoystickPosition* position) {
    if (!Joystick) return false;
    SDL_JoystickUpdate();
    if (!SDL_JoystickGetAttached(Joystick)) return false;
    position->x = static_cast<uint32_t>(SDL_JoystickGetAxis(Joystick, 0) + 32768);
    position->y = static_cast<uint32_t>(SDL_JoystickGetAxis(Joystick, 1) + 32768);
    position->buttons = 0;
    const int buttons = SDL_JoystickNumButtons(Joystick);
    for (int i = 0; i < 4 && i < buttons; ++i) {
        if (SDL_JoystickGetButton(Joystick, i)) position->buttons |= 1u << i;
    }
    return true;
}

}  // namespace koru::platform
