// THUMB instructions, format by format.
#include <vector>

#include "cpu_harness.h"
#include "machine/machine.h"

namespace koru {
namespace {

using test::CodeBase;
using test::CpuTest;
using test::DataBase;

using ThumbTest = CpuTest;

uint32_t Nzcv() { return CpuState.CPSR & 0xF0000000u; }

// Runs THUMB code with R0-R2 and the flags given.
void RunThumb(std::initializer_list<uint16_t> code, uint32_t r0, uint32_t r1, uint32_t nzcv = 0, uint32_t r2 = 0) {
    CpuState.R[0] = r0;
    CpuState.R[1] = r1;
    CpuState.R[2] = r2;
    CpuTest::Thumb(code);
    CpuState.CPSR = (CpuState.CPSR & 0x0FFFFFFFu) | nzcv;
    CpuTest::Run();
}

TEST_F(ThumbTest, ShiftsByImmediate) {
    RunThumb({0x0008}, 0, 0x80000001, FlagC | FlagV);  // LSL R0, R1, #0
    EXPECT_EQ(R()[0], 0x80000001u);
    EXPECT_EQ(Nzcv(), FlagN | FlagC | FlagV) << "no shift keeps C and V";
    RunThumb({0x0108}, 0, 0x18000000);  // LSL R0, R1, #4
    EXPECT_EQ(R()[0], 0x80000000u);
    EXPECT_EQ(Nzcv(), FlagN | FlagC);
    RunThumb({0x0808}, 0, 0x80000000);  // LSR R0, R1, #32
    EXPECT_EQ(R()[0], 0u);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC);
    RunThumb({0x1008}, 0, 0x80000000);  // ASR R0, R1, #32
    EXPECT_EQ(R()[0], 0xFFFFFFFFu);
    EXPECT_EQ(Nzcv(), FlagN | FlagC);
    RunThumb({0x1048}, 0, 0xFFFFFFF3);  // ASR R0, R1, #1
    EXPECT_EQ(R()[0], 0xFFFFFFF9u);
    EXPECT_EQ(Nzcv(), FlagN | FlagC);
}

TEST_F(ThumbTest, ThreeOperandAddAndSubtract) {
    RunThumb({0x1888}, 0, 0x7FFFFFFF, 0, 1);  // ADD R0, R1, R2
    EXPECT_EQ(R()[0], 0x80000000u);
    EXPECT_EQ(Nzcv(), FlagN | FlagV);
    RunThumb({0x1A88}, 0, 2, 0, 2);  // SUB R0, R1, R2
    EXPECT_EQ(R()[0], 0u);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC);
    RunThumb({0x1DC8}, 0, 0xFFFFFFFA);  // ADD R0, R1, #7
    EXPECT_EQ(R()[0], 1u);
    EXPECT_EQ(Nzcv(), FlagC);
    RunThumb({0x1E48}, 0, 0);  // SUB R0, R1, #1
    EXPECT_EQ(R()[0], 0xFFFFFFFFu);
    EXPECT_EQ(Nzcv(), FlagN);
}

TEST_F(ThumbTest, ImmediateFormsReachEveryRegister) {
    for (uint16_t d = 0; d < 8; ++d) R()[d] = 0;
    Thumb({0x2011, 0x2122, 0x2233, 0x2344, 0x2455, 0x2566, 0x2677, 0x2788});  // MOV Rd, #0x11 * (d + 1)
    CpuState.CPSR |= FlagC | FlagV | FlagN;
    Run();
    for (uint32_t d = 0; d < 8; ++d) EXPECT_EQ(R()[d], 0x11u * (d + 1)) << "R" << d;
    EXPECT_EQ(Nzcv(), FlagC | FlagV) << "MOV clears N, sets Z from the value, keeps C and V";

    Thumb({0x2000});  // MOV R0, #0
    Run();
    EXPECT_TRUE(Flag(FlagZ));

    R()[3] = 10;
    Thumb({0x2B0A});  // CMP R3, #10
    Run();
    EXPECT_EQ(Nzcv(), FlagZ | FlagC);
    R()[4] = 1;
    Thumb({0x34FF});  // ADD R4, #255
    Run();
    EXPECT_EQ(R()[4], 256u);
    R()[5] = 0;
    Thumb({0x3D01});  // SUB R5, #1
    Run();
    EXPECT_EQ(R()[5], 0xFFFFFFFFu);
    EXPECT_EQ(Nzcv(), FlagN);
    R()[7] = 0x80000000;
    Thumb({0x3F01});  // SUB R7, #1
    Run();
    EXPECT_EQ(Nzcv(), FlagC | FlagV);
}

