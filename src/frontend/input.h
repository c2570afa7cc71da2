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
    VkTab = 0x09,
    VkReturn = 0x0D,
    VkShift = 0x10,
    VkControl = 0x11,
    VkMenu = 0x12,
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
extern uint8_t JoystickPresent;
extern JoystickCaps JoystickCapabilities;

// A key pressed (down = 1) or released; 1 when it was handled.
int KeyEvent(int virtualKey, int down);
// 0 or 1 sets the active flag and applies it to the sound; 2 only asks.
int SetActive(int mode);
// Once, while the window is made.
void DetectJoystick();
// The console keys a joystick position stands for.
uint32_t JoystickKeys(const JoystickCaps& caps, const JoystickPosition& position);
// The first joystick's keys now (0 without one or when it does not answer).
uint32_t ReadJoystickKeys();
// With "Sleep when inactive": blocks, handling events, while the emulation
// is inactive.
void SleepWhileInactive();

}  // namespace koru
