// DMA transfers: counts, address masks and steps, write-back, repeats and
// the transfers that reach the I/O registers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "hardware/dma.h"
#include "hardware/interrupts.h"
#include "hardware/timers.h"
#include "hardware/timing.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "support/test_machine.h"

namespace koru {
namespace {

uint16_t Io(uint32_t offset) { return Peek16(IoRam + offset); }
uint32_t Io32(uint32_t offset) { return Peek32(IoRam + offset); }

// Control bits.
constexpr uint16_t Enable = 0x8000, Irq = 0x4000, VBlank = 0x1000, HBlank = 0x2000, Special = 0x3000;
constexpr uint16_t Words = 0x0400, Repeat = 0x0200;
constexpr uint16_t SourceDown = 0x0080, SourceFixed = 0x0100;
constexpr uint16_t DestDown = 0x0020, DestFixed = 0x0040, DestReload = 0x0060;

class DmaTest : public test::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        FrameSkipCounter = 0;
    }
    static uint32_t Base(int c) { return 0x040000B0 + 12 * c; }
    // Sets the channel up without starting it, then writes the control.
    static void Start(int c, uint32_t source, uint32_t destination, uint16_t count, uint16_t control) {
        WriteWord(Base(c), source);
        WriteWord(Base(c) + 4, destination);
        WriteHalf(Base(c) + 8, count);
        WriteHalf(Base(c) + 10, control);
    }
    // Halfwords written from a fixed source into zeroed memory.
    static uint32_t CountCopied(uint32_t destination, uint32_t limit) {
        uint32_t n = 0;
        while (n < limit && ReadHalf(destination + 2 * n) == 0xBEEF) ++n;
        return n;
    }
};

TEST_F(DmaTest, CountZeroMeansTheFullCountOfTheChannel) {
    WriteHalf(0x03000000, 0xBEEF);
    Start(3, 0x03000000, 0x02000000, 0, Enable | SourceFixed);
    EXPECT_EQ(CountCopied(0x02000000, 0x20000), 0x10000u);
    for (int c = 0; c < 3; ++c) {
        std::fill(ExternalWram, ExternalWram + ExternalWramSize, 0);
        Start(c, 0x03000000, 0x02000000, 0, Enable | SourceFixed);
        EXPECT_EQ(CountCopied(0x02000000, 0x20000), 0x4000u) << "channel " << c;
    }
    // The zero test is made before masking: 0x4000 masks to nothing.
    std::fill(ExternalWram, ExternalWram + ExternalWramSize, 0);
    Start(0, 0x03000000, 0x02000000, 0x4000, Enable | SourceFixed);
    EXPECT_EQ(CountCopied(0x02000000, 0x20000), 0u);
    EXPECT_EQ(Io(0xBA) & Enable, 0) << "still switched off";
    std::fill(ExternalWram, ExternalWram + ExternalWramSize, 0);
    Start(3, 0x03000000, 0x02000000, 0x4003, Enable | SourceFixed);
    EXPECT_EQ(CountCopied(0x02000000, 0x20000), 0x4003u) << "channel 3 counts 16 bits";
}

TEST_F(DmaTest, AddressesAreMaskedAndAlignedToTheUnit) {
    WriteWord(0x02000000, 0x11223344);
    Start(3, 0x02000003, 0x03000002, 1, Enable | Words);
    EXPECT_EQ(ReadWord(0x03000000), 0x11223344u);
    WriteHalf(0x02000010, 0x5566);
    Start(3, 0x02000011, 0x06000001, 1, Enable);
    EXPECT_EQ(ReadHalf(0x06000000), 0x5566);

    // Channel 0 cannot reach the cartridge: bit 27 is masked away.
    const uint32_t bios = ReadWord(0x00000000);
    const uint32_t rom = ReadWord(0x08000000);
    ASSERT_NE(bios, rom);
    Start(0, 0x08000000, 0x03000100, 1, Enable | Words);
    EXPECT_EQ(ReadWord(0x03000100), bios);
    Start(1, 0x08000000, 0x03000100, 1, Enable | Words);
    EXPECT_EQ(ReadWord(0x03000100), rom);
    // Channels 0-2 write below 0x08000000 only; channel 3 anywhere.
    WriteWord(0x03000200, 0xCAFEF00D);
    Start(2, 0x03000200, 0x0E000000, 1, Enable | Words);
    EXPECT_EQ(ReadWord(0x06000000), 0xCAFEF00Du);
    EXPECT_EQ(ReadWord(0x0E000000), 0u);
    Start(3, 0x03000200, 0x0E000000, 1, Enable | Words);
    EXPECT_EQ(ReadWord(0x0E000000), 0xCAFEF00Du);
    // Upper address bits are dropped and written back that way.
    EXPECT_EQ(Io32(0x0D4), 0x03000204u);
    Start(1, 0xF3000200, 0xFF000300, 1, Enable | Words);
    EXPECT_EQ(ReadWord(0x07000300), 0xCAFEF00Du);
    EXPECT_EQ(Io32(0x0BC), 0x03000204u);
    EXPECT_EQ(Io32(0x0C0), 0x07000304u);
}

