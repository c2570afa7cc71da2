// ARM block transfers: the four addressing modes, the base in the list,
// R15 in the list, the S bit, empty lists and cycles.
#include "cpu_harness.h"

namespace koru {
namespace {

using test::CodeBase;
using test::CpuTest;
using test::DataBase;

using ArmBlockTest = CpuTest;

TEST_F(ArmBlockTest, SubroutineFrameSavesAndReturns) {
    // STMDB SP!, {R0-R3, LR} ... LDMIA SP!, {R0-R3, PC}
    R()[13] = 0x03007F00;
    for (uint32_t i = 0; i < 4; ++i) R()[i] = 0xA0 + i;
    R()[14] = CodeBase + 0x40;
    SetWord(CodeBase + 0x40, test::ArmSelfLoop);
    Arm({0xE92D400F, 0xE3A00000, 0xE3A03000, 0xE8BD800F});  // STMDB; MOV R0, #0; MOV R3, #0; LDMIA
    Run();
    EXPECT_EQ(Word(0x03007EEC), 0xA0u) << "lowest register at the lowest address";
    EXPECT_EQ(Word(0x03007EFC), CodeBase + 0x40);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(R()[i], 0xA0 + i);
    EXPECT_EQ(R()[13], 0x03007F00u);
    EXPECT_EQ(R()[15], CodeBase + 0x40);
}

TEST_F(ArmBlockTest, FourAddressingModes) {
    struct Case {
        uint32_t op;
        uint32_t first;  // address of R1, relative to the base
    };
    const Case cases[] = {
        {0xE8800006, 0},            // STMIA R0, {R1, R2}
        {0xE9800006, 4},            // STMIB
        {0xE8000006, 0xFFFFFFFC},   // STMDA: R1 at base - 4, R2 at base
        {0xE9000006, 0xFFFFFFF8},   // STMDB
    };
    for (const Case& c : cases) {
        for (uint32_t a = DataBase - 16; a < DataBase + 16; a += 4) SetWord(a, 0);
        R()[0] = DataBase;
        R()[1] = 0x11;
        R()[2] = 0x22;
        Arm({c.op});
        Run();
        EXPECT_EQ(Word(DataBase + c.first), 0x11u) << std::hex << c.op;
        EXPECT_EQ(Word(DataBase + c.first + 4), 0x22u) << std::hex << c.op;
        EXPECT_EQ(R()[0], DataBase) << "no write-back";
    }
    SetWord(DataBase + 4, 0x44);
    SetWord(DataBase + 8, 0x88);
    R()[0] = DataBase;
    Arm({0xE9B00006});  // LDMIB R0!, {R1, R2}
    Run();
    EXPECT_EQ(R()[1], 0x44u);
    EXPECT_EQ(R()[2], 0x88u);
    EXPECT_EQ(R()[0], DataBase + 8);
    Arm({0xE8300006});  // LDMDA R0!, {R1, R2}
    R()[1] = R()[2] = 0;
    Run();
    EXPECT_EQ(R()[1], 0x44u);
    EXPECT_EQ(R()[2], 0x88u);
    EXPECT_EQ(R()[0], DataBase);
}

TEST_F(ArmBlockTest, BaseInTheListIsStoredAsItWasAndWriteBackWinsOverALoad) {
    R()[0] = DataBase;
    R()[1] = 0x11;
    Arm({0xE9200003});  // STMDB R0!, {R0, R1}
    Run();
    EXPECT_EQ(Word(DataBase - 8), DataBase);
    EXPECT_EQ(R()[0], DataBase - 8);
    R()[1] = DataBase;
    R()[0] = 0;
    Arm({0xE9A10003});  // STMIB R1!, {R0, R1}: base second in the list
    Run();
    EXPECT_EQ(Word(DataBase + 8), DataBase) << "still the value from before";

    SetWord(DataBase, 0x12345678);
    SetWord(DataBase + 4, 0xB1);
    R()[0] = DataBase;
    Arm({0xE8B00003});  // LDMIA R0!, {R0, R1}
    Run();
    EXPECT_EQ(R()[0], DataBase + 8);
    EXPECT_EQ(R()[1], 0xB1u);
    R()[0] = DataBase;
    Arm({0xE8900003});  // LDMIA R0, {R0, R1}: no write-back
    Run();
    EXPECT_EQ(R()[0], 0x12345678u);
}

TEST_F(ArmBlockTest, StoredR15IsAddressPlusTwelve) {
    R()[1] = DataBase;
    Arm({0xE8818001});  // STMIA R1, {R0, PC}
    Run();
    EXPECT_EQ(Word(DataBase + 4), CodeBase + 12);
}

TEST_F(ArmBlockTest, EmptyListTransfersNothingAndKeepsTheBase) {
    SetWord(DataBase, 0x5555);
    R()[0] = DataBase;
    Arm({0xE8A00000, 0xE8B00000});  // STMIA R0!, {}; LDMIA R0!, {}
    Run();
    EXPECT_EQ(R()[0], DataBase);
    EXPECT_EQ(Word(DataBase), 0x5555u);
    EXPECT_EQ(R()[15], CodeBase + 8);
}

TEST_F(ArmBlockTest, UnalignedBaseTransfersWholeWordsAndWritesBackTheLowBits) {
    SetWord(DataBase, 0xAA);
    SetWord(DataBase + 4, 0xBB);
    R()[0] = DataBase + 2;
    Arm({0xE8B00006});  // LDMIA R0!, {R1, R2}
    Run();
    EXPECT_EQ(R()[1], 0xAAu);
    EXPECT_EQ(R()[2], 0xBBu);
    EXPECT_EQ(R()[0], DataBase + 10);
    R()[0] = DataBase + 3;
    R()[1] = 0x44332211;
    Arm({0xE8800002});  // STMIA R0, {R1}
    Run();
    EXPECT_EQ(Word(DataBase), 0x44332211u) << "stored at the aligned address, not rotated";
}

TEST_F(ArmBlockTest, LoadWithPcAndSBitReturnsFromAnException) {
    SetMode(ModeIrq);
    R()[13] = DataBase;
    CpuState.R13_usr = 0x03007F00;
    CpuState.SPSR_irq = 0x4000001F;
    SetWord(DataBase, 0x77);
    SetWord(DataBase + 4, CodeBase + 0x40);
    SetWord(CodeBase + 0x40, test::ArmSelfLoop);
    Arm({0xE8FD8001});  // LDMIA SP!, {R0, PC}^
    Run();
    EXPECT_EQ(CpuState.CPSR, 0x4000001Fu);
    EXPECT_EQ(R()[0], 0x77u);
    EXPECT_EQ(CpuState.R13_irq, DataBase + 8) << "write-back went to the IRQ stack";
    EXPECT_EQ(R()[13], 0x03007F00u);
    EXPECT_EQ(R()[15], CodeBase + 0x40);
}

TEST_F(ArmBlockTest, SBitWithoutPcUsesTheCurrentBank) {
    SetMode(ModeIrq);
    const uint32_t cpsr = CpuState.CPSR;
    SetWord(DataBase, 0x99);
    R()[0] = DataBase;
    CpuState.R13_usr = 0;
    Arm({0xE8D02000});  // LDMIA R0, {R13}^
    Run();
    EXPECT_EQ(R()[13], 0x99u);
    EXPECT_EQ(CpuState.R13_usr, 0u);
    EXPECT_EQ(CpuState.CPSR, cpsr);
}

TEST_F(ArmBlockTest, LoadMultipleCostsEachWordAndOneCycle) {
    R()[0] = 0x02000000;  // words cost 6
    Arm({0xE8900006, 0xE3A03001});  // LDMIA R0, {R1, R2}; MOV R3, #1
    Run(14);
    EXPECT_EQ(R()[15], CodeBase + 4) << "1 + 6 + 6 + 1 cycles";
    Arm({0xE8800006, 0xE3A03001});  // STMIA R0, {R1, R2}
    Run(13);
    EXPECT_EQ(R()[15], CodeBase + 4) << "1 + 6 + 6 cycles";
}

}  // namespace
}  // namespace koru
