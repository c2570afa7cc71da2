// ARM data processing: the sixteen operations with an immediate operand, a
// register shifted by an immediate amount or a register shifted by a
// register.
#pragma once
#include "cpu/slice_context.h"

namespace koru {

enum ArmOperandForm : uint32_t { OperandImmediate, OperandShiftByImmediate, OperandShiftByRegister };

template <uint32_t Op, bool S, uint32_t Form, uint32_t Shift>
KORU_INLINE void ArmDataProcessing(ArmContext& t, uint32_t op) {
    constexpr bool Logical = Op <= 1 || (Op >= 8 && Op <= 9) || Op >= 12;
    constexpr bool Test = Op >= 8 && Op <= 11;
    constexpr bool ReadsRn = Op != 13 && Op != 15;
    // R15 reads as the instruction's address + 8, or + 12 when the operand
    // is shifted by a register.
    constexpr uint32_t PcAhead = Form == OperandShiftByRegister ? 8 : 4;

    uint32_t carry = t.Carry();
    uint32_t b;
    if constexpr (Form == OperandImmediate) {
        // The rotated immediate does not produce a shifter carry.
        b = RotateRight(op & 0xFF, (op >> 7) & 0x1E);
    } else if constexpr (Form == OperandShiftByImmediate) {
        b = ShiftByImmediate<Shift>(Operand(t, op & 15, PcAhead), (op >> 7) & 31, carry);
    } else {
        b = ShiftByRegister<Shift>(Operand(t, op & 15, PcAhead), Operand(t, (op >> 8) & 15, PcAhead) & 0xFF,
                                   carry);
    }
    uint32_t a = 0;
    if constexpr (ReadsRn) a = Operand(t, (op >> 16) & 15, PcAhead);

    const uint32_t carryIn = t.Carry();
    uint32_t r;
    uint32_t cv = 0;  // C and V of an arithmetic operation
    if constexpr (Op == 0x0 || Op == 0x8) r = a & b;
    if constexpr (Op == 0x1 || Op == 0x9) r = a ^ b;
    if constexpr (Op == 0x2 || Op == 0xA) {
        r = a - b;
        if constexpr (S) cv = SubCV(a, b);
    }
    if constexpr (Op == 0x3) {
        r = b - a;
        if constexpr (S) cv = SubCV(b, a);
    }
    if constexpr (Op == 0x4 || Op == 0xB) {
        r = a + b;
        if constexpr (S) cv = AddCV(a, b);
    }
    if constexpr (Op == 0x5) {
        r = a + b + carryIn;
        if constexpr (S) cv = AddCV(a, b, r);
    }
    if constexpr (Op == 0x6) {
        r = a - b - (carryIn ^ 1);
        if constexpr (S) cv = SubCV(a, b, r);
    }
    if constexpr (Op == 0x7) {
        r = b - a - (carryIn ^ 1);
        if constexpr (S) cv = SubCV(b, a, r);
    }
    if constexpr (Op == 0xC) r = a | b;
    if constexpr (Op == 0xD) r = b;
    if constexpr (Op == 0xE) r = a & ~b;
    if constexpr (Op == 0xF) r = ~b;

    const uint32_t d = (op >> 12) & 15;
    if constexpr (!Test) SetRegister(t, d, r);
    if constexpr (Form == OperandShiftByRegister) t.cycles -= 1;
    if constexpr (S) {
        if (d != 15) {
            if constexpr (Logical) {
                t.SetNZC(r, carry);
            } else {
                t.SetNZCV(r, cv);
            }
        } else {
            // Return from an exception: the mode's saved status replaces
            // CPSR; in modes without one only the shifter carry lands.
            if constexpr (Logical) t.cpsr = (t.cpsr & ~FlagC) | (carry << 29);
            if (const uint32_t* spsr = SavedStatus(t.cpu, t.cpsr)) {
                t.Sync();
                SetCpsr(t.cpu, *spsr);
                t.Reload();
            }
        }
    }
}

}  // namespace koru
