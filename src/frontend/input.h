// Keyboard and joystick as the console's ten keys, and the pause while the
// window is inactive.
#pragma once
#include <cstdint>

#include "frontend/platform.h"

namespace koru {

// Console key bits (1 = held).
constexpr uint32_t KeyA = 0x001;
constexpr uint32_t KeyB = 0x002;
constexpr uint32_t KeySelect = 0x004;
constexpr uint32_t KeyStart = 0x008;
constexpr uint32_t KeyRight = 0x010;
constexpr uint32_t KeyLeft = 0x020;
constexpr uint32_t KeyUp = 0x040;
constexpr uint32_t KeyDown = 0x080;
constexpr uint32_t KeyR = 0x100;
constexpr uint32_t KeyL = 0x200;

// Virtual-key codes: the keyboard's keys as the program knows them.
enum VirtualKey : int {
    VkBack = 0x08,
    VkTab = 0x09,
    VkReturn = 0x0D,
    VkShift = 0x10,
    VkControl = 0x11,
    VkMenu = 0x12,
    VkPause = 0x13,
    VkEscape = 0x1B,
    VkSpace = 0x20,
    VkLeft = 0x25,
    VkUp = 0x26,
    VkRight = 0x27,
    VkDown = 0x28,
    Vk0 = 0x30,
    VkA = 0x41,
    VkAdd = 0x6B,
    VkSubtract = 0x6D,
    VkF1 = 0x70,
    VkF9 = 0x78,
    VkF12 = 0x7B,
    VkOemPlus = 0xBB,
    VkOemMinus = 0xBD,
};

struct KeyMapEntry {
    int virtualKey;  // 0 ends the table
    uint32_t consoleKey;
};
extern const KeyMapEntry KeyMap[];

extern uint32_t KeyboardKeys;     // console keys held on the keyboard
extern uint32_t EmulationActive;  // 1 while the emulation may run
// Console keys pressed since the last poll: a tap shorter than a frame is
// pressed and released between two polls, and counts as held for the next.
extern uint32_t TappedKeys;

// Keys the console's layout leaves free, for what players expect of an
// emulator: Pause stops and resumes the game, Backspace held runs it as fast
// as it goes (tone generators silent), F9 writes a picture beside the
// cartridge.
constexpr int PauseKey = VkPause;
constexpr int FastForwardKey = VkBack;
constexpr int ScreenshotKey = VkF9;
extern uint8_t Paused;
extern uint8_t FastForward;
extern uint8_t JoystickPresent;
extern JoystickCaps JoystickCapabilities;

// A key pressed (down = 1) or released; 1 when it was handled.
int KeyEvent(int virtualKey, int down);
// The keyboard's console keys for this poll: those held and those tapped
// since the last one.
uint32_t TakeKeyboardKeys();
// The channel switches to send to the sound output: none while the game is
// paused or fast-forwarded.
int32_t AudibleSwitches(int32_t switches);
// Pause on or off, and fast-forward; each applies itself to the sound and
// the caption.
void SetPaused(bool paused);
void SetFastForward(bool on);
// 0 or 1 sets the active flag and applies it to the sound; 2 only asks.
int SetActive(int mode);
// Once, while the window is made.
void DetectJoystick();
// The console keys a joystick position stands for.
uint32_t JoystickKeys(const JoystickCaps& caps, const JoystickPosition& position);
// The first joystick's keys now (0 without one or when it does not answer).
uint32_t ReadJoystickKeys();
// With "Sleep when inactive": blocks, handling events, while the emulation
// is inactive; and while the player paused it, until a run is asked to stop.
void SleepWhileInactive();

}  // namespace koru
