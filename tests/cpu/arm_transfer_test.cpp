// ARM single, halfword and swap transfers: addressing, write-back, R15 and
// the direct loads' alignment.
#include "cpu_harness.h"
#include "hardware/bus.h"

namespace koru {
namespace {

using test::CodeBase;
using test::CpuTest;
using test::DataBase;

using ArmTransferTest = CpuTest;

void RunOne(uint32_t op, uint32_t r0, uint32_t r1, uint32_t r2 = 0) {
    CpuState.R[0] = r0;
    CpuState.R[1] = r1;
    CpuState.R[2] = r2;
    CpuTest::Arm({op});
    CpuTest::Run();
}

TEST_F(ArmTransferTest, ImmediateOffsetAddressingAndWriteBack) {
    SetWord(DataBase, 0xA0);
    SetWord(DataBase + 4, 0xA4);
    RunOne(0xE5910004, 0, DataBase);  // LDR R0, [R1, #4]
    EXPECT_EQ(R()[0], 0xA4u);
    EXPECT_EQ(R()[1], DataBase) << "no write-back";
    RunOne(0xE5B10004, 0, DataBase);  // LDR R0, [R1, #4]!
    EXPECT_EQ(R()[0], 0xA4u);
    EXPECT_EQ(R()[1], DataBase + 4);
    RunOne(0xE4910004, 0, DataBase);  // LDR R0, [R1], #4
    EXPECT_EQ(R()[0], 0xA0u) << "post-indexed: the base itself";
    EXPECT_EQ(R()[1], DataBase + 4);
    RunOne(0xE4B10004, 0, DataBase);  // LDRT R0, [R1], #4 acts as the plain form
    EXPECT_EQ(R()[0], 0xA0u);
    EXPECT_EQ(R()[1], DataBase + 4);
    RunOne(0xE5110004, 0, DataBase + 4);  // LDR R0, [R1, #-4]
    EXPECT_EQ(R()[0], 0xA0u);
    RunOne(0xE5A10004, 0x5A, DataBase);  // STR R0, [R1, #4]!
    EXPECT_EQ(Word(DataBase + 4), 0x5Au);
    EXPECT_EQ(R()[1], DataBase + 4);
    RunOne(0xE4010004, 0x5B, DataBase);  // STR R0, [R1], #-4
    EXPECT_EQ(Word(DataBase), 0x5Bu);
    EXPECT_EQ(R()[1], DataBase - 4);
}

TEST_F(ArmTransferTest, Bytes) {
    SetWord(DataBase, 0x44332211);
    RunOne(0xE5D10001, 0, DataBase);  // LDRB R0, [R1, #1]
    EXPECT_EQ(R()[0], 0x22u);
    RunOne(0xE5C10003, 0x1FF, DataBase);  // STRB R0, [R1, #3]
    EXPECT_EQ(Word(DataBase), 0xFF332211u);
}

TEST_F(ArmTransferTest, RegisterOffsetShiftedByAnImmediate) {
    SetWord(DataBase + 8, 0x88);
    RunOne(0xE7910102, 0, DataBase, 2);  // LDR R0, [R1, R2, LSL #2]
    EXPECT_EQ(R()[0], 0x88u);
    SetWord(DataBase, 0x77);
    RunOne(0xE7910022, 0, DataBase, 0xFFFFFFFF);  // LDR R0, [R1, R2, LSR #32]: offset 0
    EXPECT_EQ(R()[0], 0x77u);
    // RRX shifts C in and leaves C alone: offset (16 >> 1) | 0x80000000,
    // subtracted.
    SetWord(DataBase - 8, 0x66);
    SetFlags(FlagC);
    RunOne(0xE7110062, 0, DataBase + 0x80000000u, 16);  // LDR R0, [R1, -R2, RRX]
    EXPECT_EQ(R()[0], 0x66u);
    EXPECT_TRUE(Flag(FlagC));
}

TEST_F(ArmTransferTest, UnalignedWordLoadIsNotRotated) {
    SetWord(DataBase, 0x44332211);
    RunOne(0xE5910001, 0, DataBase);  // LDR R0, [R1, #1]
    EXPECT_EQ(R()[0], 0x44332211u);
}

TEST_F(ArmTransferTest, UnalignedWordStoreGoesThroughTheBus) {
    RunOne(0xE5810001, 0x44332211, DataBase);  // STR R0, [R1, #1]
    EXPECT_EQ(Word(DataBase), 0x11443322u) << "the bus stores the rotated word";
}

TEST_F(ArmTransferTest, StoredR15IsAddressPlusTwelveAndALoadedR15Jumps) {
    RunOne(0xE581F000, 0, DataBase);  // STR PC, [R1]
    EXPECT_EQ(Word(DataBase), CodeBase + 12);
    SetWord(DataBase, CodeBase + 0x40);
    SetWord(CodeBase + 0x40, 0xE3A02001);  // MOV R2, #1
    SetWord(CodeBase + 0x44, test::ArmSelfLoop);
    RunOne(0xE591F000, 0, DataBase);  // LDR PC, [R1]
    EXPECT_EQ(R()[2], 1u);
    EXPECT_FALSE(Flag(FlagT));
    Arm({0xE51F0008});  // LDR R0, [PC, #-8]: reads itself
    Run();
    EXPECT_EQ(R()[0], 0xE51F0008u) << "the base R15 reads as address + 8";
}

TEST_F(ArmTransferTest, WriteBackOverridesALoadedBase) {
    SetWord(DataBase + 4, 0x1234);
    RunOne(0xE5B11004, 0, DataBase);  // LDR R1, [R1, #4]!
    EXPECT_EQ(R()[1], DataBase + 4);
    SetWord(DataBase, 0x1234);
    RunOne(0xE4911004, 0, DataBase);  // LDR R1, [R1], #4
    EXPECT_EQ(R()[1], DataBase + 4);
}

TEST_F(ArmTransferTest, LoadsCostTheAccessAndOneCycleStoresOnlyTheAccess) {
    R()[1] = 0x02000000;  // External Working RAM: word 6, halfword 3
    Arm({0xE5910000, 0xE3A02001});  // LDR R0, [R1]; MOV R2, #1
    R()[2] = 0;
    Run(8);
    EXPECT_EQ(R()[15], CodeBase + 4) << "1 + 6 + 1 cycles";
    Arm({0xE5D10000, 0xE3A02001});  // LDRB R0, [R1]
    Run(5);
    EXPECT_EQ(R()[15], CodeBase + 4) << "1 + 3 + 1 cycles";
    Arm({0xE5810000, 0xE3A02001});  // STR R0, [R1]
    Run(7);
    EXPECT_EQ(R()[15], CodeBase + 4) << "1 + 6 cycles";
}

TEST_F(ArmTransferTest, HalfwordsAndSignedLoads) {
    SetWord(DataBase, 0x80F18000);
    RunOne(0xE1D100B2, 0, DataBase);  // LDRH R0, [R1, #2]
    EXPECT_EQ(R()[0], 0x80F1u);
    RunOne(0xE1D100F2, 0, DataBase);  // LDRSH R0, [R1, #2]
    EXPECT_EQ(R()[0], 0xFFFF80F1u);
    RunOne(0xE1D100D1, 0, DataBase);  // LDRSB R0, [R1, #1]
    EXPECT_EQ(R()[0], 0xFFFFFF80u);
    RunOne(0xE1D100B1, 0, DataBase + 2);  // LDRH R0, [R1, #1]: odd address
    EXPECT_EQ(R()[0], 0x80F1u) << "the aligned halfword below, not rotated";
    RunOne(0xE19100B2, 0, DataBase, 2);  // LDRH R0, [R1, R2]
    EXPECT_EQ(R()[0], 0x80F1u);
    RunOne(0xE1C100B2, 0x1ABCD, DataBase);  // STRH R0, [R1, #2]
    EXPECT_EQ(Word(DataBase), 0xABCD8000u);
    RunOne(0xE12100B2, 0x7777, DataBase + 4, 4);  // STRH R0, [R1, -R2]!
    EXPECT_EQ(Word(DataBase) & 0xFFFF, 0x7777u);
    EXPECT_EQ(R()[1], DataBase);
    RunOne(0xE0D100F2, 0, DataBase + 2);  // LDRSH R0, [R1], #2
    EXPECT_EQ(R()[0], 0xFFFFABCDu);
    EXPECT_EQ(R()[1], DataBase + 4);
}

TEST_F(ArmTransferTest, SwapExchangesAWordOrAByte) {
    SetWord(DataBase, 0x11223344);
    RunOne(0xE1010092, 0, DataBase, 0xAABBCCDD);  // SWP R0, R2, [R1]
    EXPECT_EQ(R()[0], 0x11223344u);
    EXPECT_EQ(Word(DataBase), 0xAABBCCDDu);
    RunOne(0xE1410092, 0, DataBase, 0x1EE);  // SWPB R0, R2, [R1]
    EXPECT_EQ(R()[0], 0xDDu);
    EXPECT_EQ(Word(DataBase), 0xAABBCCEEu);
    // Word at an unaligned address: read aligned, stored rotated by the bus.
    SetWord(DataBase, 0x44332211);
    RunOne(0xE1010092, 0, DataBase + 1, 0x44332211);
    EXPECT_EQ(R()[0], 0x44332211u);
    EXPECT_EQ(Word(DataBase), 0x11443322u);
}

// SWP stores Rm, so R15 as Rm is stored as every stored R15 is: the
// instruction's address + 12. As the address it reads as + 8.
TEST_F(ArmTransferTest, SwapStoresR15AsAddressPlusTwelve) {
    SetWord(DataBase, 0x5A5A5A5A);
    RunOne(0xE101009F, 0, DataBase);  // SWP R0, R15, [R1]
    EXPECT_EQ(R()[0], 0x5A5A5A5Au);
    EXPECT_EQ(Word(DataBase), CodeBase + 12);
    RunOne(0xE141009F, 0, DataBase);  // SWPB R0, R15, [R1]
    EXPECT_EQ(Word(DataBase) & 0xFF, (CodeBase + 12) & 0xFF);

    SetWord(CodeBase + 8, 0x77777777);
    CpuState.R[2] = 0x12345678;
    CpuTest::Arm({0xE10F0092, test::ArmSelfLoop, 0x77777777});  // SWP R0, R2, [R15]
    CpuTest::Run();
    EXPECT_EQ(R()[0], 0x77777777u) << "the word at the address + 8";
    EXPECT_EQ(Word(CodeBase + 8), 0x12345678u);
}

}  // namespace
}  // namespace koru