TEST_F(ThumbTest, AluLogicalOperations) {
    RunThumb({0x4008}, 0xF0F0, 0xFF00);  // AND
    EXPECT_EQ(R()[0], 0xF000u);
    RunThumb({0x4048}, 0xF0F0, 0xFF00);  // EOR
    EXPECT_EQ(R()[0], 0x0FF0u);
    RunThumb({0x4308}, 0xF0F0, 0xFF00);  // ORR
    EXPECT_EQ(R()[0], 0xFFF0u);
    RunThumb({0x4388}, 0xF0F0, 0xFF00);  // BIC
    EXPECT_EQ(R()[0], 0x00F0u);
    RunThumb({0x43C8}, 0, 0, FlagC | FlagV);  // MVN
    EXPECT_EQ(R()[0], 0xFFFFFFFFu);
    EXPECT_EQ(Nzcv(), FlagN | FlagC | FlagV) << "logical operations keep C and V";
    RunThumb({0x4208}, 0xF0, 0x0F);  // TST
    EXPECT_EQ(Nzcv(), FlagZ);
    EXPECT_EQ(R()[0], 0xF0u);
}

TEST_F(ThumbTest, AluShiftsByRegister) {
    const uint16_t lsl = 0x4088, lsr = 0x40C8, asr = 0x4108, ror = 0x41C8;
    RunThumb({lsl}, 3, 32);
    EXPECT_EQ(R()[0], 0u);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC) << "LSL by 32: C = bit 0";
    RunThumb({lsl}, 0xFFFFFFFF, 33);
    EXPECT_EQ(Nzcv(), FlagZ) << "LSL by 33: C = 0";
    RunThumb({lsl}, 0x12345678, 0x100, FlagC);
    EXPECT_EQ(R()[0], 0x12345678u);
    EXPECT_EQ(Nzcv(), FlagC) << "amount 0 (low byte) keeps C";
    RunThumb({lsr}, 0x80000000, 32);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC);
    RunThumb({lsr}, 0xFFFFFFFF, 33, FlagC);
    EXPECT_EQ(Nzcv(), FlagZ);
    RunThumb({asr}, 0x80000000, 77);
    EXPECT_EQ(R()[0], 0xFFFFFFFFu);
    EXPECT_EQ(Nzcv(), FlagN | FlagC);
    RunThumb({asr}, 0x40000000, 32);
    EXPECT_EQ(R()[0], 0u);
    EXPECT_EQ(Nzcv(), FlagZ);
    RunThumb({ror}, 0x80000001, 32);
    EXPECT_EQ(R()[0], 0x80000001u) << "ROR by 32 keeps the register";
    EXPECT_EQ(Nzcv(), FlagN) << "and C";
    RunThumb({ror}, 0x0000000F, 36);
    EXPECT_EQ(R()[0], 0xF0000000u) << "36 rotates by 4";
    EXPECT_EQ(Nzcv(), FlagN | FlagC);
}

