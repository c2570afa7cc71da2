// The first joystick through SDL2 (only that one: no window, audio or event
// handling of SDL's own). A pad whose layout SDL knows is read through its
// game controller calls, so that any pad's A, B, L, R, Start, Select and
// d-pad are those keys; any other device by the joystick rule. Devices
// plugged in while the program runs are taken up.
#include <SDL.h>

#include "frontend/input.h"
#include "frontend/platform.h"

namespace koru::platform {

namespace {

SDL_Joystick* Joystick;      // the device in use, or null
SDL_GameController* Pad;     // the same device when SDL knows its layout
bool Started;
uint32_t PollsSinceLook;

// SDL's axes run from -32768 to 32767; the logic wants them unsigned.
constexpr uint32_t AxisMax = 65535;
// How often, in polls (frames), to look for a device plugged in: asking
// for devices costs more than reading one.
constexpr uint32_t PollsPerLook = 30;

bool Start() {
    if (Started) return true;
    // SDL must not take over the signals that end the program.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // The game controller calls bring the joystick calls with them.
    Started = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    return Started;
}

void Close() {
    if (Pad) SDL_GameControllerClose(Pad);
    else if (Joystick) SDL_JoystickClose(Joystick);
    Pad = nullptr;
    Joystick = nullptr;
}

void OpenFirst() {
    Close();
    if (SDL_NumJoysticks() <= 0) return;
    if (SDL_IsGameController(0)) {
        Pad = SDL_GameControllerOpen(0);
        if (Pad) Joystick = SDL_GameControllerGetJoystick(Pad);
    }
    if (!Joystick) Joystick = SDL_JoystickOpen(0);
}

// The joystick rule's thirds, on a signed axis.
uint32_t AxisKeys(int16_t value, uint32_t low, uint32_t high) {
    constexpr int Third = 65535 / 3;
    if (value + 32768 < Third) return low;
    if (value + 32768 > 65535 - Third) return high;
    return 0;
}

}  // namespace

int JoystickCount() {
    if (!Start()) return 0;
    const int count = SDL_NumJoysticks();
    OpenFirst();
    return Joystick ? count : 0;
}

bool JoystickCapabilities(JoystickCaps* caps) {
    *caps = JoystickCaps{0, AxisMax, 0, AxisMax};
    return Joystick != nullptr;
}

bool JoystickRead(JoystickPosition* position) {
    if (!Joystick || Pad) return false;
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

bool GamepadKeys(uint32_t* keys) {
    if (!Pad) return false;
    SDL_GameControllerUpdate();
    if (!SDL_GameControllerGetAttached(Pad)) {
        Close();
        return false;
    }
    struct Button {
        SDL_GameControllerButton button;
        uint32_t key;
    };
    static constexpr Button Buttons[] = {
        {SDL_CONTROLLER_BUTTON_A, KeyA},
        {SDL_CONTROLLER_BUTTON_B, KeyB},
        {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, KeyL},
        {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, KeyR},
        {SDL_CONTROLLER_BUTTON_START, KeyStart},
        {SDL_CONTROLLER_BUTTON_BACK, KeySelect},
        {SDL_CONTROLLER_BUTTON_DPAD_UP, KeyUp},
        {SDL_CONTROLLER_BUTTON_DPAD_DOWN, KeyDown},
        {SDL_CONTROLLER_BUTTON_DPAD_LEFT, KeyLeft},
        {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, KeyRight},
    };
    uint32_t held = 0;
    for (const Button& b : Buttons) {
        if (SDL_GameControllerGetButton(Pad, b.button)) held |= b.key;
    }
    // The left stick steers too, by the joystick rule's thirds.
    held |= AxisKeys(SDL_GameControllerGetAxis(Pad, SDL_CONTROLLER_AXIS_LEFTX), KeyLeft, KeyRight);
    held |= AxisKeys(SDL_GameControllerGetAxis(Pad, SDL_CONTROLLER_AXIS_LEFTY), KeyUp, KeyDown);
    *keys = held;
    return true;
}

bool JoystickArrived() {
    if (!Started || ++PollsSinceLook < PollsPerLook) return false;
    PollsSinceLook = 0;
    // Also notices devices plugged in or pulled out.
    SDL_JoystickUpdate();
    if (Joystick && SDL_JoystickGetAttached(Joystick)) return false;
    Close();
    return SDL_NumJoysticks() > 0;
}

}  // namespace koru::platform
