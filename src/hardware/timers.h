// The four timers: prescaled counters advanced once per half-line step, with
// the count-up chain and the overflow interrupts.
#pragma once
#include <cstdint>

#include "machine/state_words.h"

namespace koru {

extern int32_t TimerPrescale[4];   // cycles per tick, 0 = stopped
extern int32_t TimerCountdown[4];  // cycles to the next tick, 0 = count-up
extern int32_t TimerCounter[4];    // running counter, above 0xFFFF = overflow
// The reload value the program last wrote to the counter register: the
// register itself reads the running count, which the timers store there at
// every half-line step.
extern uint32_t TimerReload[4];

// Advances the timers by the cycles of the slice that has just ended.
void RunTimers(int64_t elapsed);

// Writes to the counter/reload and control registers.
void TimerRegisterWrite(uint32_t offset, uint16_t value);
void ResetTimers();

extern const StateUnit TimerStateUnit;

}  // namespace koru
