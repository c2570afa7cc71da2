// ARM multiplies: 32-bit MUL and MLA, 64-bit UMULL, UMLAL, SMULL and SMLAL.
#pragma once
#include "cpu/slice_context.h"

namespace koru {

template <bool Accumulate, bool S>
KORU_INLINE void ArmMultiply(ArmContext& t, uint32_t op) {
    uint32_t r = Operand(t, op & 15, 4) * Operand(t, (op >> 8) & 15, 4);
    if constexpr (Accumulate) r += Operand(t, (op >> 12) & 15, 4);
    SetRegister(t, (op >> 16) & 15, r);
    // C and V are cleared, not kept.
    if constexpr (S) t.SetNZCV(r, 0);
    t.cycles -= Accumulate ? 5 : 4;
}

template <bool Signed, bool Accumulate, bool S>
KORU_INLINE void ArmMultiplyLong(ArmContext& t, uint32_t op) {
    const uint32_t lo = (op >> 12) & 15;
    const uint32_t hi = (op >> 16) & 15;
    const uint32_t m = Operand(t, op & 15, 4);
    const uint32_t s = Operand(t, (op >> 8) & 15, 4);
    uint64_t p;
    if constexpr (Signed) {
        p = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(m)) * static_cast<int32_t>(s));
    } else {
        p = static_cast<uint64_t>(m) * s;
    }
    if constexpr (Accumulate) p += (static_cast<uint64_t>(Operand(t, hi, 4)) << 32) | Operand(t, lo, 4);
    SetRegister(t, lo, static_cast<uint32_t>(p));
    SetRegister(t, hi, static_cast<uint32_t>(p >> 32));
    // N from bit 63, Z from all 64 bits; C and V are kept.
    if constexpr (S) {
        t.nz = static_cast<int64_t>(p & 0x8000000000000000u) | (p != 0 ? 1 : 0);
    }
    t.cycles -= Accumulate ? 6 : 5;
}

}  // namespace koru
