#include "hardware/interrupts.h"

#include "cpu/cpu_state.h"
#include "hardware/dma.h"
#include "hardware/registers.h"

namespace koru {

uint32_t HaltState;

namespace {

// Recomputes the processor's interrupt request from the master enable, the
// enable register and the given request flags; a pending request also ends
// the slice so that the CPU loop sees it before the next instruction.
void RecheckInterrupts(uint16_t flags) {
    const bool pending = (IoRead16(IoIME) & 1) && (IoRead16(IoIE) & flags);
    CpuState.IrqRequest = pending ? 1 : 0;
    if (pending) SignalIrq(CpuState);
}

const StateWords InterruptWords[] = {
    {0, 1, &HaltState},
};

bool InterruptWordsValid(const uint32_t* block) { return block[0] <= 2; }

}  // namespace

const StateUnit InterruptStateUnit = MakeStateUnit(InterruptWords, InterruptWordsValid);

bool InterruptPending() { return (IoRead16(IoIME) & 1) && (IoRead16(IoIE) & IoRead16(IoIF)); }

void RaiseInterrupt(uint16_t flags) { IoStore16(IoIF, static_cast<uint16_t>(IoRead16(IoIF) | flags)); }

int32_t UpdateInterruptRequest() {
    const int32_t pending = InterruptPending() ? 1 : 0;
    CpuState.IrqRequest = static_cast<uint32_t>(pending);
    if (pending && HaltState == 1) HaltState = 2;
    return pending;
}

void InterruptRegisterWrite(uint32_t offset, uint16_t v) {
    if (offset == IoIF) {
        const uint16_t flags = static_cast<uint16_t>(IoRead16(IoIF) & ~v);
        RecheckInterrupts(flags);
        IoStore16(IoIF, flags);
        return;
    }
    IoStore16(offset, v);
    RecheckInterrupts(IoRead16(IoIF));
}

// The halting store is executed again at the start of every slice until an
// interrupt arrives, so the processor spends its halt between two half-line
// steps without running any instruction. That works only for the processor's
// own store: a DMA transfer that reaches the register would move R15 back
// once per unit written, into whatever came before, so such a write is only
// stored.
void HaltWrite(uint32_t offset, uint16_t v) {
    IoStore16(offset, v);
    if (DmaRunning()) return;
    switch (HaltState) {
    case 0:
        // A halt that no interrupt could end is not entered.
        if (!(IoRead16(IoIME) & 1) || IoRead16(IoIE) == 0) return;
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

void ResetInterrupts() {
    IoStore16(IoIME, 0);
    IoStore16(IoIE, 0);
    IoStore16(IoIF, 0);
    IoStore16(IoHALTCNT, 0);
    HaltState = 0;
}

}  // namespace koru
