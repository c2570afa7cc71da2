// A prepared machine whose processor runs small programs placed in Internal
// Working RAM, through the real loop with a stand-in for the scanline
// routine so that a test decides where slices end.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>

#include "cpu/cpu_state.h"
#include "cpu/run_loop.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "support/test_machine.h"

namespace koru::test {

// What the loop calls at the end of each full slice; by default it stops
// the run at the first one.
inline std::function<int32_t()> ScanlineDouble;
inline int ScanlineCalls = 0;

inline int32_t TestScanline() {
    ++ScanlineCalls;
    return ScanlineDouble ? ScanlineDouble() : -1;
}

constexpr uint32_t CodeBase = 0x03000000;
constexpr uint32_t DataBase = 0x03001000;
constexpr uint32_t ArmSelfLoop = 0xEAFFFFFE;  // B .
constexpr uint16_t ThumbSelfLoop = 0xE7FE;    // B .

class CpuTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        ScanlineDouble = nullptr;
        ScanlineCalls = 0;
        SetMode(ModeSystem);
        CpuState.R[13] = 0x03007F00;
    }
    void TearDown() override {
        ScanlineDouble = nullptr;
        MachineTest::TearDown();
    }

public:
    static CpuRecord& cpu() { return CpuState; }
    static uint32_t* R() { return CpuState.R; }

    // Switches mode (and banks) without leaving a cut pending.
    static void SetMode(uint32_t mode, uint32_t flags = 0) {
        const int32_t cycles = CpuState.Cycles;
        SetCpsr(CpuState, flags | FlagI | FlagF | mode);
        CpuState.SliceCut = 0;
        CpuState.Cycles = cycles;
    }
    static void SetFlags(uint32_t nzcv) { CpuState.CPSR = (CpuState.CPSR & 0x0FFFFFFFu) | nzcv; }
    static bool Flag(uint32_t flag) { return (CpuState.CPSR & flag) != 0; }
    // The condition rules, stated on their own: whether condition c holds
    // for CPSR flags nzcv.
    static bool ConditionRule(uint32_t c, uint32_t nzcv) {
        const bool n = nzcv & FlagN, z = nzcv & FlagZ, carry = nzcv & FlagC, v = nzcv & FlagV;
        const bool rules[16] = {z,        !z,     carry,  !carry,         n,       !n,       v,    !v,
                                carry && !z, !carry || z, n == v, n != v, !z && n == v, z || n != v, true, false};
        return rules[c];
    }

    // Places ARM code at address (IWRAM by default) followed by `B .`, and
    // points R15 at it in ARM state.
    static void Arm(std::initializer_list<uint32_t> code, uint32_t address = CodeBase) {
        uint32_t a = address;
        for (uint32_t op : code) {
            Poke32(ReadPointer(a), op);
            a += 4;
        }
        Poke32(ReadPointer(a), ArmSelfLoop);
        CpuState.R[15] = address;
        CpuState.CPSR &= ~FlagT;
    }
    static void Thumb(std::initializer_list<uint16_t> code, uint32_t address = CodeBase) {
        uint32_t a = address;
        for (uint16_t op : code) {
            Poke16(ReadPointer(a), op);
            a += 2;
        }
        Poke16(ReadPointer(a), ThumbSelfLoop);
        CpuState.R[15] = address;
        CpuState.CPSR |= FlagT;
    }

    static uint8_t* ReadPointer(uint32_t address) { return ReadPageTable[address >> 14] + (address & 0x3FFF); }
    static uint32_t Word(uint32_t address) { return Peek32(ReadPointer(address)); }
    static void SetWord(uint32_t address, uint32_t v) { Poke32(ReadPointer(address), v); }

    // Runs one slice of the given length through the loop (cut slices
    // included); returns what the loop returned.
    static uint32_t Run(int32_t cycles = 200) {
        CpuState.Cycles = cycles;
        return RunLoop<TestScanline>(CpuState);
    }
    // Runs exactly count instructions of 1-cycle code (IWRAM, no extra
    // cycles): the slice is as long as the instructions.
    static uint32_t Step(int32_t count) { return Run(count); }
};

}  // namespace koru::test
