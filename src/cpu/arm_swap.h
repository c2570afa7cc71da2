// ARM SWP and SWPB: a load and a store at the same address.
#pragma once
#include "cpu/alu.h"

namespace koru {

template <bool Byte>
void ArmSwap(CpuRecord& cpu, uint32_t op) {
    uint32_t* const R = cpu.R;
    // The address reads R15 as the instruction's address + 8; the value
    // stored is Rm, and a stored R15 is the address + 12.
    const uint32_t address = Operand(cpu, (op >> 16) & 15, 4);
    const uint32_t m = Operand(cpu, op & 15, 8);
    uint32_t value;
    if constexpr (Byte) {
        value = LoadByte(cpu, address);
        WriteByte(address, static_cast<uint8_t>(m));
    } else {
        value = LoadWord(cpu, address);
        WriteWord(address, m);
    }
    R[(op >> 12) & 15] = value;
    cpu.Cycles -= 1;
}

}  // namespace koru
