// The BIOS services performed by the host: call numbers, arithmetic, copies,
// resets and waits, on a prepared machine without a BIOS image.
#include <gtest/gtest.h>

#include <string>

#include "bios/bios.h"
#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "hardware/interrupts.h"
#include "hardware/timing.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "support/test_machine.h"
#include "video/video_registers.h"

namespace koru {
namespace {

constexpr uint32_t ThumbCall = 0x08000202;  // R15 after a THUMB SWI at 0x08000200
constexpr uint32_t ArmCall = 0x08000204;    // R15 after an ARM SWI at 0x08000200

uint16_t Io(uint32_t offset) { return Peek16(IoRam + offset); }
void SetIo(uint32_t offset, uint16_t value) { Poke16(IoRam + offset, value); }

class BiosTest : public test::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        CpuState.CPSR = uint32_t{ModeSystem} | FlagT;
        CpuState.R[15] = ThumbCall;
        CpuState.Cycles = 500;
    }

    // R0-R3 after a call with these arguments.
    void Call(uint32_t comment, uint32_t r0, uint32_t r1, uint32_t r2 = 0, uint32_t r3 = 0) {
        CpuState.R[0] = r0;
        CpuState.R[1] = r1;
        CpuState.R[2] = r2;
        CpuState.R[3] = r3;
        SoftwareInterrupt(comment);
    }

    // What a call wrote to the log with the BIOS bit set.
    std::string Logged(uint32_t comment) {
        Verbose = 0x20;
        testing::internal::CaptureStdout();
        SoftwareInterrupt(comment);
        std::fflush(stdout);
        std::string text = testing::internal::GetCapturedStdout();
        Verbose = 0;
        return text;
    }

    // Advances the hardware half a line at a time until the halt it is in
    // has been ended by an interrupt (or gives up after two frames).
    void RunUntilInterrupt() {
        for (int i = 0; i < 4 * 228 && HaltState == 1; ++i) {
            CpuState.Cycles = 0;
            AdvanceScanline();
        }
    }
};

TEST_F(BiosTest, DivTruncatesTowardZeroWithTheRemainderSignOfTheDividend) {
    Call(0x06, static_cast<uint32_t>(-7), 2);
    EXPECT_EQ(static_cast<int32_t>(CpuState.R[0]), -3);
    EXPECT_EQ(static_cast<int32_t>(CpuState.R[1]), -1);
    EXPECT_EQ(CpuState.R[3], 3u);
    Call(0x06, 7, static_cast<uint32_t>(-2));
    EXPECT_EQ(static_cast<int32_t>(CpuState.R[0]), -3);
    EXPECT_EQ(static_cast<int32_t>(CpuState.R[1]), 1);
    EXPECT_EQ(CpuState.R[3], 3u);
    Call(0x06, static_cast<uint32_t>(-7), static_cast<uint32_t>(-2));
    EXPECT_EQ(static_cast<int32_t>(CpuState.R[0]), 3);
    EXPECT_EQ(static_cast<int32_t>(CpuState.R[1]), -1);
    EXPECT_EQ(CpuState.R[3], 3u);
    EXPECT_EQ(CpuState.R[15], ThumbCall) << "returns to the next instruction";
}

TEST_F(BiosTest, DivArmTakesTheDividendFromR1) {
    Call(0x07, 2, static_cast<uint32_t>(-7));
    EXPECT_EQ(static_cast<int32_t>(CpuState.R[0]), -3);
    EXPECT_EQ(static_cast<int32_t>(CpuState.R[1]), -1);
    EXPECT_EQ(CpuState.R[3], 3u);
}

TEST_F(BiosTest, MostNegativeDividedByMinusOneGivesTheHardwareResult) {
    for (uint32_t service : {0x06u, 0x07u}) {
        const bool arm = service == 0x07;
        Call(service, arm ? 0xFFFFFFFF : 0x80000000, arm ? 0x80000000 : 0xFFFFFFFF);
        EXPECT_EQ(CpuState.R[0], 0x80000000u) << service;
        EXPECT_EQ(CpuState.R[1], 0u) << service;
        EXPECT_EQ(CpuState.R[3], 0x80000000u) << service;
    }
}

