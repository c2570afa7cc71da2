// The interpreter's loop, parameterised by the routine that advances the
// hardware at the end of each slice so that tests can give it a double;
// RunCpu instantiates it with AdvanceScanline.
#pragma once
#include "cpu/alu.h"
#include "cpu/arm_table.h"
#include "cpu/thumb.h"

namespace koru {

// Run one slice of ARM or of THUMB instructions (slices.cpp).
// They stay out of line and out of this header: each is a large function,
// compiled once for the core rather than in every file that includes the
// loop.
void RunArmSlice(CpuRecord& cpu);
void RunThumbSlice(CpuRecord& cpu);

// The steps between two slices: restores a cut slice or calls Advance (which
// returns whether an interrupt is pending and sets SliceCycles for the next
// slice, or -1 to stop), then takes a pending interrupt. Returns false when
// the machine must stop.
template <int32_t (*Advance)()>
KORU_INLINE bool FinishSlice(CpuRecord& cpu) {
    if (cpu.SliceCut) {
        // A cut slice is no slice for the hardware: the remainder comes
        // back, less what the instructions after the cut overran.
        cpu.SliceCut = 0;
        cpu.Cycles += cpu.SavedCycles;
    } else {
        const int32_t result = Advance();
        if (result == -1) return false;
        cpu.IrqRequest = static_cast<uint32_t>(result);
        cpu.Cycles += cpu.SliceCycles;
    }
    TakeIrqIfPending(cpu);
    return true;
}

// Runs slices until Advance returns -1, then returns R[15].
template <int32_t (*Advance)()>
uint32_t RunLoop(CpuRecord& cpu) {
    for (;;) {
        // The instruction set is chosen only here; every change of the T
        // bit cuts the slice so that it takes effect at once.
        if (cpu.CPSR & FlagT) {
            RunThumbSlice(cpu);
        } else {
            RunArmSlice(cpu);
        }
        if (!FinishSlice<Advance>(cpu)) return cpu.R[15];
    }
}

}  // namespace koru
