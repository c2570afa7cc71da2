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

// The bytes of the halfword under way that the program itself wrote: bit 0
// the low byte, bit 1 the high one. A byte store reaches IoWrite as a
// halfword that repeats the other byte from the I/O area (see WriteByte), so
// a register that takes bytes one by one (a sound FIFO) asks here which
// were written. 3 outside byte stores.
extern uint32_t IoByteLanes;

}  // namespace koru
