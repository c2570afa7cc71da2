// ARM branches and exceptions: B, BL, BX and SWI.
#pragma once
#include "bios/bios.h"
#include "cpu/slice_context.h"

namespace koru {

// pc holds the address + 4; the target is the address + 8 + offset x 4.
template <bool Link>
KORU_INLINE void ArmBranch(ArmContext& t, uint32_t op) {
    if constexpr (Link) t.cpu.R[14] = t.pc;
    t.pc += 4 + static_cast<uint32_t>(static_cast<int32_t>(op << 8) >> 6);
}

// Into THUMB when bit 0 is set: the loop picks the instruction set only
// between slices, so the slice is cut.
KORU_INLINE void ArmBranchExchange(ArmContext& t, uint32_t op) {
    const uint32_t target = Operand(t, op & 15, 4);
    if (target & 1) {
        t.pc = target & ~1u;
        t.cpsr |= FlagT;
        t.Sync();
        CutSlice(t.cpu);
        t.Reload();
    } else {
        t.pc = target & ~3u;
    }
}

// The whole 24-bit comment field is the call number.
KORU_INLINE void ArmSoftwareInterrupt(ArmContext& t, uint32_t op) {
    t.Sync();
    SoftwareInterrupt(op & 0x00FFFFFF);
    t.Reload();
}

}  // namespace koru