TEST_F(DmaTest, StepsAndWriteBack) {
    for (uint32_t i = 0; i < 8; ++i) WriteHalf(0x03000000 + 2 * i, static_cast<uint16_t>(0x100 + i));

    Start(3, 0x03000000, 0x02000000, 4, Enable);
    EXPECT_EQ(ReadHalf(0x02000006), 0x103);
    EXPECT_EQ(Io32(0x0D4), 0x03000008u) << "one unit past the last read";
    EXPECT_EQ(Io32(0x0D8), 0x02000008u) << "one unit past the last write";
    EXPECT_EQ(Io(0x0DC), 4) << "the count register is never changed";

    Start(3, 0x0300000E, 0x02000100, 3, Enable | SourceDown | DestDown);
    EXPECT_EQ(ReadHalf(0x02000100), 0x107);
    EXPECT_EQ(ReadHalf(0x020000FE), 0x106);
    EXPECT_EQ(ReadHalf(0x020000FC), 0x105);
    EXPECT_EQ(Io32(0x0D4), 0x03000008u);
    EXPECT_EQ(Io32(0x0D8), 0x020000FAu);

    Start(3, 0x03000000, 0x02000200, 3, Enable | DestFixed);
    EXPECT_EQ(ReadHalf(0x02000200), 0x102);
    EXPECT_EQ(ReadHalf(0x02000202), 0);
    EXPECT_EQ(Io32(0x0D8), 0x02000200u);

    Start(3, 0x03000004, 0x02000300, 2, Enable | SourceFixed | SourceDown);  // 3: fixed as well
    EXPECT_EQ(ReadHalf(0x02000302), 0x102);
    EXPECT_EQ(Io32(0x0D4), 0x03000004u);

    // Increment and restore: the destination register is left as it was.
    Start(3, 0x03000000, 0x02000401, 2, Enable | DestReload);
    EXPECT_EQ(ReadHalf(0x02000402), 0x101);
    EXPECT_EQ(Io32(0x0D8), 0x02000401u);
    EXPECT_EQ(Io32(0x0D4), 0x03000004u);
}

TEST_F(DmaTest, ImmediateTransferSwitchesItselfOffEvenWithRepeat) {
    Start(3, 0x03000000, 0x02000000, 1, Enable | Repeat | Words);
    EXPECT_EQ(Io(0x0DE), Repeat | Words);
}

TEST_F(DmaTest, BlankTimedTransfersOnlyArmTheChannel) {
    WriteHalf(0x03000000, 0xBEEF);
    Start(3, 0x03000000, 0x02000000, 1, Enable | VBlank);
    Start(2, 0x03000000, 0x02000010, 1, Enable | HBlank);
    EXPECT_EQ(ReadHalf(0x02000000), 0);
    EXPECT_EQ(ReadHalf(0x02000010), 0);

    CpuState.Cycles = 0;
    AdvanceScanline();  // horizontal blank of line 0
    EXPECT_EQ(ReadHalf(0x02000010), 0xBEEF);
    EXPECT_EQ(Io(0x0D2) & Enable, 0) << "no repeat: switched off";
    EXPECT_EQ(ReadHalf(0x02000000), 0);
    for (int i = 0; i < 2 * 160 - 1; ++i) {
        CpuState.Cycles = 0;
        AdvanceScanline();
    }
    EXPECT_EQ(Io(0x006), 160);
    EXPECT_EQ(ReadHalf(0x02000000), 0xBEEF);
}

