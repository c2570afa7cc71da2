// The ARM decode: what each combination of opcode bits 27-20 and 7-4 is, so
// that the class of an instruction and its mode bits are decided by those
// bits at compile time and each handler only extracts registers and amounts.
#pragma once
#include <cstdint>

#include "cpu/arm_block.h"
#include "cpu/arm_branch.h"
#include "cpu/arm_data.h"
#include "cpu/arm_halfword.h"
#include "cpu/arm_multiply.h"
#include "cpu/arm_status.h"
#include "cpu/arm_swap.h"
#include "cpu/arm_transfer.h"
#include "cpu/slice_context.h"

namespace koru {

// The decode index of an opcode: (bits 7-4) << 8 | bits 27-20.
constexpr uint32_t ArmIndex(uint32_t opcode) { return (((opcode >> 4) & 0xF) << 8) | ((opcode >> 20) & 0xFF); }

enum class ArmForm : uint8_t {
    Undefined,
    DataProcessing,
    Multiply,
    MultiplyLong,
    Swap,
    Halfword,
    Mrs,
    Msr,
    BranchExchange,
    SingleTransfer,
    BlockTransfer,
    Branch,
    SoftwareInterrupt,
};

// The form of every decode index.
constexpr ArmForm FormOf(uint32_t index) {
    const uint32_t h = index & 0xFF;  // opcode bits 27-20
    const uint32_t l = index >> 8;    // opcode bits 7-4
    if (h < 0x20) {
        if (l == 0x9) {
            if (h <= 0x03) return ArmForm::Multiply;
            if (h >= 0x08 && h <= 0x0F) return ArmForm::MultiplyLong;
            if (h == 0x10 || h == 0x14) return ArmForm::Swap;
            return ArmForm::Undefined;
        }
        if (l == 0xB) return ArmForm::Halfword;
        if (l == 0xD || l == 0xF) return (h & 1) ? ArmForm::Halfword : ArmForm::Undefined;
        if (h == 0x10 || h == 0x12 || h == 0x14 || h == 0x16) {
            // The compare operations without S hold the status transfers.
            if (l == 0 && (h == 0x10 || h == 0x14)) return ArmForm::Mrs;
            if (l == 0) return ArmForm::Msr;
            if (l == 1 && h == 0x12) return ArmForm::BranchExchange;
            return ArmForm::Undefined;
        }
        return ArmForm::DataProcessing;
    }
    if (h < 0x40) {
        if (h == 0x30 || h == 0x34) return ArmForm::Undefined;
        if (h == 0x32 || h == 0x36) return ArmForm::Msr;
        return ArmForm::DataProcessing;
    }
    if (h < 0x60) return ArmForm::SingleTransfer;
    if (h < 0x80) return (l & 1) ? ArmForm::Undefined : ArmForm::SingleTransfer;
    if (h < 0xA0) return ArmForm::BlockTransfer;
    if (h < 0xC0) return ArmForm::Branch;
    if (h < 0xF0) return ArmForm::Undefined;  // coprocessor instructions
    return ArmForm::SoftwareInterrupt;
}

// The routine of every undefined entry and of condition 0xF: logs the opcode
// when tracing and otherwise does nothing. The record must be up to date.
void ArmUndefined(CpuRecord& cpu, uint32_t opcode);

// The instruction of decode index Index, with the bits the index fixes as
// template arguments of its handler.
template <uint32_t Index>
KORU_INLINE void ExecuteArm(ArmContext& t, uint32_t op) {
    constexpr uint32_t H = Index & 0xFF;
    constexpr uint32_t L = Index >> 8;
    constexpr bool P = H & 0x10, U = H & 0x08, Bit22 = H & 0x04, W = H & 0x02, Bit20 = H & 0x01;
    constexpr ArmForm Form = FormOf(Index);
    if constexpr (Form == ArmForm::DataProcessing) {
        if constexpr (H >= 0x20) {
            ArmDataProcessing<(H >> 1) & 0xF, Bit20, OperandImmediate, 0>(t, op);
        } else if constexpr (L & 1) {
            ArmDataProcessing<(H >> 1) & 0xF, Bit20, OperandShiftByRegister, (L >> 1) & 3>(t, op);
        } else {
            ArmDataProcessing<(H >> 1) & 0xF, Bit20, OperandShiftByImmediate, (L >> 1) & 3>(t, op);
        }
    } else if constexpr (Form == ArmForm::Multiply) {
        ArmMultiply<W, Bit20>(t, op);
    } else if constexpr (Form == ArmForm::MultiplyLong) {
        ArmMultiplyLong<Bit22, W, Bit20>(t, op);
    } else if constexpr (Form == ArmForm::Swap) {
        ArmSwap<Bit22>(t, op);
    } else if constexpr (Form == ArmForm::Halfword) {
        constexpr uint32_t Kind = L == 0xB ? (Bit20 ? LoadHalfword : StoreHalfword)
                                           : (L == 0xD ? LoadSignedByte : LoadSignedHalfword);
        ArmHalfwordTransfer<Kind, P, U, Bit22, W>(t, op);
    } else if constexpr (Form == ArmForm::Mrs) {
        ArmMrs<H == 0x14>(t, op);
    } else if constexpr (Form == ArmForm::Msr) {
        ArmMsr<(H & 0x04) != 0, (H >= 0x20)>(t, op);
    } else if constexpr (Form == ArmForm::BranchExchange) {
        ArmBranchExchange(t, op);
    } else if constexpr (Form == ArmForm::SingleTransfer) {
        ArmSingleTransfer<(H >= 0x60), (H >= 0x60 ? (L >> 1) & 3 : 0), P, U, Bit22, W, Bit20>(t, op);
    } else if constexpr (Form == ArmForm::BlockTransfer) {
        ArmBlockTransfer<P, U, Bit22, W, Bit20>(t, op);
    } else if constexpr (Form == ArmForm::Branch) {
        ArmBranch<(H >= 0xB0)>(t, op);
    } else if constexpr (Form == ArmForm::SoftwareInterrupt) {
        ArmSoftwareInterrupt(t, op);
    } else {
        t.Sync();
        ArmUndefined(t.cpu, op);
    }
}

// The instruction whose opcode bits 27-20 are H. Only two groups of rows
// look at bits 7-4 as well: below 0x20 (the register operand forms, the
// multiplies, swaps and halfword transfers, the status transfers), where
// all sixteen values may differ, and 0x60-0x7F (the register offsets),
// where bit 4 and the shift type in bits 6-5 count and bit 7 is part of the
// shift amount.
template <uint32_t H>
KORU_INLINE void ExecuteArmHigh(ArmContext& t, uint32_t op) {
    if constexpr (H < 0x20) {
        switch ((op >> 4) & 15) {
#define KORU_ARM_CASE(l) \
    case l: ExecuteArm<(l << 8) | H>(t, op); break;
            KORU_ARM_CASE(0x0) KORU_ARM_CASE(0x1) KORU_ARM_CASE(0x2) KORU_ARM_CASE(0x3)
            KORU_ARM_CASE(0x4) KORU_ARM_CASE(0x5) KORU_ARM_CASE(0x6) KORU_ARM_CASE(0x7)
            KORU_ARM_CASE(0x8) KORU_ARM_CASE(0x9) KORU_ARM_CASE(0xA) KORU_ARM_CASE(0xB)
            KORU_ARM_CASE(0xC) KORU_ARM_CASE(0xD) KORU_ARM_CASE(0xE) default: ExecuteArm<(0xF << 8) | H>(t, op);
        }
    } else if constexpr (H >= 0x60 && H < 0x80) {
        switch ((op >> 4) & 7) {
            KORU_ARM_CASE(0x0) KORU_ARM_CASE(0x1) KORU_ARM_CASE(0x2) KORU_ARM_CASE(0x3)
            KORU_ARM_CASE(0x4) KORU_ARM_CASE(0x5) KORU_ARM_CASE(0x6) default: ExecuteArm<(0x7 << 8) | H>(t, op);
#undef KORU_ARM_CASE
        }
    } else {
        ExecuteArm<H>(t, op);
    }
}

}  // namespace koru
