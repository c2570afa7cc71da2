// ARM single data transfers: LDR, STR, LDRB and STRB with an immediate
// offset or a register offset shifted by an immediate amount.
#pragma once
#include "cpu/slice_context.h"

namespace koru {

template <bool RegisterOffset, uint32_t Shift, bool P, bool U, bool B, bool W, bool L>
KORU_INLINE void ArmSingleTransfer(ArmContext& t, uint32_t op) {
    const uint32_t n = (op >> 16) & 15;
    const uint32_t d = (op >> 12) & 15;
    // The base and the offset register read R15 as the address + 8.
    uint32_t offset;
    if constexpr (RegisterOffset) {
        uint32_t unusedCarry = t.Carry();  // RRX shifts C in; C itself is kept
        offset = ShiftByImmediate<Shift>(Operand(t, op & 15, 4), (op >> 7) & 31, unusedCarry);
    } else {
        offset = op & 0xFFF;
    }
    const uint32_t base = Operand(t, n, 4);
    const uint32_t moved = U ? base + offset : base - offset;
    const uint32_t address = P ? moved : base;
    if constexpr (L) {
        const uint32_t value = B ? t.LoadByte(address) : t.LoadWord(address);
        t.cycles -= 1;
        SetRegister(t, d, value);  // into R15: a jump, the state stays ARM
    } else {
        const uint32_t value = Operand(t, d, 8);  // a stored R15 is the address + 12
        if constexpr (B) {
            t.StoreByte(address, static_cast<uint8_t>(value));
        } else {
            t.StoreWord(address, value);
        }
    }
    // Write-back comes last, so it wins over a loaded base. The post-indexed
    // forms always write back; W there (the user-mode forms) changes nothing.
    if constexpr (!P || W) SetRegister(t, n, moved);
}

}  // namespace koru
