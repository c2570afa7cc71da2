// Placeholder interpreter: executes nothing and only advances the hardware
// slice by slice, so that hosts see frames go by. The instruction sets
// replace this file.
#include "cpu/run.h"

namespace koru {

uint32_t RunCpu(CpuRecord& cpu) {
    for (;;) {
        cpu.Cycles = 0;
        if (!EndSlice(cpu)) return cpu.R[15];
    }
}

}  // namespace koru
