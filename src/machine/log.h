// The console log: formatted text on standard output, gated by one bit mask.
#pragma once
#include <cstdint>

namespace koru {

// Log mask. Any non-zero value enables the start-up progress lines and the
// header report; single bits enable the subsystems' own lines:
// 0x02 I/O register writes, 0x04 unaligned accesses, 0x08 DMA transfers,
// 0x10 the processor's trace flag, 0x20 BIOS calls, 0x40 backup memories.
extern uint32_t Verbose;

// printf-style output to standard output. Callers test Verbose themselves,
// so that a disabled line costs one test and no formatting.
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace koru
