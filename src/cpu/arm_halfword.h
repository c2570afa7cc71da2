// ARM halfword and signed transfers: STRH, LDRH, LDRSB and LDRSH with an
// 8-bit immediate offset or an unshifted register offset.
#pragma once
#include "cpu/slice_context.h"

namespace koru {

enum ArmHalfwordKind : uint32_t { StoreHalfword, LoadHalfword, LoadSignedByte, LoadSignedHalfword };

template <uint32_t Kind, bool P, bool U, bool Immediate, bool W>
KORU_INLINE void ArmHalfwordTransfer(ArmContext& t, uint32_t op) {
    const uint32_t n = (op >> 16) & 15;
    const uint32_t d = (op >> 12) & 15;
    uint32_t offset;
    if constexpr (Immediate) {
        offset = ((op >> 4) & 0xF0) | (op & 0xF);
    } else {
        offset = Operand(t, op & 15, 4);
    }
    const uint32_t base = Operand(t, n, 4);
    const uint32_t moved = U ? base + offset : base - offset;
    const uint32_t address = P ? moved : base;
    if constexpr (Kind == StoreHalfword) {
        const uint32_t value = Operand(t, d, 8);
        t.StoreHalf(address, static_cast<uint16_t>(value));
    } else {
        uint32_t value;
        if constexpr (Kind == LoadHalfword) value = t.LoadHalf(address);
        if constexpr (Kind == LoadSignedByte) value = SignExtend8(t.LoadByte(address));
        if constexpr (Kind == LoadSignedHalfword) value = SignExtend16(t.LoadHalf(address));
        t.cycles -= 1;
        SetRegister(t, d, value);
    }
    if constexpr (!P || W) SetRegister(t, n, moved);
}

}  // namespace koru