TEST_F(DmaTest, HorizontalBlankRepeatRunsOncePerVisibleLine) {
    for (uint32_t i = 0; i < 400; ++i) WriteHalf(0x02000000 + 2 * i, static_cast<uint16_t>(i + 1));
    Start(0, 0x02000000, 0x03000000, 1, Enable | HBlank | Repeat | DestFixed);
    int runs = 0;
    uint16_t last = 0;
    for (int i = 0; i < 2 * 228 + 2; ++i) {
        CpuState.Cycles = 0;
        AdvanceScanline();
        const uint16_t now = ReadHalf(0x03000000);
        if (now != last) {
            ++runs;
            EXPECT_EQ(now, last + 1) << "the source advances from where it stopped";
            EXPECT_EQ(Io(0x004) & 2, 2) << "at the start of a horizontal blank";
            EXPECT_LT(Io(0x006), 160);
            last = now;
        }
    }
    EXPECT_EQ(runs, 161) << "160 lines and line 0 of the next frame";
    EXPECT_EQ(Io(0x0BA) & Enable, Enable);
}

TEST_F(DmaTest, SpecialTimingStartsOnlyChannel3AtEachVisibleLine) {
    WriteHalf(0x03000000, 0xBEEF);
    Start(2, 0x03000000, 0x02001000, 1, Enable | Special);
    Start(3, 0x03000000, 0x02000000, 1, Enable | Special | Repeat | SourceFixed);
    for (int i = 0; i < 2 * 228; ++i) {
        CpuState.Cycles = 0;
        AdvanceScanline();
    }
    EXPECT_EQ(CountCopied(0x02000000, 300), 160u) << "lines 1-159, then line 0";
    EXPECT_EQ(ReadHalf(0x02001000), 0) << "channel 2 never starts";
}

TEST_F(DmaTest, EndOfTransferSetsTheChannelsInterruptFlagOnly) {
    Poke16(IoRam + 0x208, 1);
    Poke16(IoRam + 0x200, 0xFFFF);
    CpuState.IrqRequest = 0;
    Start(3, 0x03000000, 0x02000000, 1, Enable | Irq);
    EXPECT_EQ(Io(0x202), 0x0800);
    EXPECT_EQ(CpuState.IrqRequest, 0u) << "the next half-line step computes it";
    Start(1, 0x03000000, 0x02000000, 1, Enable);
    EXPECT_EQ(Io(0x202), 0x0800);
    Start(1, 0x03000000, 0x02000000, 1, Enable | Irq);
    EXPECT_EQ(Io(0x202), 0x0A00);
    CpuState.Cycles = 0;
    EXPECT_EQ(AdvanceScanline(), 1);
}

