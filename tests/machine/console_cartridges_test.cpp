// Cartridges written the way programs for the console are, run by
// koru-headless: they rely on what the console hands over and offers
// (the start-up state, readable timers, the save memories their save
// library declares) without the help of our own start-up code.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_machine.h"

namespace koru {
namespace {

namespace fs = std::filesystem;
using test::BuiltRom;
using test::Registers;
using test::RunHeadless;
using test::TempDirTest;

class ConsoleCartridgeTest : public TempDirTest {
protected:
    // Copies the built cartridge into the test's directory as NAME.gba;
    // false (with the test skipped, or failed in CI) when it was not built.
    bool Copy(const std::string& name) {
        const fs::path rom = BuiltRom(name);
        if (!fs::exists(rom)) {
            if (std::getenv("CI")) ADD_FAILURE() << rom << " was not built";
            return false;
        }
        fs::copy_file(rom, dir / (name + ".gba"), fs::copy_options::overwrite_existing);
        return true;
    }
    std::map<std::string, uint32_t> Run(const std::string& name, int frames = 30, const std::string& extra = "") {
        std::string output;
        EXPECT_EQ(RunHeadless("--frames " + std::to_string(frames) + " --regs " + extra + " " + name + ".gba", &output),
                  0)
            << output;
        auto registers = Registers(output);
        EXPECT_EQ(registers.count("R12"), 1u) << output;
        return registers;
    }
};

#define REQUIRE_CARTRIDGE(name) \
    if (!Copy(name)) GTEST_SKIP() << name << " is not built"

TEST_F(ConsoleCartridgeTest, AnHBlankHandlerRunsOnEveryLineWithoutTheProgramWritingTheStatusRegister) {
    REQUIRE_CARTRIDGE("hblank");
    auto r = Run("hblank");
    EXPECT_EQ(r["R2"], 0x1Fu) << "handed over in System mode with interrupts enabled";
    EXPECT_EQ(r["R12"], 0u) << "1: the handler never ran; 2: it missed lines";
    EXPECT_EQ(r["R1"], 160u);
}

TEST_F(ConsoleCartridgeTest, ARunningTimerReadsItsCountAndRestartsFromItsReload) {
    REQUIRE_CARTRIDGE("timers");
    auto r = Run("timers");
    EXPECT_EQ(r["R12"], 0u) << "1: the count did not move; 2: the restart kept the old count";
    // A timer moves at most once per half-line step, so a frame (456
    // steps) moves it 456 times at a prescale of 64.
    EXPECT_EQ(r["R2"] - r["R1"], 456u);
    EXPECT_EQ(r["R3"], 0x1000u);
}

TEST_F(ConsoleCartridgeTest, ATwoBankFlashGameIdentifiesSwitchesErasesAndSavesBothBanks) {
    REQUIRE_CARTRIDGE("flashbanks");
    auto r = Run("flashbanks");
    EXPECT_EQ(r["R12"], 0u) << "first failed check";
    EXPECT_EQ(r["R1"], 0x09C2u) << "Macronix MX29L010";
    const std::vector<uint8_t> save = test::ReadFile(dir / "flashbanks.sav");
    ASSERT_EQ(save.size(), 131072u) << "FLASH1M_V: both banks, raw";
    EXPECT_EQ(save[0], 0x5A);
    EXPECT_EQ(save[0x10000], 0xFF) << "bank 1's erased sector";
    EXPECT_EQ(save[0x11234], 0x42);
    std::string output;
    RunHeadless("--frames 1 --verbose 1 flashbanks.gba", &output);
    EXPECT_NE(output.find("flashbanks.sav...reading...OK"), std::string::npos) << output;
}

TEST_F(ConsoleCartridgeTest, AnEightKilobyteEepromGameRoundTripsBlocksByDma) {
    REQUIRE_CARTRIDGE("eeprom8k");
    auto r = Run("eeprom8k");
    EXPECT_EQ(r["R12"], 0u) << "first failed check";
    const std::vector<uint8_t> save = test::ReadFile(dir / "eeprom8k.sav");
    ASSERT_EQ(save.size(), 8192u) << "EEPROM_V with 14-bit requests: 8 KB, raw";
    // Each block in the order its bits travel.
    const std::vector<uint8_t> last(save.begin() + 1023 * 8, save.end());
    EXPECT_EQ(last, (std::vector<uint8_t>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(save[8], 0xFE);
    std::string output;
    RunHeadless("--frames 1 --verbose 1 eeprom8k.gba", &output);
    EXPECT_NE(output.find("eeprom8k.sav...reading...OK"), std::string::npos) << output;
}

}  // namespace
}  // namespace koru
