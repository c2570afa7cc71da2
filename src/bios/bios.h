// Software interrupts: the entry into a loaded BIOS image, or the BIOS
// services performed by the host on the emulated registers and memory.
#pragma once
#include <cstdint>

namespace koru {

// Called by SWI after R15 has moved past the instruction, with the comment
// field: the low 24 bits of an ARM opcode, the low 8 bits of a THUMB one.
// Works on CpuState, always on the registers of the current mode.
void SoftwareInterrupt(uint32_t comment);

// Most matrices one ObjAffineSet call computes.
constexpr uint32_t MaxAffineElements = 0x10000;

// The call number a comment field stands for. A THUMB SWI and an ARM SWI
// with a field of 0x00-0xFF carry the number itself; ARM code calls the BIOS
// with the number in bits 23-16 (SWI 0x060000), so a field above 0xFF is
// taken from there.
inline uint32_t ServiceNumber(uint32_t comment) {
    return comment > 0xFF ? (comment >> 16) & 0xFF : comment;
}

}  // namespace koru