TEST_F(ThumbTest, AluArithmetic) {
    RunThumb({0x4148}, 1, 2, FlagC);  // ADC
    EXPECT_EQ(R()[0], 4u);
    RunThumb({0x4188}, 5, 2, 0);  // SBC with borrow
    EXPECT_EQ(R()[0], 2u);
    EXPECT_EQ(Nzcv(), FlagC);
    RunThumb({0x4248}, 0, 5);  // NEG
    EXPECT_EQ(R()[0], 0xFFFFFFFBu);
    EXPECT_EQ(Nzcv(), FlagN);
    RunThumb({0x4248}, 0, 0);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC);
    RunThumb({0x4248}, 0, 0x80000000);
    EXPECT_EQ(Nzcv(), FlagN | FlagV) << "negating the smallest integer overflows";
    RunThumb({0x4288}, 0, 0x80000000);  // CMP
    EXPECT_EQ(Nzcv(), FlagN | FlagV);
    EXPECT_EQ(R()[0], 0u);
    RunThumb({0x42C8}, 0x80000000, 0x80000000);  // CMN
    EXPECT_EQ(Nzcv(), FlagZ | FlagC | FlagV);
}

TEST_F(ThumbTest, MultiplyClearsCAndVAndCostsFourCycles) {
    RunThumb({0x4348}, 6, 7, FlagC | FlagV);  // MUL R0, R1
    EXPECT_EQ(R()[0], 42u);
    EXPECT_EQ(Nzcv(), 0u);
    RunThumb({0x4348}, 0x10000, 0x10000);
    EXPECT_EQ(R()[0], 0u);
    EXPECT_EQ(Nzcv(), FlagZ);
    Thumb({0x4348, 0x3001});  // MUL; ADD R0, #1
    Run(5);
    EXPECT_EQ(R()[15], CodeBase + 2) << "fetch + 4 cycles end a 5-cycle slice";
}

TEST_F(ThumbTest, HighRegisterOperationsReadPcAsAddressPlusFour) {
    R()[0] = 0x10;
    Thumb({0x4478});  // ADD R0, PC
    Run();
    EXPECT_EQ(R()[0], CodeBase + 4 + 0x10);
    Thumb({0x46F9});  // MOV R9, PC
    Run();
    EXPECT_EQ(R()[9], CodeBase + 4);
    R()[8] = 5;
    R()[0] = 5;
    Thumb({0x4580});  // CMP R8, R0
    Run();
    EXPECT_EQ(Nzcv(), FlagZ | FlagC);
}

TEST_F(ThumbTest, HighRegisterWritesToPcClearBitZero) {
    Poke16(ReadPointer(CodeBase + 0x40), 0x2107);  // MOV R1, #7
    Poke16(ReadPointer(CodeBase + 0x42), test::ThumbSelfLoop);
    R()[1] = CodeBase + 0x41;
    Thumb({0x468F});  // MOV PC, R1
    Run();
    EXPECT_EQ(R()[1], 7u);
    EXPECT_TRUE(Flag(FlagT));
    R()[0] = 0x3B;  // PC (address + 4) + 0x3B = +0x3F: odd, cleared to +0x3E
    Poke16(ReadPointer(CodeBase + 0x3E), 0x2109);  // MOV R1, #9
    Poke16(ReadPointer(CodeBase + 0x40), test::ThumbSelfLoop);
    Thumb({0x4487});  // ADD PC, R0
    Run();
    EXPECT_EQ(R()[1], 9u);
}

TEST_F(ThumbTest, BxWithBitZeroStaysInThumb) {
    Poke16(ReadPointer(CodeBase + 0x20), 0x2203);  // MOV R2, #3
    Poke16(ReadPointer(CodeBase + 0x22), test::ThumbSelfLoop);
    R()[1] = CodeBase + 0x21;
    Thumb({0x4708});  // BX R1
    Run();
    EXPECT_EQ(R()[2], 3u);
    EXPECT_TRUE(Flag(FlagT));
}

