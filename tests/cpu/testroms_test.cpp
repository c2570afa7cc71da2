// Third-party instruction test cartridges, run as a user would through
// koru-headless. Each reports the number of its first failed test in R12
// (0 when all passed).
#include <gtest/gtest.h>

#include <string>

#include "support/test_machine.h"

namespace koru {
namespace {

using test::RunHeadless;
using test::TempDirTest;
using test::TestRomsDir;

using InstructionCartridgeTest = TempDirTest;

// R12 from the --regs line, or -1 when the run or the line is missing.
long RunAndReadR12(const std::string& cartridge) {
    std::string out;
    const std::string path = (TestRomsDir() / cartridge).string();
    if (RunHeadless("--check-crc 0 --frames 60 --regs " + path, &out) != 0) return -1;
    const size_t at = out.find("R12=");
    if (at == std::string::npos) return -1;
    return std::stol(out.substr(at + 4, 8), nullptr, 16);
}

TEST_F(InstructionCartridgeTest, ThumbCartridgePassesEveryTest) {
    if (TestRomsDir().empty()) GTEST_SKIP() << "no third-party test cartridges here";
    EXPECT_EQ(RunAndReadR12("thumb.gba"), 0);
}

// The first test the ARM cartridge fails is 217, "MOVS with a rotated
// immediate sets C from bit 31 of the operand": in this machine a rotated
// immediate produces no shifter carry, so MOVS R0, #0xF000000F leaves C as it
// was. The later tests that fail differ from this machine in documented ways
// as well (the FIQ bank of R8-R12 that FIQ mode does not have here, unaligned
// word loads that are not rotated, unaligned word stores that are, halfword
// loads at odd addresses, write-back that wins over a loaded base, the S bit
// of block transfers, empty register lists); with those checks bypassed the
// cartridge reaches its end with every other test passed.
TEST_F(InstructionCartridgeTest, ArmCartridgeFirstFailsTheRotatedImmediateCarry) {
    if (TestRomsDir().empty()) GTEST_SKIP() << "no third-party test cartridges here";
    EXPECT_EQ(RunAndReadR12("arm.gba"), 217);
}

}  // namespace
}  // namespace koru
