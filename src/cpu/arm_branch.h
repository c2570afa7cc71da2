// ARM branches and exceptions: B, BL, BX and SWI.
#pragma once
#include "bios/bios.h"
#include "cpu/alu.h"

namespace koru {

// R[15] holds the address + 4; the target is the address + 8 + offset x 4.
template <bool Link>
void ArmBranch(CpuRecord& cpu, uint32_t op) {
    if constexpr (Link) cpu.R[14] = cpu.R[15];
    cpu.R[15] += 4 + static_cast<uint32_t>(static_cast<int32_t>(op << 8) >> 6);
}

// Into THUMB when bit 0 is set: the loop picks the instruction set only
// between slices, so the slice is cut.
inline void ArmBranchExchange(CpuRecord& cpu, uint32_t op) {
    const uint32_t m = op & 15;
    const uint32_t target = m == 15 ? cpu.R[15] + 4 : cpu.R[m];
    if (target & 1) {
        cpu.R[15] = target & ~1u;
        cpu.CPSR |= FlagT;
        CutSlice(cpu);
    } else {
        cpu.R[15] = target & ~3u;
    }
}

// The whole 24-bit comment field is the call number.
inline void ArmSoftwareInterrupt(CpuRecord&, uint32_t op) { SoftwareInterrupt(op & 0x00FFFFFF); }

}  // namespace koru
