#include "hardware/timers.h"

#include "hardware/interrupts.h"
#include "hardware/registers.h"

namespace koru {

int32_t TimerPrescale[4];
int32_t TimerCountdown[4];
int32_t TimerCounter[4];
uint32_t TimerReload[4];

namespace {

constexpr int32_t Prescales[4] = {1, 64, 256, 1024};

// The state file keeps the I/O area as it is, so its counter registers hold
// the running counts; the reload values go to reserved words 32-35 of the
// hardware block, and word 36 carries this mark to say so. A file of the
// earlier layout has no mark: its counter registers hold the reload values,
// as the registers then did, and the reader takes them from there.
constexpr uint32_t ReloadsMark = 0x4C524D54;  // "TMRL"
uint32_t ReloadsKept = ReloadsMark;

const StateWords TimerWords[] = {
    {8, 4, StateBits(TimerPrescale)},
    {12, 4, StateBits(TimerCountdown)},
    {32, 4, TimerReload},
    {36, 1, &ReloadsKept},
};

// The running count is what the counter register shows.
void ShowCount(uint32_t n) { IoStore16(IoTMCNT_L(n), static_cast<uint16_t>(TimerCounter[n])); }

void TimersLoaded() {
    for (uint32_t n = 0; n < 4; ++n) {
        const uint16_t shown = IoRead16(IoTMCNT_L(n));
        TimerReload[n] = ReloadsKept == ReloadsMark ? TimerReload[n] & 0xFFFF : shown;
        TimerCounter[n] = shown;
    }
    ReloadsKept = ReloadsMark;
}

// A prescale is a divisor, so only the machine's own values may come in.
bool TimerWordsValid(const uint32_t* block) {
    for (int n = 0; n < 4; ++n) {
        const int32_t prescale = static_cast<int32_t>(block[8 + n]);
        const int32_t countdown = static_cast<int32_t>(block[12 + n]);
        bool known = prescale == 0;
        for (int32_t p : Prescales) known = known || prescale == p;
        if (!known) return false;
        if (countdown < 0 || countdown > prescale) return false;
        // A countdown of 0 marks a timer that counts the overflows of the
        // one before it; timer 0 has none before it.
        if (n == 0 && prescale != 0 && countdown == 0) return false;
    }
    return true;
}

}  // namespace

const StateUnit TimerStateUnit = MakeStateUnit(TimerWords, TimerWordsValid, TimersLoaded);

// A timer ticks at most once per call, however many prescale periods the
// slice covered; the countdown keeps its phase. The arithmetic is done in 64
// bits so that no value a state file or a long transfer leaves behind can
// overflow it.
void RunTimers(int64_t elapsed) {
    bool previousOverflowed = false;
    for (uint32_t n = 0; n < 4; ++n) {
        const bool chained = previousOverflowed;
        previousOverflowed = false;
        const int32_t prescale = TimerPrescale[n];
        if (prescale == 0) continue;
        bool ticked;
        if (TimerCountdown[n] == 0) {
            ticked = chained;  // count-up: moves only when the timer before overflowed
        } else {
            int64_t left = TimerCountdown[n] - elapsed;
            ticked = left <= 0;
            if (ticked) left = left % prescale + prescale;
            TimerCountdown[n] = static_cast<int32_t>(left);
        }
        if (!ticked) continue;
        const int64_t counter = static_cast<int64_t>(TimerCounter[n]) + 1;
        if (counter > 0xFFFF) {
            TimerCounter[n] = static_cast<int32_t>(TimerReload[n]);
            if (IoRead16(IoTMCNT_H(n)) & TimerIrq) RaiseInterrupt(static_cast<uint16_t>(IrqTimer0 << n));
            previousOverflowed = true;
        } else {
            TimerCounter[n] = static_cast<int32_t>(counter);
        }
        ShowCount(n);
    }
}

void TimerRegisterWrite(uint32_t offset, uint16_t v) {
    const uint32_t n = (offset - IoTM0CNT_L) / 4;
    if (offset == IoTMCNT_L(n)) {
        // The running counter takes the value at once, and keeps it as its
        // reload value.
        TimerReload[n] = v;
        TimerCounter[n] = v;
        IoStore16(offset, v);
        return;
    }
    // A timer that starts counts from its reload value, as on the console:
    // a program that stops and starts a timer to measure a span reads the
    // span, not the sum of all of them.
    if ((v & TimerEnable) && TimerPrescale[n] == 0) {
        TimerCounter[n] = static_cast<int32_t>(TimerReload[n]);
        ShowCount(n);
    }
    const int32_t prescale = (v & TimerEnable) ? Prescales[v & TimerPrescaleField] : 0;
    TimerPrescale[n] = prescale;
    // Timer 0 has nothing to count up from.
    TimerCountdown[n] = (n > 0 && (v & TimerCountUp)) ? 0 : prescale;
    IoStore16(offset, v);
}

void ResetTimers() {
    for (int n = 0; n < 4; ++n) {
        TimerCountdown[n] = TimerPrescale[n] = TimerCounter[n] = 0;
        TimerReload[n] = 0;
        ShowCount(n);
    }
}

}  // namespace koru
