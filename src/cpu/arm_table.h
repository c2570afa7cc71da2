// The ARM handler table: one entry per combination of opcode bits 27-20 and
// 7-4, so that the class of an instruction and its mode bits are decided by
// the index and each handler only extracts registers and amounts.
#pragma once
#include <array>
#include <cstdint>

#include "cpu/cpu_state.h"

namespace koru {

using ArmHandler = void (*)(CpuRecord& cpu, uint32_t opcode);

// Index of an opcode's handler.
constexpr uint32_t ArmIndex(uint32_t opcode) { return (((opcode >> 4) & 0xF) << 8) | ((opcode >> 20) & 0xFF); }

extern const std::array<ArmHandler, 4096> ArmHandlers;

// The routine of every undefined entry and of condition 0xF: logs the opcode
// when tracing and otherwise does nothing.
void ArmUndefined(CpuRecord& cpu, uint32_t opcode);

}  // namespace koru
