// The loops of one slice of ARM or of THUMB instructions.
#include "cpu/arm_table.h"
#include "cpu/run_loop.h"
#include "cpu/thumb.h"

namespace koru {

[[gnu::noinline]] void RoutedWriteWord(uint32_t address, uint32_t value) { WriteWord(address, value); }
[[gnu::noinline]] void RoutedWriteHalf(uint32_t address, uint16_t value) { WriteHalf(address, value); }
[[gnu::noinline]] void RoutedWriteByte(uint32_t address, uint8_t value) { WriteByte(address, value); }

// Both loops below run a slice with R15, the cycles left and CPSR in
// registers (slice_context.h). Their decode tables hold the addresses of 256
// entries inside the function, and each entry ends with the next fetch and
// its own jump through the table: a jump per instruction kind, which the
// processor predicts from what came before far better than one shared jump
// (or call) for all of them.

// Executes ARM instructions until the slice is spent. The entries are those
// of opcode bits 27-20 (ExecuteArmHigh); most instructions carry the
// condition AL, and only the others look at the condition table.
void RunArmSlice(CpuRecord& cpu) {
#define KORU_ARM_LABEL(h) &&arm_##h,
    static const void* const Decode[256] = {KORU_FOR_EACH_BYTE(KORU_ARM_LABEL)};
#undef KORU_ARM_LABEL
    ArmContext t(cpu);
    uint32_t op;
#define KORU_ARM_NEXT()                                                                          \
    do {                                                                                         \
        if (t.cycles <= 0) goto spent;                                                           \
        op = t.Fetch();                                                                          \
        if ((op >> 28) != 0xE && !t.ConditionHolds(op >> 28)) [[unlikely]] goto skipped; \
        goto* Decode[(op >> 20) & 0xFF];                                                         \
    } while (0)
    KORU_ARM_NEXT();
skipped:
    // A condition that fails; 0xF never holds and is undefined.
    if ((op >> 28) == 0xF) [[unlikely]] {
        t.Sync();
        ArmUndefined(cpu, op);
    }
    KORU_ARM_NEXT();
#define KORU_ARM_ENTRY(h)         \
    arm_##h:                      \
    ExecuteArmHigh<h>(t, op);     \
    KORU_ARM_NEXT();
    KORU_FOR_EACH_BYTE(KORU_ARM_ENTRY)
#undef KORU_ARM_ENTRY
#undef KORU_ARM_NEXT
spent:
    t.Sync();
}

// Executes THUMB instructions until the slice is spent; the entries are
// those of opcode bits 15-8 (thumb::ExecuteHigh).
void RunThumbSlice(CpuRecord& cpu) {
#define KORU_THUMB_LABEL(h) &&thumb_##h,
    static const void* const Decode[256] = {KORU_FOR_EACH_BYTE(KORU_THUMB_LABEL)};
#undef KORU_THUMB_LABEL
    thumb::Context t(cpu);
    uint32_t op;
#define KORU_THUMB_NEXT()              \
    do {                               \
        if (t.cycles <= 0) goto spent; \
        op = t.Fetch();                \
        goto* Decode[op >> 8];         \
    } while (0)
    KORU_THUMB_NEXT();
#define KORU_THUMB_ENTRY(h)        \
    thumb_##h:                     \
    thumb::ExecuteHigh<h>(t, op);  \
    KORU_THUMB_NEXT();
    KORU_FOR_EACH_BYTE(KORU_THUMB_ENTRY)
#undef KORU_THUMB_ENTRY
#undef KORU_THUMB_NEXT
spent:
    t.Sync();
}

}  // namespace koru