TEST_F(ThumbTest, BxToAnAddressWithBitOneEntersArmWordAligned) {
    SetWord(CodeBase + 0x20, 0xE3A02004);  // MOV R2, #4
    SetWord(CodeBase + 0x24, test::ArmSelfLoop);
    R()[1] = CodeBase + 0x22;
    Thumb({0x4708});  // BX R1
    Run();
    EXPECT_FALSE(Flag(FlagT));
    EXPECT_EQ(R()[2], 4u);
    EXPECT_EQ(R()[15], CodeBase + 0x24);
}

TEST_F(ThumbTest, BxPcEntersArmAtTheNextWord) {
    SetWord(CodeBase + 4, 0xE3A02005);  // MOV R2, #5
    SetWord(CodeBase + 8, test::ArmSelfLoop);
    Thumb({0x4778});  // BX PC
    Run();
    EXPECT_FALSE(Flag(FlagT));
    EXPECT_EQ(R()[2], 5u);
}

TEST_F(ThumbTest, PcRelativeLoadUsesTheWordAlignedPc) {
    // At an address with bit 1 set, PC (address + 4) is not word-aligned:
    // LDR R0, [PC, #0] at +2 reads the word at +4, which holds the `B .`
    // after it and the halfword at +6.
    Poke16(ReadPointer(CodeBase), 0x46C0);       // NOP (MOV R8, R8)
    Poke16(ReadPointer(CodeBase + 6), 0x1234);
    Thumb({0x4800}, CodeBase + 2);               // LDR R0, [PC, #0]
    Run();
    EXPECT_EQ(R()[0], 0x1234E7FEu);
    SetWord(CodeBase + 8, 0x12345678);
    Thumb({0x4D01});  // LDR R5, [PC, #4] at +0: PC + 4 = +8
    Run();
    EXPECT_EQ(R()[5], 0x12345678u);
}

TEST_F(ThumbTest, LoadsCostTheAccessAndOneCycle) {
    SetWord(CodeBase + 8, 1);
    Thumb({0x4801, 0x3001});  // LDR R0, [PC, #4]; ADD R0, #1
    Run(3);
    EXPECT_EQ(R()[15], CodeBase + 2) << "fetch, word load and one extra cycle";
}

TEST_F(ThumbTest, RegisterOffsetTransfers) {
    R()[1] = DataBase;
    R()[2] = 4;
    RunThumb({0x5088}, 0x8081F2F3, DataBase, 0, 4);  // STR R0, [R1, R2]
    EXPECT_EQ(Word(DataBase + 4), 0x8081F2F3u);
    RunThumb({0x5688}, 0, DataBase, 0, 4);  // LDRSB R0, [R1, R2]
    EXPECT_EQ(R()[0], 0xFFFFFFF3u);
    RunThumb({0x5E88}, 0, DataBase, 0, 6);  // LDRSH R0, [R1, R2]
    EXPECT_EQ(R()[0], 0xFFFF8081u);
    RunThumb({0x5A88}, 0, DataBase, 0, 7);  // LDRH R0, [R1, R2] at an odd address
    EXPECT_EQ(R()[0], 0x8081u) << "the aligned halfword, not rotated";
    RunThumb({0x5C88}, 0, DataBase, 0, 5);  // LDRB R0, [R1, R2]
    EXPECT_EQ(R()[0], 0xF2u);
    RunThumb({0x5888}, 0, DataBase, 0, 6);  // LDR R0, [R1, R2] unaligned
    EXPECT_EQ(R()[0], 0x8081F2F3u) << "the aligned word, not rotated";
    RunThumb({0x5288}, 0xABCD, DataBase, 0, 8);  // STRH R0, [R1, R2]
    RunThumb({0x5488}, 0x1EF, DataBase, 0, 10);  // STRB R0, [R1, R2]
    EXPECT_EQ(Word(DataBase + 8), 0x00EFABCDu);
}

