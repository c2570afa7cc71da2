// koru-headless as scripts use it: exit status, start-up log, failures.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_machine.h"

namespace koru {
namespace {

using test::MakeCartridge;
using test::RunHeadless;
using test::TempDirTest;
using test::WriteFile;

TEST_F(TempDirTest, HeadlessLogsStartUpAndExitsZero) {
    WriteFile("big.gba", MakeCartridge(1000000));
    std::string out;
    EXPECT_EQ(RunHeadless("--verbose 1 --check-crc 0 --frames 2 big.gba", &out), 0);
    EXPECT_NE(out.find("Allocating 16kB Dummy RAM...OK\nAllocating 16kB BIOS ROM...OK\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Loading big.gba...976kB...OK\n  Title:    KORU TEST (KTSE)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Initializing hardware and CPU...OK\nStarting CPU...\nExited at "), std::string::npos) << out;
}

TEST_F(TempDirTest, HeadlessFailsOnEmptyMissingOrRefusedCartridges) {
    WriteFile("empty.gba", {});
    std::string out;
    EXPECT_EQ(RunHeadless("--verbose 1 empty.gba 2>/dev/null", &out), 1);
    EXPECT_NE(out.find("Loading empty.gba...0kB...FAILED\n"), std::string::npos) << out;
    EXPECT_EQ(RunHeadless("--verbose 1 missing.gba 2>/dev/null", &out), 1);
    EXPECT_NE(out.find("Loading missing.gba...FAILED\n"), std::string::npos) << out;
    // 1,000,000 bytes fails the CRC check unless it is switched off.
    WriteFile("big.gba", MakeCartridge(1000000));
    auto image = MakeCartridge(1000000);
    image[0xBE] = image[0xBF] = 0;
    WriteFile("zero.gba", image);
    EXPECT_EQ(RunHeadless("--verbose 1 zero.gba 2>/dev/null", &out), 1);
    EXPECT_NE(out.find("CRC CHECK FAILED!\n"), std::string::npos) << out;
    EXPECT_EQ(RunHeadless("zero.gba 2>&1", &out), 1);
    EXPECT_NE(out.find("cannot start zero.gba"), std::string::npos) << out;
}

TEST_F(TempDirTest, HeadlessRejectsABadCommandLine) {
    EXPECT_EQ(RunHeadless("--frames 2>/dev/null"), 2);
    EXPECT_EQ(RunHeadless("--frames x game.gba 2>/dev/null"), 2);
    EXPECT_EQ(RunHeadless("--keys 1 game.gba 2>/dev/null"), 2);
    EXPECT_EQ(RunHeadless("--bogus game.gba 2>/dev/null"), 2);
    EXPECT_EQ(RunHeadless("--display-windows 2 game.gba 2>/dev/null"), 2);
    EXPECT_EQ(RunHeadless("2>/dev/null"), 2);
}

// The option switches the setting: a cartridge that sets up windows shows
// another picture with them, and the default is the picture without.
TEST_F(TempDirTest, HeadlessDisplayWindowsOptionDrawsTheWindows) {
    const auto rom = test::BuiltRom("video_win_overlap");
    KORU_REQUIRE(std::filesystem::exists(rom), "cartridges are not built");
    const std::string run = "--check-crc 0 --frames 5 " + rom.string() + " --screenshot ";
    ASSERT_EQ(RunHeadless(run + "default.png"), 0);
    ASSERT_EQ(RunHeadless(run + "off.png --display-windows 0"), 0);
    ASSERT_EQ(RunHeadless(run + "on.png --display-windows 1"), 0);
    EXPECT_EQ(test::ReadFile("default.png"), test::ReadFile("off.png"));
    EXPECT_NE(test::ReadFile("on.png"), test::ReadFile("off.png"));
}

}  // namespace
}  // namespace koru
