// Register writes: what is stored, and the state each register keeps outside
// the I/O area.
#include <gtest/gtest.h>

#include <string>

#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "hardware/interrupts.h"
#include "hardware/timers.h"
#include "hardware/timing.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "sound/sound.h"
#include "sound/sound_registers.h"
#include "support/test_machine.h"
#include "video/video_registers.h"

namespace koru {
namespace {

using test::MachineTest;

uint16_t Io(uint32_t offset) { return Peek16(IoRam + offset); }

uint32_t BgNumbers() {
    uint32_t numbers = 0;
    for (uint32_t word : BgOrder) numbers = numbers * 10 + ((word >> 28) & 3);
    return numbers;
}

TEST_F(MachineTest, ReadOnlyBitsAndRegistersKeepTheirValues) {
    Poke16(IoRam + 0x004, 0x0003);
    WriteHalf(0x04000004, 0xFFFF);
    EXPECT_EQ(Io(0x004), 0xFFFB) << "blank and match flags are the machine's";

    Poke16(IoRam + 0x006, 42);
    WriteHalf(0x04000006, 7);
    EXPECT_EQ(Io(0x006), 42);
    WriteHalf(0x04000130, 0x0000);
    EXPECT_EQ(Io(0x130), 0xFFFF);

    // Writes above 4 KB fold onto the registers; reads there do not.
    WriteHalf(0x04001004, 0x1238);
    EXPECT_EQ(Io(0x004), 0x123B);
    EXPECT_EQ(ReadHalf(0x04001004), 0);
    // Offsets without a register are plain memory.
    WriteWord(0x04000800, 0xDEADBEEF);
    EXPECT_EQ(ReadWord(0x04000800), 0xDEADBEEFu);
}

TEST_F(MachineTest, WritingOnesClearsInterruptRequestFlags) {
    Poke16(IoRam + 0x202, 0x0003);
    WriteHalf(0x04000202, 0x0001);
    EXPECT_EQ(Io(0x202), 0x0002);

    // A byte write repeats the other byte as the I/O area holds it, so
    // clearing bit 12 through offset 0x203 clears bit 0 as well.
    Poke16(IoRam + 0x202, 0x1001);
    WriteByte(0x04000203, 0x10);
    EXPECT_EQ(Io(0x202), 0x0000);
}

TEST_F(MachineTest, InterruptRegistersRecheckThePendingRequest) {
    CpuState.Cycles = 500;
    Poke16(IoRam + 0x202, 0x0001);
    WriteHalf(0x04000200, 0x0001);
    EXPECT_EQ(CpuState.IrqRequest, 0u) << "master enable off";
    EXPECT_EQ(CpuState.SliceCut, 0);

    WriteHalf(0x04000208, 0x0001);
    EXPECT_EQ(CpuState.IrqRequest, 1u);
    EXPECT_EQ(CpuState.SliceCut, 1) << "the slice ends before the next instruction";
    EXPECT_EQ(CpuState.Cycles, 0);
    // The cost of the write itself was charged before the cut.
    EXPECT_EQ(CpuState.SavedCycles, 500 - 2 * HalfAccessCost[4]);

    // Acknowledging the only pending flag withdraws the request; the recheck
    // sees the new flags, not the old ones.
    WriteHalf(0x04000202, 0x0001);
    EXPECT_EQ(CpuState.IrqRequest, 0u);
    EXPECT_EQ(Io(0x202), 0);

    Poke16(IoRam + 0x202, 0x0004);
    WriteHalf(0x04000200, 0x0004);
    EXPECT_EQ(CpuState.IrqRequest, 1u);
    WriteHalf(0x04000208, 0x0000);
    EXPECT_EQ(CpuState.IrqRequest, 0u);
}

TEST_F(MachineTest, BackgroundControlKeepsTheOrderByPriorityAndNumber) {
    EXPECT_EQ(BgNumbers(), 3210u);
    WriteHalf(0x0400000A, 0x0102);  // background 1, priority 2
    EXPECT_EQ(BgNumbers(), 1320u);
    EXPECT_EQ(BgOrder[0], 0x0102u | (1u << 28) | (2u << 30));

    // Same priority: the word is replaced in place.
    WriteHalf(0x0400000A, 0x1F06);
    EXPECT_EQ(BgNumbers(), 1320u);
    EXPECT_EQ(BgOrder[0] & 0xFFFF, 0x1F06u);

    WriteHalf(0x04000008, 0x0003);  // background 0, priority 3: rear-most
    EXPECT_EQ(BgNumbers(), 132u);   // 0, 1, 3, 2
    // Within one priority the higher number stays behind.
    WriteHalf(0x0400000E, 0x0001);
    WriteHalf(0x0400000C, 0x0001);
    EXPECT_EQ(BgNumbers(), 132u);
    EXPECT_EQ(BgOrder[2] >> 28, 0x7u);
    EXPECT_EQ(BgOrder[3] >> 28, 0x6u);
    WriteHalf(0x04000008, 0x0000);  // background 0 back to priority 0: front-most
    EXPECT_EQ(BgNumbers(), 1320u);
    EXPECT_EQ(Io(0x008), 0x0000);
    EXPECT_EQ(Io(0x00A), 0x1F06);
}

TEST_F(MachineTest, AffineParametersAndReferencePointsAreSignExtended) {
    WriteHalf(0x04000020, 0xFF00);
    WriteHalf(0x04000026, 0x0080);
    WriteHalf(0x04000032, 0x8000);
    EXPECT_EQ(BgAffineState[0].pa, -256);
    EXPECT_EQ(BgAffineState[0].pd, 128);
    EXPECT_EQ(BgAffineState[1].pb, -32768);

    WriteHalf(0x04000028, 0x0FFF);
    WriteHalf(0x0400002A, 0x0800);
    EXPECT_EQ(static_cast<uint32_t>(BgAffineState[0].refX), 0xF8000FFFu);
    EXPECT_EQ(BgAffineState[0].curX, BgAffineState[0].refX);
    // Bits 28-31 of the high halfword do not count.
    WriteWord(0x0400003C, 0xF0012345);
    EXPECT_EQ(BgAffineState[1].refY, 0x00012345);
    EXPECT_EQ(BgAffineState[1].curY, 0x00012345);
    EXPECT_EQ(Io(0x03E), 0xF001);
    // Writing the low half alone latches too, with the high half stored.
    BgAffineState[1].curY = 7;
    WriteHalf(0x0400003C, 0x0001);
    EXPECT_EQ(BgAffineState[1].curY, 0x00010001);
    EXPECT_EQ(BgAffineState[0].refY, 0) << "the other axis is untouched";
}

TEST_F(MachineTest, BlendRegistersSetTheWeights) {
    WriteHalf(0x04000052, 0x1F1F);
    EXPECT_EQ(BlendCoefficients.firstWeight, 16);
    EXPECT_EQ(BlendCoefficients.secondWeight, 16);
    WriteHalf(0x04000052, 0x0C0A);
    EXPECT_EQ(BlendCoefficients.firstWeight, 10);
    EXPECT_EQ(BlendCoefficients.secondWeight, 12);
    WriteHalf(0x04000054, 0x0017);
    EXPECT_EQ(BlendCoefficients.brightWeight, 16);
    WriteHalf(0x04000054, 0x0007);
    EXPECT_EQ(BlendCoefficients.brightWeight, 7);
    EXPECT_EQ(Io(0x054), 0x0007);
}

TEST_F(MachineTest, TimerRegistersSetPrescaleCountdownAndCounter) {
    WriteHalf(0x0400010A, 0x0083);
    EXPECT_EQ(TimerPrescale[2], 1024);
    EXPECT_EQ(TimerCountdown[2], 1024);
    WriteHalf(0x0400010A, 0x0081);
    EXPECT_EQ(TimerPrescale[2], 64);
    WriteHalf(0x0400010A, 0x0082);
    EXPECT_EQ(TimerPrescale[2], 256);
    WriteHalf(0x0400010A, 0x0084);
    EXPECT_EQ(TimerPrescale[2], 1);
    EXPECT_EQ(TimerCountdown[2], 0) << "count-up";
    WriteHalf(0x04000102, 0x0084);
    EXPECT_EQ(TimerPrescale[0], 1);
    EXPECT_EQ(TimerCountdown[0], 1) << "timer 0 cannot count up";
    WriteHalf(0x0400010A, 0x0003);
    EXPECT_EQ(TimerPrescale[2], 0) << "stopped";

    WriteHalf(0x0400010C, 0xFFF0);
    EXPECT_EQ(TimerCounter[3], 0xFFF0);
    EXPECT_EQ(Io(0x10C), 0xFFF0);
    // A word write sets reload and control of one timer.
    WriteWord(0x04000104, 0x00C21234);
    EXPECT_EQ(TimerCounter[1], 0x1234);
    EXPECT_EQ(TimerPrescale[1], 256);
    EXPECT_EQ(Io(0x106), 0x00C2);
}

TEST_F(MachineTest, WaitControlRegisterRewritesTheAccessCosts) {
    WriteHalf(0x04000204, 0x4317);
    EXPECT_EQ(HalfAccessCost[0x8], 2);
    EXPECT_EQ(WordAccessCost[0x9], 4);
    EXPECT_EQ(HalfAccessCost[0xB], 5);
    EXPECT_EQ(WordAccessCost[0xC], 18);
    EXPECT_EQ(HalfAccessCost[0xE], 9);
    EXPECT_EQ(Io(0x204), 0x4317);
}

TEST_F(MachineTest, SoundRegistersReachTheSoundChipInItsNumbering) {
    WriteHalf(0x04000084, 0x0080);  // sound on
    EXPECT_EQ(SoundRegs[0x16] & 0x80, 0x80);
    WriteHalf(0x04000062, 0x1234);
    EXPECT_EQ(SoundRegs[0x01], 0x34);
    EXPECT_EQ(SoundRegs[0x02], 0x12);
    WriteHalf(0x04000078, 0x5678);
    EXPECT_EQ(SoundRegs[0x10], 0x78);
    EXPECT_EQ(SoundRegs[0x11], 0x56);
    WriteWord(0x04000090, 0xA1B2C3D4);
    EXPECT_EQ(SoundRegs[0x20], 0xD4);
    EXPECT_EQ(SoundRegs[0x23], 0xA1);
    WriteHalf(0x0400009E, 0x9988);
    EXPECT_EQ(SoundRegs[0x2E], 0x88);
    EXPECT_EQ(SoundRegs[0x2F], 0x99);
    EXPECT_EQ(Io(0x062), 0x1234) << "the I/O area keeps the value too";

    // Bytes without a register on the older chip reach no register.
    const uint8_t before[5] = {SoundRegs[0x05], SoundRegs[0x0F], SoundRegs[0x17], SoundRegs[0x00], SoundRegs[0x14]};
    WriteHalf(0x04000060, 0xEE11);
    WriteHalf(0x04000066, 0xEEEE);
    WriteHalf(0x04000082, 0xEEEE);
    WriteHalf(0x04000088, 0xEEEE);
    EXPECT_EQ(SoundRegs[0x00], 0x11);
    EXPECT_EQ(SoundRegs[0x05], before[0]);
    EXPECT_EQ(SoundRegs[0x0F], before[1]);
    EXPECT_EQ(SoundRegs[0x17], before[2]);
    EXPECT_EQ(SoundRegs[0x14], before[4]);
    for (int i = 0; i < 0x30; ++i) EXPECT_NE(SoundRegs[i], 0xEE) << "index " << i;
}

TEST_F(MachineTest, SoundRegisterMapCoversExactlyTheOlderChipsRegisters) {
    int mapped = 0;
    for (int i = 0; i < 0x40; ++i) {
        if (SoundRegisterMap[i] != 0xFF) {
            ++mapped;
            EXPECT_LE(SoundRegisterMap[i], 0x2F);
        }
    }
    EXPECT_EQ(mapped, 37);
    EXPECT_EQ(SoundRegisterMap[0x84 - 0x60], 0x16);
    EXPECT_EQ(SoundRegisterMap[0x75 - 0x60], 0x0E);
    EXPECT_EQ(SoundRegisterMap[0x7D - 0x60], 0x13);
}

TEST_F(MachineTest, RegisterWritesAreLoggedWithTheLine) {
    Poke16(IoRam + 0x006, 123);
    Verbose = 0x02;
    testing::internal::CaptureStdout();
    WriteByte(0x04000051, 0x3F);
    WriteWord(0x04001100, 0x00800001);
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_EQ(log,
              "Wrote 3F00h to IO[050h] at 123\n"
              "Wrote 0001h to IO[100h] at 123\n"
              "Wrote 0080h to IO[102h] at 123\n");
}

// Halting: the store is executed again at every slice until an interrupt
// arrives at a half-line step.
TEST_F(MachineTest, HaltNeedsAnInterruptThatCouldEndIt) {
    CpuState.R[15] = 0x08000104;
    CpuState.Cycles = 100;
    WriteHalf(0x04000300, 0x8000);
    EXPECT_EQ(HaltState, 0u) << "master enable off";
    EXPECT_EQ(CpuState.R[15], 0x08000104u);
    EXPECT_EQ(Io(0x300), 0x8000);

    WriteHalf(0x04000208, 1);
    WriteByte(0x04000301, 0x00);
    EXPECT_EQ(HaltState, 0u) << "no interrupt enabled";
}

TEST_F(MachineTest, HaltRepeatsTheStoreUntilAnInterruptArrives) {
    WriteHalf(0x04000004, 0x0008);  // vertical-blank interrupt on
    WriteHalf(0x04000200, 0x0001);
    WriteHalf(0x04000208, 0x0001);
    CpuState.SliceCut = 0;
    CpuState.R[15] = 0x08000104;
    CpuState.Cycles = 100;
    WriteByte(0x04000301, 0x00);  // ARM STRB
    EXPECT_EQ(HaltState, 1u);
    EXPECT_EQ(CpuState.R[15], 0x08000100u);
    EXPECT_EQ(CpuState.Cycles, 0);

    // Until line 160 every slice re-runs the store, which keeps halting.
    int calls = 0;
    while (HaltState == 1 && calls < 1000) {
        CpuState.Cycles = 0;
        AdvanceScanline();
        ++calls;
        if (HaltState == 1) {
            CpuState.R[15] += 4;
            CpuState.Cycles = 50;
            WriteByte(0x04000301, 0x00);
            EXPECT_EQ(CpuState.R[15], 0x08000100u);
            EXPECT_EQ(CpuState.Cycles, 0);
        }
    }
    EXPECT_EQ(HaltState, 2u);
    EXPECT_EQ(Io(0x006), 160);
    EXPECT_EQ(calls, 2 * 160);
    EXPECT_EQ(CpuState.IrqRequest, 1u);

    // Back from the interrupt, the store completes.
    CpuState.R[15] = 0x08000104;
    CpuState.Cycles = 50;
    WriteByte(0x04000301, 0x00);
    EXPECT_EQ(HaltState, 0u);
    EXPECT_EQ(CpuState.R[15], 0x08000104u);
    EXPECT_EQ(CpuState.Cycles, 50 - HalfAccessCost[4]);
}

TEST_F(MachineTest, HaltInThumbStateStepsBackOneHalfword) {
    WriteHalf(0x04000200, 0x0001);
    WriteHalf(0x04000208, 0x0001);
    CpuState.CPSR |= FlagT;
    CpuState.R[15] = 0x08000102;
    WriteHalf(0x04000300, 0);
    EXPECT_EQ(HaltState, 1u);
    EXPECT_EQ(CpuState.R[15], 0x08000100u);
}

}  // namespace
}  // namespace koru