TEST_F(ThumbTest, ImmediateOffsetTransfers) {
    RunThumb({0x6048}, 0x11223344, DataBase);  // STR R0, [R1, #4]
    EXPECT_EQ(Word(DataBase + 4), 0x11223344u);
    RunThumb({0x6848}, 0, DataBase);  // LDR R0, [R1, #4]
    EXPECT_EQ(R()[0], 0x11223344u);
    RunThumb({0x77C8}, 0x5A, DataBase);  // STRB R0, [R1, #31]
    RunThumb({0x7FC8}, 0, DataBase);      // LDRB R0, [R1, #31]
    EXPECT_EQ(R()[0], 0x5Au);
    RunThumb({0x8048}, 0xBEEF, DataBase);  // STRH R0, [R1, #2]
    RunThumb({0x8848}, 0, DataBase);        // LDRH R0, [R1, #2]
    EXPECT_EQ(R()[0], 0xBEEFu);
    EXPECT_EQ(Word(DataBase), 0xBEEF0000u);
}

TEST_F(ThumbTest, StackPointerRelativeFormsReachEveryRegister) {
    R()[13] = DataBase;
    for (uint16_t d = 0; d < 8; ++d) R()[d] = 0x100 + d;
    Thumb({0x9000, 0x9101, 0x9202, 0x9303, 0x9404, 0x9505, 0x9606, 0x9707});  // STR Rd, [SP, #4d]
    Run();
    for (uint32_t d = 0; d < 8; ++d) EXPECT_EQ(Word(DataBase + 4 * d), 0x100 + d);
    SetWord(DataBase + 0x3FC, 0x77);
    Thumb({0x9EFF});  // LDR R6, [SP, #1020]
    Run();
    EXPECT_EQ(R()[6], 0x77u);
}

TEST_F(ThumbTest, AddressArithmetic) {
    Poke16(ReadPointer(CodeBase), 0x46C0);  // NOP
    Thumb({0xA302}, CodeBase + 2);           // ADD R3, PC, #8
    Run();
    EXPECT_EQ(R()[3], CodeBase + 4 + 8) << "PC + 4 with bit 1 cleared";
    R()[13] = 0x03007F00;
    Thumb({0xAC04, 0xB002, 0xB082, 0xB081});  // ADD R4, SP, #16; ADD SP, #8; SUB SP, #8; SUB SP, #4
    Run();
    EXPECT_EQ(R()[4], 0x03007F10u);
    EXPECT_EQ(R()[13], 0x03007EFCu);
}

TEST_F(ThumbTest, PushAndPopWithLinkAndPc) {
    R()[13] = 0x03007F00;
    R()[0] = 0xA0;
    R()[2] = 0xA2;
    R()[14] = CodeBase + 0x41;  // a THUMB return address
    Poke16(ReadPointer(CodeBase + 0x40), 0x2309);  // MOV R3, #9
    Poke16(ReadPointer(CodeBase + 0x42), test::ThumbSelfLoop);
    Thumb({0xB505, 0x2000, 0x2200, 0xBD05});  // PUSH {R0, R2, LR}; MOV R0, #0; MOV R2, #0; POP {R0, R2, PC}
    Run();
    EXPECT_EQ(Word(0x03007EFC), CodeBase + 0x41) << "LR at the top";
    EXPECT_EQ(Word(0x03007EF8), 0xA2u);
    EXPECT_EQ(Word(0x03007EF4), 0xA0u);
    EXPECT_EQ(R()[0], 0xA0u);
    EXPECT_EQ(R()[2], 0xA2u);
    EXPECT_EQ(R()[3], 9u) << "POP PC returned, bit 0 cleared";
    EXPECT_EQ(R()[13], 0x03007F00u);
    EXPECT_TRUE(Flag(FlagT));
}