TEST_F(BiosTest, DivisionByZeroLeavesEveryRegister) {
    Call(0x06, 5, 0, 0x22, 0x33);
    EXPECT_EQ(CpuState.R[0], 5u);
    EXPECT_EQ(CpuState.R[1], 0u);
    EXPECT_EQ(CpuState.R[3], 0x33u);
    Call(0x07, 0, 5, 0x22, 0x33);
    EXPECT_EQ(CpuState.R[0], 0u);
    EXPECT_EQ(CpuState.R[1], 5u);
    EXPECT_EQ(CpuState.R[3], 0x33u);
}

TEST_F(BiosTest, ArmCommentFieldsCarryTheNumberInBits16To23AboveOneByte) {
    CpuState.CPSR = ModeSystem;
    CpuState.R[15] = ArmCall;
    Call(0x060000, 100, 7);
    EXPECT_EQ(CpuState.R[0], 14u);
    EXPECT_EQ(CpuState.R[1], 2u);
    Call(0x000006, 100, 8);
    EXPECT_EQ(CpuState.R[0], 12u);
    EXPECT_EQ(CpuState.R[1], 4u);
    Call(0x080000, 144, 0);
    EXPECT_EQ(CpuState.R[0], 12u) << "SWI 0x080000 is Sqrt";
}

