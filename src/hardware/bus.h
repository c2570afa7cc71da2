// The bus: the six memory operations of the emulated machine and the cycle
// cost of each access. Every store goes through the write operations, which
// route I/O, FLASH and EEPROM accesses; reads come straight from the page
// tables except for the EEPROM window.
#pragma once
#include <cstdint>

#include "cpu/cpu_state.h"
#include "hardware/backup.h"
#include "hardware/io.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"

namespace koru {

// Cycles per access, indexed by address bits 24-27. Rows 0x8-0xE are
// rewritten by the wait-state control register.
extern int32_t WordAccessCost[16];
extern int32_t HalfAccessCost[16];

// Puts both tables back to their values at program start.
void ResetAccessCosts();

// The wait-state control register: rewrites the cartridge rows of both
// tables from a value of the register (also after a state is loaded).
void ApplyWaitControl(uint16_t value);
void WaitControlWrite(uint32_t offset, uint16_t value);
void ResetWaitControl();

inline uint32_t CostIndex(uint32_t address) { return (address >> 24) & 0xF; }

// The EEPROM window: 0x09, 0x0B, 0x0D and 0x0F in the top byte.
inline bool InEepromWindow(uint32_t address) { return (address & 0xF9000000u) == 0x09000000u; }
inline bool InIoWindow(uint32_t address) { return (address >> 24) == 0x04; }

inline uint8_t* ReadPointer(uint32_t address) {
    return ReadPageTable[address >> 14] + (address & 0x3FFF);
}

inline uint32_t ReadWord(uint32_t a) {
    CpuState.Cycles -= WordAccessCost[CostIndex(a)];
    uint32_t v = Peek32(ReadPageTable[a >> 14] + (a & 0x3FFC));
    if (a & 3) {
        if (Verbose & 0x04) Log("MEM: Unaligned qread [%08X] (PC=%08X)\n", a, CpuState.R[15]);
        v = RotateRight(v, 8 * (a & 3));
    }
    return v;
}

inline uint16_t ReadHalf(uint32_t a) {
    CpuState.Cycles -= HalfAccessCost[CostIndex(a)];
    if (InEepromWindow(a)) return EepromReadBit();
    if ((a & 1) && (Verbose & 0x04)) Log("MEM: Unaligned wread [%08X] (PC=%08X)\n", a, CpuState.R[15]);
    return Peek16(ReadPageTable[a >> 14] + (a & 0x3FFE));
}

inline uint8_t ReadByte(uint32_t a) {
    CpuState.Cycles -= HalfAccessCost[CostIndex(a)];
    return ReadPageTable[a >> 14][a & 0x3FFF];
}

inline void WriteWord(uint32_t a, uint32_t v) {
    CpuState.Cycles -= WordAccessCost[CostIndex(a)];
    if (a & 3) {
        if (Verbose & 0x04) Log("MEM: Unaligned qwrite [%08X] = %08X (PC=%08X)\n", a, v, CpuState.R[15]);
        v = RotateRight(v, 8 * (a & 3));
    }
    if (InIoWindow(a)) {
        IoWrite(a & ~3u, static_cast<uint16_t>(v));
        IoWrite((a & ~3u) + 2, static_cast<uint16_t>(v >> 16));
        return;
    }
    Poke32(WritePageTable[a >> 14] + (a & 0x3FFC), v);
}

inline void WriteHalf(uint32_t a, uint16_t v) {
    CpuState.Cycles -= HalfAccessCost[CostIndex(a)];
    if ((a & 1) && (Verbose & 0x04)) Log("MEM: Unaligned wwrite [%08X] = %04X (PC=%08X)\n", a, v, CpuState.R[15]);
    if (InEepromWindow(a)) {
        EepromWriteBit(static_cast<uint8_t>(v & 0xFF));
        return;
    }
    if (InIoWindow(a)) {
        IoWrite(a & ~1u, v);
        return;
    }
    Poke16(WritePageTable[a >> 14] + (a & 0x3FFE), v);
}

inline void WriteByte(uint32_t a, uint8_t v) {
    CpuState.Cycles -= HalfAccessCost[CostIndex(a)];
    if ((a & 0xFFFF0000u) == 0x0E000000u) {
        FlashWrite(a & 0xFFFF, v);
        return;
    }
    if (InIoWindow(a)) {
        // A byte write acts as a halfword write whose other half repeats
        // what the I/O area holds.
        const uint8_t other = IoRam[(a ^ 1) & 0x3FFF];
        IoByteLanes = (a & 1) ? 2 : 1;
        if (a & 1) {
            IoWrite(a ^ 1, static_cast<uint16_t>((v << 8) | other));
        } else {
            IoWrite(a, static_cast<uint16_t>((other << 8) | v));
        }
        IoByteLanes = 3;
        return;
    }
    WritePageTable[a >> 14][a & 0x3FFF] = v;
}

// The plain memory writes, for a caller that keeps the cycle count of the
// slice in a register of its own (the THUMB loop): an aligned write that no
// route claims is charged to `cycles` and stored, and the function returns
// true. Anything else (an unaligned address, the I/O window, the EEPROM
// window, the FLASH window) is left untouched and the function returns
// false: the caller then brings CpuState up to date and calls WriteWord,
// WriteHalf or WriteByte, whose routes may look at the processor. They are
// always inlined: they are the plain stores of both loops, and link-time
// optimisation would otherwise call them out of the loops' large functions.
[[gnu::always_inline]] inline bool WritePlainWord(uint32_t a, uint32_t v, int32_t& cycles) {
    if ((a & 3) || InIoWindow(a)) return false;
    cycles -= WordAccessCost[CostIndex(a)];
    Poke32(WritePageTable[a >> 14] + (a & 0x3FFC), v);
    return true;
}
[[gnu::always_inline]] inline bool WritePlainHalf(uint32_t a, uint16_t v, int32_t& cycles) {
    if ((a & 1) || InEepromWindow(a) || InIoWindow(a)) return false;
    cycles -= HalfAccessCost[CostIndex(a)];
    Poke16(WritePageTable[a >> 14] + (a & 0x3FFE), v);
    return true;
}
[[gnu::always_inline]] inline bool WritePlainByte(uint32_t a, uint8_t v, int32_t& cycles) {
    if ((a & 0xFFFF0000u) == 0x0E000000u || InIoWindow(a)) return false;
    cycles -= HalfAccessCost[CostIndex(a)];
    WritePageTable[a >> 14][a & 0x3FFF] = v;
    return true;
}

}  // namespace koru
