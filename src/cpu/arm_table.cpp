// The ARM routines that stay out of line.
#include "cpu/arm_table.h"

#include "machine/log.h"

namespace koru {

void ArmUndefined(CpuRecord& cpu, uint32_t opcode) {
    if (cpu.Trace) Log("ARM: Unrecognized opcode 0x%08X at 0x%08X\n", opcode, cpu.R[15] - 4);
}

// Rows 0x60-0x7F decode bits 7-4 as bits 6-4 only: bit 7 must change nothing.
namespace {
constexpr bool RegisterOffsetRowsIgnoreBit7() {
    for (uint32_t h = 0x60; h < 0x80; ++h) {
        for (uint32_t l = 0; l < 8; ++l) {
            if (FormOf((l << 8) | h) != FormOf(((l | 8) << 8) | h)) return false;
        }
    }
    return true;
}
static_assert(RegisterOffsetRowsIgnoreBit7());
}  // namespace

}  // namespace koru
