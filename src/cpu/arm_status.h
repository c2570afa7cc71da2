// ARM status register transfers: MRS and MSR.
#pragma once
#include "cpu/alu.h"

namespace koru {

template <bool Spsr>
void ArmMrs(CpuRecord& cpu, uint32_t op) {
    const uint32_t d = (op >> 12) & 15;
    if constexpr (Spsr) {
        // In modes without a saved status the destination keeps its value.
        if (const uint32_t* spsr = SavedStatus(cpu, cpu.CPSR)) cpu.R[d] = *spsr;
    } else {
        cpu.R[d] = cpu.CPSR;
    }
}

// Only the control field (opcode bit 16) and the flags count: with the
// control field the whole operand is written (flags included), without it
// only bits 31-28.
template <bool Spsr, bool Immediate>
void ArmMsr(CpuRecord& cpu, uint32_t op) {
    uint32_t value;
    if constexpr (Immediate) {
        value = RotateRight(op & 0xFF, (op >> 7) & 0x1E);
    } else {
        const uint32_t m = op & 15;
        value = m == 15 ? cpu.R[15] + 4 : cpu.R[m];
    }
    const bool control = op & 0x10000;
    if constexpr (Spsr) {
        if (uint32_t* spsr = SavedStatus(cpu, cpu.CPSR)) {
            *spsr = control ? value : (*spsr & 0x0FFFFFFFu) | (value & 0xF0000000u);
        }
    } else {
        if (control && (cpu.CPSR & ModeMask) != ModeUser) {
            SetCpsr(cpu, value);
        } else {
            cpu.CPSR = (cpu.CPSR & 0x0FFFFFFFu) | (value & 0xF0000000u);
        }
    }
}

}  // namespace koru