TEST_F(ThumbTest, PushAndPopKeepTheLowBitsOfAnUnalignedSp) {
    R()[13] = 0x03007F02;
    R()[1] = 0x11;
    Thumb({0xB402});  // PUSH {R1}
    Run();
    EXPECT_EQ(Word(0x03007EFC), 0x11u);
    EXPECT_EQ(R()[13], 0x03007EFEu);
    Thumb({0xBC10});  // POP {R4}
    Run();
    EXPECT_EQ(R()[4], 0x11u);
    EXPECT_EQ(R()[13], 0x03007F02u);
}

TEST_F(ThumbTest, StoreMultipleStoresTheBaseAsItWas) {
    R()[0] = 0xA0;
    R()[1] = DataBase;
    R()[2] = 0xA2;
    Thumb({0xC107});  // STMIA R1!, {R0, R1, R2}
    Run();
    EXPECT_EQ(Word(DataBase), 0xA0u);
    EXPECT_EQ(Word(DataBase + 4), DataBase);
    EXPECT_EQ(Word(DataBase + 8), 0xA2u);
    EXPECT_EQ(R()[1], DataBase + 12);
}

TEST_F(ThumbTest, LoadMultipleWriteBackWinsOverALoadedBase) {
    SetWord(DataBase, 0x12345677);
    SetWord(DataBase + 4, 0xB1);
    R()[0] = DataBase;
    Thumb({0xC803});  // LDMIA R0!, {R0, R1}
    Run();
    EXPECT_EQ(R()[1], 0xB1u);
    EXPECT_EQ(R()[0], (DataBase + 8) | 3) << "old base + 8, with the loaded value's low two bits";
    R()[3] = DataBase + 1;
    Thumb({0xCB06});  // LDMIA R3!, {R1, R2}
    Run();
    EXPECT_EQ(R()[1], 0x12345677u) << "the transfer is word-aligned";
    EXPECT_EQ(R()[3], DataBase + 9);
    R()[4] = DataBase;
    Thumb({0xCC00});  // LDMIA R4!, {}
    Run();
    EXPECT_EQ(R()[4], DataBase) << "an empty list changes nothing";
}

TEST_F(ThumbTest, ConditionalBranches) {
    // BEQ +4 over a MOV; then BNE back is not taken.
    Thumb({0xD001, 0x2101, 0x2202, 0x2303});  // BEQ to +6; MOV R1, #1; MOV R2, #2; MOV R3, #3
    R()[1] = R()[2] = R()[3] = 0;
    SetFlags(FlagZ);
    Run();
    EXPECT_EQ(R()[1], 0u);
    EXPECT_EQ(R()[2], 0u) << "target = address + 4 + 2 x 1";
    EXPECT_EQ(R()[3], 3u);
    Thumb({0xD001, 0x2101});
    SetFlags(0);
    R()[1] = 0;
    Run();
    EXPECT_EQ(R()[1], 1u) << "not taken";
    // Every condition has its own entry: BGT taken with N = V, BLE not.
    Thumb({0xDC00, 0x2101, 0xDD00, 0x2202});  // BGT +0; MOV R1, #1; BLE +0; MOV R2, #2
    SetFlags(FlagN | FlagV);
    R()[1] = R()[2] = 0;
    Run();
    EXPECT_EQ(R()[1], 0u);
    EXPECT_EQ(R()[2], 2u);
}

// Each conditional branch under every combination of the four flags, N and
// Z together included.
TEST_F(ThumbTest, EveryConditionalBranchUnderEveryCombinationOfFlags) {
    for (uint32_t condition = 0; condition < 14; ++condition) {
        for (uint32_t nzcv = 0; nzcv < 16; ++nzcv) {
            // Bcc +0 skips the ADD R1, SP, #4 (which sets no flags) when taken.
            Thumb({static_cast<uint16_t>(0xD000 | (condition << 8)), 0xA901});
            R()[1] = 0;
            SetFlags(nzcv << 28);
            Run();
            ASSERT_EQ(R()[1], ConditionRule(condition, nzcv << 28) ? 0u : R()[13] + 4)
                << "condition " << condition << " flags " << nzcv;
            ASSERT_EQ(CpuState.CPSR >> 28, nzcv) << "flags kept";
        }
    }
}

