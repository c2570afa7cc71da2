// ARM multiplies: results, signs, flags and cycles.
#include "cpu_harness.h"

namespace koru {
namespace {

using test::CodeBase;
using test::CpuTest;

using ArmMultiplyTest = CpuTest;

void RunOne(uint32_t op, uint32_t r0, uint32_t r1, uint32_t r2, uint32_t r3, uint32_t nzcv = 0) {
    uint32_t* R = CpuState.R;
    R[0] = r0;
    R[1] = r1;
    R[2] = r2;
    R[3] = r3;
    CpuState.CPSR = (CpuState.CPSR & 0x0FFFFFFFu) | nzcv;
    CpuTest::Arm({op});
    CpuTest::Run();
}

uint32_t Nzcv() { return CpuState.CPSR & 0xF0000000u; }

TEST_F(ArmMultiplyTest, MulAndMla) {
    RunOne(0xE0000291, 0, 6, 7, 0);  // MUL R0, R1, R2
    EXPECT_EQ(R()[0], 42u);
    RunOne(0xE0000291, 0, 0x10001, 0x10001, 0);
    EXPECT_EQ(R()[0], 0x00020001u) << "the low 32 bits";
    RunOne(0xE0203291, 0, 6, 7, 100);  // MLA R0, R1, R2, R3
    EXPECT_EQ(R()[0], 142u);
}

TEST_F(ArmMultiplyTest, MulsClearsCAndV) {
    RunOne(0xE0100291, 0, 0xFFFFFFFF, 1, 0, FlagC | FlagV);  // MULS R0, R1, R2
    EXPECT_EQ(Nzcv(), FlagN);
    RunOne(0xE0100291, 0, 0, 5, 0, FlagC | FlagV);
    EXPECT_EQ(Nzcv(), FlagZ);
    RunOne(0xE0000291, 0, 0, 5, 0, FlagC | FlagV);  // without S nothing changes
    EXPECT_EQ(Nzcv(), FlagC | FlagV);
}

TEST_F(ArmMultiplyTest, LongMultipliesAndTheirSigns) {
    RunOne(0xE0C10392, 0, 0, 0xFFFFFFFE, 3);  // SMULL R0, R1, R2, R3: -2 x 3
    EXPECT_EQ(R()[1], 0xFFFFFFFFu);
    EXPECT_EQ(R()[0], 0xFFFFFFFAu);
    RunOne(0xE0810392, 0, 0, 0xFFFFFFFE, 3);  // UMULL
    EXPECT_EQ(R()[1], 2u);
    EXPECT_EQ(R()[0], 0xFFFFFFFAu);
    RunOne(0xE0A10392, 0xFFFFFFFF, 0, 1, 1);  // UMLAL: 0x00000000FFFFFFFF + 1
    EXPECT_EQ(R()[1], 1u);
    EXPECT_EQ(R()[0], 0u);
    RunOne(0xE0F10392, 5, 0, 0xFFFFFFFF, 5, FlagC | FlagV);  // SMLALS: 5 + (-1 x 5)
    EXPECT_EQ(R()[0], 0u);
    EXPECT_EQ(R()[1], 0u);
    EXPECT_EQ(Nzcv(), FlagZ | FlagC | FlagV) << "Z from all 64 bits; C and V kept";
    RunOne(0xE0D10392, 0, 0, 0x80000000, 2, 0);  // SMULLS: -2^31 x 2
    EXPECT_EQ(R()[1], 0xFFFFFFFFu);
    EXPECT_EQ(R()[0], 0u);
    EXPECT_EQ(Nzcv(), FlagN) << "N from bit 63 although the low word is 0";
}

TEST_F(ArmMultiplyTest, ExtraCycles) {
    struct Case {
        uint32_t op;
        int32_t cycles;  // fetch + extra
    };
    for (const Case& c : {Case{0xE0000291, 5}, Case{0xE0203291, 6}, Case{0xE0810392, 6}, Case{0xE0A10392, 7},
                          Case{0xE0C10392, 6}, Case{0xE0E10392, 7}}) {
        Arm({c.op, 0xE1A00000});  // the multiply; MOV R0, R0
        Run(c.cycles);
        EXPECT_EQ(R()[15], CodeBase + 4) << std::hex << c.op;
        Arm({c.op, 0xE1A00000});
        Run(c.cycles + 1);
        EXPECT_EQ(R()[15], CodeBase + 8) << std::hex << c.op;
    }
}

}  // namespace
}  // namespace koru
