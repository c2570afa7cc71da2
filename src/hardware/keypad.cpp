#include "hardware/keypad.h"

#include "hardware/interrupts.h"
#include "hardware/registers.h"
#include "machine/host.h"
#include "machine/settings.h"

namespace koru {

uint32_t AutoFirePhase;

namespace {

// Key input register: 1 = released; bits 10-15 always read 1. Autofire keys
// read as released on phases 4-7 of every eight frames.
uint16_t ReadKeypad() {
    const uint32_t keys = PollInput() & 0xFFFF;
    uint16_t value = static_cast<uint16_t>(~keys | 0xFC00);
    IoStore16(IoKEYINPUT, value);
    AutoFirePhase = (AutoFirePhase + 1) & 7;
    if (AutoFirePhase & 4) {
        value = static_cast<uint16_t>(value | AutoFire);
        IoStore16(IoKEYINPUT, value);
    }
    return value;
}

// The keypad interrupt: the enable bit, the selected keys, and whether all
// of them (else any) must be pressed.
void CheckKeypadInterrupt(uint16_t value) {
    const uint16_t control = IoRead16(IoKEYCNT);
    if ((control & (KeyCntIrq | KeyCntKeys)) <= KeyCntIrq) return;
    const uint16_t pressed = static_cast<uint16_t>(~value);
    const bool holds = (control & KeyCntAll) ? (control & ~pressed & KeyCntKeys) == 0
                                             : (control & pressed & KeyCntKeys) != 0;
    if (holds) RaiseInterrupt(IrqKeypad);
}

}  // namespace

void PollKeypad() { CheckKeypadInterrupt(ReadKeypad()); }

void KeypadRegisterWrite(uint32_t offset, uint16_t v) {
    // The key input register shows the keys; the program cannot change it.
    if (offset == IoKEYINPUT) return;
    IoStore16(offset, v);
}

void ResetKeypad() {
    IoStore16(IoKEYINPUT, 0xFFFF);  // no key pressed
    IoStore16(IoKEYCNT, 0);
}

}  // namespace koru
