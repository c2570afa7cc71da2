// ARM SWP and SWPB: a load and a store at the same address.
#pragma once
#include "cpu/slice_context.h"

namespace koru {

template <bool Byte>
KORU_INLINE void ArmSwap(ArmContext& t, uint32_t op) {
    // The address reads R15 as the instruction's address + 8; the value
    // stored is Rm, and a stored R15 is the address + 12.
    const uint32_t address = Operand(t, (op >> 16) & 15, 4);
    const uint32_t m = Operand(t, op & 15, 8);
    uint32_t value;
    if constexpr (Byte) {
        value = t.LoadByte(address);
        t.StoreByte(address, static_cast<uint8_t>(m));
    } else {
        value = t.LoadWord(address);
        t.StoreWord(address, m);
    }
    SetRegister(t, (op >> 12) & 15, value);
    t.cycles -= 1;
}

}  // namespace koru
