// BIOS calls made by whole cartridges, run as a user would through
// koru-headless: our own bioscheck.gba, which calls the services from THUMB
// and from ARM code, and the third-party bios.gba.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "machine/memory.h"
#include "support/test_machine.h"

namespace koru {
namespace {

using test::BuiltRom;
using test::Registers;
using test::ReadFile;
using test::RunHeadless;
using test::TempDirTest;
using test::TestRomsDir;
using test::WriteFile;

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

using BiosCartridgeTest = TempDirTest;

TEST_F(BiosCartridgeTest, OwnCartridgeGetsTheDefinedResultsFromThumbAndArmCalls) {
    const auto rom = BuiltRom("bioscheck");
    KORU_REQUIRE(std::filesystem::exists(rom), "cartridges are not built");
    std::string output;
    ASSERT_EQ(RunHeadless("--check-crc 0 --frames 60 --regs --verbose 32 " + rom.string(), &output), 0) << output;
    auto registers = Registers(output);
    ASSERT_EQ(registers.count("R12"), 1u) << output;
    EXPECT_EQ(registers["R12"], 0u) << "first failed check";
    EXPECT_EQ(registers["R0"], 0x600Du) << "came back through SoftReset called from THUMB code";
    EXPECT_EQ(registers["R1"], 8u) << "each of the eight waits returned after one vertical blank";
    EXPECT_EQ(registers["R4"], 14u) << "SWI 0x060000 in ARM code: 100 / 7";
    EXPECT_EQ(registers["R5"], 0xFFFFFFFDu) << "SWI 0x06 in THUMB code: -7 / 2";
    EXPECT_EQ(registers["R6"], 0x7FFFu) << "ArcTan2 of (-1, 0)";
    EXPECT_EQ(registers["R7"], 0x62616261u) << "Huffman word";

    EXPECT_EQ(Count(output, "BIOS #0x06: Div(100,7)\n"), 1u);
    EXPECT_EQ(Count(output, "BIOS #0x06: Div(-100,7)\n"), 1u) << "SWI 0x000006 in ARM code";
    EXPECT_EQ(Count(output, "ARM: Called SWI #0x2A at PC="), 2u) << "0x2A0000 and THUMB 0x2A only log";
    EXPECT_EQ(Count(output, "BIOS #0x00: SoftReset(0x00000000)\n"), 1u);
    // The waits repeat their call at every slice while halted: many lines,
    // but far fewer than a busy loop would make.
    EXPECT_GT(Count(output, "BIOS #0x05: VBlankIntrWait()\n"), 5u);
}

// bios.gba checks what reads of the BIOS area return: its four tests each
// compare the word at address 0 with the opcode that the console's BIOS last
// fetched (0xE129F000 after start-up, then values left by a call and by an
// interrupt). Without a BIOS image our BIOS area holds the interrupt stub
// and reads return it, so test 1 fails by design. The cartridge then reports
// the number with two divisions by SWI 0x060000 in ARM code, which must be
// Div: the second call divides the remainder of the first.
TEST_F(BiosCartridgeTest, ThirdPartyBiosTestFailsOnlyTheBiosAreaReads) {
    KORU_REQUIRE_TESTROMS();
    std::string output;
    const auto original = TestRomsDir() / "bios.gba";
    ASSERT_EQ(RunHeadless("--check-crc 0 --frames 60 --regs --verbose 32 " + original.string(), &output), 0);
    auto registers = Registers(output);
    EXPECT_EQ(registers["R12"], 1u);
    EXPECT_EQ(registers["R1"], 0xE129F000u) << "the value test 1 expected at address 0";
    EXPECT_NE(output.find("BIOS #0x06: Div(1,100)\nBIOS #0x06: Div(1,10)\n"), std::string::npos) << output;

    // With the four comparisons of the BIOS area skipped (their branches to
    // the failure report made no-ops) every test passes, the call between
    // them being Sqrt by SWI 0x080000.
    auto image = ReadFile(original);
    ASSERT_GE(image.size(), 0x23Cu);
    for (size_t offset : {0x114, 0x144, 0x1E4, 0x238}) {
        ASSERT_EQ(image[offset + 3], 0x1A) << "a BNE at " << offset;
        Poke32(&image[offset], 0xE1A00000);  // MOV R0, R0
    }
    WriteFile(dir / "patched.gba", image);
    ASSERT_EQ(RunHeadless("--check-crc 0 --frames 60 --regs --verbose 32 " + (dir / "patched.gba").string(), &output),
              0);
    registers = Registers(output);
    EXPECT_EQ(registers["R12"], 0u);
    EXPECT_EQ(Count(output, "BIOS #0x08: Sqrt(0)\n"), 1u);
}

TEST_F(BiosCartridgeTest, ACartridgeThatOnlyCallsSoftResetStillRunsFrames) {
    // Four bytes: SWI 0 at the entry, so every reset lands on another reset.
    WriteFile("reset.gba", {0x00, 0x00, 0x00, 0xEF});
    std::string out;
    EXPECT_EQ(RunHeadless("--check-crc 0 --frames 3 --regs reset.gba", &out), 0);
    EXPECT_NE(out.find("R15=08000000"), std::string::npos) << out;
}

}  // namespace
}  // namespace koru
