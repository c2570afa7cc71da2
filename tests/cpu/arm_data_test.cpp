// ARM data processing: flags, the barrel shifter, R15 as an operand and as
// the destination with S.
#include "cpu_harness.h"

namespace koru {
namespace {

using test::CodeBase;
using test::CpuTest;

using ArmDataTest = CpuTest;

// Runs one instruction with R0, R1 (and R2) and the given flags.
void RunOne(uint32_t op, uint32_t r0, uint32_t r1, uint32_t nzcv = 0, uint32_t r2 = 0) {
    CpuState.R[0] = r0;
    CpuState.R[1] = r1;
    CpuState.R[2] = r2;
    CpuState.CPSR = (CpuState.CPSR & 0x0FFFFFFFu) | nzcv;
    CpuTest::Arm({op});
    CpuTest::Run();
}

uint32_t Nzcv() { return CpuState.CPSR & 0xF0000000u; }

// The flags of a plain addition or subtraction, taken from the host's carry
// and overflow, are the rules' flags (the three-operand forms, which also
// serve the carry-in operations) for every pair of edge and mixed values.
TEST(PlainFlags, AddAndSubtractMatchTheBitRules) {
    const uint32_t values[] = {0, 1, 2, 0x7FFFFFFE, 0x7FFFFFFF, 0x80000000, 0x80000001, 0xFFFFFFFE, 0xFFFFFFFF,
                               0x12345678, 0xDEADBEEF, 0x40000000, 0xC0000000};
    for (uint32_t a : values) {
        for (uint32_t b : values) {
            EXPECT_EQ(AddCV(a, b), AddCV(a, b, a + b)) << std::hex << a << " + " << b;
            EXPECT_EQ(SubCV(a, b), SubCV(a, b, a - b)) << std::hex << a << " - " << b;
        }
    }
}

// 0 - 0x80000000 overflows: V is set, so that LT (N != V) says 0 is not
// less than the smallest integer.
TEST_F(ArmDataTest, CompareOfZeroWithMinimumIntegerOverflows) {
    RunOne(0xE1500001, 0, 0x80000000);  // CMP R0, R1
    EXPECT_EQ(Nzcv(), FlagN | FlagV);
}

// SBC of 0 - 0 with a borrow gives -1 without overflow: the high half of a
// 64-bit signed comparison 1 < 2 (CMP of the low halves borrows).
TEST_F(ArmDataTest, SubtractWithBorrowOverflowsOnlyWhenTheSignedResultDoes) {
    RunOne(0xE0D02001, 0, 0, 0);  // SBCS R2, R0, R1 with borrow
    EXPECT_EQ(R()[2], 0xFFFFFFFFu);
    EXPECT_EQ(Nzcv(), FlagN);
    RunOne(0xE0D02001, 0x80000000, 0, 0);
    EXPECT_EQ(R()[2], 0x7FFFFFFFu);
    EXPECT_EQ(Nzcv(), FlagC | FlagV);
    RunOne(0xE0D02001, 0x7FFFFFFF, 0x80000000, FlagC);
    EXPECT_EQ(Nzcv(), FlagN | FlagV);
}

TEST_F(ArmDataTest, AdditionAndSubtractionFlags) {
    RunOne(0xE0902001, 0x7FFFFFFF, 1);  // ADDS R2, R0, R1
    EXPECT_EQ(R()[2], 0x80000000u);
    EXPECT_EQ(Nzcv(), FlagN | FlagV);
    RunOne(0xE0902001, 0xFFFFFFFF, 1);
    EXPECT_EQ(R()[2], 0u);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC);
    RunOne(0xE0502001, 5, 3);  // SUBS R2, R0, R1
    EXPECT_EQ(R()[2], 2u);
    EXPECT_EQ(Nzcv(), FlagC) << "no borrow sets C";
    RunOne(0xE0502001, 3, 5);
    EXPECT_EQ(R()[2], 0xFFFFFFFEu);
    EXPECT_EQ(Nzcv(), FlagN);
    RunOne(0xE0502001, 0x80000000, 1);
    EXPECT_EQ(Nzcv(), FlagC | FlagV);
    RunOne(0xE1700001, 1, 0xFFFFFFFF);  // CMN R0, R1
    EXPECT_EQ(Nzcv(), FlagZ | FlagC);
    EXPECT_EQ(R()[0], 1u) << "compares write no register";
}

TEST_F(ArmDataTest, CarryInOfAdcSbcAndRsc) {
    RunOne(0xE0B02001, 1, 2, FlagC);  // ADCS R2, R0, R1
    EXPECT_EQ(R()[2], 4u);
    RunOne(0xE0B02001, 0xFFFFFFFF, 0, FlagC);
    EXPECT_EQ(R()[2], 0u);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC) << "the carry-in alone can carry out";
    RunOne(0xE0D02001, 5, 3, 0);  // SBCS R2, R0, R1 with borrow
    EXPECT_EQ(R()[2], 1u);
    EXPECT_EQ(Nzcv(), FlagC);
    RunOne(0xE0D02001, 3, 3, 0);
    EXPECT_EQ(R()[2], 0xFFFFFFFFu);
    EXPECT_EQ(Nzcv(), FlagN) << "3 - 3 - 1 borrows";
    RunOne(0xE0702001, 3, 10);  // RSBS R2, R0, R1
    EXPECT_EQ(R()[2], 7u);
    EXPECT_EQ(Nzcv(), FlagC);
    RunOne(0xE0F02001, 3, 10, 0);  // RSCS R2, R0, R1
    EXPECT_EQ(R()[2], 6u);
}

