// The interpreter as the machine runs it: slices of ARM or THUMB
// instructions, each followed by half a scanline of hardware.
#include "cpu/run.h"

#include "cpu/run_loop.h"
#include "hardware/timing.h"

namespace koru {

uint32_t RunCpu(CpuRecord& cpu) { return RunLoop<AdvanceScanline>(cpu); }

bool EndSlice(CpuRecord& cpu) { return FinishSlice<AdvanceScanline>(cpu); }

}  // namespace koru
