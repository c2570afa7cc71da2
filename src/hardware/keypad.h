// The keypad: the key input register, read from the host once a frame, with
// the autofire pattern, and the keypad interrupt.
#pragma once
#include <cstdint>

namespace koru {

extern uint32_t AutoFirePhase;  // 0-7

// The frame's keypad step: asks the host for the keys, stores the key input
// register and raises the keypad interrupt when its condition holds.
void PollKeypad();

// Writes to the key input register (read-only) and the key control.
void KeypadRegisterWrite(uint32_t offset, uint16_t value);
void ResetKeypad();

}  // namespace koru