TEST_F(DmaTest, TransfersIntoTheIoAreaActInAddressOrder) {
    // Two words onto timer 0 and timer 1: reload, control, reload, control.
    WriteWord(0x02000000, 0x00C3FFF0);
    WriteWord(0x02000004, 0x00841234);
    Verbose = 0x02;
    testing::internal::CaptureStdout();
    Start(3, 0x02000000, 0x04000100, 2, Enable | Words);
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_NE(log.find("Wrote FFF0h to IO[100h] at 0\n"
                       "Wrote 00C3h to IO[102h] at 0\n"
                       "Wrote 1234h to IO[104h] at 0\n"
                       "Wrote 0084h to IO[106h] at 0\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(TimerCounter[0], 0xFFF0);
    EXPECT_EQ(TimerPrescale[0], 1024);
    EXPECT_EQ(TimerCountdown[1], 0);
    EXPECT_EQ(Io(0x104), 0x1234);

    // Halfwords onto the interrupt registers: the flag is cleared and the
    // recheck made on each write.
    Poke16(IoRam + 0x202, 0x0003);
    WriteHalf(0x02000010, 0x0001);  // enable
    WriteHalf(0x02000012, 0x0001);  // acknowledge
    Start(3, 0x02000010, 0x04000200, 2, Enable);
    EXPECT_EQ(Io(0x200), 0x0001);
    EXPECT_EQ(Io(0x202), 0x0002);
}

TEST_F(DmaTest, AChannelCopyingOntoItsOwnControlIsNotStartedAgain) {
    // Every unit writes "enabled, immediate" into the channel's own control
    // register; started again each time, the transfer would never end.
    WriteHalf(0x02000000, Enable | SourceFixed | DestFixed);
    Verbose = 0x08;
    testing::internal::CaptureStdout();
    Start(3, 0x02000000, 0x040000DE, 100, Enable | SourceFixed | DestFixed);
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_EQ(log, "DMA3: 02000000-02000000 -> 040000DE-040000DE (16bit,Immediate) at line 0\n");
    EXPECT_EQ(Io(0x0DE), SourceFixed | DestFixed) << "the writes are stored, then the channel switches off";

    // Two channels that start each other: each runs once per start of the
    // other, never inside itself.
    WriteHalf(0x02000010, Enable | SourceFixed | DestFixed);
    WriteWord(0x040000C8, 0x02000010);
    WriteWord(0x040000CC, 0x040000DE);  // channel 2 -> channel 3's control
    WriteHalf(0x040000D0, 1);
    WriteHalf(0x02000020, Enable | SourceFixed | DestFixed);
    Verbose = 0x08;
    testing::internal::CaptureStdout();
    Start(3, 0x02000020, 0x040000D2, 2, Enable | SourceFixed | DestFixed);  // -> channel 2's control
    const std::string chain = testing::internal::GetCapturedStdout();
    Verbose = 0;
    // Channel 3 starts channel 2 twice; channel 2's start of channel 3 is
    // skipped each time.
    size_t lines = 0;
    for (size_t at = chain.find("DMA"); at != std::string::npos; at = chain.find("DMA", at + 1)) ++lines;
    EXPECT_EQ(lines, 3u) << chain;
    EXPECT_EQ(Io(0x0DE) & Enable, 0);
    EXPECT_EQ(Io(0x0D2) & Enable, 0);
}

TEST_F(DmaTest, ATransferIntoTheHaltRegisterDoesNotMoveTheProcessor) {
    WriteHalf(0x04000200, 0x0001);
    WriteHalf(0x04000208, 0x0001);
    CpuState.R[15] = 0x08000200;
    Start(3, 0x02000000, 0x04000300, 8, Enable | SourceFixed | DestFixed);
    EXPECT_EQ(CpuState.R[15], 0x08000200u);
    EXPECT_EQ(HaltState, 0u);
    EXPECT_EQ(Io(0x300), ReadHalf(0x02000000)) << "the value is stored";
    // The processor's own store still halts.
    WriteHalf(0x04000300, 0);
    EXPECT_EQ(HaltState, 1u);
    EXPECT_EQ(CpuState.R[15], 0x080001FCu);
}

TEST_F(DmaTest, LogLineNamesRangeUnitTimingAndFlags) {
    Poke16(IoRam + 0x006, 77);
    Verbose = 0x08;
    testing::internal::CaptureStdout();
    Start(1, 0x02000000, 0x06000010, 4, Enable | Words | Irq | Repeat | DestDown);
    Start(2, 0x02000000, 0x03000000, 3, Enable | VBlank | Repeat | SourceDown);
    RunDma(2);
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_EQ(log,
              "DMA1: 02000000-0200000C -> 06000010-06000004 (32bit,Immediate,IRQ,Repeat) at line 77\n"
              "DMA2: 02000000-01FFFFFC -> 03000000-03000004 (16bit,VBlank,Repeat) at line 77\n");
}

TEST_F(DmaTest, SixteenBitTransfersFromTheEepromWindowReadItsBits) {
    Start(3, 0x0D000000, 0x02000000, 4, Enable | SourceFixed);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(ReadHalf(0x02000000 + 2 * i), 1) << "an idle EEPROM reads ready";
    WriteWord(0x0D000000, 0x12345678);  // unmapped here: lands in DummyRam
    Start(3, 0x0D000000, 0x02000100, 1, Enable | SourceFixed | Words);
    EXPECT_EQ(ReadWord(0x02000100), 0x12345678u) << "32-bit reads use the table";
}

TEST_F(DmaTest, EndlessTransfersCannotWrapTheCycleCount) {
    // 65,536 words from slow cartridge memory to SRAM, over and over: far
    // more than a slice, and the count must stay a large negative number.
    WriteHalf(0x04000204, 0x0003);  // slowest SRAM
    CpuState.Cycles = 0;
    for (int i = 0; i < 20; ++i) {
        Start(3, 0x0C000000, 0x0E000000, 0, Enable | Words | SourceFixed | DestFixed);
        ASSERT_LT(CpuState.Cycles, 0);
    }
    EXPECT_GT(CpuState.Cycles, -(1 << 25));
    CpuState.Cycles = 0;
    AdvanceScanline();
    EXPECT_EQ(Io(0x004) & 2, 2);
}

TEST_F(DmaTest, ChannelsStartingEachOtherShareABudgetOfNestedUnitsPerFrame) {
    // Channel 0 writes "enabled, immediate" onto channel 1's control 2,048
    // times; each start of channel 1 copies 16,384 halfwords of the
    // cartridge on, and its source register tells how many it did. Run in
    // full that is 33 million units; the frame's budget allows 64 such
    // starts.
    WriteHalf(0x03007000, Enable | DestFixed);
    WriteWord(0x040000BC, 0x08000000);  // channel 1: source, destination, count 0
    WriteWord(0x040000C0, 0x02000000);
    WriteHalf(0x040000C4, 0);
    const uint32_t budgetRuns = NestedDmaUnitsPerFrame / 0x4000;
    const uint32_t afterBudget = 0x08000000u + budgetRuns * 0x8000;
    Start(0, 0x03007000, 0x040000C6, 2048, Enable | SourceFixed | DestFixed);
    EXPECT_EQ(Io32(0x0BC), afterBudget) << "channel 1 ran " << (Io32(0x0BC) - 0x08000000) / 0x8000 << " times";
    EXPECT_EQ(Io(0x0BA) & Enable, 0) << "the outer transfer itself ran to its end";

    // The budget is spent: even one unit started from inside a transfer is
    // skipped, while starts by the processor still run whole.
    WriteHalf(0x040000C4, 0x2000);
    Start(0, 0x03007000, 0x040000C6, 1, Enable | SourceFixed | DestFixed);
    EXPECT_EQ(Io32(0x0BC), afterBudget);
    WriteHalf(0x040000C6, Enable | DestFixed);
    EXPECT_EQ(Io32(0x0BC), afterBudget + 0x4000) << "a start by the processor is never limited";

    // The next vertical blank renews it.
    while (Io(0x006) != 160) {
        CpuState.Cycles = 0;
        AdvanceScanline();
    }
    Start(0, 0x03007000, 0x040000C6, 3, Enable | SourceFixed | DestFixed);
    EXPECT_EQ(Io32(0x0BC), afterBudget + 4 * 0x4000);
}

TEST_F(DmaTest, FourChainedChannelsEndWithinOneCall) {
    // 0 -> 1 -> 2 -> 3, each unit of a channel starting the next one with
    // the largest counts: 16,384 x 16,384 x 16,384 x 65,536 units unbounded.
    for (int c = 1; c < 4; ++c) {
        WriteWord(Base(c), 0x03007000);
        WriteWord(Base(c) + 4, c < 3 ? Base(c + 1) + 10 : 0x03000000);
        WriteHalf(Base(c) + 8, 0);
    }
    WriteHalf(0x03007000, Enable | SourceFixed | DestFixed);
    Start(0, 0x03007000, Base(1) + 10, 0, 0);
    CpuState.Cycles = 0;
    WriteHalf(Base(0) + 10, Enable | SourceFixed | DestFixed);
    // Apart from the control write itself, every unit here costs 2 cycles
    // (Internal Working RAM to I/O or back), which tells how many moved.
    const int64_t units = (-static_cast<int64_t>(CpuState.Cycles) - 1) / 2;
    EXPECT_GT(units, 0x4000);
    EXPECT_LE(units, 0x4000 + int64_t{NestedDmaUnitsPerFrame});
    EXPECT_FALSE(DmaRunning());
    EXPECT_EQ(Io(0x0BA) & Enable, 0);
}

TEST_F(DmaTest, ATransferThatCutsTheSliceEveryLineCannotPileUpItsDebt) {
    // A repeating horizontal-blank transfer of 16,384 words from slow SRAM
    // onto the interrupt enable register, with an interrupt pending: each
    // unit signals it, and the first one cuts the slice, which sets aside
    // the debt left so far. The CPU loop adds that back at the next slice
    // end, so the debt must not grow past the floor by a line's transfer
    // each time, or after some thirty frames it would overflow.
    WriteHalf(0x04000204, 0x0003);  // slowest SRAM: 18 cycles a word
    WriteWord(0x0E000000, 0x00000001);
    Poke16(IoRam + 0x202, 0x0001);
    WriteHalf(0x04000208, 1);
    Start(1, 0x0E000000, 0x04000200, 0, Enable | HBlank | Repeat | Words | SourceFixed | DestFixed);
    CpuState.Cycles = 0;
    CpuState.SliceCut = 0;
    int64_t deepest = 0;
    for (int i = 0; i < 2 * 228; ++i) {
        ASSERT_TRUE(EndSlice(CpuState));
        const int64_t debt = int64_t{CpuState.Cycles} + (CpuState.SliceCut ? CpuState.SavedCycles : 0);
        deepest = std::min(deepest, debt);
    }
    EXPECT_LT(deepest, -(int64_t{1} << 24)) << "the premise: far more than the floor";
    EXPECT_GE(deepest, -(int64_t{1} << 25) - 1000);
}

}  // namespace
}  // namespace koru
