// Writes to the hardware registers. Reads of the I/O area are plain memory
// reads, so everything a register does happens here: the value is stored
// (sometimes changed, sometimes not at all) and the register's side effect is
// performed on the state the rest of the machine keeps outside the I/O area.
#include "hardware/io.h"

#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "hardware/dma.h"
#include "hardware/timing.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "sound/sound.h"

namespace koru {

uint32_t BgOrder[4];
BgAffineRecord BgAffineState[2];
BlendRecord BlendCoefficients;
uint32_t HaltState;

// The sound registers in the older handheld's numbering, from byte offset
// 0x060 on; 0xFF marks bytes without a register there.
const uint8_t SoundRegisterMap[0x40] = {
    // 0x60-0x6F
    0x00, 0xFF, 0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0x06, 0x07, 0xFF, 0xFF, 0x08, 0x09, 0xFF, 0xFF,
    // 0x70-0x7F
    0x0A, 0xFF, 0x0B, 0x0C, 0x0D, 0x0E, 0xFF, 0xFF, 0x10, 0x11, 0xFF, 0xFF, 0x12, 0x13, 0xFF, 0xFF,
    // 0x80-0x8F
    0x14, 0x15, 0xFF, 0xFF, 0x16, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    // 0x90-0x9F: the wave pattern
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
};

namespace {

inline uint16_t IoHalf(uint32_t offset) { return Peek16(IoRam + offset); }
inline void StoreHalf(uint32_t offset, uint16_t v) { Poke16(IoRam + offset, v); }

inline int32_t SignExtend16(uint16_t v) { return static_cast<int16_t>(v); }

// The 28-bit reference point held in the halfwords at low and low + 2.
inline int32_t ReferencePoint(uint32_t low) {
    const uint32_t raw = (static_cast<uint32_t>(IoHalf(low + 2)) << 16) | IoHalf(low);
    return static_cast<int32_t>(raw << 4) >> 4;
}

// Keeps BgOrder sorted in descending order of (priority, number): only the
// changed background moves, and only when its priority changed.
void UpdateBgOrder(uint32_t n, uint16_t v) {
    const uint32_t key = v | (n << 28) | ((v & 3u) << 30);
    int i = 0;
    while (i < 3 && ((BgOrder[i] >> 28) & 3) != n) ++i;
    if ((BgOrder[i] >> 30) == (key >> 30)) {
        BgOrder[i] = key;
        return;
    }
    while (i > 0 && key > BgOrder[i - 1]) {
        BgOrder[i] = BgOrder[i - 1];
        --i;
    }
    while (i < 3 && key < BgOrder[i + 1]) {
        BgOrder[i] = BgOrder[i + 1];
        ++i;
    }
    BgOrder[i] = key;
}

// Recomputes the processor's interrupt request from the master enable, the
// enable register and the given request flags; a pending request also ends
// the slice so that the CPU loop sees it before the next instruction.
void RecheckInterrupts(uint16_t flags) {
    const bool pending = (IoHalf(0x208) & 1) && (IoHalf(0x200) & flags);
    CpuState.IrqRequest = pending ? 1 : 0;
    if (pending) SignalIrq(CpuState);
}

// The halting store is executed again at the start of every slice until an
// interrupt arrives, so the processor spends its halt between two half-line
// steps without running any instruction. That works only for the processor's
// own store: a DMA transfer that reaches the register would move R15 back
// once per unit written, into whatever came before, so such a write is only
// stored.
void HaltStep() {
    if (DmaRunning()) return;
    switch (HaltState) {
    case 0:
        // A halt that no interrupt could end is not entered.
        if (!(IoHalf(0x208) & 1) || IoHalf(0x200) == 0) return;
        HaltState = 1;
        [[fallthrough]];
    case 1:
        CpuState.R[15] -= (CpuState.CPSR & FlagT) ? 2 : 4;
        CpuState.Cycles = 0;
        return;
    default:
        HaltState = 0;
        return;
    }
}

}  // namespace

void IoWrite(uint32_t address, uint16_t v) {
    const uint32_t offset = address & 0xFFE;
    if (Verbose & 0x02) Log("Wrote %04Xh to IO[%03Xh] at %d\n", v, offset, IoHalf(0x006));

    switch (offset) {
    case 0x004:  // display status: the blank and match flags are read-only
        StoreHalf(offset, static_cast<uint16_t>((v & 0xFFF8) | (IoHalf(offset) & 0x0007)));
        return;
    case 0x006:  // vertical counter
    case 0x130:  // key input
        return;
    case 0x008:
    case 0x00A:
    case 0x00C:
    case 0x00E:
        UpdateBgOrder((offset - 0x008) / 2, v);
        break;
    case 0x020:
    case 0x022:
    case 0x024:
    case 0x026:
    case 0x030:
    case 0x032:
    case 0x034:
    case 0x036: {
        BgAffineRecord& bg = BgAffineState[offset >= 0x030];
        int32_t* parameters[4] = {&bg.pa, &bg.pb, &bg.pc, &bg.pd};
        *parameters[(offset & 7) / 2] = SignExtend16(v);
        break;
    }
    case 0x028:
    case 0x02A:
    case 0x038:
    case 0x03A: {
        StoreHalf(offset, v);
        BgAffineRecord& bg = BgAffineState[offset >= 0x038];
        bg.refX = bg.curX = ReferencePoint(offset & ~2u);
        return;
    }
    case 0x02C:
    case 0x02E:
    case 0x03C:
    case 0x03E: {
        StoreHalf(offset, v);
        BgAffineRecord& bg = BgAffineState[offset >= 0x03C];
        bg.refY = bg.curY = ReferencePoint(offset & ~2u);
        return;
    }
    case 0x052:
        BlendCoefficients.firstWeight = (v & 0x0010) ? 16 : (v & 0x000F);
        BlendCoefficients.secondWeight = (v & 0x1000) ? 16 : ((v >> 8) & 0x000F);
        break;
    case 0x054:
        BlendCoefficients.brightWeight = (v & 0x0010) ? 16 : (v & 0x000F);
        break;
    case 0x0BA:
    case 0x0C6:
    case 0x0D2:
    case 0x0DE:
        StoreHalf(offset, v);
        // A channel already running (this write came from its own transfer)
        // is not started again: RunDma refuses nested starts.
        if ((v & 0xB000) == 0x8000) RunDma(static_cast<int>((offset - 0x0BA) / 12));
        return;
    case 0x100:
    case 0x104:
    case 0x108:
    case 0x10C:
        TimerCounter[(offset - 0x100) / 4] = v;
        break;
    case 0x102:
    case 0x106:
    case 0x10A:
    case 0x10E: {
        const uint32_t n = (offset - 0x102) / 4;
        int32_t prescale = 0;
        if (v & 0x0080) prescale = (v & 3) ? (16 << (2 * (v & 3))) : 1;
        TimerPrescale[n] = prescale;
        // Timer 0 has nothing to count up from.
        TimerCountdown[n] = (n > 0 && (v & 0x0004)) ? 0 : prescale;
        break;
    }
    case 0x200:
    case 0x208:
        StoreHalf(offset, v);
        RecheckInterrupts(IoHalf(0x202));
        return;
    case 0x202: {
        const uint16_t flags = static_cast<uint16_t>(IoHalf(0x202) & ~v);
        RecheckInterrupts(flags);
        StoreHalf(offset, flags);
        return;
    }
    case 0x204:
        ApplyWaitControl(v);
        break;
    case 0x300:
        HaltStep();
        break;
    default:
        if (offset >= 0x060 && offset <= 0x09E) {
            SoundWrite(SoundChip, SoundRegisterMap[offset - 0x060], static_cast<uint8_t>(v));
            SoundWrite(SoundChip, SoundRegisterMap[offset - 0x060 + 1], static_cast<uint8_t>(v >> 8));
        }
        break;
    }
    StoreHalf(offset, v);
}

void ApplyWaitControl(uint16_t v) {
    auto setRows = [](int row, int32_t half) {
        HalfAccessCost[row] = HalfAccessCost[row + 1] = half;
        WordAccessCost[row] = WordAccessCost[row + 1] = 2 * half;
    };
    setRows(0x8, (v & 0x0010) ? 2 : 3);
    setRows(0xA, (v & 0x0080) ? 2 : 5);
    setRows(0xC, (v & 0x0400) ? 2 : 9);
    static constexpr int32_t SramCost[4] = {5, 4, 3, 9};
    HalfAccessCost[0xE] = SramCost[v & 3];
    WordAccessCost[0xE] = 2 * SramCost[v & 3];
}

}  // namespace koru
