// What a slice of either instruction set keeps in registers rather than in
// the processor record while it runs.
#pragma once
#include <cstdint>

#include "cpu/alu.h"

// Expands X(0x00) X(0x01) ... X(0xFF): one entry per value of a byte of the
// opcode, for the decode tables of both loops and their entries.
#define KORU_BYTE_ROW(X, h)                                                                          \
    X(0x##h##0) X(0x##h##1) X(0x##h##2) X(0x##h##3) X(0x##h##4) X(0x##h##5) X(0x##h##6) X(0x##h##7) \
    X(0x##h##8) X(0x##h##9) X(0x##h##A) X(0x##h##B) X(0x##h##C) X(0x##h##D) X(0x##h##E) X(0x##h##F)
#define KORU_FOR_EACH_BYTE(X)                                                                       \
    KORU_BYTE_ROW(X, 0) KORU_BYTE_ROW(X, 1) KORU_BYTE_ROW(X, 2) KORU_BYTE_ROW(X, 3)                 \
    KORU_BYTE_ROW(X, 4) KORU_BYTE_ROW(X, 5) KORU_BYTE_ROW(X, 6) KORU_BYTE_ROW(X, 7)                 \
    KORU_BYTE_ROW(X, 8) KORU_BYTE_ROW(X, 9) KORU_BYTE_ROW(X, A) KORU_BYTE_ROW(X, B)                 \
    KORU_BYTE_ROW(X, C) KORU_BYTE_ROW(X, D) KORU_BYTE_ROW(X, E) KORU_BYTE_ROW(X, F)

namespace koru {

// The bus write operations as the slices call them for a store that is not
// plain memory: always a call (slices.cpp). Inlined, each of the hundreds of
// store sites in the two loops would carry its own copy of the I/O routing,
// the FLASH and EEPROM emulation and their logging, which made the loops
// half again as large for code that runs once in many stores.
void RoutedWriteWord(uint32_t address, uint32_t value);
void RoutedWriteHalf(uint32_t address, uint16_t value);
void RoutedWriteByte(uint32_t address, uint8_t value);

// R15, the cycles left, CPSR and the page and cost of the code being run,
// for instructions of `Bytes` bytes (2 THUMB, 4 ARM). The record's R[15],
// Cycles and CPSR are brought up to date (Sync) before anything that may
// look at them or change them (a store routed to I/O, FLASH or EEPROM, a
// software interrupt, a change of CPSR through SetCpsr, a cut slice, the
// log) and read back (Reload) afterwards; such a call may also rewrite the
// cost tables (the wait-state control register), so the fetch's page and
// cost are looked up again after it. While the slice runs, the record's
// R[15] is stale: the instructions read and write R15 through pc.
template <uint32_t Bytes>
struct SliceContext {
    static_assert(Bytes == 2 || Bytes == 4);

    CpuRecord& cpu;
    uint32_t pc;     // R[15]: while an instruction executes, its address + Bytes
    int32_t cycles;  // Cycles
    uint32_t cpsr;   // CPSR, but for N and Z, which nz holds (Cpsr() has all)
    // N and Z as the last result that set them, sign-extended: N is bit 63,
    // Z is set when the low 32 bits are 0. An instruction that sets them
    // from its result then only copies the result, where working out and
    // placing both bits in CPSR took several steps; every combination,
    // N and Z together included, can still be held.
    int64_t nz;
    uint32_t page = NoPage;   // pc >> 14 of the code page below
    const uint8_t* code = nullptr;
    int32_t fetchCost = 0;

    static constexpr uint32_t NoPage = 0xFFFFFFFFu;

    explicit SliceContext(CpuRecord& record)
        : cpu(record), pc(record.R[15]), cycles(record.Cycles), cpsr(record.CPSR), nz(HeldNZ(record.CPSR)) {}
    KORU_INLINE void Sync() {
        cpu.R[15] = pc;
        cpu.Cycles = cycles;
        cpu.CPSR = Cpsr();
    }
    KORU_INLINE void Reload() {
        pc = cpu.R[15];
        cycles = cpu.Cycles;
        cpsr = cpu.CPSR;
        nz = HeldNZ(cpsr);
        page = NoPage;
    }

    // The nz of CPSR's N and Z bits.
    static KORU_INLINE int64_t HeldNZ(uint32_t flags) {
        return ((flags & FlagN) ? INT64_MIN : 0) | ((flags & FlagZ) ? 0 : 1);
    }
    KORU_INLINE uint32_t N() const { return static_cast<uint32_t>(static_cast<uint64_t>(nz) >> 63); }
    KORU_INLINE uint32_t Z() const { return static_cast<uint32_t>(nz) == 0; }
    KORU_INLINE uint32_t Carry() const { return CarryFlag(cpsr); }
    KORU_INLINE uint32_t Overflow() const { return (cpsr >> 28) & 1; }
    // The whole CPSR.
    KORU_INLINE uint32_t Cpsr() const { return (cpsr & 0x3FFFFFFFu) | (N() << 31) | (Z() << 30); }

    // The flag rules of alu.h. N and Z from a result; C and V as AddCV and
    // SubCV give them, or C alone.
    KORU_INLINE void SetNZ(uint32_t r) { nz = static_cast<int32_t>(r); }
    KORU_INLINE void SetNZC(uint32_t r, uint32_t carry) {
        nz = static_cast<int32_t>(r);
        cpsr = (cpsr & ~uint32_t{FlagC}) | (carry << 29);
    }
    KORU_INLINE void SetNZCV(uint32_t r, uint32_t cv) {
        nz = static_cast<int32_t>(r);
        cpsr = (cpsr & 0xCFFFFFFFu) | cv;
    }
    // All four from bits 31-28 of a value (MSR).
    KORU_INLINE void SetFlags(uint32_t flags) {
        nz = HeldNZ(flags);
        cpsr = (cpsr & 0x0FFFFFFFu) | (flags & 0xF0000000u);
    }

    // Whether condition c (0-15) holds; Holds<C> for a condition known when
    // compiling, which tests the flags it needs directly.
    KORU_INLINE bool ConditionHolds(uint32_t c) const {
        return ConditionTable[(c << 4) | (N() << 3) | (Z() << 2) | ((cpsr >> 28) & 3)];
    }
    template <uint32_t C>
    KORU_INLINE bool Holds() const {
        if constexpr (C == 0x0) return Z();
        if constexpr (C == 0x1) return !Z();
        if constexpr (C == 0x2) return Carry();
        if constexpr (C == 0x3) return !Carry();
        if constexpr (C == 0x4) return nz < 0;
        if constexpr (C == 0x5) return nz >= 0;
        if constexpr (C == 0x6) return Overflow();
        if constexpr (C == 0x7) return !Overflow();
        if constexpr (C == 0x8) return Carry() && !Z();
        if constexpr (C == 0x9) return !Carry() || Z();
        if constexpr (C == 0xA) return N() == Overflow();
        if constexpr (C == 0xB) return N() != Overflow();
        if constexpr (C == 0xC) return !Z() && N() == Overflow();
        if constexpr (C == 0xD) return Z() || N() != Overflow();
        if constexpr (C == 0xE) return true;
        return false;
    }
    // The next opcode, charged; pc moves past it. The page pointer and the
    // cost stay valid while pc stays in its 16 KB page: the page tables do
    // not change while the processor runs, the cost tables only in calls
    // that Reload follows.
    KORU_INLINE uint32_t Fetch() {
        if ((pc >> 14) != page) [[unlikely]] {
            page = pc >> 14;
            code = ReadPageTable[page];
            fetchCost = (Bytes == 4 ? WordAccessCost : HalfAccessCost)[CostIndex(pc)];
        }
        cycles -= fetchCost;
        uint32_t op;
        if constexpr (Bytes == 4) {
            op = Peek32(code + (pc & 0x3FFC));
        } else {
            op = Peek16(code + (pc & 0x3FFE));
        }
        pc += Bytes;
        return op;
    }

    // Direct loads, charged like the processor record's (alu.h).
    KORU_INLINE uint32_t LoadWord(uint32_t a) {
        cycles -= WordAccessCost[CostIndex(a)];
        return Peek32(ReadPageTable[a >> 14] + (a & 0x3FFC));
    }
    KORU_INLINE uint32_t LoadHalf(uint32_t a) {
        cycles -= HalfAccessCost[CostIndex(a)];
        return Peek16(ReadPageTable[a >> 14] + (a & 0x3FFE));
    }
    KORU_INLINE uint32_t LoadByte(uint32_t a) {
        cycles -= HalfAccessCost[CostIndex(a)];
        return ReadPageTable[a >> 14][a & 0x3FFF];
    }
    // Stores: plain memory here, every route through the bus operations.
    KORU_INLINE void StoreWord(uint32_t a, uint32_t v) {
        if (WritePlainWord(a, v, cycles)) [[likely]] return;
        Sync();
        RoutedWriteWord(a, v);
        Reload();
    }
    KORU_INLINE void StoreHalf(uint32_t a, uint16_t v) {
        if (WritePlainHalf(a, v, cycles)) [[likely]] return;
        Sync();
        RoutedWriteHalf(a, v);
        Reload();
    }
    KORU_INLINE void StoreByte(uint32_t a, uint8_t v) {
        if (WritePlainByte(a, v, cycles)) [[likely]] return;
        Sync();
        RoutedWriteByte(a, v);
        Reload();
    }
};

// An ARM slice's registers: while an instruction executes, pc is its
// address + 4.
using ArmContext = SliceContext<4>;

// Register n as an ARM operand. As an operand R15 reads `ahead` bytes past
// pc: 4 for the instruction's address + 8, 8 for the address + 12.
KORU_INLINE uint32_t Operand(const ArmContext& t, uint32_t n, uint32_t ahead) {
    return n == 15 ? t.pc + ahead : t.cpu.R[n];
}
// Writes register d; R15 is a jump.
KORU_INLINE void SetRegister(ArmContext& t, uint32_t d, uint32_t v) {
    t.cpu.R[d] = v;
    if (d == 15) t.pc = v;
}

}  // namespace koru