TEST_F(ThumbTest, UnconditionalBranchBackwards) {
    Poke16(ReadPointer(CodeBase + 0x20), 0x2107);  // MOV R1, #7
    Poke16(ReadPointer(CodeBase + 0x22), test::ThumbSelfLoop);
    Thumb({0xE7FC}, CodeBase + 0x24);  // B -8 bytes from PC: to +0x20
    Run();
    EXPECT_EQ(R()[1], 7u);
}

TEST_F(ThumbTest, BranchWithLinkPairs) {
    Poke16(ReadPointer(CodeBase + 0x100), test::ThumbSelfLoop);
    Thumb({0xF000, 0xF87E});  // BL +0x100
    Run();
    EXPECT_EQ(R()[15], CodeBase + 0x100);
    EXPECT_EQ(R()[14], (CodeBase + 4) | 1);
    // Backwards: at 0x1004 to 0x1000.
    Poke16(ReadPointer(CodeBase + 0x1000), test::ThumbSelfLoop);
    Thumb({0xF7FF, 0xFFFC}, CodeBase + 0x1004);
    Run();
    EXPECT_EQ(R()[15], CodeBase + 0x1000);
    EXPECT_EQ(R()[14], (CodeBase + 0x1008) | 1);
}

TEST_F(ThumbTest, SwiPassesItsEightBitNumber) {
    R()[0] = 0xFFFFFFF9;  // -7
    R()[1] = 2;
    Thumb({0xDF06, 0x2201});  // SWI 6 (Div); MOV R2, #1
    Run();
    EXPECT_EQ(R()[0], 0xFFFFFFFDu) << "-7 / 2 = -3";
    EXPECT_EQ(R()[1], 0xFFFFFFFFu) << "remainder -1";
    EXPECT_EQ(R()[2], 1u);
    EXPECT_TRUE(Flag(FlagT));
}

TEST_F(ThumbTest, SwiIntoALoadedBiosLeavesThumbAtOnce) {
    test::WriteFile("GBA.ROM", std::vector<uint8_t>(16 * 1024, 0));
    Prepare(test::MakeCartridge());
    ASSERT_EQ(BiosLoaded, 1u);
    SetMode(ModeSystem);
    Poke32(ReadPointer(0x08), 0xE3A05005);  // MOV R5, #5 (ARM)
    Poke32(ReadPointer(0x0C), test::ArmSelfLoop);
    Thumb({0xDF06, 0x2201});
    Run();
    EXPECT_FALSE(Flag(FlagT));
    EXPECT_EQ(R()[5], 5u) << "the vector runs as ARM code";
    EXPECT_EQ(R()[14], CodeBase + 2) << "the next THUMB instruction";
    EXPECT_EQ(CpuState.SPSR_svc & FlagT, uint32_t{FlagT});
}

TEST_F(ThumbTest, UndefinedOpcodesAreLoggedWhenTracingAndCostOnlyTheirFetch) {
    Thumb({0xE800, 0x2101});  // undefined; MOV R1, #1
    R()[1] = 0;
    CpuState.Trace = 1;
    testing::internal::CaptureStdout();
    Run(1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "THUMB: Unrecognized opcode 0xE800 at 0x03000000\n");
    EXPECT_EQ(R()[15], CodeBase + 2);
    const uint32_t cpsr = CpuState.CPSR;
    CpuState.Trace = 0;
    for (uint16_t op : {0xB100, 0xB600, 0xBE00, 0xDE00, 0xEFFF}) {
        Thumb({op});
        testing::internal::CaptureStdout();
        Run(1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(R()[15], CodeBase + 2);
        EXPECT_EQ(CpuState.CPSR, cpsr);
    }
}

}  // namespace
}  // namespace koru
