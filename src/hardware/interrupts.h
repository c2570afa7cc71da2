// The interrupt controller (enable, request flags, master enable) and the
// halt of the power-down register, which only an interrupt ends.
#pragma once
#include <cstdint>

#include "machine/state_words.h"

namespace koru {

// The halt, a state machine of three states:
//   0  running;
//   1  halted: the power-down write is executed again at every slice, so
//      the processor spends its halt between half-line steps;
//   2  an interrupt arrived while halted: the next execution of that write
//      lets the processor go on.
// HaltWrite (the processor writing the power-down register) moves 0 -> 1
// when some interrupt could end the halt, and 2 -> 0. UpdateInterruptRequest
// (every half-line step) moves 1 -> 2 when an interrupt is pending. A wait
// of the BIOS services that found its interrupt already requested, the
// reset and a loaded state put it back to 0 (or what the state holds).
extern uint32_t HaltState;

// IE AND IF with the master enable on.
bool InterruptPending();
// Sets request flags (IrqVBlank, IrqTimer0 << n, ...); the pending state is
// computed at the next half-line step, or at once by a write to an
// interrupt register.
void RaiseInterrupt(uint16_t flags);
// The end of every half-line step: sets the processor's interrupt request
// from the registers, moves a halt on (1 -> 2) when one is pending, and
// returns 1 when one is pending, else 0.
int32_t UpdateInterruptRequest();

// Writes to IE, IF (a 1 acknowledges that request), IME and the power-down
// register.
void InterruptRegisterWrite(uint32_t offset, uint16_t value);
void HaltWrite(uint32_t offset, uint16_t value);
void ResetInterrupts();

extern const StateUnit InterruptStateUnit;

}  // namespace koru
