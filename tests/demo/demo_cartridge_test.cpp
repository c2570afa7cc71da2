// The demo cartridge as a file: its header passes the start-up checks, and
// it counts its starts in battery SRAM: the ".sav" written when a run ends
// holds the count, the next run reads it and adds one.
#include <gtest/gtest.h>

#include <string>

#include "art.h"
#include "demo_run.h"

namespace koru::test {
namespace {

uint32_t StartsInSave(const std::vector<uint8_t>& save) {
    uint32_t count = 0;
    for (int i = 0; i < 4; ++i) count |= static_cast<uint32_t>(save[SAVE_COUNT_OFFSET + i]) << (8 * i);
    return count;
}

TEST_F(DemoTest, HeaderPassesTheStartUpChecksWithCrcCheckOn) {
    std::string out;
    ASSERT_EQ(RunHeadless("--check-crc 1 --verbose 1 --frames 1 demo.gba", &out), 0) << out;
    EXPECT_NE(out.find("Title:    KORU DEMO"), std::string::npos) << out;
    EXPECT_EQ(out.find("CHECK FAILED"), std::string::npos) << out;

    // And by the header's own rules: the CRC field is the length modulo
    // 65536, the complement makes the header bytes sum right.
    const std::vector<uint8_t> image = ReadFile(dir / "demo.gba");
    ASSERT_GE(image.size(), 0xC0u);
    EXPECT_EQ(std::string(image.begin() + 0xA0, image.begin() + 0xA9), "KORU DEMO");
    EXPECT_EQ((image[0xBE] << 8) | image[0xBF], static_cast<int>(image.size() & 0xFFFF));
    uint8_t complement = 0xE7;
    for (int i = 0xA0; i <= 0xBC; ++i) complement = static_cast<uint8_t>(complement - image[i]);
    EXPECT_EQ(image[0xBD], complement);
}

TEST_F(DemoTest, BatterySaveCountsStartsAcrossRuns) {
    Run(20);
    ASSERT_TRUE(std::filesystem::exists(dir / "demo.sav"));
    std::vector<uint8_t> save = ReadFile(dir / "demo.sav");
    ASSERT_EQ(save.size(), 65536u);
    EXPECT_EQ(std::string(save.begin(), save.begin() + 4), SAVE_MAGIC);
    EXPECT_EQ(StartsInSave(save), 1u);
    EXPECT_EQ(save[SAVE_CHECK_OFFSET], SaveCheck(save.data()));

    Run(20);
    save = ReadFile(dir / "demo.sav");
    EXPECT_EQ(StartsInSave(save), 2u);
    EXPECT_EQ(save[SAVE_CHECK_OFFSET], SaveCheck(save.data()));
}

TEST_F(DemoTest, DamagedSaveStartsTheCountAgain) {
    // A save whose check byte does not match is not trusted: the count
    // starts from one, and the demo writes a whole, valid record.
    std::vector<uint8_t> save(65536, 0);
    const char* magic = SAVE_MAGIC;
    for (int i = 0; i < 4; ++i) save[i] = static_cast<uint8_t>(magic[i]);
    save[SAVE_COUNT_OFFSET] = 41;
    save[SAVE_CHECK_OFFSET] = static_cast<uint8_t>(SaveCheck(save.data()) + 1);
    WriteFile(dir / "demo.sav", save);
    Run(20);
    save = ReadFile(dir / "demo.sav");
    EXPECT_EQ(StartsInSave(save), 1u);

    // The same record with the right check byte is continued.
    save[SAVE_COUNT_OFFSET] = 41;
    save[SAVE_CHECK_OFFSET] = SaveCheck(save.data());
    WriteFile(dir / "demo.sav", save);
    Run(20);
    EXPECT_EQ(StartsInSave(ReadFile(dir / "demo.sav")), 42u);
}

}  // namespace
}  // namespace koru::test
