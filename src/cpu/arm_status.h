// ARM status register transfers: MRS and MSR.
#pragma once
#include "cpu/slice_context.h"

namespace koru {

template <bool Spsr>
KORU_INLINE void ArmMrs(ArmContext& t, uint32_t op) {
    const uint32_t d = (op >> 12) & 15;
    if constexpr (Spsr) {
        // In modes without a saved status the destination keeps its value.
        if (const uint32_t* spsr = SavedStatus(t.cpu, t.cpsr)) SetRegister(t, d, *spsr);
    } else {
        SetRegister(t, d, t.Cpsr());
    }
}

// Only the control field (opcode bit 16) and the flags count: with the
// control field the whole operand is written (flags included), without it
// only bits 31-28.
template <bool Spsr, bool Immediate>
KORU_INLINE void ArmMsr(ArmContext& t, uint32_t op) {
    uint32_t value;
    if constexpr (Immediate) {
        value = RotateRight(op & 0xFF, (op >> 7) & 0x1E);
    } else {
        value = Operand(t, op & 15, 4);
    }
    const bool control = op & 0x10000;
    if constexpr (Spsr) {
        if (uint32_t* spsr = SavedStatus(t.cpu, t.cpsr)) {
            *spsr = control ? value : (*spsr & 0x0FFFFFFFu) | (value & 0xF0000000u);
        }
    } else {
        if (control && (t.cpsr & ModeMask) != ModeUser) {
            t.Sync();
            SetCpsr(t.cpu, value);
            t.Reload();
        } else {
            t.SetFlags(value);
        }
    }
}

}  // namespace koru
