// The save files as koru-headless users meet them: kept across runs, state
// files written at the end and loaded at the start.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "machine/memory.h"
#include "machine/savefiles.h"
#include "support/test_machine.h"

namespace koru {
namespace {

namespace fs = std::filesystem;
using test::MakeCartridge;
using test::ReadFile;
using test::RunHeadless;
using test::TempDirTest;
using test::WriteFile;

TEST_F(TempDirTest, HeadlessRunsKeepTheBatterySaveWithItsEepromPart) {
    WriteFile("game.gba", MakeCartridge());
    std::vector<uint8_t> save(65536 + 512);
    for (size_t i = 0; i < save.size(); ++i) save[i] = static_cast<uint8_t>(i * 7 + 1);
    WriteFile("game.sav", save);
    std::string out;
    ASSERT_EQ(RunHeadless("--verbose 1 --frames 3 game.gba", &out), 0) << out;
    EXPECT_NE(out.find("Opening game.sav...reading...OK\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nOpening game.sav...writing...OK\n"), std::string::npos) << out;
    EXPECT_EQ(ReadFile("game.sav"), save);
    EXPECT_FALSE(fs::exists("game.sav.tmp"));

    // A cartridge that never touches its backup memory makes no file.
    WriteFile("fresh.gba", MakeCartridge());
    ASSERT_EQ(RunHeadless("--frames 3 fresh.gba"), 0);
    EXPECT_FALSE(fs::exists("fresh.sav"));
}

TEST_F(TempDirTest, HeadlessSavesTheStateAtTheEndAndTheNextRunResumesIt) {
    WriteFile("game.gba", MakeCartridge());
    ASSERT_EQ(RunHeadless("--frames 5 --save-state saved.sta game.gba"), 0);
    const std::vector<uint8_t> state = ReadFile("saved.sta");
    ASSERT_EQ(state.size(), StateFileSize);
    EXPECT_EQ(state[0], 0x53);
    EXPECT_FALSE(fs::exists("saved.sta.tmp"));

    // Beside the cartridge, the state is loaded at start-up.
    fs::copy_file("saved.sta", "game.sta");
    std::string out;
    ASSERT_EQ(RunHeadless("--verbose 1 --frames 1 game.gba", &out), 0);
    EXPECT_NE(out.find("Loaded state from game.sta\n"), std::string::npos) << out;

    // A state file that cannot be written makes the run fail, and the old
    // file stays.
    fs::create_directory("saved.sta.tmp");
    EXPECT_EQ(RunHeadless("--frames 2 --save-state saved.sta game.gba 2>/dev/null"), 1);
    EXPECT_EQ(ReadFile("saved.sta"), state);

    // A damaged one beside the cartridge is not loaded; the run goes on.
    std::vector<uint8_t> cut = state;
    cut.resize(StateFileSize / 2);
    WriteFile("game.sta", cut);
    ASSERT_EQ(RunHeadless("--verbose 1 --frames 1 game.gba", &out), 0);
    EXPECT_EQ(out.find("Loaded state"), std::string::npos) << out;
}

}  // namespace
}  // namespace koru