TEST_F(ArmDataTest, LogicalOperationsKeepV) {
    RunOne(0xE1910002, 0, 0, FlagV | FlagC, 0);  // ORRS R0, R1, R2
    EXPECT_EQ(Nzcv(), FlagZ | FlagC | FlagV);
    RunOne(0xE1D10002, 0xFF, 0xF0, 0, 0x0F);  // BICS R0, R1, R2
    EXPECT_EQ(R()[0], 0xF0u);
    RunOne(0xE1F00001, 0, 0);  // MVNS R0, R1
    EXPECT_EQ(R()[0], 0xFFFFFFFFu);
    EXPECT_EQ(Nzcv(), FlagN);
    RunOne(0xE0310002, 0, 0x0F0F, 0, 0x0FF0);  // EORS R0, R1, R2
    EXPECT_EQ(R()[0], 0x00FFu);
    RunOne(0xE1300001, 5, 5);  // TEQ R0, R1
    EXPECT_EQ(Nzcv(), FlagZ);
    RunOne(0xE1100001, 4, 3);  // TST R0, R1
    EXPECT_EQ(Nzcv(), FlagZ);
    EXPECT_EQ(R()[0], 4u);
}

TEST_F(ArmDataTest, RotatedImmediateGivesNoShifterCarry) {
    RunOne(0xE3A004FF, 0, 0);  // MOV R0, #0xFF000000
    EXPECT_EQ(R()[0], 0xFF000000u);
    RunOne(0xE211020F, 0, 0xF0000000, 0);  // ANDS R0, R1, #0xF0000000
    EXPECT_EQ(Nzcv(), FlagN) << "C stays clear";
    RunOne(0xE211020F, 0, 0x0F000000, FlagC);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC) << "C stays set";
}

TEST_F(ArmDataTest, ShiftsByImmediateZeroMeanNoShiftOr32OrRrx) {
    RunOne(0xE1B00001, 0, 0x80000001, FlagC);  // MOVS R0, R1, LSL #0
    EXPECT_EQ(R()[0], 0x80000001u);
    EXPECT_EQ(Nzcv(), FlagN | FlagC) << "LSL #0 keeps C";
    RunOne(0xE1B00021, 0, 0x80000000, 0);  // MOVS R0, R1, LSR #0 (= LSR #32)
    EXPECT_EQ(R()[0], 0u);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC);
    RunOne(0xE1B00041, 0, 0x80000000, 0);  // MOVS R0, R1, ASR #0 (= ASR #32)
    EXPECT_EQ(R()[0], 0xFFFFFFFFu);
    EXPECT_EQ(Nzcv(), FlagN | FlagC);
    RunOne(0xE1B00061, 0, 0x00000003, FlagC);  // MOVS R0, R1, ROR #0 = RRX
    EXPECT_EQ(R()[0], 0x80000001u);
    EXPECT_EQ(Nzcv(), FlagN | FlagC);
    RunOne(0xE1B00061, 0, 0x00000002, 0);
    EXPECT_EQ(R()[0], 1u);
    EXPECT_EQ(Nzcv(), 0u);
    RunOne(0xE1B00201, 0, 0x18000000);  // MOVS R0, R1, LSL #4
    EXPECT_EQ(R()[0], 0x80000000u);
    EXPECT_EQ(Nzcv(), FlagN | FlagC) << "C is the last bit shifted out";
    RunOne(0xE1B000E1, 0, 0x00000180);  // MOVS R0, R1, ROR #1
    EXPECT_EQ(R()[0], 0xC0u);
}

