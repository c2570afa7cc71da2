// ARM halfword and signed transfers: STRH, LDRH, LDRSB and LDRSH with an
// 8-bit immediate offset or an unshifted register offset.
#pragma once
#include "cpu/alu.h"

namespace koru {

enum ArmHalfwordKind : uint32_t { StoreHalfword, LoadHalfword, LoadSignedByte, LoadSignedHalfword };

template <uint32_t Kind, bool P, bool U, bool Immediate, bool W>
void ArmHalfwordTransfer(CpuRecord& cpu, uint32_t op) {
    uint32_t* const R = cpu.R;
    const uint32_t n = (op >> 16) & 15;
    const uint32_t d = (op >> 12) & 15;
    uint32_t offset;
    if constexpr (Immediate) {
        offset = ((op >> 4) & 0xF0) | (op & 0xF);
    } else {
        offset = Operand(cpu, op & 15, 4);
    }
    const uint32_t base = Operand(cpu, n, 4);
    const uint32_t moved = U ? base + offset : base - offset;
    const uint32_t address = P ? moved : base;
    if constexpr (Kind == StoreHalfword) {
        const uint32_t value = Operand(cpu, d, 8);
        WriteHalf(address, static_cast<uint16_t>(value));
    } else {
        uint32_t value;
        if constexpr (Kind == LoadHalfword) value = LoadHalf(cpu, address);
        if constexpr (Kind == LoadSignedByte) value = SignExtend8(LoadByte(cpu, address));
        if constexpr (Kind == LoadSignedHalfword) value = SignExtend16(LoadHalf(cpu, address));
        cpu.Cycles -= 1;
        R[d] = value;
    }
    if constexpr (!P || W) R[n] = moved;
}

}  // namespace koru
