// The bus: access costs, unaligned accesses and the special routes.
#include <gtest/gtest.h>

#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "machine/machine.h"
#include "support/test_machine.h"

namespace koru {
namespace {

using test::MachineTest;

int32_t CostOf(void (*access)()) {
    CpuState.Cycles = 1000;
    access();
    return 1000 - CpuState.Cycles;
}

TEST_F(MachineTest, EachAccessChargesItsRegionsCost) {
    EXPECT_EQ(CostOf([] { ReadWord(0x02000000); }), 6);
    EXPECT_EQ(CostOf([] { ReadHalf(0x02000000); }), 3);
    EXPECT_EQ(CostOf([] { ReadByte(0x02000000); }), 3);
    EXPECT_EQ(CostOf([] { WriteWord(0x03000000, 1); }), 1);
    EXPECT_EQ(CostOf([] { WriteWord(0x06000000, 1); }), 2);
    EXPECT_EQ(CostOf([] { WriteHalf(0x06000000, 1); }), 1);
    EXPECT_EQ(CostOf([] { ReadWord(0x08000000); }), 6);
    EXPECT_EQ(CostOf([] { ReadHalf(0x0A000000); }), 5);
    EXPECT_EQ(CostOf([] { ReadWord(0x0C000000); }), 18);
    EXPECT_EQ(CostOf([] { WriteByte(0x0E000000, 1); }), 5);
    // Above 0x0FFFFFFF the row of bits 24-27 is used.
    EXPECT_EQ(CostOf([] { ReadWord(0x12000000); }), 6);
}

TEST_F(MachineTest, WaitControlRewritesTheCartridgeRows) {
    ApplyWaitControl(0x4317);
    EXPECT_EQ(HalfAccessCost[0x8], 2);
    EXPECT_EQ(WordAccessCost[0x9], 4);
    EXPECT_EQ(HalfAccessCost[0xA], 5);
    EXPECT_EQ(WordAccessCost[0xB], 10);
    EXPECT_EQ(HalfAccessCost[0xC], 9);
    EXPECT_EQ(WordAccessCost[0xD], 18);
    EXPECT_EQ(HalfAccessCost[0xE], 9);
    EXPECT_EQ(WordAccessCost[0xE], 18);
    EXPECT_EQ(WordAccessCost[0x2], 6) << "other rows untouched";
}

TEST_F(MachineTest, UnalignedWordReadsRotateAndHalfwordReadsDoNot) {
    WriteWord(0x03000000, 0x44332211);
    EXPECT_EQ(ReadWord(0x03000002), 0x22114433u);
    EXPECT_EQ(ReadWord(0x03000001), 0x11443322u);
    EXPECT_EQ(ReadHalf(0x03000001), 0x2211);
    EXPECT_EQ(ReadByte(0x03000003), 0x44);
}

TEST_F(MachineTest, UnalignedWordWritesStoreTheRotatedWord) {
    WriteWord(0x02000001, 0x44332211);
    EXPECT_EQ(ReadWord(0x02000000), 0x11443322u);
    WriteHalf(0x05000001, 0x1234);
    EXPECT_EQ(ReadHalf(0x05000000), 0x1234);
    WriteByte(0x06000001, 0xAB);
    EXPECT_EQ(ReadHalf(0x06000000), 0xAB00);
}

TEST_F(MachineTest, UnalignedAccessesAreLoggedOnlyWithTheirBit) {
    CpuState.R[15] = 0x08000123;
    testing::internal::CaptureStdout();
    ReadWord(0x03000002);
    const std::string silent = testing::internal::GetCapturedStdout();
    EXPECT_EQ(silent, "");
    Verbose = 0x04;
    testing::internal::CaptureStdout();
    ReadWord(0x03000002);
    ReadHalf(0x03000001);
    WriteWord(0x03000001, 0xAABBCCDD);
    WriteHalf(0x03000003, 0x1234);
    WriteHalf(0x0D000001, 1);
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_EQ(log,
              "MEM: Unaligned qread [03000002] (PC=08000123)\n"
              "MEM: Unaligned wread [03000001] (PC=08000123)\n"
              "MEM: Unaligned qwrite [03000001] = AABBCCDD (PC=08000123)\n"
              "MEM: Unaligned wwrite [03000003] = 1234 (PC=08000123)\n"
              "MEM: Unaligned wwrite [0D000001] = 0001 (PC=08000123)\n");
}

TEST_F(MachineTest, WordWritesToIoBecomeTwoHalfwordWrites) {
    WriteWord(0x04000010, 0x00010080);
    EXPECT_EQ(ReadHalf(0x04000010), 0x0080);
    EXPECT_EQ(ReadHalf(0x04000012), 0x0001);
}

TEST_F(MachineTest, ByteWritesToIoMergeWithTheOtherHalf) {
    WriteHalf(0x04000010, 0x0034);
    WriteByte(0x04000011, 0x12);
    EXPECT_EQ(ReadHalf(0x04000010), 0x1234);
    WriteByte(0x04000010, 0x78);
    EXPECT_EQ(ReadHalf(0x04000010), 0x1278);
}

TEST_F(MachineTest, IoWritesAboveTheAreaFoldOntoItsFirstFourKilobytes) {
    WriteHalf(0x04001010, 0xCAFE);
    EXPECT_EQ(ReadHalf(0x04000010), 0xCAFE);
    EXPECT_EQ(ReadHalf(0x04001010), 0) << "reads are not folded";
    WriteHalf(0x04FFF010, 0xBEEF);
    EXPECT_EQ(ReadHalf(0x04000010), 0xBEEF);
}

TEST_F(MachineTest, SramByteWritesGoThroughFlashAndHalfwordsStoreDirectly) {
    WriteByte(0x0E000010, 0x42);
    EXPECT_EQ(CartridgeSram[0x10], 0x42);
    WriteHalf(0x0E000020, 0x1234);
    EXPECT_EQ(CartridgeSram[0x20], 0x34);
    EXPECT_EQ(CartridgeSram[0x21], 0x12);
    WriteByte(0x0E010000, 0x99);
    EXPECT_EQ(DummyRam[0], 0x99) << "past 64 KB the window is unmapped";
}

TEST_F(MachineTest, EepromWindowHalfwordsBypassTheCartridgeImage) {
    // Whatever the image holds there, halfword reads answer 0 or 1 and word
    // reads use the page table.
    const uint16_t bit = ReadHalf(0x0D000000);
    EXPECT_LE(bit, 1);
    EXPECT_EQ(ReadWord(0x0D000000), Peek32(ReadPageTable[0x0D000000 >> 14]));
    EXPECT_LE(ReadHalf(0x09000000), 1);
    EXPECT_LE(ReadHalf(0x0F000002), 1);
}

}  // namespace
}  // namespace koru