TEST_F(ArmDataTest, ShiftsByRegisterOf32AndMore) {
    const uint32_t lsl = 0xE1B00211, lsr = 0xE1B00231, asr = 0xE1B00251, ror = 0xE1B00271;
    RunOne(lsl, 0, 0x00000001, 0, 32);
    EXPECT_EQ(R()[0], 0u);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC) << "LSL by 32: C = bit 0";
    RunOne(lsl, 0, 0xFFFFFFFF, 0, 33);
    EXPECT_EQ(Nzcv(), FlagZ) << "LSL by 33: C = 0";
    RunOne(lsr, 0, 0x80000000, 0, 32);
    EXPECT_EQ(R()[0], 0u);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC) << "LSR by 32: C = bit 31";
    RunOne(lsr, 0, 0xFFFFFFFF, FlagC, 40);
    EXPECT_EQ(Nzcv(), FlagZ);
    RunOne(asr, 0, 0x80000000, 0, 200);
    EXPECT_EQ(R()[0], 0xFFFFFFFFu);
    EXPECT_EQ(Nzcv(), FlagN | FlagC);
    RunOne(ror, 0, 0x80000001, 0, 32);
    EXPECT_EQ(R()[0], 0x80000001u) << "ROR by 32 keeps the value";
    EXPECT_EQ(Nzcv(), FlagN | FlagC) << "and sets C from bit 31";
    RunOne(ror, 0, 0x00000003, 0, 33);
    EXPECT_EQ(R()[0], 0x80000001u);
    RunOne(lsl, 0, 0x12345678, FlagC, 0x100);
    EXPECT_EQ(R()[0], 0x12345678u) << "only the low byte of Rs counts";
    EXPECT_EQ(Nzcv(), FlagC) << "a zero amount keeps C";
    RunOne(lsr, 0, 0x000000F0, 0, 4);
    EXPECT_EQ(R()[0], 0xFu);
    EXPECT_EQ(Nzcv(), 0u);
}

TEST_F(ArmDataTest, R15ReadsAsPlusEightOrPlusTwelveWithRegisterShift) {
    R()[2] = 0;
    Arm({0xE1A0000F,   // MOV R0, PC
         0xE1A0121F}); // MOV R1, PC, LSL R2
    Run();
    EXPECT_EQ(R()[0], CodeBase + 8);
    EXPECT_EQ(R()[1], CodeBase + 4 + 12);
    R()[1] = 0x10;
    Arm({0xE08F0211});  // ADD R0, PC, R1, LSL R2
    Run();
    EXPECT_EQ(R()[0], CodeBase + 12 + 0x10) << "Rn reads + 12 too";
}

TEST_F(ArmDataTest, RegisterShiftCostsOneExtraCycle) {
    Arm({0xE1A00211, 0xE1A00211, 0xE1A00001});  // two MOV R0, R1, LSL R2; MOV R0, R1
    R()[0] = 0;
    Run(4);  // 2 + 2 cycles: the third instruction must not run
    EXPECT_EQ(R()[15], CodeBase + 8);
}

TEST_F(ArmDataTest, WritingR15Jumps) {
    R()[0] = CodeBase + 0x40;
    SetWord(CodeBase + 0x40, 0xE3A01007);  // MOV R1, #7
    SetWord(CodeBase + 0x44, test::ArmSelfLoop);
    Arm({0xE1A0F000});  // MOV PC, R0
    Run();
    EXPECT_EQ(R()[1], 7u);
    EXPECT_EQ(R()[15], CodeBase + 0x44) << "at the `B .` after the target";
}

TEST_F(ArmDataTest, MovsPcLrInIrqModeReturnsWithTheSavedStatus) {
    SetMode(ModeIrq);
    R()[13] = 0x1234;
    CpuState.R13_usr = 0x03007F00;
    CpuState.SPSR_irq = 0x6000001F;  // System, Z and C, interrupts on
    R()[14] = CodeBase + 0x100;
    SetWord(CodeBase + 0x100, 0xE3A01009);  // MOV R1, #9
    Arm({0xE1B0F00E});                      // MOVS PC, LR
    Run();
    EXPECT_EQ(CpuState.CPSR, 0x6000001Fu);
    EXPECT_EQ(R()[1], 9u);
    EXPECT_EQ(R()[13], 0x03007F00u) << "the User bank is back";
    EXPECT_EQ(CpuState.R13_irq, 0x1234u);
}

TEST_F(ArmDataTest, MovsPcLrBackIntoThumbSwitchesAtTheNextSlice) {
    SetMode(ModeIrq);
    CpuState.SPSR_irq = 0x0000003F;  // System, THUMB
    R()[14] = CodeBase + 0x100;
    Poke16(ReadPointer(CodeBase + 0x100), 0x2105);  // MOV R1, #5 (THUMB)
    Poke16(ReadPointer(CodeBase + 0x102), test::ThumbSelfLoop);
    Arm({0xE1B0F00E, 0xE3A01001});  // MOVS PC, LR; (never) MOV R1, #1
    Run();
    EXPECT_EQ(R()[1], 5u);
    EXPECT_TRUE(Flag(FlagT));
}

