// Without a BIOS image the BIOS ROM holds only the interrupt stub, so the
// calls a cartridge makes are served here, on its registers and memory, and
// return to the instruction after the call without any change of mode.
#include "bios/bios.h"

#include <algorithm>

#include <cstring>

#include "bios/arithmetic.h"
#include "bios/computing.h"
#include "bios/decompress.h"
#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "hardware/interrupts.h"
#include "hardware/registers.h"
#include "machine/log.h"
#include "machine/machine.h"

namespace koru {

namespace {

CpuRecord& cpu = CpuState;
uint32_t& R0 = CpuState.R[0];
uint32_t& R1 = CpuState.R[1];
uint32_t& R2 = CpuState.R[2];
uint32_t& R3 = CpuState.R[3];

bool Logging() { return (Verbose & 0x20) != 0; }

// A real BIOS is entered like the hardware does: supervisor mode, ARM state,
// the interrupt disable bits as they were, the return address in R14_svc.
void EnterBios() {
    const uint32_t old = cpu.CPSR;
    cpu.SPSR_svc = old;
    SetCpsr(cpu, (old & ~0xFFu) | (old & 0xC0) | ModeSupervisor);
    cpu.R[14] = cpu.R[15];
    cpu.R[15] = 0x00000008;
}

// SoftReset (0x00) and RegisterRAMReset (0x01).
void ResetService(uint32_t n) {
    const bool soft = n == 0x00;
    // Taken before anything is cleared: the flag lives in the area that R0
    // may ask to clear.
    const uint32_t target = InternalWram[0x7FFA] ? 0x02000000 : 0x08000000;
    if (Logging()) Log("BIOS #0x%02X: %sReset(0x%08X)\n", n, soft ? "Soft" : "RegisterRAM", R0);
    const uint32_t what = R0;
    if (what & 0x01) std::memset(ExternalWram, 0, ExternalWramSize);
    // RegisterRAMReset keeps the top 512 bytes: the stacks and the BIOS's
    // own variables.
    if (what & 0x02) std::memset(InternalWram, 0, soft ? InternalWramSize : 0x7E00);
    if (what & 0x04) std::memset(PaletteRam, 0, PaletteRamSize);
    if (what & 0x08) std::memset(Vram, 0, VramSize);
    if (what & 0x10) std::memset(SpriteRam, 0, SpriteRamSize);
    if (!soft) return;
    // The reset gives the processor a fresh slice budget, but the slice in
    // progress keeps what it has left: a program that calls SoftReset at
    // once after every reset would otherwise never end a slice, and the
    // machine would stop advancing for good.
    const int32_t cycles = cpu.Cycles, saved = cpu.SavedCycles;
    const uint8_t cut = cpu.SliceCut;
    ResetCpu(cpu);
    cpu.Cycles = cycles;
    cpu.SavedCycles = saved;
    cpu.SliceCut = cut;
    HandOverToCartridge(cpu, target);
    // The reset switches to ARM state behind the loop's back; the loop looks
    // at the T bit only between slices, so a call from THUMB code must end
    // the slice here or the ARM code at the target would run as THUMB.
    CutSlice(cpu);
}

// The halt itself belongs to the power-down register: its write re-runs
// this call at each slice until an interrupt arrives.
void HaltService() { WriteByte(IoBase + IoHALTCNT + 1, 0x00); }

// A wait that found its flag is over and the processor runs on. The halt
// that an interrupt ended while the call was waiting must not be left
// behind, or the next halt would return at once.
void EndWait() { HaltState = 0; }

void IntrWaitService(uint32_t n) {
    if (Logging()) Log("BIOS #0x%02X: IntrWait(0x%08X,0x%08X)\n", n, R0, R1);
    const uint16_t wanted = static_cast<uint16_t>(R1);
    if (wanted == 0) return;
    IoStore16(IoIME, 1);
    IoStore16(IoIE, IoRead16(IoIE) | wanted);
    if ((IoRead16(IoIF) & wanted) == 0) {
        HaltService();
        return;
    }
    // Acknowledged through the register, so that the request it may have
    // raised is withdrawn with it.
    if (R0 & 0xFF) WriteHalf(IoBase + IoIF, wanted);
    EndWait();
}

void VBlankIntrWaitService(uint32_t n) {
    if (Logging()) Log("BIOS #0x%02X: VBlankIntrWait()\n", n);
    IoStore16(IoIME, 1);
    IoStore16(IoIE, IoRead16(IoIE) | IrqVBlank);
    if ((IoRead16(IoIF) & IrqVBlank) == 0) {
        HaltService();
        return;
    }
    WriteHalf(IoBase + IoIF, IrqVBlank);
    EndWait();
}

void DivService(uint32_t n, bool arm) {
    if (Logging()) Log("BIOS #0x%02X: %s(%d,%d)\n", n, arm ? "DivARM" : "Div", static_cast<int32_t>(R0), static_cast<int32_t>(R1));
    const int32_t dividend = static_cast<int32_t>(arm ? R1 : R0);
    const int32_t divisor = static_cast<int32_t>(arm ? R0 : R1);
    // Division by zero leaves every register as it was.
    if (divisor == 0) return;
    const Quotient q = Divide(dividend, divisor);
    R0 = q.quotient;
    R1 = q.remainder;
    R3 = q.magnitude;
}

// CPUSet (0x0B): copies or fills R2 bits 0-15 units of 16 or 32 bits.
void CpuSetService(uint32_t n) {
    if (Logging()) Log("BIOS #0x%02X: CPUSet(0x%08X,0x%08X,0x%08X)\n", n, R0, R1, R2);
    const bool words = (R2 & (1u << 26)) != 0;
    const uint32_t unit = words ? 4 : 2;
    const uint32_t mask = words ? 0x0FFFFFFC : 0x0FFFFFFE;
    uint32_t source = R0 & ~(unit - 1);
    uint32_t destination = R1 & ~(unit - 1);
    const uint32_t count = R2 & 0xFFFF;
    const uint32_t step = (R2 & (1u << 24)) ? 0 : unit;
    if (count == 0) return;
    if (Logging()) {
        Log("CPUSet: %08X-%08X -> %08X-%08X (%dbit)\n", source, source + step * (count - 1), destination,
            destination + unit * (count - 1), words ? 32 : 16);
    }
    for (uint32_t i = 0; i < count; ++i) {
        // The source is read straight from memory, at no cost; the units
        // are aligned, so none crosses a page.
        if (words) {
            WriteWord(destination, Peek32(ReadPointer(source)));
        } else {
            WriteHalf(destination, Peek16(ReadPointer(source)));
        }
        destination = (destination + unit) & mask;
        source = (source + step) & mask;
    }
}

// CPUFastSet (0x0C): words only, exactly the count asked for.
void CpuFastSetService(uint32_t n) {
    if (Logging()) Log("BIOS #0x%02X: CPUFastSet(0x%08X,0x%08X,0x%08X)\n", n, R0, R1, R2);
    uint32_t source = R0 & 0x0FFFFFFC;
    uint32_t destination = R1 & 0x0FFFFFFC;
    const uint32_t count = R2 & 0xFFFF;
    const uint32_t step = (R2 & (1u << 24)) ? 0 : 4;
    if (count == 0) return;
    if (Logging()) {
        Log("CPUFastSet: %08X-%08X -> %08X-%08X (32bit)\n", source, source + step * (count - 1), destination,
            destination + 4 * (count - 1));
    }
    for (uint32_t i = 0; i < count; ++i) {
        WriteWord(destination, Peek32(ReadPointer(source)));
        destination = (destination + 4) & 0x0FFFFFFC;
        source = (source + step) & 0x0FFFFFFC;
    }
}

// ObjAffineSet (0x0F): count elements of (sx, sy, angle, padding) to four
// matrix entries each, stride bytes apart.
void ObjAffineSetService(uint32_t n) {
    if (Logging()) {
        Log("BIOS #0x%02X: ObjAffineSet(0x%08X,0x%08X,%d,%d)\n", n, R0, R1, static_cast<int32_t>(R2),
            static_cast<int32_t>(R3));
    }
    uint32_t source = R0;
    uint32_t destination = R1;
    // The count is a whole register: a stray value near 2^32 would keep the
    // machine inside this one call for minutes. Programs fill at most a few
    // hundred matrices (128 sprite matrices, two backgrounds), so elements
    // past MaxAffineElements are not computed.
    const uint32_t count = std::min(R2, MaxAffineElements);
    const uint32_t stride = R3;
    for (uint32_t i = 0; i < count; ++i) {
        const int16_t sx = static_cast<int16_t>(ReadHalf(source));
        const int16_t sy = static_cast<int16_t>(ReadHalf(source + 2));
        const uint16_t angle = ReadHalf(source + 4);
        const AffineMatrix m = ObjectAffine(sx, sy, angle);
        WriteHalf(destination, m.pa);
        WriteHalf(destination + stride, m.pb);
        WriteHalf(destination + 2 * stride, m.pc);
        WriteHalf(destination + 3 * stride, m.pd);
        source += 8;
        destination += 4 * stride;
        HoldCycleFloor();
    }
}

// The unpacking services: the header's type must match the service's.
template <typename Decoder>
void Unpack(uint32_t type, Decoder decode) {
    const uint32_t header = ReadWord(R0);
    if ((header & 0xF0) != type) return;
    decode(R0 + 4, R1, header >> 8, header & 0x0F);
    // The slice ends here, and what the decoder's accesses charged is
    // dropped: the half-line step counts only the slice's own length.
    cpu.Cycles = 0;
}

void HostService(uint32_t n) {
    const bool log = Logging();
    switch (n) {
    case 0x00:
    case 0x01: ResetService(n); return;
    case 0x02:
        if (log) Log("BIOS #0x%02X: Halt()\n", n);
        HaltService();
        return;
    case 0x03:
        // Halt and stop are not told apart by the power-down register.
        if (log) Log("BIOS #0x%02X: Stop()\n", n);
        WriteByte(IoBase + IoHALTCNT + 1, 0x80);
        return;
    case 0x04: IntrWaitService(n); return;
    case 0x05: VBlankIntrWaitService(n); return;
    case 0x06: DivService(n, false); return;
    case 0x07: DivService(n, true); return;
    case 0x08:
        if (log) Log("BIOS #0x%02X: Sqrt(%u)\n", n, R0);
        R0 = SquareRoot(R0) & 0xFFFF;
        return;
    case 0x09:
        if (log) Log("BIOS #0x%02X: ArcTan(%f)\n", n, static_cast<int16_t>(R0) / 16384.0);
        R0 = ArcTangent(static_cast<uint16_t>(R0));
        return;
    case 0x0A:
        if (log) {
            Log("BIOS #0x%02X: ArcTan2(%f,%f)\n", n, static_cast<int16_t>(R0) / 16384.0,
                static_cast<int16_t>(R1) / 16384.0);
        }
        // The angle of a point on the vertical axis is left undone.
        if (static_cast<uint16_t>(R0) == 0) return;
        R0 = ArcTangent2(static_cast<uint16_t>(R0), static_cast<uint16_t>(R1));
        return;
    case 0x0B: CpuSetService(n); return;
    case 0x0C: CpuFastSetService(n); return;
    case 0x0E:
        if (log) Log("BIOS #0x%02X: BgAffineSet(0x%08X,0x%08X,%d)\n", n, R0, R1, static_cast<int32_t>(R2));
        BgAffineSetService();
        return;
    case 0x0F: ObjAffineSetService(n); return;
    case 0x10:
        if (log) Log("BIOS #0x%02X: BitUnPack(0x%08X,0x%08X,0x%08X)\n", n, R0, R1, R2);
        BitUnPackService();
        return;
    case 0x11:
    case 0x12:
        if (log) Log("BIOS #0x%02X: LZ77UnComp%cRAM(0x%08X,0x%08X)\n", n, n == 0x11 ? 'W' : 'V', R0, R1);
        Unpack(0x10, [](uint32_t s, uint32_t d, uint32_t size, uint32_t) { Lz77Decode(s, d, size); });
        return;
    case 0x13:
        if (log) Log("BIOS #0x%02X: HuffUnComp(0x%08X,0x%08X)\n", n, R0, R1);
        Unpack(0x20, HuffmanDecode);
        return;
    case 0x14:
    case 0x15:
        if (log) Log("BIOS #0x%02X: RLUnComp%cRAM(0x%08X,0x%08X)\n", n, n == 0x14 ? 'W' : 'V', R0, R1);
        Unpack(0x30, [](uint32_t s, uint32_t d, uint32_t size, uint32_t) { RunLengthDecode(s, d, size); });
        return;
    case 0x16:
        if (log) Log("BIOS #0x%02X: Diff8bitUnFilterWRAM(0x%08X,0x%08X)\n", n, R0, R1);
        Diff8UnFilterService(false);
        return;
    case 0x17:
        if (log) Log("BIOS #0x%02X: Diff8bitUnFilterVRAM(0x%08X,0x%08X)\n", n, R0, R1);
        Diff8UnFilterService(true);
        return;
    case 0x18:
        if (log) Log("BIOS #0x%02X: Diff16bitUnFilter(0x%08X,0x%08X)\n", n, R0, R1);
        Diff16UnFilterService();
        return;
    case 0x19:
        if (log) Log("BIOS #0x%02X: SoundBiasChange(0x%08X)\n", n, R0);
        SoundBiasChangeService();
        return;
    case 0x1A:
        if (log) Log("BIOS #0x%02X: SoundDriverInit(0x%08X)\n", n, R0);
        return;
    case 0x1B:
        if (log) Log("BIOS #0x%02X: SoundDriverMode(0x%08X)\n", n, R0);
        return;
    case 0x1C:
        if (log) Log("BIOS #0x%02X: SoundDriverMain()\n", n);
        return;
    case 0x1D:
        if (log) Log("BIOS #0x%02X: SoundDriverVSync()\n", n);
        return;
    case 0x1E:
        if (log) Log("BIOS #0x%02X: SoundChannelClear()\n", n);
        return;
    case 0x1F:
        if (log) Log("BIOS #0x%02X: MIDIKey2Freq(0x%08X,%u,%u)\n", n, R0, R1, R2);
        MidiKey2FreqService();
        return;
    case 0x20:
        if (log) Log("BIOS #0x%02X: MusicPlayerOpen(0x%08X,0x%08X,%u)\n", n, R0, R1, R2);
        return;
    case 0x21:
        if (log) Log("BIOS #0x%02X: MusicPlayerStart(0x%08X,0x%08X)\n", n, R0, R1);
        return;
    case 0x22:
        if (log) Log("BIOS #0x%02X: MusicPlayerStop(0x%08X)\n", n, R0);
        return;
    case 0x23:
        if (log) Log("BIOS #0x%02X: MusicPlayerContinue(0x%08X)\n", n, R0);
        return;
    case 0x24:
        if (log) Log("BIOS #0x%02X: MusicPlayerFadeOut(0x%08X,%u)\n", n, R0, R1);
        return;
    case 0x25:
        if (log) Log("BIOS #0x%02X: MultiBoot(0x%08X)\n", n, R0);
        return;
    case 0x28:
        if (log) Log("BIOS #0x%02X: SoundDriverVSyncOff()\n", n);
        return;
    case 0x29:
        if (log) Log("BIOS #0x%02X: SoundDriverVSyncOn()\n", n);
        return;
    default:
        if (log) Log("ARM: Called SWI #0x%02X at PC=0x%08X\n", n, cpu.R[15]);
        return;
    }
}

}  // namespace

void HandOverToCartridge(CpuRecord& cpu, uint32_t entry) {
    for (int i = 0; i < 15; ++i) cpu.R[i] = 0;
    // Set straight rather than through a mode change: nothing of the mode
    // the processor was in is kept.
    cpu.CPSR = ModeSystem;
    cpu.R[13] = cpu.R13_usr = 0x03007F00;
    cpu.R14_usr = 0;
    cpu.R13_irq = 0x03007FA0;
    cpu.R13_svc = 0x03007FE0;
    cpu.R[15] = entry;
}

void SoftwareInterrupt(uint32_t comment) {
    if (BiosLoaded) {
        EnterBios();
        return;
    }
    HostService(ServiceNumber(comment));
}

}  // namespace koru
