// The decoders behind the BIOS unpacking services. Every access goes through
// the bus operations and charges its cost to the current slice; the caller
// settles the slice afterwards.
#pragma once
#include <cstdint>

#include "cpu/cpu_state.h"

namespace koru {

// Each takes the address of the data after the header word, the destination
// and the header's 24-bit unpacked size in bytes.
void RunLengthDecode(uint32_t source, uint32_t destination, uint32_t size);
void Lz77Decode(uint32_t source, uint32_t destination, uint32_t size);
// Writes whole words, so a size that is not a multiple of 4 is rounded up.
// width is the header's data width (bits per symbol, normally 4 or 8).
void HuffmanDecode(uint32_t source, uint32_t destination, uint32_t size, uint32_t width);

// The decoders and the long services can charge far more cycles than a
// 32-bit counter holds. What the decoders charge is dropped once they
// finish, and no real call of the others comes near this depth (about
// sixty frames of cycles), so they hold the counter, and the remainder that
// a cut slice keeps aside (a write to an interrupt register cuts it, and the
// CPU loop adds it back), above this floor.
constexpr int32_t CycleFloor = -(1 << 24);
inline void HoldCycleFloor() {
    if (CpuState.Cycles < CycleFloor) CpuState.Cycles = CycleFloor;
    if (CpuState.SavedCycles < CycleFloor) CpuState.SavedCycles = CycleFloor;
}

}  // namespace koru
