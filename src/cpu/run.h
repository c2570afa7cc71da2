// The interpreter.
#pragma once
#include <cstdint>

#include "cpu/cpu_state.h"

namespace koru {

// Runs until the scanline routine asks to stop; returns R[15] then.
uint32_t RunCpu(CpuRecord& cpu);

}  // namespace koru
