// Writes to the hardware registers of the I/O area. Reads of the I/O area
// are plain memory reads; a write goes to the unit that owns the register,
// which stores what the register keeps of the value and performs its side
// effect.
#pragma once
#include <cstdint>

namespace koru {

// A halfword write to the I/O window; only the offset (address AND 0xFFE)
// is used.
void IoWrite(uint32_t address, uint16_t value);

}  // namespace koru
