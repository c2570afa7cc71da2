// Software interrupts: the entry into a loaded BIOS image, or the BIOS
// services performed by the host on the emulated registers and memory.
#pragma once
#include <cstdint>

#include "cpu/cpu_state.h"

namespace koru {

// Called by SWI after R15 has moved past the instruction, with the comment
// field: the low 24 bits of an ARM opcode, the low 8 bits of a THUMB one.
// Works on CpuState, always on the registers of the current mode.
void SoftwareInterrupt(uint32_t comment);

// What the console's start-up code leaves a cartridge when it jumps to it
// (entry 0x08000000, or 0x02000000 for a program loaded into working RAM):
// System mode with interrupts enabled, ARM state, R0-R12 and R14 zero, and
// the three stacks the console's own code sets up (User/System 0x03007F00,
// IRQ 0x03007FA0, Supervisor 0x03007FE0). Without a BIOS image both the
// start of the machine and SoftReset end here. The other banked registers
// and the saved status registers are left alone.
void HandOverToCartridge(CpuRecord& cpu, uint32_t entry);

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
