#include "frontend/input.h"

#include <cstdio>

#include "frontend/commands.h"
#include "frontend/resources.h"
#include "frontend/sound_devices.h"
#include "machine/machine.h"
#include "machine/settings.h"

namespace koru {

uint32_t KeyboardKeys;
uint32_t EmulationActive;
uint32_t TappedKeys;
uint8_t Paused;
uint8_t FastForward;
uint8_t JoystickPresent;
JoystickCaps JoystickCapabilities;

// Searched from the top. The bottom letter row is B, the middle row A, and
// the top row alternates L and R from the left.
const KeyMapEntry KeyMap[] = {
    {VkReturn, KeyStart}, {VkTab, KeySelect}, {VkControl, KeyB}, {VkSpace, KeyA},
    {VkDown, KeyDown},    {VkUp, KeyUp},      {VkLeft, KeyLeft}, {VkRight, KeyRight},
    {'Z', KeyB}, {'X', KeyB}, {'C', KeyB}, {'V', KeyB}, {'B', KeyB}, {'N', KeyB}, {'M', KeyB},
    {'A', KeyA}, {'S', KeyA}, {'D', KeyA}, {'F', KeyA}, {'G', KeyA}, {'H', KeyA}, {'J', KeyA},
    {'K', KeyA}, {'L', KeyA},
    {'Q', KeyL}, {'E', KeyL}, {'T', KeyL}, {'U', KeyL}, {'O', KeyL},
    {'W', KeyR}, {'R', KeyR}, {'Y', KeyR}, {'I', KeyR}, {'P', KeyR},
    {0, 0},
};

int KeyEvent(int virtualKey, int down) {
    for (const KeyMapEntry* entry = KeyMap; entry->virtualKey; ++entry) {
        if (entry->virtualKey != virtualKey) continue;
        // Keys share bits: releasing one key of a row releases the console
        // key even while another key of that row is held.
        if (down) {
            KeyboardKeys |= entry->consoleKey;
            TappedKeys |= entry->consoleKey;
        } else {
            KeyboardKeys &= ~entry->consoleKey;
        }
        return 1;
    }
    if (!down) {
        if (virtualKey != FastForwardKey) return 0;
        SetFastForward(false);
        return 1;
    }
    return KeyCommand(virtualKey);
}

uint32_t TakeKeyboardKeys() {
    const uint32_t keys = KeyboardKeys | TappedKeys;
    TappedKeys = 0;
    return keys;
}

int32_t AudibleSwitches(int32_t switches) { return Paused || FastForward ? 0 : switches; }

namespace {

void ShowPlayState() {
    char caption[64];
    std::snprintf(caption, sizeof caption, "%s%s", WindowCaption,
                  Paused ? " - paused" : FastForward ? " - fast-forward" : "");
    platform::SetCaption(caption);
    SetSoundVolume(SoundVolume, EmulationActive ? AudibleSwitches(SoundSwitch) : 0);
}

}  // namespace

void SetPaused(bool paused) {
    if (Paused == paused) return;
    Paused = paused;
    ShowPlayState();
}

void SetFastForward(bool on) {
    if (FastForward == on) return;
    FastForward = on;
    ShowPlayState();
}

int SetActive(int mode) {
    if (mode == 2) return static_cast<int>(EmulationActive);
    EmulationActive = static_cast<uint32_t>(mode);
    SetSoundVolume(SoundVolume, mode ? AudibleSwitches(SoundSwitch) : 0);
    return static_cast<int>(EmulationActive);
}

void DetectJoystick() {
    JoystickPresent = static_cast<uint8_t>(platform::JoystickCount() & 0xFF);
    if (JoystickPresent) platform::JoystickCapabilities(&JoystickCapabilities);
}

uint32_t JoystickKeys(const JoystickCaps& caps, const JoystickPosition& position) {
    uint32_t keys = 0;
    const uint32_t thirdX = (caps.xMax - caps.xMin) / 3;
    if (position.x < caps.xMin + thirdX) keys |= KeyLeft;
    else if (position.x > caps.xMax - thirdX) keys |= KeyRight;
    const uint32_t thirdY = (caps.yMax - caps.yMin) / 3;
    if (position.y < caps.yMin + thirdY) keys |= KeyUp;
    else if (position.y > caps.yMax - thirdY) keys |= KeyDown;
    if (position.buttons & 1) keys |= KeyA;
    if (position.buttons & 2) keys |= KeyB;
    if (position.buttons & 4) keys |= KeyL;
    if (position.buttons & 8) keys |= KeyR;
    return keys;
}

uint32_t ReadJoystickKeys() {
    uint32_t pad;
    if (platform::GamepadKeys(&pad)) return pad;
    // A joystick plugged in after start-up is taken up, where the platform
    // can tell.
    if (platform::JoystickArrived()) DetectJoystick();
    if (!JoystickPresent) return 0;
    JoystickPosition position;
    if (!platform::JoystickRead(&position)) return 0;
    return JoystickKeys(JoystickCapabilities, position);
}

void SleepWhileInactive() {
    for (;;) {
        const bool inactive = SaveCPU && SetActive(2) == 0;
        // A pause ends with the Pause key, or when the run must stop (a new
        // cartridge, Reset in Setup).
        const bool paused = Paused && !ExitRequest;
        if (!inactive && !paused) return;
        if (!platform::WaitForEvent()) return;
    }
}

}  // namespace koru
