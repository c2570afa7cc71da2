// The interpreter's loop, parameterised by the routine that advances the
// hardware at the end of each slice so that tests can give it a double;
// RunCpu instantiates it with AdvanceScanline.
#pragma once
#include "cpu/alu.h"
#include "cpu/arm_table.h"
#include "cpu/thumb.h"

namespace koru {

// Executes ARM instructions until the slice is spent.
KORU_INLINE void RunArmSlice(CpuRecord& cpu) {
    const auto& handlers = ArmHandlers;
    while (cpu.Cycles > 0) {
        const uint32_t pc = cpu.R[15];
        cpu.Cycles -= WordAccessCost[CostIndex(pc)];
        const uint32_t op = Peek32(ReadPageTable[pc >> 14] + (pc & 0x3FFC));
        cpu.R[15] = pc + 4;
        // Most instructions are unconditional (AL): those skip the table.
        const uint32_t condition = op >> 28;
        if (condition == 0xE || ConditionHolds(condition, cpu.CPSR)) {
            handlers[ArmIndex(op)](cpu, op);
        } else if (condition == 0xF) [[unlikely]] {
            ArmUndefined(cpu, op);
        }
    }
}

// Executes THUMB instructions until the slice is spent, with R15 and the
// cycles left in registers (thumb::Context). The decode table
// holds the addresses of 256 entries inside this function, and each entry
// ends with the next fetch and its own jump through the table: a jump per
// instruction kind, which the processor predicts from what came before far
// better than one shared jump for all of them.
[[gnu::noinline]] inline void RunThumbSlice(CpuRecord& cpu) {
#define KORU_THUMB_LABEL(h) &&thumb_##h,
    static const void* const Decode[256] = {KORU_THUMB_ALL(KORU_THUMB_LABEL)};
#undef KORU_THUMB_LABEL
    thumb::Context t(cpu);
    uint32_t op;
#define KORU_THUMB_NEXT()              \
    do {                               \
        if (t.cycles <= 0) goto spent; \
        op = t.Fetch();                \
        goto* Decode[op >> 8];         \
    } while (0)
    KORU_THUMB_NEXT();
#define KORU_THUMB_ENTRY(h)        \
    thumb_##h:                     \
    thumb::ExecuteHigh<h>(t, op);  \
    KORU_THUMB_NEXT();
    KORU_THUMB_ALL(KORU_THUMB_ENTRY)
#undef KORU_THUMB_ENTRY
#undef KORU_THUMB_NEXT
spent:
    t.Sync();
}

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
