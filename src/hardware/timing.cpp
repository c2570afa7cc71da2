// Half-scanline timing. Each call ends one slice of processor cycles: the
// 960-cycle drawing part of a line or its 272-cycle horizontal blank. The
// timers are advanced by the slice's cycles at once, visible lines are drawn
// when the horizontal blank begins, and the frame's work (presentation, keys,
// sound) is done when line 160 begins.
#include "hardware/timing.h"

#include "cpu/cpu_state.h"
#include "hardware/dma.h"
#include "hardware/interrupts.h"
#include "hardware/keypad.h"
#include "hardware/registers.h"
#include "hardware/timers.h"
#include "machine/machine.h"
#include "machine/savefiles.h"
#include "machine/settings.h"
#include "sound/midilog.h"
#include "sound/sound.h"
#include "video/video.h"
#include "video/video_registers.h"

namespace koru {

uint32_t FrameSkipCounter;

namespace {

constexpr int32_t DrawingCycles = 960;
constexpr int32_t BlankCycles = 272;
constexpr uint16_t LinesPerFrame = 228;
constexpr uint16_t VisibleLines = 160;

// Starts every channel that is enabled with this start timing.
void StartDma(uint16_t start) {
    for (int c = 0; c < 4; ++c) {
        if ((IoRead16(IoDMACNT_H(c)) & DmaStartMask) == start) RunDma(c);
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

// The frame is shown, or skipped: with UpdatePeriod N one frame in N is
// drawn, the one whose lines were rendered.
void PresentOrSkipFrame() {
    if (FrameSkipCounter != 0) {
        --FrameSkipCounter;
        return;
    }
    PresentFrame();
    // A period of 0 or below would stop drawing for good.
    FrameSkipCounter = UpdatePeriod > 1 ? static_cast<uint32_t>(UpdatePeriod - 1) : 0;
}

// The sound's frame: 16 milliseconds of the MIDI log, of the channels'
// lengths, envelopes and sweep, then what changed is sent.
void AdvanceSound() {
    MidiLogTicks(16);
    SoundTick(SoundChip, 16);
    SoundFlush(SoundChip, 2);
}

}  // namespace

int32_t AdvanceScanline() {
    RunTimers(static_cast<int64_t>(CpuState.SliceCycles) - CpuState.Cycles);

    const uint16_t oldStatus = IoRead16(IoDISPSTAT);
    uint16_t status = static_cast<uint16_t>(oldStatus ^ DispStatHBlank);
    uint16_t line = IoRead16(IoVCOUNT);

    if (status & DispStatHBlank) {
        // The drawing part of the line has ended: horizontal blank.
        CpuState.SliceCycles = BlankCycles;
        if (line < VisibleLines) {
            if (FrameSkipCounter == 0) RenderLine(line);
            StartDma(DmaStartHBlank);
        }
    } else {
        // A new line begins.
        CpuState.SliceCycles = DrawingCycles;
        line = static_cast<uint16_t>((line + 1) % LinesPerFrame);
        IoStore16(IoVCOUNT, line);
        if ((status >> 8) == line) {
            status |= DispStatMatch;
        } else {
            status = static_cast<uint16_t>(status & ~DispStatMatch);
        }
        if (line < VisibleLines) {
            if (line == 0) status = static_cast<uint16_t>(status & ~DispStatVBlank);
            // Of the special start timing only channel 3's is started here,
            // once at the start of each visible line.
            if ((IoRead16(IoDMACNT_H(3)) & DmaStartMask) == DmaStartSpecial) RunDma(3);
        } else if (line == VisibleLines) {
            // The vertical blank begins: the frame's work, in this order.
            status |= DispStatVBlank;
            RenewNestedDmaBudget();
            PresentOrSkipFrame();
            StartDma(DmaStartVBlank);
            PollKeypad();
            if (ExitRequest) return -1;  // this call's status is not stored
            AdvanceSound();
            BatterySaveTick();
        }
    }

    // Blank and match interrupts fire on the flag's rising edge only.
    const uint16_t raised = (oldStatus ^ status) & status & (status >> 3) & DispStatFlags;
    IoStore16(IoDISPSTAT, status);
    if (raised) RaiseInterrupt(raised);

    return UpdateInterruptRequest();
}

}  // namespace koru