TEST_F(BiosTest, UnknownNumbersOnlyLog) {
    CpuState.R[0] = 100;
    CpuState.R[1] = 7;
    CpuState.R[15] = ArmCall;
    EXPECT_EQ(Logged(0x2A0000), "ARM: Called SWI #0x2A at PC=0x08000204\n");
    EXPECT_EQ(Logged(0x0D), "ARM: Called SWI #0x0D at PC=0x08000204\n");
    EXPECT_EQ(Logged(0x26), "ARM: Called SWI #0x26 at PC=0x08000204\n");
    EXPECT_EQ(Logged(0xFF), "ARM: Called SWI #0xFF at PC=0x08000204\n");
    EXPECT_EQ(CpuState.R[0], 100u);
    EXPECT_EQ(CpuState.R[1], 7u);
    EXPECT_EQ(CpuState.R[15], ArmCall);
    // And nothing at all without the BIOS bit.
    testing::internal::CaptureStdout();
    SoftwareInterrupt(0x2A);
    SoftwareInterrupt(0x06);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(BiosTest, LogLinesNameTheServiceAndItsArguments) {
    CpuState.R[0] = static_cast<uint32_t>(-7);
    CpuState.R[1] = 2;
    EXPECT_EQ(Logged(0x06), "BIOS #0x06: Div(-7,2)\n");
    CpuState.R[0] = 0x4000;
    CpuState.R[1] = 0xC000;
    EXPECT_EQ(Logged(0x0A), "BIOS #0x0A: ArcTan2(1.000000,-1.000000)\n");
    CpuState.R[0] = 0x03000000;
    CpuState.R[1] = 0x02000000;
    CpuState.R[2] = 0x00000003;
    EXPECT_EQ(Logged(0x0B),
              "BIOS #0x0B: CPUSet(0x03000000,0x02000000,0x00000003)\n"
              "CPUSet: 03000000-03000004 -> 02000000-02000004 (16bit)\n");
    CpuState.R[2] = 0x01000004;
    EXPECT_EQ(Logged(0x0C),
              "BIOS #0x0C: CPUFastSet(0x03000000,0x02000000,0x01000004)\n"
              "CPUFastSet: 03000000-03000000 -> 02000000-0200000C (32bit)\n");
    CpuState.R[2] = 0;
    EXPECT_EQ(Logged(0x0B), "BIOS #0x0B: CPUSet(0x03000000,0x02000000,0x00000000)\n");
    CpuState.R[0] = 0x20;
    EXPECT_EQ(Logged(0x01), "BIOS #0x01: RegisterRAMReset(0x00000020)\n");
    CpuState.R[0] = 1;
    CpuState.R[1] = 0x0100;
    CpuState.R[2] = 2;
    CpuState.R[3] = static_cast<uint32_t>(-8);
    EXPECT_EQ(Logged(0x0F), "BIOS #0x0F: ObjAffineSet(0x00000001,0x00000100,2,-8)\n");
    EXPECT_EQ(Logged(0x1F), "BIOS #0x1F: MIDIKey2Freq(0x00000001,256,2)\n");
}

TEST_F(BiosTest, SqrtTruncatesAcrossTheWholeRange) {
    const struct {
        uint32_t in, out;
    } cases[] = {{0, 0}, {1, 1}, {3, 1}, {4, 2}, {17, 4}, {0xFFFE0000, 0xFFFE}, {0xFFFE0001, 0xFFFF},
                 {0xFFFFFFFF, 0xFFFF}, {0x40000000, 0x8000}, {0x3FFFFFFF, 0x7FFF}};
    for (const auto& c : cases) {
        Call(0x08, c.in, 0);
        EXPECT_EQ(CpuState.R[0], c.out) << std::hex << c.in;
    }
}

TEST_F(BiosTest, ArcTanUsesTheShortenedPiAndTruncates) {
    Call(0x09, 0x4000, 0);
    EXPECT_EQ(CpuState.R[0], 0x1FFFu);
    Call(0x09, 0xC000, 0);
    EXPECT_EQ(CpuState.R[0], 0xE001u);
    Call(0x09, 0, 0);
    EXPECT_EQ(CpuState.R[0], 0u);
    Call(0x09, 0xFFFF4000, 0);
    EXPECT_EQ(CpuState.R[0], 0x1FFFu) << "only the low 16 bits are the argument";
}

TEST_F(BiosTest, ArcTan2CoversAllFourQuadrants) {
    Call(0x0A, 0x0100, 0);
    EXPECT_EQ(CpuState.R[0], 0u);
    Call(0x0A, 0xFF00, 0);
    EXPECT_EQ(CpuState.R[0], 0x7FFFu) << "pi with the shortened constant is just above 1";
    Call(0x0A, 0x0100, 0x0100);
    EXPECT_EQ(CpuState.R[0], 0x1FFFu);
    Call(0x0A, 0x0100, 0xFF00);
    EXPECT_EQ(CpuState.R[0], 0xE001u);
    Call(0x0A, 0xFF00, 0x0100);
    EXPECT_EQ(CpuState.R[0], 0x5FFFu);
    Call(0x0A, 0xFF00, 0xFF00);
    EXPECT_EQ(CpuState.R[0], 0xA001u);
    Call(0x0A, 0, 0x0100);
    EXPECT_EQ(CpuState.R[0], 0u) << "R0 = 0 is left as it was";
    Call(0x0A, 0x12340000, 0x0100);
    EXPECT_EQ(CpuState.R[0], 0x12340000u);
}

TEST_F(BiosTest, CpuSetFillWritesTheFirstHalfwordRepeatedly) {
    WriteWord(0x03000000, 0xBBBBAAAA);
    Call(0x0B, 0x03000001, 0x02000101, 0x01000004);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(ReadHalf(0x02000100 + 2 * i), 0xAAAA) << i;
    EXPECT_EQ(ReadHalf(0x02000108), 0) << "exactly four halfwords";
    EXPECT_EQ(ReadHalf(0x020000FE), 0) << "the destination is aligned down, not before";
}

TEST_F(BiosTest, CpuSetCopiesWordsAlignedToFourBytes) {
    for (uint32_t i = 0; i < 4; ++i) WriteWord(0x03000000 + 4 * i, 0x11111111 * (i + 1));
    Call(0x0B, 0x03000003, 0x02000002, 0x04000003);
    EXPECT_EQ(ReadWord(0x02000000), 0x11111111u);
    EXPECT_EQ(ReadWord(0x02000004), 0x22222222u);
    EXPECT_EQ(ReadWord(0x02000008), 0x33333333u);
    EXPECT_EQ(ReadWord(0x0200000C), 0u);
    Call(0x0B, 0x03000000, 0x02000100, 0x04000000);
    EXPECT_EQ(ReadWord(0x02000100), 0u) << "count 0 copies nothing";
}

TEST_F(BiosTest, CpuSetReadsWithoutCostAndWritesThroughTheBus) {
    WriteHalf(0x03000000, 0x0001);
    CpuState.Cycles = 100;
    Call(0x0B, 0x03000000, 0x04000200, 0x00000001);  // interrupt enable
    EXPECT_EQ(Io(0x200), 1);
    EXPECT_EQ(CpuState.Cycles, 99) << "one halfword write to I/O, the read is free";
}

TEST_F(BiosTest, CpuFastSetCopiesExactlyTheCountAsked) {
    for (uint32_t i = 0; i < 8; ++i) WriteWord(0x03000000 + 4 * i, i + 1);
    Call(0x0C, 0x03000000, 0x02000000, 5);
    for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(ReadWord(0x02000000 + 4 * i), i + 1);
    EXPECT_EQ(ReadWord(0x02000014), 0u) << "not rounded up to eight";
    Call(0x0C, 0x03000004, 0x02000100, 0x01000003);
    EXPECT_EQ(ReadWord(0x02000100), 2u);
    EXPECT_EQ(ReadWord(0x02000104), 2u);
    EXPECT_EQ(ReadWord(0x02000108), 2u);
    EXPECT_EQ(ReadWord(0x0200010C), 0u);
}

TEST_F(BiosTest, ObjAffineSetWritesTheMatrixAtTheStride) {
    WriteHalf(0x03000000, 0x0100);
    WriteHalf(0x03000002, 0x0100);
    WriteHalf(0x03000004, 0);
    WriteHalf(0x03000008, 0);  // a scale of 0 means 1.0
    WriteHalf(0x0300000A, 0);
    WriteHalf(0x0300000C, 0);
    Call(0x0F, 0x03000000, 0x02000000, 2, 2);
    const uint16_t identity[4] = {0x0100, 0, 0, 0x0100};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(ReadHalf(0x02000000 + 2 * i), identity[i]) << i;
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(ReadHalf(0x02000008 + 2 * i), identity[i]) << i;
}

TEST_F(BiosTest, ObjAffineSetWithAHugeCountStopsAtTheElementLimit) {
    // Stride 1: element i leaves pb and pd in the word at 0x02000000 + 4i,
    // so 65,536 elements cover External Working RAM exactly once. Without
    // the limit the call would run for minutes.
    std::fill(ExternalWram, ExternalWram + ExternalWramSize, 0xFF);
    std::fill(InternalWram, InternalWram + InternalWramSize, 0);
    Call(0x0F, 0x03000000, 0x02000000, 0xFFFFFFFF, 1);
    static_assert(MaxAffineElements * 4 == ExternalWramSize);
    for (uint32_t i = 0; i < ExternalWramSize; i += 4) {
        ASSERT_EQ(Peek32(ExternalWram + i), 0x01000000u) << std::hex << i;
    }
}

TEST_F(BiosTest, ObjAffineSetQuarterTurnShowsTheShortenedPi) {
    // sin of the shortened half pi is just below 1, so the truncated
    // entries are 255 rather than 256.
    WriteHalf(0x03000000, 0x0100);
    WriteHalf(0x03000002, 0x0200);
    WriteHalf(0x03000004, 0x4000);
    Call(0x0F, 0x03000000, 0x07000006, 1, 8);
    EXPECT_EQ(ReadHalf(0x07000006), 0);
    EXPECT_EQ(ReadHalf(0x0700000E), 0xFF01);  // -sx sin a
    EXPECT_EQ(ReadHalf(0x07000016), 0x01FF);  // sy sin a
    EXPECT_EQ(ReadHalf(0x0700001E), 0);
    WriteHalf(0x02000000, 0x5555);
    Call(0x0F, 0x03000000, 0x02000000, 0, 2);
    EXPECT_EQ(ReadHalf(0x02000000), 0x5555) << "count 0 writes nothing";
}

// The computing services' results for the cases that a cartridge's own
// checks (bioscheck.gba) leave out.
TEST_F(BiosTest, BgAffineSetAimedAtTheBackgroundRegistersActsAsTheProgramsStores) {
    // An eighth of a turn (sin = cos = 11585 / 16384) with the picture
    // mirrored across: -256 x 11585 >> 14 rounds down to -182, where the
    // positive product gives 181. Centre (0, 0) shown at (10, 0).
    WriteWord(0x03000000, 0);
    WriteWord(0x03000004, 0);
    WriteHalf(0x03000008, 10);
    WriteHalf(0x0300000A, 0);
    WriteHalf(0x0300000C, static_cast<uint16_t>(-256));
    WriteHalf(0x0300000E, 256);
    WriteHalf(0x03000010, 0x2000);
    Call(0x0E, 0x03000000, 0x04000020, 1);
    const BgAffineRecord& bg2 = BgAffineState[0];
    EXPECT_EQ(bg2.pa, -182);
    EXPECT_EQ(bg2.pb, 182);
    EXPECT_EQ(bg2.pc, 181);
    EXPECT_EQ(bg2.pd, 181);
    EXPECT_EQ(bg2.refX, 1820) << "0 - (-182 x 10)";
    EXPECT_EQ(bg2.curX, 1820);
    EXPECT_EQ(bg2.refY, -1810) << "0 - 181 x 10";
    EXPECT_EQ(bg2.curY, -1810);
    EXPECT_EQ(Io(0x020), 0xFF4A);
    EXPECT_EQ(Io(0x028), 1820);
}

TEST_F(BiosTest, BitUnPackTakesLowUnitsFirstAndWritesOnlyWholeWords) {
    // Description at 0x03000100: length, source and destination widths,
    // offset word (bit 31: zero units get the offset too).
    auto describe = [](uint16_t length, uint8_t from, uint8_t to, uint32_t offset) {
        WriteHalf(0x03000100, length);
        WriteByte(0x03000102, from);
        WriteByte(0x03000103, to);
        WriteWord(0x03000104, offset);
    };
    WriteByte(0x03000000, 0xA5);
    WriteByte(0x03000001, 0x1B);
    describe(1, 1, 4, 0);
    Call(0x10, 0x03000000, 0x02000000, 0x03000100);
    EXPECT_EQ(ReadWord(0x02000000), 0x10100101u) << "0xA5 bit by bit, bit 0 in the low nibble";

    describe(1, 2, 8, 0x80000010);
    Call(0x10, 0x03000001, 0x02000010, 0x03000100);
    EXPECT_EQ(ReadWord(0x02000010), 0x10111213u) << "the zero unit gets the offset too";

    // Two bytes of 1-bit units to 2 bits make one word; one byte only half
    // of one, which is not written.
    WriteWord(0x02000020, 0x55555555);
    describe(1, 1, 2, 0);
    Call(0x10, 0x03000000, 0x02000020, 0x03000100);
    EXPECT_EQ(ReadWord(0x02000020), 0x55555555u);
    describe(1, 3, 8, 0);
    Call(0x10, 0x03000000, 0x02000020, 0x03000100);
    EXPECT_EQ(ReadWord(0x02000020), 0x55555555u) << "a 3-bit unit is not a width the service knows";
}

TEST_F(BiosTest, UnfiltersNeedTheirHeaderTypeAndMidiKeyReadsTheSampleRate) {
    WriteWord(0x03000000, 0x00000471);  // type 7: not difference-filtered
    WriteWord(0x03000004, 0x01010101);
    WriteWord(0x02000000, 0xEEEEEEEE);
    for (uint32_t n : {0x16u, 0x17u, 0x18u}) {
        Call(n, 0x03000000, 0x02000000);
        EXPECT_EQ(ReadWord(0x02000000), 0xEEEEEEEEu) << n;
    }
    WriteWord(0x03000000, 0x00000481);
    Call(0x16, 0x03000000, 0x02000000);
    EXPECT_EQ(ReadWord(0x02000000), 0x04030201u);

    // Key 180 plays the header's value itself, key 168 half of it: the
    // sum by which programs read a word of memory through this call.
    WriteWord(0x03000004, 0x87654321);
    Call(0x1F, 0x03000000, 180, 0);
    EXPECT_EQ(CpuState.R[0], 0x87654321u);
    Call(0x1F, 0x03000000, 168, 0);
    EXPECT_EQ(CpuState.R[0], 0x87654321u / 2);
    // 128/256 of a semitone above key 168: 2^(-11.5 / 12) of it.
    Call(0x1F, 0x03000000, 168, 128);
    EXPECT_EQ(CpuState.R[0], 0x45AE7515u);
}

TEST_F(BiosTest, SoftResetClearsByItsMaskAndStartsTheCartridge) {
    InternalWram[0x7FFA] = 0;
    InternalWram[0x7FFF] = 0x77;
    ExternalWram[5] = 0x66;
    Vram[0x17FFF] = 0x55;
    CpuState.R[7] = 0x1234;
    Call(0x00, 0x0A, 0);
    // It ends as the start of the machine does: System mode, interrupts
    // enabled, the stacks set.
    EXPECT_EQ(CpuState.R[15], 0x08000000u);
    EXPECT_EQ(CpuState.CPSR, 0x1Fu);
    for (int r = 0; r < 13; ++r) EXPECT_EQ(CpuState.R[r], 0u) << r;
    EXPECT_EQ(CpuState.R[13], 0x03007F00u);
    EXPECT_EQ(CpuState.R[14], 0u);
    EXPECT_EQ(CpuState.R13_irq, 0x03007FA0u);
    EXPECT_EQ(CpuState.R13_svc, 0x03007FE0u);
    EXPECT_EQ(InternalWram[0x7FFF], 0) << "SoftReset clears all 32 KB";
    EXPECT_EQ(Vram[0x17FFF], 0);
    EXPECT_EQ(ExternalWram[5], 0x66) << "bit 0 was not asked for";
    EXPECT_EQ(CpuState.SliceCut, 1) << "the switch to ARM state ends the slice";
    EXPECT_EQ(CpuState.Cycles, 0);
}

TEST_F(BiosTest, SoftResetKeepsTheSlicesRemainingCycles) {
    CpuState.Cycles = 123;
    CpuState.SliceCut = 0;
    Call(0x00, 0, 0);
    EXPECT_EQ(CpuState.SavedCycles, 123) << "the slice goes on with what it had left";
    CpuState.Cycles = -7;
    CpuState.SavedCycles = 40;
    CpuState.SliceCut = 1;
    Call(0x00, 0, 0);
    EXPECT_EQ(CpuState.Cycles, -7);
    EXPECT_EQ(CpuState.SavedCycles, 40) << "a pending cut keeps its remainder";
}

TEST_F(BiosTest, SoftResetReturnsToWorkingRamWhenTheFlagIsSet) {
    InternalWram[0x7FFA] = 1;
    Call(0x00, 0x02, 0);
    EXPECT_EQ(CpuState.R[15], 0x02000000u) << "the flag is read before the clearing";
    EXPECT_EQ(InternalWram[0x7FFA], 0);
}

TEST_F(BiosTest, RegisterRamResetKeepsTheTopOfInternalRamAndTheRegisters) {
    InternalWram[0x7DFF] = 1;
    InternalWram[0x7E00] = 2;
    InternalWram[0x7FFF] = 3;
    ExternalWram[ExternalWramSize - 1] = 4;
    PaletteRam[PaletteRamSize - 1] = 5;
    SpriteRam[SpriteRamSize - 1] = 6;
    Vram[0] = 7;
    Call(0x01, 0x02, 0);
    EXPECT_EQ(InternalWram[0x7DFF], 0);
    EXPECT_EQ(InternalWram[0x7E00], 2);
    EXPECT_EQ(InternalWram[0x7FFF], 3);
    EXPECT_EQ(CpuState.R[15], ThumbCall) << "RegisterRAMReset returns";
    EXPECT_EQ(CpuState.R[0], 0x02u);
    Call(0x01, 0xFFFFFFE0, 0);
    EXPECT_EQ(ExternalWram[ExternalWramSize - 1], 4) << "bits 5-31 clear nothing";
    Call(0x01, 0x1D, 0);
    EXPECT_EQ(ExternalWram[ExternalWramSize - 1], 0);
    EXPECT_EQ(PaletteRam[PaletteRamSize - 1], 0);
    EXPECT_EQ(SpriteRam[SpriteRamSize - 1], 0);
    EXPECT_EQ(Vram[0], 0);
}

TEST_F(BiosTest, HaltWithNoInterruptEnabledReturnsAtOnce) {
    SetIo(0x208, 1);
    SetIo(0x200, 0);
    Call(0x02, 0, 0);
    EXPECT_EQ(CpuState.R[15], ThumbCall);
    EXPECT_EQ(HaltState, 0u);
    SetIo(0x208, 0);
    SetIo(0x200, 1);
    Call(0x03, 0, 0);
    EXPECT_EQ(CpuState.R[15], ThumbCall) << "nor with the master enable off";
    EXPECT_EQ(HaltState, 0u);
}

TEST_F(BiosTest, HaltAndStopRepeatTheCallUntilAnInterrupt) {
    SetIo(0x208, 1);
    SetIo(0x200, 1);
    Call(0x02, 0, 0);
    EXPECT_EQ(CpuState.R[15], ThumbCall - 2) << "the THUMB SWI runs again";
    EXPECT_EQ(HaltState, 1u);
    EXPECT_EQ(CpuState.Cycles, 0);
    HaltState = 0;
    CpuState.CPSR = ModeSystem;
    CpuState.R[15] = ArmCall;
    Call(0x030000, 0, 0);
    EXPECT_EQ(CpuState.R[15], ArmCall - 4) << "the ARM SWI runs again";
    EXPECT_EQ(HaltState, 1u);
}

TEST_F(BiosTest, IntrWaitReturnsOnceTheWantedInterruptArrives) {
    SetIo(0x004, 0x0008);  // vertical blank interrupt on
    Call(0x04, 1, 0xFFFF0001);
    EXPECT_EQ(Io(0x208), 1);
    EXPECT_EQ(Io(0x200), 1);
    EXPECT_EQ(HaltState, 1u);
    EXPECT_EQ(CpuState.R[15], ThumbCall - 2);

    RunUntilInterrupt();
    ASSERT_EQ(HaltState, 2u);
    ASSERT_EQ(Io(0x202) & 1, 1);
    // The SWI executes again with the flag set: it is cleared and the call
    // returns, leaving the processor running.
    CpuState.R[15] = ThumbCall;
    Call(0x04, 1, 1);
    EXPECT_EQ(CpuState.R[15], ThumbCall);
    EXPECT_EQ(Io(0x202) & 1, 0);
    EXPECT_EQ(HaltState, 0u);
    EXPECT_EQ(CpuState.IrqRequest, 0u) << "the cleared flag no longer requests";

    // Now the next wait must halt again instead of returning at once.
    Call(0x04, 1, 1);
    EXPECT_EQ(HaltState, 1u);
    EXPECT_EQ(CpuState.R[15], ThumbCall - 2);
}

TEST_F(BiosTest, IntrWaitReturnsAfterAnInterruptItsHandlerAcknowledged) {
    SetIo(0x004, 0x0008);
    Call(0x04, 1, 1);
    RunUntilInterrupt();
    ASSERT_EQ(HaltState, 2u);
    SetIo(0x202, 0);  // the handler acknowledged it
    CpuState.R[15] = ThumbCall;
    Call(0x04, 1, 1);
    EXPECT_EQ(CpuState.R[15], ThumbCall);
    EXPECT_EQ(HaltState, 0u);
}

TEST_F(BiosTest, IntrWaitFindsAFlagAlreadySetAndClearsItOnlyWhenAsked) {
    SetIo(0x202, 0x0005);
    Call(0x04, 0, 0x0004);
    EXPECT_EQ(CpuState.R[15], ThumbCall);
    EXPECT_EQ(Io(0x202), 0x0005) << "R0 = 0 keeps the flag";
    EXPECT_EQ(Io(0x200), 0x0004);
    Call(0x04, 0x100, 0x0004);
    EXPECT_EQ(Io(0x202), 0x0005) << "only the low byte of R0 counts";
    Call(0x04, 1, 0x0004);
    EXPECT_EQ(Io(0x202), 0x0001);
    SetIo(0x200, 0);
    Call(0x04, 1, 0xFFFF0000);
    EXPECT_EQ(Io(0x200), 0) << "no wanted flag: nothing happens";
    EXPECT_EQ(HaltState, 0u);
}

TEST_F(BiosTest, VBlankIntrWaitSwitchesTheMasterEnableOn) {
    SetIo(0x208, 0);
    SetIo(0x200, 0x0002);
    Call(0x05, 0, 0);
    EXPECT_EQ(Io(0x208), 1);
    EXPECT_EQ(Io(0x200), 0x0003);
    EXPECT_EQ(HaltState, 1u) << "so that the halt can be entered";
    EXPECT_EQ(CpuState.R[15], ThumbCall - 2);
}

TEST_F(BiosTest, VBlankIntrWaitWithTheFlagSetClearsItAndReturns) {
    SetIo(0x202, 0x0003);
    Call(0x05, 0, 0);
    EXPECT_EQ(Io(0x202), 0x0002);
    EXPECT_EQ(CpuState.R[15], ThumbCall);
    EXPECT_EQ(HaltState, 0u);
}

TEST_F(BiosTest, ConsecutiveVBlankWaitsEachWaitForTheirOwnBlank) {
    // With interrupts disabled in the processor, each wait ends by finding
    // the flag itself; the next one must still wait for the next blank.
    SetIo(0x004, 0x0008);
    CpuState.CPSR |= FlagI;
    for (int frame = 0; frame < 2; ++frame) {
        CpuState.R[15] = ThumbCall;
        Call(0x05, 0, 0);
        ASSERT_EQ(HaltState, 1u) << frame;
        RunUntilInterrupt();
        ASSERT_EQ(HaltState, 2u) << frame;
        CpuState.R[15] = ThumbCall;
        Call(0x05, 0, 0);
        EXPECT_EQ(CpuState.R[15], ThumbCall) << frame;
        EXPECT_EQ(Io(0x202) & 1, 0) << frame;
    }
}

TEST_F(BiosTest, WithABiosImageTheCallEntersSupervisorMode) {
    BiosLoaded = 1;
    CpuState.CPSR = FlagN | FlagI | FlagT | uint32_t{ModeSystem};
    CpuState.R13_svc = 0x03007FE0;
    CpuState.R[13] = 0x03007F00;
    CpuState.R[14] = 0x11;
    Call(0x06, 100, 7);
    BiosLoaded = 0;
    EXPECT_EQ(CpuState.R[0], 100u) << "no service is performed on the host";
    EXPECT_EQ(CpuState.SPSR_svc, FlagN | FlagI | FlagT | uint32_t{ModeSystem});
    EXPECT_EQ(CpuState.CPSR, FlagN | FlagI | uint32_t{ModeSupervisor});
    EXPECT_EQ(CpuState.R[14], ThumbCall);
    EXPECT_EQ(CpuState.R[13], 0x03007FE0u);
    EXPECT_EQ(CpuState.R[15], 0x00000008u);
    EXPECT_EQ(CpuState.R13_usr, 0x03007F00u);
    EXPECT_EQ(CpuState.R14_usr, 0x11u);
    EXPECT_EQ(CpuState.SliceCut, 1) << "mode and state changed";
}

}  // namespace
}  // namespace koru
