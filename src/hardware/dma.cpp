// The four DMA channels. A transfer runs whole inside one call, through the
// bus operations, so it reaches the I/O registers, the EEPROM and every other
// route as the processor's own accesses do, and its costs are charged to the
// processor's current slice.
#include "hardware/dma.h"

#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "hardware/interrupts.h"
#include "hardware/registers.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"

namespace koru {

namespace {

constexpr uint32_t SourceMask[4] = {0x07FFFFFF, 0x0FFFFFFF, 0x0FFFFFFF, 0x0FFFFFFF};
constexpr uint32_t DestinationMask[4] = {0x07FFFFFF, 0x07FFFFFF, 0x07FFFFFF, 0x0FFFFFFF};
constexpr uint32_t CountMask[4] = {0x3FFF, 0x3FFF, 0x3FFF, 0xFFFF};
constexpr const char* TimingName[4] = {"Immediate", "VBlank", "HBlank", "Special"};

// Bit c is set while channel c transfers. A transfer that writes its own
// control register must not start itself again: nested without end, such a
// cartridge would exhaust the host's stack.
uint32_t RunningChannels = 0;

// Units left this frame for transfers started from inside other transfers.
// Each unit a transfer writes onto another channel's control register can
// start that channel, whose units can start a third, and so on: channels
// chained that way multiply their counts (16,384 x 16,384 x 16,384 x 65,536
// units from one start), which would keep the machine inside one call for
// good. Past the budget such nested starts are skipped like the start of a
// channel that is already running: the control value is stored and nothing
// is transferred. The console itself moves at most about 140,000 units in a
// frame (two cycles a unit at best), so no real program comes near a
// million nested units, and transfers that the processor or the blanks
// start are never limited.
uint32_t NestedUnitsLeft = NestedDmaUnitsPerFrame;

// However many transfers run back to back, the slice's cycle count stays far
// from the limits of its type. Nothing a real program does comes near this
// depth of overrun: it is about sixty frames of cycles. The remainder that a
// cut slice keeps aside is held to the same floor, since the CPU loop adds
// it back: a transfer that cuts the slice (a write to an interrupt register)
// at every line would otherwise pile up a debt that no floor stops.
constexpr int32_t CyclesFloor = -(1 << 24);

}  // namespace

bool DmaRunning() { return RunningChannels != 0; }

void RenewNestedDmaBudget() { NestedUnitsLeft = NestedDmaUnitsPerFrame; }

void ResetDma() { RenewNestedDmaBudget(); }

void DmaRegisterWrite(uint32_t offset, uint16_t v) {
    IoStore16(offset, v);
    const uint32_t c = (offset - IoDMA0SAD) / IoDMAStride;
    // A channel already running (this write came from its own transfer) is
    // not started again: RunDma refuses nested starts.
    if (offset == IoDMACNT_H(c) && (v & DmaStartMask) == DmaStartNow) RunDma(static_cast<int>(c));
}

void RunDma(int channel) {
    const int c = channel & 3;
    const uint32_t bit = 1u << c;
    if (RunningChannels & bit) return;

    uint32_t s = IoRead32(IoDMASAD(c));
    uint32_t d = IoRead32(IoDMADAD(c));
    const uint16_t n = IoRead16(IoDMACNT_L(c));
    const uint16_t k = IoRead16(IoDMACNT_H(c));

    const bool words = (k & DmaWords) != 0;
    const uint32_t unit = words ? 4 : 2;
    s &= SourceMask[c] + 1 - unit;
    d &= DestinationMask[c] + 1 - unit;
    const uint32_t count = n ? (n & CountMask[c]) : CountMask[c] + 1;
    if (RunningChannels) {
        if (count > NestedUnitsLeft) return;
        NestedUnitsLeft -= count;
    }
    RunningChannels |= bit;

    const uint32_t destinationMode = (k & DmaDestinationMode) >> 5;
    uint32_t destinationStep = unit;
    if (destinationMode == 1) destinationStep = 0u - unit;
    if (destinationMode == 2) destinationStep = 0;
    uint32_t sourceStep = unit;
    if (k & DmaSourceFixed) sourceStep = 0;
    else if (k & DmaSourceDown) sourceStep = 0u - unit;

    const uint32_t timing = (k & DmaTiming) >> 12;
    if (Verbose & 0x08) {
        // With a count of 0 (a masked count register) the range ends one step
        // before its start, as the arithmetic gives it.
        Log("DMA%d: %08X-%08X -> %08X-%08X (%dbit,%s%s%s) at line %d\n", c, s, s + sourceStep * (count - 1), d,
            d + destinationStep * (count - 1), words ? 32 : 16, TimingName[timing], (k & DmaIrq) ? ",IRQ" : "",
            (k & DmaRepeat) ? ",Repeat" : "", IoRead16(IoVCOUNT));
    }

    const uint32_t sourceMask = SourceMask[c];
    const uint32_t destinationMask = DestinationMask[c];
    for (uint32_t i = 0; i < count; ++i) {
        if (words) {
            WriteWord(d, ReadWord(s));
        } else {
            WriteHalf(d, ReadHalf(s));
        }
        s = (s + sourceStep) & sourceMask;
        d = (d + destinationStep) & destinationMask;
        if (CpuState.Cycles < CyclesFloor) CpuState.Cycles = CyclesFloor;
        if (CpuState.SavedCycles < CyclesFloor) CpuState.SavedCycles = CyclesFloor;
    }

    // The pending state is computed at the next half-line step, or at once by
    // a write to an interrupt register.
    if (k & DmaIrq) RaiseInterrupt(static_cast<uint16_t>(IrqDma0 << c));

    if (destinationMode != 3) IoStore32(IoDMADAD(c), d);
    IoStore32(IoDMASAD(c), s);
    if (!(k & DmaRepeat) || timing == 0) {
        IoStore16(IoDMACNT_H(c), static_cast<uint16_t>(IoRead16(IoDMACNT_H(c)) & ~DmaEnable));
    }

    RunningChannels &= ~bit;
}

}  // namespace koru
