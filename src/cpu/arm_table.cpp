// The ARM handler table, built at compile time: each of the 4,096 indexes
// ((opcode bits 7-4) << 8 | opcode bits 27-20) is classified here, once, and
// mapped to the handler of its class instantiated with the bits the index
// fixes. Indexes that differ only in bits a class ignores share a handler.
#include "cpu/arm_table.h"

#include <utility>

#include "cpu/arm_block.h"
#include "cpu/arm_branch.h"
#include "cpu/arm_data.h"
#include "cpu/arm_halfword.h"
#include "cpu/arm_multiply.h"
#include "cpu/arm_status.h"
#include "cpu/arm_swap.h"
#include "cpu/arm_transfer.h"
#include "machine/log.h"

namespace koru {

void ArmUndefined(CpuRecord& cpu, uint32_t opcode) {
    if (cpu.Trace) Log("ARM: Unrecognized opcode 0x%08X at 0x%08X\n", opcode, cpu.R[15] - 4);
}

namespace {

template <uint32_t Index>
constexpr ArmHandler HandlerFor() {
    constexpr uint32_t H = Index & 0xFF;  // opcode bits 27-20
    constexpr uint32_t L = Index >> 8;    // opcode bits 7-4
    constexpr bool P = H & 0x10, U = H & 0x08, Bit22 = H & 0x04, W = H & 0x02, Bit20 = H & 0x01;

    if constexpr (H < 0x20) {
        if constexpr (L == 0x9) {
            if constexpr (H <= 0x03) return &ArmMultiply<W, Bit20>;
            else if constexpr (H >= 0x08 && H <= 0x0F) return &ArmMultiplyLong<Bit22, W, Bit20>;
            else if constexpr (H == 0x10 || H == 0x14) return &ArmSwap<Bit22>;
            else return &ArmUndefined;
        } else if constexpr (L == 0xB) {
            return &ArmHalfwordTransfer<Bit20 ? LoadHalfword : StoreHalfword, P, U, Bit22, W>;
        } else if constexpr (L == 0xD || L == 0xF) {
            if constexpr (Bit20) {
                return &ArmHalfwordTransfer<L == 0xD ? LoadSignedByte : LoadSignedHalfword, P, U, Bit22, W>;
            } else {
                return &ArmUndefined;
            }
        } else if constexpr (H == 0x10 || H == 0x12 || H == 0x14 || H == 0x16) {
            // The compare operations without S hold the status transfers.
            if constexpr (L == 0 && H == 0x10) return &ArmMrs<false>;
            else if constexpr (L == 0 && H == 0x14) return &ArmMrs<true>;
            else if constexpr (L == 0 && H == 0x12) return &ArmMsr<false, false>;
            else if constexpr (L == 0 && H == 0x16) return &ArmMsr<true, false>;
            else if constexpr (L == 1 && H == 0x12) return &ArmBranchExchange;
            else return &ArmUndefined;
        } else if constexpr (L & 1) {
            return &ArmDataProcessing<(H >> 1) & 0xF, Bit20, OperandShiftByRegister, (L >> 1) & 3>;
        } else {
            return &ArmDataProcessing<(H >> 1) & 0xF, Bit20, OperandShiftByImmediate, (L >> 1) & 3>;
        }
    } else if constexpr (H < 0x40) {
        if constexpr (H == 0x30 || H == 0x34) return &ArmUndefined;
        else if constexpr (H == 0x32) return &ArmMsr<false, true>;
        else if constexpr (H == 0x36) return &ArmMsr<true, true>;
        else return &ArmDataProcessing<(H >> 1) & 0xF, Bit20, OperandImmediate, 0>;
    } else if constexpr (H < 0x60) {
        return &ArmSingleTransfer<false, 0, P, U, Bit22, W, Bit20>;
    } else if constexpr (H < 0x80) {
        if constexpr (L & 1) return &ArmUndefined;
        else return &ArmSingleTransfer<true, (L >> 1) & 3, P, U, Bit22, W, Bit20>;
    } else if constexpr (H < 0xA0) {
        return &ArmBlockTransfer<P, U, Bit22, W, Bit20>;
    } else if constexpr (H < 0xB0) {
        return &ArmBranch<false>;
    } else if constexpr (H < 0xC0) {
        return &ArmBranch<true>;
    } else if constexpr (H < 0xF0) {
        return &ArmUndefined;  // coprocessor instructions
    } else {
        return &ArmSoftwareInterrupt;
    }
}

template <size_t... I>
constexpr std::array<ArmHandler, 4096> BuildTable(std::index_sequence<I...>) {
    return {HandlerFor<static_cast<uint32_t>(I)>()...};
}

}  // namespace

constexpr std::array<ArmHandler, 4096> ArmHandlers = BuildTable(std::make_index_sequence<4096>{});

}  // namespace koru
