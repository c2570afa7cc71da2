// The THUMB instruction set, executed inside the loop: ExecuteThumb is one
// switch over opcode bits 15-8 whose cases inline the instruction bodies.
// The formats that name a register or a condition in bits 10-8 (or 11-8)
// get one case per value, so that field is a constant in the body.
#pragma once
#include <bit>

#include "bios/bios.h"
#include "cpu/alu.h"
#include "machine/log.h"

namespace koru::thumb {

// While an instruction executes R[15] holds its address + 2; as an operand
// R15 reads as the address + 4.
KORU_INLINE uint32_t Pc(const CpuRecord& cpu) { return cpu.R[15] + 2; }
KORU_INLINE uint32_t Low(uint32_t op, uint32_t shift) { return (op >> shift) & 7; }

// 0x00-0x17: shifts by an immediate amount.
template <uint32_t Type>
KORU_INLINE void ShiftImmediate(CpuRecord& cpu, uint32_t op) {
    uint32_t carry = CarryFlag(cpu.CPSR);
    const uint32_t r = ShiftByImmediate<Type>(cpu.R[Low(op, 3)], (op >> 6) & 31, carry);
    cpu.R[Low(op, 0)] = r;
    SetNZC(cpu, r, carry);
}

// 0x18-0x1F: three-operand ADD and SUB with a register or a 3-bit value.
template <bool Immediate, bool Subtract>
KORU_INLINE void AddSubtract(CpuRecord& cpu, uint32_t op) {
    const uint32_t a = cpu.R[Low(op, 3)];
    const uint32_t b = Immediate ? Low(op, 6) : cpu.R[Low(op, 6)];
    const uint32_t r = Subtract ? a - b : a + b;
    cpu.R[Low(op, 0)] = r;
    SetNZCV(cpu, Subtract ? SubFlags(a, b, r) : AddFlags(a, b, r));
}

// 0x20-0x3F, one case per register.
template <uint32_t D>
KORU_INLINE void MoveImmediate(CpuRecord& cpu, uint32_t op) {
    const uint32_t v = op & 0xFF;
    cpu.R[D] = v;
    SetNZ(cpu, v);
}
template <uint32_t D>
KORU_INLINE void CompareImmediate(CpuRecord& cpu, uint32_t op) {
    const uint32_t a = cpu.R[D], b = op & 0xFF;
    SetNZCV(cpu, SubFlags(a, b, a - b));
}
template <uint32_t D>
KORU_INLINE void AddImmediate(CpuRecord& cpu, uint32_t op) {
    const uint32_t a = cpu.R[D], b = op & 0xFF, r = a + b;
    cpu.R[D] = r;
    SetNZCV(cpu, AddFlags(a, b, r));
}
template <uint32_t D>
KORU_INLINE void SubtractImmediate(CpuRecord& cpu, uint32_t op) {
    const uint32_t a = cpu.R[D], b = op & 0xFF, r = a - b;
    cpu.R[D] = r;
    SetNZCV(cpu, SubFlags(a, b, r));
}

// Register shifts of the ALU group. LSL, LSR and ASR follow the ARM rules for
// a shift by register; ROR only looks at the low five bits of the amount.
template <uint32_t Type>
KORU_INLINE void ShiftRegister(CpuRecord& cpu, uint32_t op) {
    const uint32_t d = Low(op, 0);
    uint32_t carry = CarryFlag(cpu.CPSR);
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
    SetNZC(cpu, r, carry);
    cpu.Cycles -= 1;
}

// 0x40-0x43: sixteen two-operand operations, bits 9-8 fixed by the case.
template <uint32_t Group>
KORU_INLINE void Alu(CpuRecord& cpu, uint32_t op) {
    uint32_t* const R = cpu.R;
    const uint32_t d = Low(op, 0);
    const uint32_t a = R[d];
    const uint32_t b = R[Low(op, 3)];
    const uint32_t carryIn = CarryFlag(cpu.CPSR);
    switch ((Group << 2) | ((op >> 6) & 3)) {
        case 0x0: R[d] = a & b; SetNZ(cpu, a & b); break;            // AND
        case 0x1: R[d] = a ^ b; SetNZ(cpu, a ^ b); break;            // EOR
        case 0x2: ShiftRegister<ShiftLsl>(cpu, op); break;           // LSL
        case 0x3: ShiftRegister<ShiftLsr>(cpu, op); break;           // LSR
        case 0x4: ShiftRegister<ShiftAsr>(cpu, op); break;           // ASR
        case 0x5: {                                                  // ADC
            const uint32_t r = a + b + carryIn;
            R[d] = r;
            SetNZCV(cpu, AddFlags(a, b, r));
            break;
        }
        case 0x6: {                                                  // SBC
            const uint32_t r = a - b - (carryIn ^ 1);
            R[d] = r;
            SetNZCV(cpu, SubFlags(a, b, r));
            break;
        }
        case 0x7: ShiftRegister<ShiftRor>(cpu, op); break;           // ROR
        case 0x8: SetNZ(cpu, a & b); break;                          // TST
        case 0x9: R[d] = 0 - b; SetNZCV(cpu, SubFlags(0, b, 0 - b)); break;  // NEG
        case 0xA: SetNZCV(cpu, SubFlags(a, b, a - b)); break;        // CMP
        case 0xB: SetNZCV(cpu, AddFlags(a, b, a + b)); break;        // CMN
        case 0xC: R[d] = a | b; SetNZ(cpu, a | b); break;            // ORR
        case 0xD:                                                    // MUL: C and V cleared
            R[d] = a * b;
            cpu.CPSR = (cpu.CPSR & 0x0FFFFFFFu) | NZ(a * b);
            cpu.Cycles -= 4;
            break;
        case 0xE: R[d] = a & ~b; SetNZ(cpu, a & ~b); break;          // BIC
        default: R[d] = ~b; SetNZ(cpu, ~b); break;                   // MVN
    }
}

// 0x44-0x47: high-register operations. Rd is bit 7 : bits 2-0, Rs bits 6-3.
KORU_INLINE uint32_t HighOperand(const CpuRecord& cpu, uint32_t op) {
    const uint32_t s = (op >> 3) & 15;
    return s == 15 ? Pc(cpu) : cpu.R[s];
}
KORU_INLINE uint32_t HighDestination(uint32_t op) { return ((op >> 4) & 8) | (op & 7); }

KORU_INLINE void AddHigh(CpuRecord& cpu, uint32_t op) {
    const uint32_t d = HighDestination(op);
    const uint32_t a = d == 15 ? Pc(cpu) : cpu.R[d];
    cpu.R[d] = a + HighOperand(cpu, op);
    cpu.R[15] &= ~1u;
}
KORU_INLINE void CompareHigh(CpuRecord& cpu, uint32_t op) {
    const uint32_t d = HighDestination(op);
    const uint32_t a = d == 15 ? Pc(cpu) : cpu.R[d];
    const uint32_t b = HighOperand(cpu, op);
    SetNZCV(cpu, SubFlags(a, b, a - b));
}
KORU_INLINE void MoveHigh(CpuRecord& cpu, uint32_t op) {
    cpu.R[HighDestination(op)] = HighOperand(cpu, op);
    cpu.R[15] &= ~1u;
}
// Back to ARM when bit 0 is clear: the loop picks the instruction set only
// between slices, so the slice is cut.
KORU_INLINE void BranchExchange(CpuRecord& cpu, uint32_t op) {
    const uint32_t target = HighOperand(cpu, op);
    if (target & 1) {
        cpu.R[15] = target & ~1u;
    } else {
        cpu.R[15] = target & ~3u;
        cpu.CPSR &= ~FlagT;
        CutSlice(cpu);
    }
}

// 0x48-0x4F, one case per register.
template <uint32_t D>
KORU_INLINE void LoadPcRelative(CpuRecord& cpu, uint32_t op) {
    cpu.R[D] = LoadWord(cpu, (Pc(cpu) & ~3u) + ((op & 0xFF) << 2));
    cpu.Cycles -= 1;
}

// 0x50-0x5F: transfers with a register offset, bits 11-9 fixed by the case.
template <uint32_t Kind>
KORU_INLINE void TransferRegisterOffset(CpuRecord& cpu, uint32_t op) {
    uint32_t* const R = cpu.R;
    const uint32_t address = R[Low(op, 3)] + R[Low(op, 6)];
    const uint32_t d = Low(op, 0);
    if constexpr (Kind == 0) WriteWord(address, R[d]);                          // STR
    if constexpr (Kind == 1) WriteHalf(address, static_cast<uint16_t>(R[d]));   // STRH
    if constexpr (Kind == 2) WriteByte(address, static_cast<uint8_t>(R[d]));    // STRB
    if constexpr (Kind >= 3) {
        uint32_t v;
        if constexpr (Kind == 3) v = SignExtend8(LoadByte(cpu, address));      // LDRSB
        if constexpr (Kind == 4) v = LoadWord(cpu, address);                   // LDR
        if constexpr (Kind == 5) v = LoadHalf(cpu, address);                   // LDRH
        if constexpr (Kind == 6) v = LoadByte(cpu, address);                   // LDRB
        if constexpr (Kind == 7) v = SignExtend16(LoadHalf(cpu, address));     // LDRSH
        R[d] = v;
        cpu.Cycles -= 1;
    }
}

// 0x60-0x8F: transfers with a 5-bit immediate offset scaled by the size.
template <uint32_t Size, bool Load>
KORU_INLINE void TransferImmediateOffset(CpuRecord& cpu, uint32_t op) {
    uint32_t* const R = cpu.R;
    const uint32_t address = R[Low(op, 3)] + ((op >> 6) & 31) * Size;
    const uint32_t d = Low(op, 0);
    if constexpr (Load) {
        if constexpr (Size == 4) R[d] = LoadWord(cpu, address);
        if constexpr (Size == 2) R[d] = LoadHalf(cpu, address);
        if constexpr (Size == 1) R[d] = LoadByte(cpu, address);
        cpu.Cycles -= 1;
    } else {
        if constexpr (Size == 4) WriteWord(address, R[d]);
        if constexpr (Size == 2) WriteHalf(address, static_cast<uint16_t>(R[d]));
        if constexpr (Size == 1) WriteByte(address, static_cast<uint8_t>(R[d]));
    }
}

// 0x90-0x9F, one case per register.
template <uint32_t D>
KORU_INLINE void StoreSpRelative(CpuRecord& cpu, uint32_t op) {
    WriteWord(cpu.R[13] + ((op & 0xFF) << 2), cpu.R[D]);
}
template <uint32_t D>
KORU_INLINE void LoadSpRelative(CpuRecord& cpu, uint32_t op) {
    cpu.R[D] = LoadWord(cpu, cpu.R[13] + ((op & 0xFF) << 2));
    cpu.Cycles -= 1;
}

// 0xA0-0xAF, one case per register.
template <uint32_t D>
KORU_INLINE void AddPcRelative(CpuRecord& cpu, uint32_t op) {
    cpu.R[D] = (Pc(cpu) & ~3u) + ((op & 0xFF) << 2);
}
template <uint32_t D>
KORU_INLINE void AddSpRelative(CpuRecord& cpu, uint32_t op) {
    cpu.R[D] = cpu.R[13] + ((op & 0xFF) << 2);
}

KORU_INLINE void AdjustSp(CpuRecord& cpu, uint32_t op) {
    const uint32_t n = (op & 0x7F) << 2;
    cpu.R[13] = (op & 0x80) ? cpu.R[13] - n : cpu.R[13] + n;
}

// The multiple transfers work on word-aligned addresses and hand the low two
// bits of the stack pointer or base back unchanged.
template <bool WithLr>
KORU_INLINE void Push(CpuRecord& cpu, uint32_t op) {
    const uint32_t sp = cpu.R[13];
    uint32_t address = sp & ~3u;
    if constexpr (WithLr) {
        address -= 4;
        WriteWord(address, cpu.R[14]);
    }
    for (int i = 7; i >= 0; --i) {
        if (op & (1u << i)) {
            address -= 4;
            WriteWord(address, cpu.R[i]);
        }
    }
    cpu.R[13] = address | (sp & 3);
}

template <bool WithPc>
KORU_INLINE void Pop(CpuRecord& cpu, uint32_t op) {
    const uint32_t sp = cpu.R[13];
    uint32_t address = sp & ~3u;
    for (uint32_t bits = op & 0xFF; bits; bits &= bits - 1) {
        cpu.R[std::countr_zero(bits)] = LoadWord(cpu, address);
        address += 4;
    }
    if constexpr (WithPc) {
        cpu.R[15] = LoadWord(cpu, address) & ~1u;  // stays THUMB
        address += 4;
    }
    cpu.R[13] = address | (sp & 3);
}

// 0xC0-0xCF, one case per base register.
template <uint32_t B>
KORU_INLINE void StoreMultiple(CpuRecord& cpu, uint32_t op) {
    const uint32_t base = cpu.R[B];
    uint32_t address = base & ~3u;
    for (uint32_t bits = op & 0xFF; bits; bits &= bits - 1) {
        const uint32_t i = static_cast<uint32_t>(std::countr_zero(bits));
        WriteWord(address, i == B ? base : cpu.R[i]);
        address += 4;
    }
    cpu.R[B] = address | (base & 3);
}
template <uint32_t B>
KORU_INLINE void LoadMultiple(CpuRecord& cpu, uint32_t op) {
    const uint32_t list = op & 0xFF;
    if (!list) return;
    uint32_t address = cpu.R[B] & ~3u;
    for (uint32_t bits = list; bits; bits &= bits - 1) {
        cpu.R[std::countr_zero(bits)] = LoadWord(cpu, address);
        address += 4;
    }
    // The write-back wins over a loaded base but keeps its low two bits.
    cpu.R[B] = address | (cpu.R[B] & 3);
}

// 0xD0-0xDD, one case per condition.
template <uint32_t Condition>
KORU_INLINE void BranchIf(CpuRecord& cpu, uint32_t op) {
    if (ConditionHolds(Condition, cpu.CPSR)) {
        cpu.R[15] = Pc(cpu) + (static_cast<uint32_t>(static_cast<int32_t>(op << 24) >> 23));
    }
}

KORU_INLINE void Branch(CpuRecord& cpu, uint32_t op) {
    cpu.R[15] = Pc(cpu) + (static_cast<uint32_t>(static_cast<int32_t>(op << 21) >> 20));
}
KORU_INLINE void BranchLinkHigh(CpuRecord& cpu, uint32_t op) {
    cpu.R[14] = Pc(cpu) + (static_cast<uint32_t>(static_cast<int32_t>(op << 21) >> 9));
}
KORU_INLINE void BranchLinkLow(CpuRecord& cpu, uint32_t op) {
    const uint32_t target = cpu.R[14] + ((op & 0x7FF) << 1);
    cpu.R[14] = cpu.R[15] | 1;
    cpu.R[15] = target;
}

[[gnu::noinline, gnu::cold]] inline void Undefined(CpuRecord& cpu, uint32_t op) {
    if (cpu.Trace) Log("THUMB: Unrecognized opcode 0x%04X at 0x%08X\n", op, cpu.R[15] - 2);
}

#define KORU_EACH8(base, F)                        \
    case (base) + 0: F<0>(cpu, op); break;         \
    case (base) + 1: F<1>(cpu, op); break;         \
    case (base) + 2: F<2>(cpu, op); break;         \
    case (base) + 3: F<3>(cpu, op); break;         \
    case (base) + 4: F<4>(cpu, op); break;         \
    case (base) + 5: F<5>(cpu, op); break;         \
    case (base) + 6: F<6>(cpu, op); break;         \
    case (base) + 7: F<7>(cpu, op); break;
#define KORU_SAME2(base, call) \
    case (base) + 0:           \
    case (base) + 1: call; break;
#define KORU_SAME8(base, call) \
    case (base) + 0:           \
    case (base) + 1:           \
    case (base) + 2:           \
    case (base) + 3:           \
    case (base) + 4:           \
    case (base) + 5:           \
    case (base) + 6:           \
    case (base) + 7: call; break;

// One THUMB instruction, R[15] already past it.
KORU_INLINE void Execute(CpuRecord& cpu, uint32_t op) {
    switch (op >> 8) {
        KORU_SAME8(0x00, ShiftImmediate<ShiftLsl>(cpu, op))
        KORU_SAME8(0x08, ShiftImmediate<ShiftLsr>(cpu, op))
        KORU_SAME8(0x10, ShiftImmediate<ShiftAsr>(cpu, op))
        KORU_SAME2(0x18, (AddSubtract<false, false>(cpu, op)))
        KORU_SAME2(0x1A, (AddSubtract<false, true>(cpu, op)))
        KORU_SAME2(0x1C, (AddSubtract<true, false>(cpu, op)))
        KORU_SAME2(0x1E, (AddSubtract<true, true>(cpu, op)))
        KORU_EACH8(0x20, MoveImmediate)
        KORU_EACH8(0x28, CompareImmediate)
        KORU_EACH8(0x30, AddImmediate)
        KORU_EACH8(0x38, SubtractImmediate)
        case 0x40: Alu<0>(cpu, op); break;
        case 0x41: Alu<1>(cpu, op); break;
        case 0x42: Alu<2>(cpu, op); break;
        case 0x43: Alu<3>(cpu, op); break;
        case 0x44: AddHigh(cpu, op); break;
        case 0x45: CompareHigh(cpu, op); break;
        case 0x46: MoveHigh(cpu, op); break;
        case 0x47: BranchExchange(cpu, op); break;
        KORU_EACH8(0x48, LoadPcRelative)
        KORU_SAME2(0x50, TransferRegisterOffset<0>(cpu, op))
        KORU_SAME2(0x52, TransferRegisterOffset<1>(cpu, op))
        KORU_SAME2(0x54, TransferRegisterOffset<2>(cpu, op))
        KORU_SAME2(0x56, TransferRegisterOffset<3>(cpu, op))
        KORU_SAME2(0x58, TransferRegisterOffset<4>(cpu, op))
        KORU_SAME2(0x5A, TransferRegisterOffset<5>(cpu, op))
        KORU_SAME2(0x5C, TransferRegisterOffset<6>(cpu, op))
        KORU_SAME2(0x5E, TransferRegisterOffset<7>(cpu, op))
        KORU_SAME8(0x60, (TransferImmediateOffset<4, false>(cpu, op)))
        KORU_SAME8(0x68, (TransferImmediateOffset<4, true>(cpu, op)))
        KORU_SAME8(0x70, (TransferImmediateOffset<1, false>(cpu, op)))
        KORU_SAME8(0x78, (TransferImmediateOffset<1, true>(cpu, op)))
        KORU_SAME8(0x80, (TransferImmediateOffset<2, false>(cpu, op)))
        KORU_SAME8(0x88, (TransferImmediateOffset<2, true>(cpu, op)))
        KORU_EACH8(0x90, StoreSpRelative)
        KORU_EACH8(0x98, LoadSpRelative)
        KORU_EACH8(0xA0, AddPcRelative)
        KORU_EACH8(0xA8, AddSpRelative)
        case 0xB0: AdjustSp(cpu, op); break;
        case 0xB4: Push<false>(cpu, op); break;
        case 0xB5: Push<true>(cpu, op); break;
        case 0xBC: Pop<false>(cpu, op); break;
        case 0xBD: Pop<true>(cpu, op); break;
        KORU_EACH8(0xC0, StoreMultiple)
        KORU_EACH8(0xC8, LoadMultiple)
        KORU_EACH8(0xD0, BranchIf)
        case 0xD8: BranchIf<8>(cpu, op); break;
        case 0xD9: BranchIf<9>(cpu, op); break;
        case 0xDA: BranchIf<10>(cpu, op); break;
        case 0xDB: BranchIf<11>(cpu, op); break;
        case 0xDC: BranchIf<12>(cpu, op); break;
        case 0xDD: BranchIf<13>(cpu, op); break;
        case 0xDF: SoftwareInterrupt(op & 0xFF); break;
        KORU_SAME8(0xE0, Branch(cpu, op))
        KORU_SAME8(0xF0, BranchLinkHigh(cpu, op))
        KORU_SAME8(0xF8, BranchLinkLow(cpu, op))
        default: Undefined(cpu, op); break;  // 0xB1-0xB3, 0xB6-0xBB, 0xBE-0xBF, 0xDE, 0xE8-0xEF
    }
}

#undef KORU_EACH8
#undef KORU_SAME2
#undef KORU_SAME8

}  // namespace koru::thumb
