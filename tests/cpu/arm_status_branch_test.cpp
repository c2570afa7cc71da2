// ARM status register transfers, branches and the undefined entries.
#include <vector>

#include "cpu/arm_table.h"
#include "machine/machine.h"
#include "cpu_harness.h"

namespace koru {
namespace {

using test::CodeBase;
using test::CpuTest;

using ArmStatusTest = CpuTest;
using ArmBranchTest = CpuTest;

TEST_F(ArmStatusTest, MrsReadsCpsrOrTheModesSavedStatus) {
    SetMode(ModeIrq, FlagZ);
    CpuState.SPSR_irq = 0x1234001F;
    Arm({0xE10F0000, 0xE14F1000});  // MRS R0, CPSR; MRS R1, SPSR
    Run();
    EXPECT_EQ(R()[0], FlagZ | FlagI | FlagF | ModeIrq);
    EXPECT_EQ(R()[1], 0x1234001Fu);
}

TEST_F(ArmStatusTest, MrsOfTheSavedStatusInUserModeLeavesTheRegister) {
    SetMode(ModeUser);
    R()[1] = 0xDEAD;
    Arm({0xE14F1000});  // MRS R1, SPSR
    Run();
    EXPECT_EQ(R()[1], 0xDEADu);
}

TEST_F(ArmStatusTest, MsrFlagsFieldSetsOnlyTheFlags) {
    SetMode(ModeSystem);
    Arm({0xE328F20F});  // MSR CPSR_f, #0xF0000000
    Run();
    EXPECT_EQ(CpuState.CPSR, 0xF0000000u | FlagI | FlagF | ModeSystem);
}

TEST_F(ArmStatusTest, MsrControlFieldWritesTheWholeOperand) {
    SetMode(ModeSupervisor, FlagZ);
    R()[13] = 0x5555;
    CpuState.R13_usr = 0x03007F00;
    R()[0] = 0x1F;
    Arm({0xE121F000});  // MSR CPSR_c, R0
    Run();
    EXPECT_EQ(CpuState.CPSR, 0x0000001Fu) << "flags cleared and I, F cleared too";
    EXPECT_EQ(R()[13], 0x03007F00u) << "banks switched";
    EXPECT_EQ(CpuState.R13_svc, 0x5555u);
}

TEST_F(ArmStatusTest, MsrControlFieldInUserModeChangesOnlyTheFlags) {
    SetMode(ModeUser);
    const uint32_t before = CpuState.CPSR;
    R()[0] = 0xA0000013;
    Arm({0xE121F000});  // MSR CPSR_c, R0
    Run();
    EXPECT_EQ(CpuState.CPSR, (before & 0x0FFFFFFFu) | 0xA0000000u);
}

TEST_F(ArmStatusTest, MsrToTheSavedStatus) {
    SetMode(ModeIrq);
    CpuState.SPSR_irq = 0x0000001F;
    R()[0] = 0x8000003F;
    Arm({0xE168F000});  // MSR SPSR_f, R0
    Run();
    EXPECT_EQ(CpuState.SPSR_irq, 0x8000001Fu);
    Arm({0xE169F000});  // MSR SPSR_fc, R0
    Run();
    EXPECT_EQ(CpuState.SPSR_irq, 0x8000003Fu);
    Arm({0xE361F010});  // MSR SPSR_c, #0x10
    Run();
    EXPECT_EQ(CpuState.SPSR_irq, 0x00000010u);

    SetMode(ModeSystem);
    const uint32_t saved[5] = {CpuState.SPSR_svc, CpuState.SPSR_abt, CpuState.SPSR_irq, CpuState.SPSR_und,
                               CpuState.SPSR_fiq};
    Arm({0xE169F000});
    Run();
    const uint32_t after[5] = {CpuState.SPSR_svc, CpuState.SPSR_abt, CpuState.SPSR_irq, CpuState.SPSR_und,
                               CpuState.SPSR_fiq};
    EXPECT_TRUE(std::equal(saved, saved + 5, after)) << "System mode has no saved status";
}

TEST_F(ArmStatusTest, MsrSettingTheTBitSwitchesToThumbAtOnce) {
    SetMode(ModeSystem);
    R()[0] = 0x3F;
    Arm({0xE121F000});                          // MSR CPSR_c, R0
    Poke16(ReadPointer(CodeBase + 4), 0x2109);  // then, as THUMB: MOV R1, #9
    Poke16(ReadPointer(CodeBase + 6), test::ThumbSelfLoop);
    Run();
    EXPECT_TRUE(Flag(FlagT));
    EXPECT_EQ(R()[1], 9u);
}

TEST_F(ArmBranchTest, BranchesReachForwardAndBackward) {
    SetWord(CodeBase + 0x100, 0xE3A01001);  // MOV R1, #1
    SetWord(CodeBase + 0x104, test::ArmSelfLoop);
    Arm({0xEA00003E});  // B +0x100
    Run();
    EXPECT_EQ(R()[1], 1u);
    SetWord(CodeBase, 0xE3A02002);  // MOV R2, #2
    SetWord(CodeBase + 4, test::ArmSelfLoop);
    Arm({0xEAFFFFFC}, CodeBase + 8);  // B -8 from the address + 8: to CodeBase
    Run();
    EXPECT_EQ(R()[2], 2u);
}

TEST_F(ArmBranchTest, BranchWithLinkSavesTheNextAddress) {
    SetWord(CodeBase + 0x100, test::ArmSelfLoop);
    Arm({0xEB00003E});  // BL +0x100
    Run();
    EXPECT_EQ(R()[14], CodeBase + 4);
    EXPECT_EQ(R()[15], CodeBase + 0x100);
}

TEST_F(ArmBranchTest, BxWithBitZeroEntersThumb) {
    Poke16(ReadPointer(CodeBase + 0x40), 0x2103);  // MOV R1, #3
    Poke16(ReadPointer(CodeBase + 0x42), test::ThumbSelfLoop);
    R()[0] = CodeBase + 0x41;
    Arm({0xE12FFF10});  // BX R0
    Run();
    EXPECT_TRUE(Flag(FlagT));
    EXPECT_EQ(R()[1], 3u);
    EXPECT_EQ(R()[15], CodeBase + 0x42);
}

TEST_F(ArmBranchTest, BxWithoutBitZeroStaysInArmWordAligned) {
    SetWord(CodeBase + 0x40, 0xE3A01004);  // MOV R1, #4
    SetWord(CodeBase + 0x44, test::ArmSelfLoop);
    R()[0] = CodeBase + 0x42;
    Arm({0xE12FFF10});
    Run();
    EXPECT_FALSE(Flag(FlagT));
    EXPECT_EQ(R()[1], 4u);
}

TEST_F(ArmBranchTest, UndefinedEntriesAndConditionNeverAreLoggedNoOperations) {
    CpuState.Trace = 1;
    SetFlags(FlagZ);
    const uint32_t cpsr = CpuState.CPSR;
    for (uint32_t op : {0xEE000000u, 0xF3A00001u, 0xE7F000F0u, 0xE0400090u}) {
        R()[0] = 0x1234;
        Arm({op});
        testing::internal::CaptureStdout();
        Run(1);
        char expected[64];
        std::snprintf(expected, sizeof expected, "ARM: Unrecognized opcode 0x%08X at 0x%08X\n", op, CodeBase);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
        EXPECT_EQ(R()[15], CodeBase + 4) << "costs only its fetch";
        EXPECT_EQ(R()[0], 0x1234u);
        EXPECT_EQ(CpuState.CPSR, cpsr);
    }
    CpuState.Trace = 0;
    Arm({0xEE000000});
    testing::internal::CaptureStdout();
    Run(1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// The table's shape: which indexes share the undefined routine.
TEST_F(ArmBranchTest, TableMarksTheUndefinedRowsAndColumns) {
    auto undefined = [](uint32_t h, uint32_t l) { return FormOf((l << 8) | h) == ArmForm::Undefined; };
    for (uint32_t l = 0; l < 16; ++l) {
        EXPECT_TRUE(undefined(0x30, l));
        EXPECT_TRUE(undefined(0x34, l));
        EXPECT_FALSE(undefined(0x32, l)) << "MSR immediate";
        for (uint32_t h = 0xC0; h < 0xF0; ++h) EXPECT_TRUE(undefined(h, l)) << "coprocessor rows";
        for (uint32_t h = 0x40; h < 0x60; ++h) EXPECT_FALSE(undefined(h, l));
        for (uint32_t h = 0x60; h < 0x80; ++h) EXPECT_EQ(undefined(h, l), (l & 1) != 0);
    }
    for (uint32_t h : {0x04u, 0x07u, 0x11u, 0x12u, 0x13u, 0x15u, 0x16u, 0x1Fu}) EXPECT_TRUE(undefined(h, 9));
    for (uint32_t h : {0x00u, 0x03u, 0x08u, 0x0Fu, 0x10u, 0x14u}) EXPECT_FALSE(undefined(h, 9));
    for (uint32_t h = 0; h < 0x20; h += 2) {
        EXPECT_TRUE(undefined(h, 0xD));
        EXPECT_TRUE(undefined(h, 0xF));
        EXPECT_FALSE(undefined(h + 1, 0xD));
        EXPECT_FALSE(undefined(h, 0xB));
    }
    for (uint32_t l = 2; l < 16; ++l) {
        if (l == 9 || l == 0xB) continue;
        for (uint32_t h : {0x10u, 0x12u, 0x14u, 0x16u}) {
            if (l == 0xD || l == 0xF) continue;  // even rows: checked above
            EXPECT_TRUE(undefined(h, l)) << std::hex << h << " " << l;
        }
    }
    EXPECT_FALSE(undefined(0x12, 1)) << "BX";
    EXPECT_TRUE(undefined(0x10, 1));
}

// The whole 24-bit comment field goes to the BIOS services, which take an
// ARM call number from bits 23-16: SWI 0x060000 divides.
TEST_F(ArmBranchTest, SwiPassesTheCommentFieldToTheServices) {
    R()[0] = 7;
    R()[1] = 2;
    Arm({0xEF060000, 0xE3A02001});  // SWI 0x060000; MOV R2, #1
    Run();
    EXPECT_EQ(R()[0], 3u);
    EXPECT_EQ(R()[1], 1u);
    EXPECT_EQ(R()[2], 1u) << "execution goes on after the call";
    EXPECT_EQ(CpuState.CPSR & ModeMask, uint32_t{ModeSystem}) << "no mode change without a BIOS image";
}

// With a BIOS image the call enters it at 0x08 in Supervisor mode, with the
// address of the next instruction in R14_svc.
TEST_F(ArmBranchTest, SwiEntersALoadedBiosAtItsVector) {
    test::WriteFile("GBA.ROM", std::vector<uint8_t>(16 * 1024, 0));
    Prepare(test::MakeCartridge());
    ASSERT_EQ(BiosLoaded, 1u);
    SetMode(ModeSystem, FlagC);
    Poke32(ReadPointer(0x08), test::ArmSelfLoop);
    Arm({0xEF060000});
    Run();
    EXPECT_EQ(R()[15], 0x08u);
    EXPECT_EQ(R()[14], CodeBase + 4);
    EXPECT_EQ(CpuState.CPSR & 0xFF, 0xD3u);
    EXPECT_EQ(CpuState.SPSR_svc, FlagC | FlagI | FlagF | ModeSystem);
}

}  // namespace
}  // namespace koru
