// ARM block transfers: LDM and STM in their four addressing modes.
#pragma once
#include <bit>

#include "cpu/slice_context.h"

namespace koru {

template <bool P, bool U, bool S, bool W, bool L>
KORU_INLINE void ArmBlockTransfer(ArmContext& t, uint32_t op) {
    const uint32_t list = op & 0xFFFF;
    if (list == 0) return;  // nothing moves, not even the base
    uint32_t* const R = t.cpu.R;
    const uint32_t n = (op >> 16) & 15;
    const uint32_t base = Operand(t, n, 4);
    const uint32_t size = 4 * static_cast<uint32_t>(std::popcount(list));
    // Registers go in ascending order to ascending addresses whatever the
    // direction; the low two bits of the base take no part in addressing.
    uint32_t address;
    if constexpr (U) {
        address = P ? base + 4 : base;
    } else {
        address = P ? base - size : base - size + 4;
    }
    address &= ~3u;
    const uint32_t final = U ? base + size : base - size;

    if constexpr (L) {
        for (uint32_t bits = list; bits; bits &= bits - 1) {
            R[std::countr_zero(bits)] = t.LoadWord(address);
            address += 4;
        }
        t.cycles -= 1;
        if constexpr (W) R[n] = final;  // after the loads: it overrides a loaded base
        // R15 loaded, or written back as the base: a jump.
        if ((list & 0x8000) || (W && n == 15)) t.pc = R[15];
        if constexpr (S) {
            if (list & 0x8000) {
                if (const uint32_t* spsr = SavedStatus(t.cpu, t.cpsr)) {
                    t.Sync();
                    SetCpsr(t.cpu, *spsr);
                    t.Reload();
                }
            }
        }
    } else {
        // The base is stored with its value from before the instruction, as
        // the write-back comes after every store.
        for (uint32_t bits = list; bits; bits &= bits - 1) {
            const uint32_t i = static_cast<uint32_t>(std::countr_zero(bits));
            t.StoreWord(address, i == 15 ? t.pc + 8 : R[i]);
            address += 4;
        }
        if constexpr (W) SetRegister(t, n, final);
    }
}

}  // namespace koru
