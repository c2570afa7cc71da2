// The THUMB instruction set, executed inside the loop: the decode table has
// one entry per value of opcode bits 15-8 (ExecuteHigh), each inlining its
// instruction's body. The formats that name a register or a condition in
// bits 10-8 (or 11-8) get one entry per value, so that field is a constant
// in the body.
#pragma once
#include <bit>

#include "bios/bios.h"
#include "cpu/alu.h"
#include "cpu/slice_context.h"
#include "machine/log.h"

namespace koru::thumb {

// A THUMB slice's registers (slice_context.h): while an instruction
// executes, pc is its address + 2.
using Context = SliceContext<2>;

// As an operand R15 reads as the instruction's address + 4.
KORU_INLINE uint32_t Pc(const Context& t) { return t.pc + 2; }
KORU_INLINE uint32_t Low(uint32_t op, uint32_t shift) { return (op >> shift) & 7; }

// 0x00-0x17: shifts by an immediate amount.
template <uint32_t Type>
KORU_INLINE void ShiftImmediate(Context& t, uint32_t op) {
    CpuRecord& cpu = t.cpu;
    uint32_t carry = t.Carry();
    const uint32_t r = ShiftByImmediate<Type>(cpu.R[Low(op, 3)], (op >> 6) & 31, carry);
    cpu.R[Low(op, 0)] = r;
    t.SetNZC(r, carry);
}

// 0x18-0x1F: three-operand ADD and SUB with a register or a 3-bit value.
template <bool Immediate, bool Subtract>
KORU_INLINE void AddSubtract(Context& t, uint32_t op) {
    CpuRecord& cpu = t.cpu;
    const uint32_t a = cpu.R[Low(op, 3)];
    const uint32_t b = Immediate ? Low(op, 6) : cpu.R[Low(op, 6)];
    const uint32_t r = Subtract ? a - b : a + b;
    cpu.R[Low(op, 0)] = r;
    t.SetNZCV(r, Subtract ? SubCV(a, b) : AddCV(a, b));
}

// 0x20-0x3F, one case per register.
template <uint32_t D>
KORU_INLINE void MoveImmediate(Context& t, uint32_t op) {
    const uint32_t v = op & 0xFF;
    t.cpu.R[D] = v;
    t.SetNZ(v);
}
template <uint32_t D>
KORU_INLINE void CompareImmediate(Context& t, uint32_t op) {
    const uint32_t a = t.cpu.R[D], b = op & 0xFF;
    t.SetNZCV(a - b, SubCV(a, b));
}
template <uint32_t D>
KORU_INLINE void AddImmediate(Context& t, uint32_t op) {
    const uint32_t a = t.cpu.R[D], b = op & 0xFF, r = a + b;
    t.cpu.R[D] = r;
    t.SetNZCV(r, AddCV(a, b));
}
template <uint32_t D>
KORU_INLINE void SubtractImmediate(Context& t, uint32_t op) {
    const uint32_t a = t.cpu.R[D], b = op & 0xFF, r = a - b;
    t.cpu.R[D] = r;
    t.SetNZCV(r, SubCV(a, b));
}

// Register shifts of the ALU group. LSL, LSR and ASR follow the ARM rules for
// a shift by register; ROR only looks at the low five bits of the amount.
template <uint32_t Type>
KORU_INLINE void ShiftRegister(Context& t, uint32_t op) {
    CpuRecord& cpu = t.cpu;
    const uint32_t d = Low(op, 0);
    uint32_t carry = t.Carry();
    uint32_t r;
    if constexpr (Type == ShiftRor) {
        const uint32_t n = cpu.R[Low(op, 3)] & 31;
        r = cpu.R[d];
        if (n) {
            carry = (r >> (n - 1)) & 1;
            r = RotateRight(r, n);
        }
    } else {
        r = ShiftByRegister<Type>(cpu.R[d], cpu.R[Low(op, 3)] & 0xFF, carry);
    }
    cpu.R[d] = r;
    t.SetNZC(r, carry);
    t.cycles -= 1;
}

// 0x40-0x43: sixteen two-operand operations; the case fixes bits 9-8, the
// operation Code is the whole of bits 9-6.
template <uint32_t Code>
KORU_INLINE void Alu(Context& t, uint32_t op) {
    CpuRecord& cpu = t.cpu;
    uint32_t* const R = cpu.R;
    const uint32_t d = Low(op, 0);
    const uint32_t a = R[d];
    const uint32_t b = R[Low(op, 3)];
    const uint32_t carryIn = t.Carry();
    if constexpr (Code == 0x0) { R[d] = a & b; t.SetNZ(a & b); }                        // AND
    if constexpr (Code == 0x1) { R[d] = a ^ b; t.SetNZ(a ^ b); }                        // EOR
    if constexpr (Code == 0x2) ShiftRegister<ShiftLsl>(t, op);                             // LSL
    if constexpr (Code == 0x3) ShiftRegister<ShiftLsr>(t, op);                             // LSR
    if constexpr (Code == 0x4) ShiftRegister<ShiftAsr>(t, op);                             // ASR
    if constexpr (Code == 0x5) {                                                           // ADC
        const uint32_t r = a + b + carryIn;
        R[d] = r;
        t.SetNZCV(r, AddCV(a, b, r));
    }
    if constexpr (Code == 0x6) {                                                           // SBC
        const uint32_t r = a - b - (carryIn ^ 1);
        R[d] = r;
        t.SetNZCV(r, SubCV(a, b, r));
    }
    if constexpr (Code == 0x7) ShiftRegister<ShiftRor>(t, op);                             // ROR
    if constexpr (Code == 0x8) t.SetNZ(a & b);                                          // TST
    if constexpr (Code == 0x9) { R[d] = 0 - b; t.SetNZCV(0 - b, SubCV(0, b)); }        // NEG
    if constexpr (Code == 0xA) t.SetNZCV(a - b, SubCV(a, b));                           // CMP
    if constexpr (Code == 0xB) t.SetNZCV(a + b, AddCV(a, b));                           // CMN
    if constexpr (Code == 0xC) { R[d] = a | b; t.SetNZ(a | b); }                        // ORR
    if constexpr (Code == 0xD) {                                                           // MUL: C and V cleared
        R[d] = a * b;
        t.SetNZCV(a * b, 0);
        t.cycles -= 4;
    }
    if constexpr (Code == 0xE) { R[d] = a & ~b; t.SetNZ(a & ~b); }                      // BIC
    if constexpr (Code == 0xF) { R[d] = ~b; t.SetNZ(~b); }                              // MVN
}

// The four operations of one ALU entry, told apart by bits 7-6.
template <uint32_t Group>
KORU_INLINE void AluGroup(Context& t, uint32_t op) {
    switch ((op >> 6) & 3) {
        case 0: Alu<Group * 4 + 0>(t, op); break;
        case 1: Alu<Group * 4 + 1>(t, op); break;
        case 2: Alu<Group * 4 + 2>(t, op); break;
        default: Alu<Group * 4 + 3>(t, op); break;
    }
}

// 0x44-0x47: high-register operations. Rd is bit 7 : bits 2-0, Rs bits 6-3.
KORU_INLINE uint32_t HighOperand(const Context& t, uint32_t op) {
    const uint32_t s = (op >> 3) & 15;
    return s == 15 ? Pc(t) : t.cpu.R[s];
}
KORU_INLINE uint32_t HighDestination(uint32_t op) { return ((op >> 4) & 8) | (op & 7); }
// ADD and MOV clear bit 0 of R15 afterwards, whichever register they wrote.
KORU_INLINE void SetHigh(Context& t, uint32_t d, uint32_t value) {
    if (d == 15) {
        t.pc = value;
    } else {
        t.cpu.R[d] = value;
    }
    t.pc &= ~1u;
}

KORU_INLINE void AddHigh(Context& t, uint32_t op) {
    const uint32_t d = HighDestination(op);
    const uint32_t a = d == 15 ? Pc(t) : t.cpu.R[d];
    SetHigh(t, d, a + HighOperand(t, op));
}
KORU_INLINE void CompareHigh(Context& t, uint32_t op) {
    const uint32_t d = HighDestination(op);
    const uint32_t a = d == 15 ? Pc(t) : t.cpu.R[d];
    const uint32_t b = HighOperand(t, op);
    t.SetNZCV(a - b, SubCV(a, b));
}
KORU_INLINE void MoveHigh(Context& t, uint32_t op) { SetHigh(t, HighDestination(op), HighOperand(t, op)); }
// Back to ARM when bit 0 is clear: the loop picks the instruction set only
// between slices, so the slice is cut.
KORU_INLINE void BranchExchange(Context& t, uint32_t op) {
    const uint32_t target = HighOperand(t, op);
    if (target & 1) {
        t.pc = target & ~1u;
    } else {
        t.pc = target & ~3u;
        t.cpsr &= ~FlagT;
        t.Sync();
        CutSlice(t.cpu);
        t.Reload();
    }
}

// 0x48-0x4F, one case per register.
template <uint32_t D>
KORU_INLINE void LoadPcRelative(Context& t, uint32_t op) {
    t.cpu.R[D] = t.LoadWord((Pc(t) & ~3u) + ((op & 0xFF) << 2));
    t.cycles -= 1;
}

// 0x50-0x5F: transfers with a register offset, bits 11-9 fixed by the case.
template <uint32_t Kind>
KORU_INLINE void TransferRegisterOffset(Context& t, uint32_t op) {
    uint32_t* const R = t.cpu.R;
    const uint32_t address = R[Low(op, 3)] + R[Low(op, 6)];
    const uint32_t d = Low(op, 0);
    if constexpr (Kind == 0) t.StoreWord(address, R[d]);                          // STR
    if constexpr (Kind == 1) t.StoreHalf(address, static_cast<uint16_t>(R[d]));   // STRH
    if constexpr (Kind == 2) t.StoreByte(address, static_cast<uint8_t>(R[d]));    // STRB
    if constexpr (Kind >= 3) {
        uint32_t v;
        if constexpr (Kind == 3) v = SignExtend8(t.LoadByte(address));       // LDRSB
        if constexpr (Kind == 4) v = t.LoadWord(address);                    // LDR
        if constexpr (Kind == 5) v = t.LoadHalf(address);                    // LDRH
        if constexpr (Kind == 6) v = t.LoadByte(address);                    // LDRB
        if constexpr (Kind == 7) v = SignExtend16(t.LoadHalf(address));      // LDRSH
        R[d] = v;
        t.cycles -= 1;
    }
}

// 0x60-0x8F: transfers with a 5-bit immediate offset scaled by the size.
template <uint32_t Size, bool Load>
KORU_INLINE void TransferImmediateOffset(Context& t, uint32_t op) {
    uint32_t* const R = t.cpu.R;
    const uint32_t address = R[Low(op, 3)] + ((op >> 6) & 31) * Size;
    const uint32_t d = Low(op, 0);
    if constexpr (Load) {
        if constexpr (Size == 4) R[d] = t.LoadWord(address);
        if constexpr (Size == 2) R[d] = t.LoadHalf(address);
        if constexpr (Size == 1) R[d] = t.LoadByte(address);
        t.cycles -= 1;
    } else {
        if constexpr (Size == 4) t.StoreWord(address, R[d]);
        if constexpr (Size == 2) t.StoreHalf(address, static_cast<uint16_t>(R[d]));
        if constexpr (Size == 1) t.StoreByte(address, static_cast<uint8_t>(R[d]));
    }
}

// 0x90-0x9F, one case per register.
template <uint32_t D>
KORU_INLINE void StoreSpRelative(Context& t, uint32_t op) {
    t.StoreWord(t.cpu.R[13] + ((op & 0xFF) << 2), t.cpu.R[D]);
}
template <uint32_t D>
KORU_INLINE void LoadSpRelative(Context& t, uint32_t op) {
    t.cpu.R[D] = t.LoadWord(t.cpu.R[13] + ((op & 0xFF) << 2));
    t.cycles -= 1;
}

// 0xA0-0xAF, one case per register.
template <uint32_t D>
KORU_INLINE void AddPcRelative(Context& t, uint32_t op) {
    t.cpu.R[D] = (Pc(t) & ~3u) + ((op & 0xFF) << 2);
}
template <uint32_t D>
KORU_INLINE void AddSpRelative(Context& t, uint32_t op) {
    t.cpu.R[D] = t.cpu.R[13] + ((op & 0xFF) << 2);
}

KORU_INLINE void AdjustSp(Context& t, uint32_t op) {
    const uint32_t n = (op & 0x7F) << 2;
    t.cpu.R[13] = (op & 0x80) ? t.cpu.R[13] - n : t.cpu.R[13] + n;
}

// The multiple transfers work on word-aligned addresses and hand the low two
// bits of the stack pointer or base back unchanged.
template <bool WithLr>
KORU_INLINE void Push(Context& t, uint32_t op) {
    uint32_t* const R = t.cpu.R;
    const uint32_t sp = R[13];
    uint32_t address = sp & ~3u;
    if constexpr (WithLr) {
        address -= 4;
        t.StoreWord(address, R[14]);
    }
    for (int i = 7; i >= 0; --i) {
        if (op & (1u << i)) {
            address -= 4;
            t.StoreWord(address, R[i]);
        }
    }
    R[13] = address | (sp & 3);
}

template <bool WithPc>
KORU_INLINE void Pop(Context& t, uint32_t op) {
    uint32_t* const R = t.cpu.R;
    const uint32_t sp = R[13];
    uint32_t address = sp & ~3u;
    for (uint32_t bits = op & 0xFF; bits; bits &= bits - 1) {
        R[std::countr_zero(bits)] = t.LoadWord(address);
        address += 4;
    }
    if constexpr (WithPc) {
        t.pc = t.LoadWord(address) & ~1u;  // stays THUMB
        address += 4;
    }
    R[13] = address | (sp & 3);
}

// 0xC0-0xCF, one case per base register.
template <uint32_t B>
KORU_INLINE void StoreMultiple(Context& t, uint32_t op) {
    uint32_t* const R = t.cpu.R;
    const uint32_t base = R[B];
    uint32_t address = base & ~3u;
    for (uint32_t bits = op & 0xFF; bits; bits &= bits - 1) {
        const uint32_t i = static_cast<uint32_t>(std::countr_zero(bits));
        t.StoreWord(address, i == B ? base : R[i]);
        address += 4;
    }
    R[B] = address | (base & 3);
}
template <uint32_t B>
KORU_INLINE void LoadMultiple(Context& t, uint32_t op) {
    uint32_t* const R = t.cpu.R;
    const uint32_t list = op & 0xFF;
    if (!list) return;
    uint32_t address = R[B] & ~3u;
    for (uint32_t bits = list; bits; bits &= bits - 1) {
        R[std::countr_zero(bits)] = t.LoadWord(address);
        address += 4;
    }
    // The write-back wins over a loaded base but keeps its low two bits.
    R[B] = address | (R[B] & 3);
}

// 0xD0-0xDD, one case per condition.
template <uint32_t Condition>
KORU_INLINE void BranchIf(Context& t, uint32_t op) {
    if (t.Holds<Condition>()) {
        t.pc = Pc(t) + (static_cast<uint32_t>(static_cast<int32_t>(op << 24) >> 23));
    }
}

KORU_INLINE void Branch(Context& t, uint32_t op) {
    t.pc = Pc(t) + (static_cast<uint32_t>(static_cast<int32_t>(op << 21) >> 20));
}
KORU_INLINE void BranchLinkHigh(Context& t, uint32_t op) {
    t.cpu.R[14] = Pc(t) + (static_cast<uint32_t>(static_cast<int32_t>(op << 21) >> 9));
}
KORU_INLINE void BranchLinkLow(Context& t, uint32_t op) {
    const uint32_t target = t.cpu.R[14] + ((op & 0x7FF) << 1);
    t.cpu.R[14] = t.pc | 1;
    t.pc = target;
}

KORU_INLINE void SoftwareInterruptCall(Context& t, uint32_t op) {
    t.Sync();
    SoftwareInterrupt(op & 0xFF);
    t.Reload();
}

[[gnu::noinline, gnu::cold]] inline void Undefined(CpuRecord& cpu, uint32_t op) {
    if (cpu.Trace) Log("THUMB: Unrecognized opcode 0x%04X at 0x%08X\n", op, cpu.R[15] - 2);
}
KORU_INLINE void UndefinedCall(Context& t, uint32_t op) {
    t.Sync();
    Undefined(t.cpu, op);
}

// The instruction whose opcode bits 15-8 are H, pc already past it. Each of
// the 256 values gets its own copy, in which everything H decides (the
// format, the operation, the register or condition of bits 10-8 or 11-8) is
// a constant.
template <uint32_t H>
KORU_INLINE void ExecuteHigh(Context& t, uint32_t op) {
    if constexpr (H < 0x08) ShiftImmediate<ShiftLsl>(t, op);
    else if constexpr (H < 0x10) ShiftImmediate<ShiftLsr>(t, op);
    else if constexpr (H < 0x18) ShiftImmediate<ShiftAsr>(t, op);
    else if constexpr (H < 0x20) AddSubtract<(H & 4) != 0, (H & 2) != 0>(t, op);
    else if constexpr (H < 0x28) MoveImmediate<H & 7>(t, op);
    else if constexpr (H < 0x30) CompareImmediate<H & 7>(t, op);
    else if constexpr (H < 0x38) AddImmediate<H & 7>(t, op);
    else if constexpr (H < 0x40) SubtractImmediate<H & 7>(t, op);
    else if constexpr (H < 0x44) AluGroup<H & 3>(t, op);
    else if constexpr (H == 0x44) AddHigh(t, op);
    else if constexpr (H == 0x45) CompareHigh(t, op);
    else if constexpr (H == 0x46) MoveHigh(t, op);
    else if constexpr (H == 0x47) BranchExchange(t, op);
    else if constexpr (H < 0x50) LoadPcRelative<H & 7>(t, op);
    else if constexpr (H < 0x60) TransferRegisterOffset<(H >> 1) & 7>(t, op);
    else if constexpr (H < 0x68) TransferImmediateOffset<4, false>(t, op);
    else if constexpr (H < 0x70) TransferImmediateOffset<4, true>(t, op);
    else if constexpr (H < 0x78) TransferImmediateOffset<1, false>(t, op);
    else if constexpr (H < 0x80) TransferImmediateOffset<1, true>(t, op);
    else if constexpr (H < 0x88) TransferImmediateOffset<2, false>(t, op);
    else if constexpr (H < 0x90) TransferImmediateOffset<2, true>(t, op);
    else if constexpr (H < 0x98) StoreSpRelative<H & 7>(t, op);
    else if constexpr (H < 0xA0) LoadSpRelative<H & 7>(t, op);
    else if constexpr (H < 0xA8) AddPcRelative<H & 7>(t, op);
    else if constexpr (H < 0xB0) AddSpRelative<H & 7>(t, op);
    else if constexpr (H == 0xB0) AdjustSp(t, op);
    else if constexpr (H == 0xB4 || H == 0xB5) Push<H == 0xB5>(t, op);
    else if constexpr (H == 0xBC || H == 0xBD) Pop<H == 0xBD>(t, op);
    else if constexpr (H >= 0xC0 && H < 0xC8) StoreMultiple<H & 7>(t, op);
    else if constexpr (H >= 0xC8 && H < 0xD0) LoadMultiple<H & 7>(t, op);
    else if constexpr (H >= 0xD0 && H < 0xDE) BranchIf<H & 15>(t, op);
    else if constexpr (H == 0xDF) SoftwareInterruptCall(t, op);
    else if constexpr (H >= 0xE0 && H < 0xE8) Branch(t, op);
    else if constexpr (H >= 0xF0 && H < 0xF8) BranchLinkHigh(t, op);
    else if constexpr (H >= 0xF8) BranchLinkLow(t, op);
    else UndefinedCall(t, op);  // 0xB1-0xB3, 0xB6-0xBB, 0xBE-0xBF, 0xDE, 0xE8-0xEF
}

}  // namespace koru::thumb
