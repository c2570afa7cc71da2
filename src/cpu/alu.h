// What both instruction sets share: the condition test, the flag rules of
// addition and subtraction and the barrel shifter.
// Everything here is small and inlined into the handlers and the loop.
#pragma once
#include <array>
#include <cstdint>

#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "machine/machine.h"
#include "machine/memory.h"

#if defined(__GNUC__)
#define KORU_INLINE inline __attribute__((always_inline))
#else
#define KORU_INLINE inline
#endif

namespace koru {

// Whether condition c holds for flags NZCV: entry (c << 4) | NZCV.
// Condition 0xF never holds; the ARM loop sends those opcodes to the
// undefined routine itself.
inline constexpr std::array<uint8_t, 256> ConditionTable = [] {
    std::array<uint8_t, 256> table{};
    for (uint32_t c = 0; c < 16; ++c) {
        for (uint32_t f = 0; f < 16; ++f) {
            const bool n = f & 8, z = f & 4, carry = f & 2, v = f & 1;
            bool holds = false;
            switch (c) {
                case 0x0: holds = z; break;
                case 0x1: holds = !z; break;
                case 0x2: holds = carry; break;
                case 0x3: holds = !carry; break;
                case 0x4: holds = n; break;
                case 0x5: holds = !n; break;
                case 0x6: holds = v; break;
                case 0x7: holds = !v; break;
                case 0x8: holds = carry && !z; break;
                case 0x9: holds = !carry || z; break;
                case 0xA: holds = n == v; break;
                case 0xB: holds = n != v; break;
                case 0xC: holds = !z && n == v; break;
                case 0xD: holds = z || n != v; break;
                case 0xE: holds = true; break;
                default: holds = false; break;
            }
            table[(c << 4) | f] = holds;
        }
    }
    return table;
}();


// C and V of r = a + b (+ carry in), in their CPSR places.
KORU_INLINE uint32_t AddCV(uint32_t a, uint32_t b, uint32_t r) {
    const uint32_t c = ((a & b) | ((a ^ b) & ~r)) >> 31;
    const uint32_t v = ((a ^ r) & (b ^ r)) >> 31;
    return (c << 29) | (v << 28);
}

// C and V of r = a - b (- borrow). C is the inverted borrow. V is set when a
// and b differ in sign and r's sign differs from a's: the overflow of the
// signed subtraction, borrow included. (Taking V as for the addition of -b
// would miss 0 - 0x80000000, whose negation is itself, and would see an
// overflow in 0 - 0 - borrow, which turns signed 64-bit comparisons made of
// CMP and SBC around.)
KORU_INLINE uint32_t SubCV(uint32_t a, uint32_t b, uint32_t r) {
    const uint32_t c = (((~a & b) | (~(a ^ b) & r)) >> 31) ^ 1;
    const uint32_t v = ((a ^ b) & (a ^ r)) >> 31;
    return (c << 29) | (v << 28);
}

// The same of a plain r = a + b and r = a - b (no carry or borrow in), read
// from the host's own carry and overflow of the operation: fewer steps than
// the bit formulas, with the same results.
KORU_INLINE uint32_t AddCV(uint32_t a, uint32_t b) {
    uint32_t r;
    int32_t signedSum;
    const uint32_t c = __builtin_add_overflow(a, b, &r);
    const uint32_t v = __builtin_add_overflow(static_cast<int32_t>(a), static_cast<int32_t>(b), &signedSum);
    return (c << 29) | (v << 28);
}
KORU_INLINE uint32_t SubCV(uint32_t a, uint32_t b) {
    int32_t signedDifference;
    const uint32_t c = a >= b;  // no borrow
    const uint32_t v = __builtin_sub_overflow(static_cast<int32_t>(a), static_cast<int32_t>(b), &signedDifference);
    return (c << 29) | (v << 28);
}

KORU_INLINE uint32_t CarryFlag(uint32_t cpsr) { return (cpsr >> 29) & 1; }

enum ShiftType : uint32_t { ShiftLsl = 0, ShiftLsr = 1, ShiftAsr = 2, ShiftRor = 3 };

// Shift by an immediate amount n (0-31) as the instructions encode it:
// LSL #0 is no shift, LSR #0 and ASR #0 mean 32, ROR #0 is RRX. carry holds
// the current C on entry and the shifter's carry on return.
template <uint32_t Type>
KORU_INLINE uint32_t ShiftByImmediate(uint32_t v, uint32_t n, uint32_t& carry) {
    if constexpr (Type == ShiftLsl) {
        if (n == 0) return v;
        carry = (v >> (32 - n)) & 1;
        return v << n;
    } else if constexpr (Type == ShiftLsr) {
        if (n == 0) {
            carry = v >> 31;
            return 0;
        }
        carry = (v >> (n - 1)) & 1;
        return v >> n;
    } else if constexpr (Type == ShiftAsr) {
        if (n == 0) {
            carry = v >> 31;
            return static_cast<uint32_t>(static_cast<int32_t>(v) >> 31);
        }
        carry = (v >> (n - 1)) & 1;
        return static_cast<uint32_t>(static_cast<int32_t>(v) >> n);
    } else {
        if (n == 0) {
            const uint32_t in = carry;
            carry = v & 1;
            return (v >> 1) | (in << 31);
        }
        carry = (v >> (n - 1)) & 1;
        return (v >> n) | (v << (32 - n));
    }
}

// Shift by a register amount n (0-255): 0 changes nothing; amounts of 32 and
// more shift everything out. ROR uses the amount modulo 32 for the value and
// bit (n - 1) AND 31 for the carry, so ROR by 32 gives C = bit 31.
template <uint32_t Type>
KORU_INLINE uint32_t ShiftByRegister(uint32_t v, uint32_t n, uint32_t& carry) {
    if (n == 0) return v;
    if constexpr (Type == ShiftLsl) {
        if (n < 32) {
            carry = (v >> (32 - n)) & 1;
            return v << n;
        }
        carry = n == 32 ? (v & 1) : 0;
        return 0;
    } else if constexpr (Type == ShiftLsr) {
        if (n < 32) {
            carry = (v >> (n - 1)) & 1;
            return v >> n;
        }
        carry = n == 32 ? (v >> 31) : 0;
        return 0;
    } else if constexpr (Type == ShiftAsr) {
        if (n < 32) {
            carry = (v >> (n - 1)) & 1;
            return static_cast<uint32_t>(static_cast<int32_t>(v) >> n);
        }
        carry = v >> 31;
        return static_cast<uint32_t>(static_cast<int32_t>(v) >> 31);
    } else {
        carry = (v >> ((n - 1) & 31)) & 1;
        return RotateRight(v, n & 31);
    }
}

KORU_INLINE uint32_t SignExtend8(uint32_t v) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(v))); }
KORU_INLINE uint32_t SignExtend16(uint32_t v) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v))); }

}  // namespace koru