TEST_F(ArmDataTest, MovsPcLrInUserModeOnlyJumps) {
    SetMode(ModeUser, FlagZ);
    const uint32_t before = CpuState.CPSR;
    R()[14] = CodeBase + 0x100;
    SetWord(CodeBase + 0x100, test::ArmSelfLoop);
    Arm({0xE1B0F00E});
    Run();
    EXPECT_EQ(CpuState.CPSR, before);
    EXPECT_EQ(R()[15], CodeBase + 0x100);
}

TEST_F(ArmDataTest, LogicalSWithR15InSystemModeStillSetsTheShifterCarry) {
    SetMode(ModeSystem);
    R()[0] = 2 * (CodeBase + 0x100) + 1;
    SetWord(CodeBase + 0x100, test::ArmSelfLoop);
    Arm({0xE1B0F0A0});  // MOVS PC, R0, LSR #1
    Run();
    EXPECT_EQ(R()[15], CodeBase + 0x100);
    EXPECT_EQ(Nzcv(), FlagC) << "C from the shifter; N and Z untouched";
}

TEST_F(ArmDataTest, CompareWithR15DestinationRestoresTheSavedStatus) {
    SetMode(ModeSupervisor);
    CpuState.SPSR_svc = 0x8000001F;
    R()[0] = 1;
    R()[1] = 1;
    Arm({0xE150F001, 0xE3A02001});  // CMP R0, R1 with Rd = 15; MOV R2, #1
    Run();
    EXPECT_EQ(CpuState.CPSR, 0x8000001Fu) << "the flags come from the SPSR, not the compare";
    EXPECT_EQ(R()[2], 1u) << "execution goes on after the instruction";
}

// Every condition under every combination of the four flags, N and Z
// together included, as the flags come into a slice.
TEST_F(ArmDataTest, EveryConditionUnderEveryCombinationOfFlags) {
    for (uint32_t condition = 0; condition < 16; ++condition) {
        for (uint32_t nzcv = 0; nzcv < 16; ++nzcv) {
            R()[3] = 0;
            SetFlags(nzcv << 28);
            Arm({(condition << 28) | 0x03A03001});  // MOVcc R3, #1
            Run();
            ASSERT_EQ(R()[3], ConditionRule(condition, nzcv << 28) ? 1u : 0u)
                << "condition " << condition << " flags " << nzcv;
            ASSERT_EQ(CpuState.CPSR >> 28, nzcv) << "flags kept";
        }
    }
}

// Flags written by MSR in the middle of a slice, N and Z together, decide
// the next instructions and read back whole.
TEST_F(ArmDataTest, FlagsWrittenInTheSliceDecideTheNextInstructions) {
    R()[0] = R()[1] = R()[2] = R()[3] = 0;
    Arm({0xE328F103,    // MSR CPSR_f, #0xC0000000 (N and Z)
         0x03A00001,    // MOVEQ R0, #1
         0x43A01001,    // MOVMI R1, #1
         0xC3A02001,    // MOVGT R2, #1
         0xE10F3000});  // MRS R3, CPSR
    Run();
    EXPECT_EQ(R()[0], 1u);
    EXPECT_EQ(R()[1], 1u);
    EXPECT_EQ(R()[2], 0u);
    EXPECT_EQ(R()[3] >> 28, 0xCu);
    EXPECT_EQ(CpuState.CPSR >> 28, 0xCu);
}

TEST_F(ArmDataTest, ConditionsFollowTheFlags) {
    struct Case {
        uint32_t condition;
        uint32_t nzcv;
        bool taken;
    };
    const Case cases[] = {
        {0x0, FlagZ, true},           {0x0, 0, false},          {0x1, FlagZ, false},
        {0x2, FlagC, true},           {0x3, FlagC, false},      {0x4, FlagN, true},
        {0x5, FlagN, false},          {0x6, FlagV, true},       {0x7, FlagV, false},
        {0x8, FlagC, true},           {0x8, FlagC | FlagZ, false}, {0x9, FlagC | FlagZ, true},
        {0x9, 0, true},               {0x9, FlagC, false},      {0xA, FlagN | FlagV, true},
        {0xA, FlagN, false},          {0xB, FlagV, true},       {0xB, 0, false},
        {0xC, FlagN | FlagV, true},   {0xC, FlagZ, false},      {0xD, FlagZ, true},
        {0xD, FlagN, true},           {0xD, 0, false},          {0xE, 0, true},
        {0xF, 0, false},              {0xF, FlagN | FlagZ | FlagC | FlagV, false},
    };
    for (const Case& c : cases) {
        R()[3] = 0;
        CpuState.CPSR = (CpuState.CPSR & 0x0FFFFFFFu) | c.nzcv;
        Arm({(c.condition << 28) | 0x03A03001});  // MOVcc R3, #1
        Run();
        EXPECT_EQ(R()[3], c.taken ? 1u : 0u) << "condition " << c.condition << " flags " << std::hex << c.nzcv;
    }
}

}  // namespace
}  // namespace koru
