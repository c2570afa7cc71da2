// Half-scanline timing. Each call ends one slice of processor cycles: the
// 960-cycle drawing part of a line or its 272-cycle horizontal blank. The
// timers are advanced by the slice's cycles at once, visible lines are drawn
// when the horizontal blank begins, and the frame's work (presentation, keys,
// sound) is done when line 160 begins.
#include "hardware/timing.h"

#include "cpu/cpu_state.h"
#include "hardware/dma.h"
#include "hardware/io.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/savefiles.h"
#include "machine/settings.h"
#include "sound/midilog.h"
#include "sound/sound.h"
#include "video/video.h"

namespace koru {

int32_t TimerPrescale[4];
int32_t TimerCountdown[4];
int32_t TimerCounter[4];
uint32_t FrameSkipCounter;
uint32_t AutoFirePhase;

namespace {

constexpr int32_t DrawingCycles = 960;
constexpr int32_t BlankCycles = 272;
constexpr uint16_t LinesPerFrame = 228;
constexpr uint16_t VisibleLines = 160;

inline uint16_t IoHalf(uint32_t offset) { return Peek16(IoRam + offset); }
inline void StoreHalf(uint32_t offset, uint16_t v) { Poke16(IoRam + offset, v); }
inline void RaiseFlags(uint16_t bits) { StoreHalf(0x202, static_cast<uint16_t>(IoHalf(0x202) | bits)); }
inline uint16_t DmaControl(int c) { return IoHalf(0x0BA + 12 * c); }

// A timer ticks at most once per call, however many prescale periods the
// slice covered; the countdown keeps its phase. The arithmetic is done in 64
// bits so that no value a state file or a long transfer leaves behind can
// overflow it.
void RunTimers(int64_t elapsed) {
    bool previousOverflowed = false;
    for (int n = 0; n < 4; ++n) {
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
            TimerCounter[n] = IoHalf(0x100 + 4 * n);
            if (IoHalf(0x102 + 4 * n) & 0x0040) RaiseFlags(static_cast<uint16_t>(0x0008 << n));
            previousOverflowed = true;
        } else {
            TimerCounter[n] = static_cast<int32_t>(counter);
        }
    }
}

void RenderLine(uint16_t line) {
    if (line == 0) {
        for (BgAffineRecord& bg : BgAffineState) {
            bg.curX = bg.refX;
            bg.curY = bg.refY;
        }
    }
    RenderScanline();
    // Unsigned so that wrapping reference points stay defined.
    for (BgAffineRecord& bg : BgAffineState) {
        bg.curX = static_cast<int32_t>(static_cast<uint32_t>(bg.curX) + static_cast<uint32_t>(bg.pb));
        bg.curY = static_cast<int32_t>(static_cast<uint32_t>(bg.curY) + static_cast<uint32_t>(bg.pd));
    }
}

// Key input register: 1 = released; bits 10-15 always read 1. Autofire keys
// read as released on phases 4-7 of every eight frames.
uint16_t ReadKeypad() {
    const uint32_t keys = PollInput() & 0xFFFF;
    uint16_t value = static_cast<uint16_t>(~keys | 0xFC00);
    StoreHalf(0x130, value);
    AutoFirePhase = (AutoFirePhase + 1) & 7;
    if (AutoFirePhase & 4) {
        value = static_cast<uint16_t>(value | AutoFire);
        StoreHalf(0x130, value);
    }
    return value;
}

// The keypad interrupt: bit 14 of the key control enables it, bits 0-9
// select keys, bit 15 asks for all of them (else any).
void CheckKeypadInterrupt(uint16_t value) {
    const uint16_t control = IoHalf(0x132);
    if ((control & 0x43FF) <= 0x4000) return;
    const uint16_t pressed = static_cast<uint16_t>(~value);
    const bool holds = (control & 0x8000) ? (control & ~pressed & 0x03FF) == 0 : (control & pressed & 0x03FF) != 0;
    if (holds) RaiseFlags(0x1000);
}

}  // namespace

int32_t AdvanceScanline() {
    RunTimers(static_cast<int64_t>(CpuState.SliceCycles) - CpuState.Cycles);

    const uint16_t oldStatus = IoHalf(0x004);
    uint16_t status = static_cast<uint16_t>(oldStatus ^ 0x0002);
    uint16_t line = IoHalf(0x006);

    if (status & 0x0002) {
        // The drawing part of the line has ended: horizontal blank.
        CpuState.SliceCycles = BlankCycles;
        if (line < VisibleLines) {
            if (FrameSkipCounter == 0) RenderLine(line);
            for (int c = 0; c < 4; ++c) {
                if ((DmaControl(c) & 0xB000) == 0xA000) RunDma(c);
            }
        }
    } else {
        // A new line begins.
        CpuState.SliceCycles = DrawingCycles;
        line = static_cast<uint16_t>((line + 1) % LinesPerFrame);
        StoreHalf(0x006, line);
        if ((status >> 8) == line) {
            status |= 0x0004;
        } else {
            status = static_cast<uint16_t>(status & ~0x0004);
        }
        if (line < VisibleLines) {
            if (line == 0) status = static_cast<uint16_t>(status & ~0x0001);
            if ((DmaControl(3) & 0xB000) == 0xB000) RunDma(3);
        } else if (line == VisibleLines) {
            status |= 0x0001;
            RenewNestedDmaBudget();
            if (FrameSkipCounter != 0) {
                --FrameSkipCounter;
            } else {
                PresentFrame();
                // A period of 0 or below would stop drawing for good.
                FrameSkipCounter = UpdatePeriod > 1 ? static_cast<uint32_t>(UpdatePeriod - 1) : 0;
            }
            for (int c = 0; c < 4; ++c) {
                if ((DmaControl(c) & 0xB000) == 0x9000) RunDma(c);
            }
            CheckKeypadInterrupt(ReadKeypad());
            if (ExitRequest) return -1;
            MidiLogTicks(16);
            SoundTick(SoundChip, 16);
            SoundFlush(SoundChip, 2);
            BatterySaveTick();
        }
    }

    // Blank and match interrupts fire on the flag's rising edge only.
    const uint16_t raised = (oldStatus ^ status) & status & (status >> 3) & 7;
    StoreHalf(0x004, status);
    if (raised) RaiseFlags(raised);

    const int32_t pending = ((IoHalf(0x208) & 1) && (IoHalf(0x200) & IoHalf(0x202))) ? 1 : 0;
    CpuState.IrqRequest = static_cast<uint32_t>(pending);
    if (pending && HaltState == 1) HaltState = 2;
    return pending;
}

}  // namespace koru
