// The slice loop: what a slice costs, where it ends, cut slices, interrupt
// entry and the way out.
#include <vector>

#include "cpu/run.h"
#include "cpu_harness.h"
#include "support/test_host.h"

namespace koru {
namespace {

using test::CodeBase;
using test::CpuTest;
using test::ScanlineCalls;
using test::ScanlineDouble;

using RunLoopTest = CpuTest;

constexpr uint32_t AddR0One = 0xE2800001;      // ADD R0, R0, #1
constexpr uint16_t ThumbAddR0One = 0x3001;     // ADD R0, #1

// Fills memory from address with count copies of an ARM or THUMB opcode.
void FillArm(uint32_t address, uint32_t op, int count) {
    for (int i = 0; i < count; ++i) Poke32(CpuTest::ReadPointer(address + 4 * i), op);
}
void FillThumb(uint32_t address, uint16_t op, int count) {
    for (int i = 0; i < count; ++i) Poke16(CpuTest::ReadPointer(address + 2 * i), op);
}

// Runs from the reset state's slice and returns R0 as the scanline routine
// first sees it.
uint32_t CountFirstSlice() {
    uint32_t seen = 0;
    ScanlineDouble = [&] {
        seen = CpuState.R[0];
        return -1;
    };
    CpuState.R[0] = 0;
    RunLoop<test::TestScanline>(CpuState);
    return seen;
}

TEST_F(RunLoopTest, ASliceInInternalRamRuns960DataProcessingInstructions) {
    FillArm(CodeBase, AddR0One, 2000);
    R()[15] = CodeBase;
    CpuState.Cycles = CpuState.SliceCycles;
    ASSERT_EQ(CpuState.Cycles, 960);
    EXPECT_EQ(CountFirstSlice(), 960u);
}

TEST_F(RunLoopTest, ASliceInTheCartridgeAfterResetRuns160ArmOr320Thumb) {
    auto image = test::MakeCartridge();
    for (int i = 0; i < 1000; ++i) Poke32(&image[0x100 + 4 * i], AddR0One);
    Prepare(image);
    SetMode(ModeSystem);
    R()[15] = 0x08000100;
    EXPECT_EQ(CountFirstSlice(), 160u);

    for (int i = 0; i < 1000; ++i) Poke16(&image[0x100 + 2 * i], ThumbAddR0One);
    Prepare(image);
    SetMode(ModeSystem);
    R()[15] = 0x08000100;
    CpuState.CPSR |= FlagT;
    EXPECT_EQ(CountFirstSlice(), 320u);
}

TEST_F(RunLoopTest, AnOverrunIsTakenFromTheNextSlice) {
    FillArm(CodeBase, 0xE0800211, 100);  // ADD R0, R0, R1, LSL R2: 2 cycles
    R()[1] = 1;
    R()[2] = 0;
    R()[15] = CodeBase;
    CpuState.SliceCycles = 5;
    std::vector<uint32_t> seen;
    ScanlineDouble = [&] {
        seen.push_back(CpuState.R[0]);
        return seen.size() < 3 ? 0 : -1;
    };
    Run(5);
    // 5 cycles: 3 instructions (-1); then 4: 2 more (0); then 5: 3 more.
    EXPECT_EQ(seen, (std::vector<uint32_t>{3, 5, 8}));
}

TEST_F(RunLoopTest, ACutSliceContinuesWithoutTheScanlineRoutine) {
    // Ten pairs of a mode switch and an increment; every switch cuts.
    for (int i = 0; i < 10; ++i) {
        SetWord(CodeBase + 8 * i, (i & 1) ? 0xE321F0DF : 0xE321F0D3);  // MSR CPSR_c, #0xDF / #0xD3
        SetWord(CodeBase + 8 * i + 4, AddR0One);
    }
    SetWord(CodeBase + 80, test::ArmSelfLoop);
    R()[0] = 0;
    R()[15] = CodeBase;
    uint32_t seen = 0;
    ScanlineDouble = [&] {
        seen = CpuState.R[0];
        return -1;
    };
    Run(20);
    EXPECT_EQ(ScanlineCalls, 1) << "cuts are no slices for the hardware";
    EXPECT_EQ(seen, 10u) << "and cost no cycles of the slice";
}

TEST_F(RunLoopTest, TheLoopReturnsR15WhenTheScanlineRoutineSaysStop) {
    Arm({AddR0One, AddR0One});
    EXPECT_EQ(Run(2), CodeBase + 8);
    EXPECT_EQ(ScanlineCalls, 1);
}

TEST_F(RunLoopTest, APendingInterruptIsTakenAtTheEndOfASlice) {
    FillArm(CodeBase, AddR0One, 100);
    R()[15] = CodeBase;
    SetMode(ModeSystem, FlagC);
    CpuState.CPSR &= ~FlagI;
    CpuState.SliceCycles = 10;
    ScanlineDouble = [] { return ScanlineCalls == 1 ? 1 : -1; };
    Run(10);
    EXPECT_EQ(ScanlineCalls, 2);
    EXPECT_EQ(CpuState.SPSR_irq, 0x2000005Fu);
    EXPECT_EQ(CpuState.CPSR & 0xFF, 0xD2u);
    EXPECT_EQ(R()[14], CodeBase + 40 + 4) << "the next instruction + 4";
    EXPECT_EQ(CpuState.IrqRequest, 1u);
}

TEST_F(RunLoopTest, InterruptsWaitWhileDisabledOrInSupervisorMode) {
    FillArm(CodeBase, AddR0One, 100);
    for (uint32_t cpsr : {0x1Fu | FlagI, 0x13u}) {
        R()[15] = CodeBase;
        SetMode(cpsr & ModeMask);
        CpuState.CPSR = cpsr;
        CpuState.SliceCycles = 10;
        ScanlineCalls = 0;
        ScanlineDouble = [] { return ScanlineCalls == 1 ? 1 : -1; };
        Run(10);
        EXPECT_EQ(CpuState.CPSR, cpsr);
        EXPECT_EQ(R()[15], CodeBase + 80);
    }
}

TEST_F(RunLoopTest, InterruptFromThumbReturnsToTheNextInstructionPlusFour) {
    FillThumb(CodeBase, ThumbAddR0One, 100);
    R()[15] = CodeBase;
    SetMode(ModeSystem);
    CpuState.CPSR = 0x3F;  // System, THUMB, interrupts on
    CpuState.SliceCycles = 10;
    ScanlineDouble = [] { return ScanlineCalls == 1 ? 1 : -1; };
    Run(6);
    EXPECT_EQ(CpuState.SPSR_irq, 0x3Fu);
    EXPECT_EQ(R()[14], CodeBase + 12 + 4);
    EXPECT_FALSE(Flag(FlagT));
}

TEST_F(RunLoopTest, BxToThumbTakesEffectInTheSameSlice) {
    R()[0] = CodeBase + 0x101;
    FillThumb(CodeBase + 0x100, ThumbAddR0One, 50);
    Arm({0xE12FFF10});  // BX R0
    uint32_t seen = 0;
    ScanlineDouble = [&] {
        seen = CpuState.R[0];
        return -1;
    };
    Run(11);
    EXPECT_TRUE(Flag(FlagT));
    EXPECT_EQ(seen, CodeBase + 0x101 + 10) << "ten THUMB increments after the BX";
    EXPECT_EQ(ScanlineCalls, 1);
}

// The shipped loop with the real scanline routine: a frame goes by and the
// host's exit request ends the run at the cartridge's idle loop.
TEST_F(RunLoopTest, RunCpuStopsOnTheExitRequestAndReturnsR15) {
    test::PollInputHook = [] {
        ExitRequest = 1;
        return 0u;
    };
    const uint32_t exitAddress = RunCpu(CpuState);
    EXPECT_EQ(test::PollInputCalls, 1);
    EXPECT_EQ(exitAddress, 0x080000C0u) << "the `B .` the header branch leads to";
    ExitRequest = 0;
}

}  // namespace
}  // namespace koru
