// The battery-save and state files: formats, refusals that change nothing,
// and writes that never lose the previous file.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cpu/cpu_state.h"
#include "hardware/backup.h"
#include "hardware/bus.h"
#include "hardware/interrupts.h"
#include "hardware/timers.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/savefiles.h"
#include "machine/settings.h"
#include "sound/direct_sound.h"
#include "support/test_machine.h"
#include "video/video_registers.h"

namespace koru {
namespace {

namespace fs = std::filesystem;
using test::MachineTest;
using test::MakeCartridge;
using test::ReadFile;
using test::WriteFile;

constexpr uint32_t SramBytes = 65536;

std::string Captured(void (*action)()) {
    testing::internal::CaptureStdout();
    action();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

void FillSram(uint8_t seed) {
    for (uint32_t a = 0; a < SramBytes; ++a) CartridgeSram[a] = static_cast<uint8_t>(a * 13 + seed);
}

// EEPROM block writes as a cartridge sends them.
void EepromWriteBlock(uint32_t block, uint64_t value) {
    auto send = [](uint64_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) WriteHalf(0x0D000000, static_cast<uint16_t>((bits >> i) & 1));
    };
    send(0b10, 2);
    send(block, 6);
    send(value, 64);
    send(0, 1);
}

uint64_t EepromReadBlock(uint32_t block) {
    auto send = [](uint64_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) WriteHalf(0x0D000000, static_cast<uint16_t>((bits >> i) & 1));
    };
    send(0b11, 2);
    send(block, 6);
    send(0, 1);
    for (int i = 0; i < 4; ++i) ReadHalf(0x0D000000);
    uint64_t value = 0;
    for (int i = 0; i < 64; ++i) value = (value << 1) | ReadHalf(0x0D000000);
    return value;
}

bool Exists(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

// ---------------------------------------------------------------------------
// Battery save

class BatterySaveTest : public MachineTest {
protected:
    fs::path Sav() const { return dir / "test.sav"; }
    void Restart() { Prepare(MakeCartridge()); }
};

TEST_F(BatterySaveTest, SramSurvivesARestartWithTheLogLines) {
    FillSram(1);
    const std::vector<uint8_t> sram(CartridgeSram, CartridgeSram + SramBytes);
    Verbose = 1;
    const std::string written = Captured([] { ShutdownMachine(); });
    EXPECT_EQ(written, "\nOpening " + Sav().string() + "...writing...OK\n");
    EXPECT_EQ(ReadFile(Sav()), sram) << "exactly the 65,536 bytes: no EEPROM in use";

    testing::internal::CaptureStdout();
    Restart();
    std::fflush(stdout);
    const std::string read = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_NE(read.find("Opening " + Sav().string() + "...reading...OK\n"), std::string::npos) << read;
    EXPECT_EQ(std::vector<uint8_t>(CartridgeSram, CartridgeSram + SramBytes), sram);
    EXPECT_EQ(Peek32(CartridgeSram + 0x100), Peek32(sram.data() + 0x100));
}

TEST_F(BatterySaveTest, AnAllZeroSramWritesNoFileAndLeavesAnOldOneAlone) {
    ShutdownMachine();
    EXPECT_FALSE(Exists(Sav()));

    const std::vector<uint8_t> zeros(1000, 0);
    WriteFile(Sav(), zeros);
    Restart();
    ShutdownMachine();
    EXPECT_EQ(ReadFile(Sav()), zeros);
}

TEST_F(BatterySaveTest, AShortFileFillsItsOwnLengthAndLogsFailed) {
    ShutdownMachine();
    WriteFile(Sav(), std::vector<uint8_t>(32768, 0x5A));
    Verbose = 1;
    testing::internal::CaptureStdout();
    Restart();
    std::fflush(stdout);
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_NE(log.find("Opening " + Sav().string() + "...reading...FAILED\n"), std::string::npos) << log;
    EXPECT_EQ(CartridgeSram[0], 0x5A);
    EXPECT_EQ(CartridgeSram[32767], 0x5A);
    EXPECT_EQ(CartridgeSram[32768], 0x00);
    EXPECT_EQ(CartridgeSram[65535], 0x00);
    for (uint8_t byte : EepromState.data) ASSERT_EQ(byte, 0);
}

TEST_F(BatterySaveTest, AMissingFileLogsFailedAndStartsZeroed) {
    ShutdownMachine();
    Verbose = 1;
    testing::internal::CaptureStdout();
    Restart();
    std::fflush(stdout);
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_NE(log.find("Opening " + Sav().string() + "...FAILED\n"), std::string::npos) << log;
}

TEST_F(BatterySaveTest, EepromDataTravelsWithItsCartridgeOnly) {
    EepromWriteBlock(5, 0x1122334455667788ull);
    ShutdownMachine();
    const std::vector<uint8_t> file = ReadFile(Sav());
    ASSERT_EQ(file.size(), SramBytes + 512u);
    for (uint32_t i = 0; i < SramBytes; ++i) ASSERT_EQ(file[i], 0) << i;
    EXPECT_EQ(Peek32(&file[SramBytes + 40]), 0x55667788u);
    EXPECT_EQ(Peek32(&file[SramBytes + 44]), 0x11223344u);

    // Second start of the same cartridge: the block reads back.
    Restart();
    EXPECT_EQ(EepromReadBlock(5), 0x1122334455667788ull);

    // The hardware reset keeps it; another cartridge does not see it.
    ResetHardware();
    EXPECT_EQ(EepromReadBlock(5), 0x1122334455667788ull);
    Prepare(MakeCartridge(), "other.gba");
    EXPECT_EQ(EepromReadBlock(5), 0u);
    for (uint8_t byte : EepromState.data) ASSERT_EQ(byte, 0);
    ShutdownMachine();
    EXPECT_FALSE(Exists(dir / "other.sav"));

    // A file with more than the EEPROM's bytes: the rest is ignored.
    std::vector<uint8_t> longer = file;
    longer.resize(SramBytes + 4096, 0xEE);
    WriteFile(Sav(), longer);
    Restart();
    EXPECT_EQ(EepromReadBlock(5), 0x1122334455667788ull);
    EXPECT_EQ(EepromState.data[512], 0);
}

TEST_F(BatterySaveTest, IdentificationModeLeftOnDoesNotLoseTheFirstTwoBytes) {
    FillSram(3);
    const uint16_t first = Peek16(CartridgeSram);
    ASSERT_NE(first, 0);
    for (auto [a, v] : {std::pair{0x5555u, 0xAA}, {0x2AAAu, 0x55}, {0x5555u, 0x90}}) {
        WriteByte(0x0E000000 + a, static_cast<uint8_t>(v));
    }
    ASSERT_EQ(Peek16(CartridgeSram), 0);
    ShutdownMachine();
    EXPECT_EQ(Peek16(ReadFile(Sav()).data()), first);
}

// ---------------------------------------------------------------------------
// Save types

// A cartridge whose image carries the save library's tag.
std::vector<uint8_t> TaggedCartridge(const std::string& tag) {
    std::vector<uint8_t> image = MakeCartridge();
    std::memcpy(&image[0x1234], tag.data(), tag.size());
    return image;
}

class SaveTypeTest : public BatterySaveTest {
protected:
    void Start(const std::string& tag) { Prepare(TaggedCartridge(tag)); }
    std::vector<uint8_t> SavedFile() {
        ShutdownMachine();
        return ReadFile(Sav());
    }
};

TEST_F(SaveTypeTest, EachTagGivesItsSaveTheRawSizeOfItsMemory) {
    const std::pair<const char*, size_t> types[] = {
        {"SRAM_V113", 32768},   {"SRAM_F_V100", 32768},   {"FLASH_V126", 65536},
        {"FLASH512_V131", 65536}, {"FLASH1M_V103", 131072}, {"EEPROM_V124", 512},
    };
    for (const auto& [tag, size] : types) {
        fs::remove(Sav());
        Start(tag);
        CartridgeSram[0x10] = 0x11;
        EepromWriteBlock(1, 0x0102030405060708ull);
        FlashBank1[0x20] = 0x22;
        if (CartridgeSaveType == SaveType::Eeprom) CartridgeSram[0x10] = 0;
        const std::vector<uint8_t> file = SavedFile();
        if (CartridgeSaveType == SaveType::Sram || CartridgeSaveType == SaveType::Flash64 ||
            CartridgeSaveType == SaveType::Flash128) {
            // The EEPROM has no place in these: it was written, so the
            // file keeps the layout that holds everything.
            EXPECT_EQ(file.size(), (size < 65536 ? 65536 : size) + 512) << tag;
        }
        Start(tag);
        for (uint8_t& byte : EepromState.data) byte = 0;
        CartridgeSram[0x10] = CartridgeSaveType == SaveType::Eeprom ? 0 : 0x11;
        if (CartridgeSaveType == SaveType::Eeprom) EepromWriteBlock(1, 0x0102030405060708ull);
        const std::vector<uint8_t> raw = SavedFile();
        ASSERT_EQ(raw.size(), size) << tag;
        if (size == 512) {
            // Each block in the order its bits travel, the first byte first.
            EXPECT_EQ(raw[8], 0x01) << tag;
            EXPECT_EQ(raw[15], 0x08) << tag;
        } else {
            EXPECT_EQ(raw[0x10], 0x11) << tag;
        }
        if (size == 131072) {
            EXPECT_EQ(raw[0x10020], 0x22) << "bank 1 after bank 0";
        }
    }
    // The first tag in the image decides; none keeps the 64 KB of SRAM.
    Prepare(TaggedCartridge("EEPROM_V124 SRAM_V113"));
    EXPECT_EQ(CartridgeSaveType, SaveType::Eeprom);
    Prepare(TaggedCartridge("SRAM-V113 FLASH_"));
    EXPECT_EQ(CartridgeSaveType, SaveType::Unknown);
}

TEST_F(SaveTypeTest, SavesOfTheEarlierLayoutLoadWithNothingLost) {
    // 64 KB of SRAM for a game that declares 32 KB: the upper half comes
    // in, and keeps the file at 64 KB while it holds anything.
    std::vector<uint8_t> sram(65536);
    for (size_t i = 0; i < sram.size(); ++i) sram[i] = static_cast<uint8_t>(i * 7 + 1);
    WriteFile(Sav(), sram);
    Start("SRAM_V113");
    EXPECT_EQ(std::vector<uint8_t>(CartridgeSram, CartridgeSram + 65536), sram);
    EXPECT_EQ(SavedFile(), sram);

    // 64 KB and the EEPROM's 512 bytes, as the EEPROM keeps them, for a
    // game that declares an EEPROM: the blocks read back, and the file
    // becomes the raw 512 bytes once nothing else is in it.
    std::vector<uint8_t> old(65536 + 512, 0);
    Poke32(&old[65536 + 40], 0x55667788);
    Poke32(&old[65536 + 44], 0x11223344);
    WriteFile(Sav(), old);
    Verbose = 1;
    testing::internal::CaptureStdout();
    Start("EEPROM_V124");
    std::fflush(stdout);
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_NE(log.find("reading...OK\n"), std::string::npos) << log;
    EXPECT_EQ(EepromReadBlock(5), 0x1122334455667788ull);
    const std::vector<uint8_t> raw = SavedFile();
    ASSERT_EQ(raw.size(), 512u);
    EXPECT_EQ(raw[40], 0x11);
    EXPECT_EQ(raw[47], 0x88);

    // 64 KB for a 128 KB FLASH game: bank 0, bank 1 stays empty.
    WriteFile(Sav(), sram);
    Start("FLASH1M_V103");
    EXPECT_EQ(CartridgeSram[1], sram[1]);
    const std::vector<uint8_t> both = SavedFile();
    ASSERT_EQ(both.size(), 131072u);
    EXPECT_TRUE(std::equal(sram.begin(), sram.end(), both.begin()));
}

TEST_F(SaveTypeTest, AFileOfNoLayoutLoadsWhatFitsAndStaysUntilTheGameSaves) {
    std::vector<uint8_t> odd(100000);
    for (size_t i = 0; i < odd.size(); ++i) odd[i] = static_cast<uint8_t>(i % 251);
    WriteFile(Sav(), odd);
    Verbose = 1;
    testing::internal::CaptureStdout();
    Start("FLASH_V126");
    std::fflush(stdout);
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_NE(log.find("reading...FAILED\n"), std::string::npos) << log;
    EXPECT_TRUE(std::equal(CartridgeSram, CartridgeSram + 65536, odd.begin()));
    ShutdownMachine();
    EXPECT_EQ(ReadFile(Sav()), odd) << "not cut down to 64 KB by a run that saved nothing";

    Start("FLASH_V126");
    CartridgeSram[5] ^= 0xFF;
    const std::vector<uint8_t> saved = SavedFile();
    ASSERT_EQ(saved.size(), 65536u) << "the game saved: its own layout replaces the file";
    EXPECT_EQ(saved[5], static_cast<uint8_t>(odd[5] ^ 0xFF));

    // An 8 KB image for an EEPROM game makes it the large chip, which the
    // processor's own bit-by-bit requests then address with 14 bits.
    std::vector<uint8_t> large(8192, 0);
    large[1000 * 8] = 0xAB;
    WriteFile(Sav(), large);
    Start("EEPROM_V124");
    EXPECT_EQ(EepromSize(), 8192u);
    auto send = [](uint64_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) WriteHalf(0x0D000000, static_cast<uint16_t>((bits >> i) & 1));
    };
    send(0b11, 2);
    send(1000, 14);
    send(0, 1);
    for (int i = 0; i < 4; ++i) ReadHalf(0x0D000000);
    uint32_t top = 0;
    for (int i = 0; i < 8; ++i) top = (top << 1) | ReadHalf(0x0D000000);
    EXPECT_EQ(top, 0xABu);
    EXPECT_EQ(SavedFile().size(), 8192u);
}

TEST_F(SaveTypeTest, HostsGetTheSaveAsOneImageOfOneSizeAndCanPutOneInPlace) {
    // Each declared memory at the largest size it takes, whatever it holds.
    const std::pair<const char*, uint32_t> sizes[] = {
        {"SRAM_V113", 32768}, {"FLASH_V126", 65536}, {"", 65536 + 8192}, {"EEPROM_V124", 8192}};
    for (const auto& [tag, size] : sizes) {
        Start(tag);
        EXPECT_EQ(BatterySaveImage().size, size) << tag;
    }

    // An EEPROM image (the last one started) with nothing past 512 bytes is
    // the small chip's; data further on makes it the large one.
    BatteryImage image = BatterySaveImage();
    std::memset(image.data, 0, image.size);
    image.data[8] = 0x01;
    image.data[15] = 0x08;
    BatterySaveImageWritten();
    EXPECT_EQ(EepromSize(), 512u);
    EXPECT_EQ(EepromReadBlock(1), 0x0100000000000008ull) << "first byte first, as its bits travel";
    image.data[1000 * 8] = 0xAB;
    BatterySaveImageWritten();
    EXPECT_EQ(EepromSize(), 8192u);
    EXPECT_EQ(BatterySaveImage().data[1000 * 8], 0xAB);

    Start("FLASH1M_V103");
    CartridgeSram[3] = 0x33;
    FlashBank1[4] = 0x44;
    image = BatterySaveImage();
    ASSERT_EQ(image.size, 131072u);
    EXPECT_EQ(image.data[3], 0x33);
    EXPECT_EQ(image.data[0x10004], 0x44);

    // A host's save replaces the whole of it, identification bytes aside.
    for (auto [a, v] : {std::pair{0x5555u, 0xAA}, {0x2AAAu, 0x55}, {0x5555u, 0x90}}) {
        WriteByte(0x0E000000 + a, static_cast<uint8_t>(v));
    }
    ASSERT_EQ(ReadHalf(0x0E000000), 0x09C2);
    std::memset(image.data, 0x77, 131072);
    BatterySaveImageWritten();
    EXPECT_EQ(ReadHalf(0x0E000000), 0x09C2) << "still identifying";
    EXPECT_EQ(CartridgeSram[3], 0x77);
    EXPECT_EQ(FlashBank1[4], 0x77);
    EXPECT_EQ(BatterySaveImage().data[0], 0x77) << "the real bytes under the identification";
}

TEST_F(SaveTypeTest, AStateOfATwoBankChipKeepsTheSecondBankAndTheBankShown) {
    Start("FLASH1M_V103");
    FlashBank1[0x100] = 0x5A;
    for (auto [a, v] : {std::pair{0x5555u, 0xAA}, {0x2AAAu, 0x55}, {0x5555u, 0xB0}, {0x0000u, 0x01}}) {
        WriteByte(0x0E000000 + a, static_cast<uint8_t>(v));
    }
    ASSERT_EQ(ReadByte(0x0E000100), 0x5A);
    ASSERT_EQ(SaveState("banks.sta"), 1);
    std::vector<uint8_t> file = ReadFile(dir / "banks.sta");
    ASSERT_EQ(file.size(), StateFileSize + 8 + 65536);
    EXPECT_EQ(file[StateFlashOffset + 7], 1) << "the bank shown";

    ResetHardware();
    FlashBank1[0x100] = 0;
    ASSERT_EQ(LoadState("banks.sta"), 1);
    EXPECT_EQ(ReadByte(0x0E000100), 0x5A) << "bank 1 shown, with its bytes";

    // Cut short before the block, a file that shows bank 1 is refused.
    file.resize(StateFileSize);
    WriteFile(dir / "cut.sta", file);
    EXPECT_EQ(LoadState("cut.sta"), 0);
    // A file without the block (written before banks) loads, leaving bank 1
    // as the machine has it: its real bytes, even while the machine shows
    // the identification over them.
    file[StateFlashOffset + 7] = 0;
    WriteFile(dir / "old.sta", file);
    FlashBank1[0x100] = 0x66;
    Poke16(FlashBank1, 0x3412);
    for (auto [a, v] : {std::pair{0x5555u, 0xAA}, {0x2AAAu, 0x55}, {0x5555u, 0x90}}) {
        WriteByte(0x0E000000 + a, static_cast<uint8_t>(v));
    }
    ASSERT_EQ(Peek16(FlashBank1), 0x09C2);
    ASSERT_EQ(LoadState("old.sta"), 1);
    EXPECT_EQ(FlashBank1[0x100], 0x66);
    EXPECT_EQ(Peek16(FlashBank1), 0x3412);
    EXPECT_EQ(FlashState.bank, 0);
}

TEST_F(SaveTypeTest, WithDirectSoundTheFifosBlockFollowsTheSecondBanksBlock) {
    Start("FLASH1M_V103");
    DirectSound = 1;
    FlashBank1[0x100] = 0x5A;
    WriteWord(0x040000A4, 0x11223344);
    ASSERT_EQ(SaveState("both.sta"), 1);
    const std::vector<uint8_t> file = ReadFile(dir / "both.sta");
    ASSERT_EQ(file.size(), StateFileSize + 8 + 65536 + 8 + DirectSoundStateBytes);
    EXPECT_EQ(std::memcmp(&file[StateFileSize + 8 + 65536], "DSND", 4), 0);
    ResetHardware();
    FlashBank1[0x100] = 0;
    ASSERT_EQ(LoadState("both.sta"), 1);
    EXPECT_EQ(FlashBank1[0x100], 0x5A);
    EXPECT_EQ(DirectFifos[1].count, 4u);
}

// ---------------------------------------------------------------------------
// Writes that fail leave the old file

class SafeWriteTest : public BatterySaveTest {
protected:
    void SetUp() override {
        BatterySaveTest::SetUp();
        FillSram(7);
        old = std::vector<uint8_t>(CartridgeSram, CartridgeSram + SramBytes);
        WriteBatterySave();
        ASSERT_EQ(ReadFile(Sav()), old);
        FillSram(8);  // what the failing write would have saved
    }
    // Writes the battery save and returns its verdict line.
    std::string WriteAndLog() {
        Verbose = 1;
        const std::string log = Captured([] { WriteBatterySave(); });
        Verbose = 0;
        return log;
    }
    std::vector<uint8_t> old;
};

TEST_F(SafeWriteTest, ATemporaryNameThatCannotBeCreatedLeavesTheOldFile) {
    // A directory where the temporary file would go: fails even for root.
    fs::create_directory(dir / "test.sav.tmp");
    EXPECT_EQ(WriteAndLog(), "\nOpening " + Sav().string() + "...FAILED\n");
    EXPECT_EQ(ReadFile(Sav()), old);

    ASSERT_TRUE(SaveState("game.sta"));
    const std::vector<uint8_t> state = ReadFile(dir / "game.sta");
    fs::create_directory(dir / "game.sta.tmp");
    CpuState.R[0] ^= 1;
    EXPECT_EQ(SaveState("game.sta"), 0);
    EXPECT_EQ(ReadFile(dir / "game.sta"), state);
}

TEST_F(SafeWriteTest, AFullDiskLeavesTheOldFileAndNoTemporaryFile) {
    // The temporary name leads to /dev/full, which fails every write with
    // "no space left", as a full disk does.
    if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", dir / "test.sav.tmp");
    EXPECT_EQ(WriteAndLog(), "\nOpening " + Sav().string() + "...writing...FAILED\n");
    EXPECT_EQ(ReadFile(Sav()), old);
    EXPECT_FALSE(Exists(dir / "test.sav.tmp"));

    ASSERT_TRUE(SaveState("game.sta"));
    const std::vector<uint8_t> state = ReadFile(dir / "game.sta");
    fs::create_symlink("/dev/full", dir / "game.sta.tmp");
    CpuState.R[0] ^= 1;
    EXPECT_EQ(SaveState("game.sta"), 0);
    EXPECT_EQ(ReadFile(dir / "game.sta"), state);
    EXPECT_FALSE(Exists(dir / "game.sta.tmp"));
}

TEST_F(SafeWriteTest, AStaleTemporaryFileFromAKilledRunIsReplaced) {
    WriteFile(dir / "test.sav.tmp", std::vector<uint8_t>(100000, 0xEE));
    EXPECT_EQ(WriteAndLog(), "\nOpening " + Sav().string() + "...writing...OK\n");
    EXPECT_EQ(ReadFile(Sav()), std::vector<uint8_t>(CartridgeSram, CartridgeSram + SramBytes));
    EXPECT_FALSE(Exists(dir / "test.sav.tmp"));
}

#ifndef _WIN32
// (Windows has no symbolic links that users make for saves.)
TEST_F(SafeWriteTest, ALinkedSaveIsWrittenWhereTheLinkPoints) {
    fs::create_directory(dir / "elsewhere");
    fs::rename(Sav(), dir / "elsewhere" / "real.sav");
    fs::create_symlink(dir / "elsewhere" / "real.sav", Sav());
    ::chmod((dir / "elsewhere" / "real.sav").string().c_str(), 0640);
    WriteBatterySave();
    EXPECT_TRUE(fs::is_symlink(Sav()));
    EXPECT_EQ(ReadFile(dir / "elsewhere" / "real.sav"),
              std::vector<uint8_t>(CartridgeSram, CartridgeSram + SramBytes));
    struct stat info;
    ASSERT_EQ(::stat((dir / "elsewhere" / "real.sav").string().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "permissions kept";
}

#endif

TEST_F(SafeWriteTest, AReadOnlySaveIsNotReplaced) {
#ifndef _WIN32
    // Permission bits do not stop root; the read-only attribute of Windows
    // stops everybody.
    if (geteuid() == 0) GTEST_SKIP() << "running as root";
#endif
    fs::permissions(Sav(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(WriteAndLog(), "\nOpening " + Sav().string() + "...FAILED\n");
    EXPECT_EQ(ReadFile(Sav()), old);
}

class LongNameTest : public test::TempDirTest {};

TEST_F(LongNameTest, SavesBesideACartridgeWithTheLongestNameAllowedAreWritten) {
    // 251 characters and ".gba": the ".sav" and ".sta" beside it are as long
    // as a name may be, so "<name>.tmp" could not be created there.
    const std::string stem(251, 'g');
    WriteFile(dir / (stem + ".gba"), MakeCartridge());
    ASSERT_TRUE(PrepareMachine((stem + ".gba").c_str()));
    FillSram(4);
    const std::vector<uint8_t> sram(CartridgeSram, CartridgeSram + SramBytes);
    WriteBatterySave();
    EXPECT_EQ(ReadFile(dir / (stem + ".sav")), sram);
    ASSERT_EQ(SaveState(StaName), 1);
    EXPECT_EQ(fs::file_size(dir / (stem + ".sta")), StateFileSize);
    // Written over again, and nothing else left in the directory.
    FillSram(5);
    WriteBatterySave();
    EXPECT_EQ(SaveState(StaName), 1);
    EXPECT_EQ(ReadFile(dir / (stem + ".sav"))[1], CartridgeSram[1]);
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        ++entries;
        (void)entry;
    }
    EXPECT_EQ(entries, 3u);
    EXPECT_EQ(LoadState(StaName), 1);
}

#ifndef _WIN32
// A small tmpfs that the old files nearly fill: the real full disk. Needs
// the right to mount (root in the usual test container); skipped without.
class FullDiskTest : public test::TempDirTest {
protected:
    void TearDown() override {
        ShutdownMachine();
        if (mounted) ::umount2(disk.c_str(), MNT_DETACH);
        test::TempDirTest::TearDown();
    }
    fs::path disk;
    bool mounted = false;
};

TEST_F(FullDiskTest, WritesThatDoNotFitLeaveTheOldFilesWhole) {
    disk = dir / "disk";
    fs::create_directory(disk);
    // 155 pages: the cartridge takes 4, the battery save 16, the state 125.
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=620k") != 0) GTEST_SKIP() << "cannot mount a tmpfs";
    mounted = true;
    WriteFile(disk / "game.gba", MakeCartridge(16384));
    ASSERT_TRUE(PrepareMachine((disk / "game.gba").c_str()));
    FillSram(1);
    WriteBatterySave();
    const std::vector<uint8_t> oldSave = ReadFile(disk / "game.sav");
    ASSERT_EQ(oldSave.size(), SramBytes);
    ASSERT_TRUE(SaveState((disk / "game.sta").c_str()));
    const std::vector<uint8_t> oldState = ReadFile(disk / "game.sta");
    ASSERT_EQ(oldState.size(), StateFileSize);
    ASSERT_LT(fs::space(disk).available, SramBytes) << "the premise: no room for another copy";

    FillSram(2);
    CpuState.R[0] ^= 1;
    Verbose = 1;
    const std::string log = Captured([] { WriteBatterySave(); });
    Verbose = 0;
    EXPECT_NE(log.find("writing...FAILED\n"), std::string::npos) << log;
    EXPECT_EQ(ReadFile(disk / "game.sav"), oldSave);
    EXPECT_EQ(SaveState((disk / "game.sta").c_str()), 0);
    EXPECT_EQ(ReadFile(disk / "game.sta"), oldState);
    EXPECT_FALSE(Exists(disk / "game.sav.tmp"));
    EXPECT_FALSE(Exists(disk / "game.sta.tmp"));
    // The old state is still a good one.
    EXPECT_EQ(LoadState((disk / "game.sta").c_str()), 1);
}
#endif

// ---------------------------------------------------------------------------
// State file

// Everything a state load may change. The timers' running counts are in the
// file as their counter registers show them.
std::vector<uint8_t> Snapshot() {
    std::vector<uint8_t> bytes;
    auto add = [&bytes](const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    };
    add(&CpuState, sizeof CpuState);
    add(&FlashState.commandState, 1);
    add(&FlashState.idMode, 1);
    add(&FlashState.log, 1);
    add(&FlashState.savedBytes, 2);
    add(&HaltState, 4);
    add(&BlendCoefficients, sizeof BlendCoefficients);
    add(BgOrder, sizeof BgOrder);
    add(TimerPrescale, sizeof TimerPrescale);
    add(TimerCountdown, sizeof TimerCountdown);
    add(TimerCounter, sizeof TimerCounter);
    add(TimerReload, sizeof TimerReload);
    add(BgAffineState, sizeof BgAffineState);
    add(WordAccessCost, sizeof WordAccessCost);
    add(HalfAccessCost, sizeof HalfAccessCost);
    add(InternalWram, InternalWramSize);
    add(ExternalWram, ExternalWramSize);
    add(IoRam, IoRamSize);
    add(PaletteRam, PaletteRamSize);
    add(Vram, VramSize);
    add(SpriteRam, SpriteRamSize);
    add(CartridgeSram, CartridgeSramSize);
    return bytes;
}

// A machine state unlike the reset one, different for each seed, every
// hardware word within what the machine produces.
void Scramble(uint8_t seed) {
    auto fill = [seed](uint8_t* p, uint32_t n, uint8_t salt) {
        for (uint32_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>((i * 31 + seed * 17 + salt) ^ (i >> 9));
    };
    fill(reinterpret_cast<uint8_t*>(&CpuState), sizeof CpuState, 1);
    CpuState.CPSR = 0x6000001F + seed;
    CpuState.SliceCycles = seed & 1 ? 960 : 272;
    CpuState.Cycles = 100 + seed;
    CpuState.SavedCycles = -5 - seed;
    fill(InternalWram, InternalWramSize, 2);
    fill(ExternalWram, ExternalWramSize, 3);
    fill(IoRam, IoRamSize, 4);
    fill(PaletteRam, PaletteRamSize, 5);
    fill(Vram, VramSize, 6);
    fill(SpriteRam, SpriteRamSize, 7);
    fill(CartridgeSram, CartridgeSramSize, 8);
    const uint16_t wait = seed & 1 ? 0x4317 : 0x0000;
    Poke16(IoRam + 0x204, wait);
    ApplyWaitControl(wait);

    FlashState.commandState = seed % 7;
    FlashState.idMode = seed & 1;
    FlashState.savedBytes = static_cast<uint16_t>(0xBEEF + seed);
    HaltState = seed % 3;
    BlendCoefficients = BlendRecord{16 - seed % 4, seed % 5, 16};
    // Backgrounds 2, 0, 3, 1 from the rear, with priorities in bits 30-31
    // matching control bits 0-1, one with the second-target flag.
    const uint32_t keys[4] = {0x0003u | 2u << 28 | 3u << 30, 0x1F02u | 0u << 28 | 2u << 30 | 1u << 27,
                              0x4401u | 3u << 28 | 1u << 30, (0x0100u + (seed << 4)) | 1u << 28};
    for (int i = 0; i < 4; ++i) BgOrder[i] = seed & 1 ? keys[i] : keys[3 - i];
    const int32_t prescale[4] = {1, 64, 256, 1024};
    const int32_t countdown[4] = {1, 0, 256, 77 + seed};
    for (int n = 0; n < 4; ++n) {
        TimerPrescale[n] = prescale[n];
        TimerCountdown[n] = countdown[n];
        // The counter register shows the running count; the reload value
        // is the timer's own.
        TimerCounter[n] = Peek16(IoRam + 0x100 + 4 * n);
        TimerReload[n] = 0xFF00u + seed + static_cast<uint32_t>(n);
    }
    BgAffineState[0] = BgAffineRecord{-1000 - seed, 2000, -30000, 40000, 0x100, -0x80, 3, 0x7FFF};
    BgAffineState[1] = BgAffineRecord{5, -6, 7 + seed, -8, -0x100, 0x40, -3, 0x123};
    // The reference registers hold the points, as the writes that set the
    // points leave them.
    const uint32_t points[4][2] = {{0x28, 0}, {0x2C, 1}, {0x38, 2}, {0x3C, 3}};
    for (const auto& [offset, which] : points) {
        const BgAffineRecord& bg = BgAffineState[which / 2];
        Poke32(IoRam + offset, static_cast<uint32_t>(which & 1 ? bg.refY : bg.refX) & 0x0FFFFFFF);
    }
}

class StateFileTest : public MachineTest {
protected:
    // Saves a scrambled machine to "good.sta" and returns its bytes.
    std::vector<uint8_t> GoodFile() {
        Scramble(1);
        EXPECT_EQ(SaveState("good.sta"), 1);
        return ReadFile(dir / "good.sta");
    }
    // Loads the bytes as a state file into a machine scrambled differently;
    // expects it refused with nothing changed.
    void ExpectRefused(const std::vector<uint8_t>& file, const std::string& what) {
        WriteFile(dir / "bad.sta", file);
        Scramble(2);
        const std::vector<uint8_t> before = Snapshot();
        EXPECT_EQ(LoadState("bad.sta"), 0) << what;
        EXPECT_TRUE(Snapshot() == before) << what << ": the machine changed";
    }
};

uint32_t HardwareWord(const std::vector<uint8_t>& file, int index) {
    return Peek32(&file[StateHardwareOffset + 4 * index]);
}

TEST_F(StateFileTest, SaveThenLoadBringsBackEverythingStored) {
    Scramble(1);
    const std::vector<uint8_t> saved = Snapshot();
    ASSERT_EQ(SaveState("round.sta"), 1);
    Scramble(2);
    ASSERT_NE(Snapshot(), saved);
    ASSERT_EQ(LoadState("round.sta"), 1);
    EXPECT_TRUE(Snapshot() == saved);
    EXPECT_EQ(FlashState.storage, CartridgeSram);

    // A freshly reset machine's file loads too.
    ResetHardware();
    const std::vector<uint8_t> reset = Snapshot();
    ASSERT_EQ(SaveState("reset.sta"), 1);
    Scramble(3);
    ASSERT_EQ(LoadState("reset.sta"), 1);
    EXPECT_TRUE(Snapshot() == reset);
}

TEST_F(StateFileTest, WithDirectSoundTheFifosFollowTheLayoutInATaggedBlockThatTheLayoutAloneIgnores) {
    DirectSound = 1;
    for (uint32_t i = 0; i < 20; ++i) WriteByte(0x040000A0 + (i & 3), static_cast<uint8_t>(i + 1));
    WriteWord(0x040000A4, 0x11223344);
    DirectFifos[1].sample = -5;
    const DirectFifoRecord a = DirectFifos[0], b = DirectFifos[1];
    ASSERT_EQ(a.count, 20u);
    EXPECT_EQ(a.bytes[19], 20);
    ASSERT_EQ(SaveState("sound.sta"), 1);
    const std::vector<uint8_t> file = ReadFile(dir / "sound.sta");
    ASSERT_EQ(file.size(), StateFileSize + 8 + DirectSoundStateBytes);
    EXPECT_EQ(std::memcmp(&file[StateFileSize], "DSND", 4), 0);
    EXPECT_EQ(Peek32(&file[StateFileSize + 4]), DirectSoundStateBytes);

    ResetDirectSound();
    ASSERT_EQ(LoadState("sound.sta"), 1);
    EXPECT_EQ(std::memcmp(&DirectFifos[0], &a, sizeof a), 0);
    EXPECT_EQ(std::memcmp(&DirectFifos[1], &b, sizeof b), 0);

    // A count the FIFO cannot hold: the state loads with the FIFOs empty.
    std::vector<uint8_t> damaged = file;
    Poke32(&damaged[StateFileSize + 8 + 36], 33);
    WriteFile(dir / "damaged.sta", damaged);
    ASSERT_EQ(LoadState("damaged.sta"), 1);
    EXPECT_EQ(DirectFifos[0].count, 0u);

    // With the setting off the block is not read, and the file written is
    // the layout alone, the same bytes as before it.
    DirectSound = 0;
    ASSERT_EQ(LoadState("sound.sta"), 1);
    EXPECT_EQ(DirectFifos[0].count, 0u);
    ASSERT_EQ(SaveState("plain.sta"), 1);
    const std::vector<uint8_t> plain = ReadFile(dir / "plain.sta");
    ASSERT_EQ(plain.size(), StateFileSize);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), file.begin()));
}

TEST_F(StateFileTest, TheFileLayout) {
    const std::vector<uint8_t> file = GoodFile();
    ASSERT_EQ(file.size(), StateFileSize);
    const uint8_t header[8] = {0x53, 0x54, 0x44, 0x1A, 0x01, CartridgeRom[0xBD], CartridgeRom[0xBF],
                               CartridgeRom[0xBE]};
    EXPECT_EQ(std::memcmp(file.data(), header, 8), 0);
    for (int i = 8; i < 16; ++i) EXPECT_EQ(file[i], 0) << i;
    EXPECT_EQ(std::memcmp(&file[16], &CpuState, 188), 0);
    const uint8_t flash[12] = {0, 0, 0, 0, 1, 1, FlashState.log, 0, 0xF0, 0xBE, 0, 0};
    EXPECT_EQ(std::memcmp(&file[204], flash, 12), 0);
    EXPECT_EQ(HardwareWord(file, 0), 1u);            // HaltState
    EXPECT_EQ(HardwareWord(file, 1), 16u);           // brightWeight
    EXPECT_EQ(HardwareWord(file, 2), 15u);           // firstWeight
    EXPECT_EQ(HardwareWord(file, 3), 1u);            // secondWeight
    EXPECT_EQ(HardwareWord(file, 4), BgOrder[0]);
    EXPECT_EQ(HardwareWord(file, 11), 1024u);        // TimerPrescale[3]
    EXPECT_EQ(HardwareWord(file, 15), 78u);          // TimerCountdown[3]
    EXPECT_EQ(HardwareWord(file, 16), static_cast<uint32_t>(-1001));  // background 2 refX
    EXPECT_EQ(HardwareWord(file, 23), 0x7FFFu);      // background 2 pd
    EXPECT_EQ(HardwareWord(file, 26), 8u);           // background 3 curX
    // Words 32-35 of the reserved area keep the timers' reload values, word
    // 36 a mark that they do; the rest stays zero.
    for (uint32_t n = 0; n < 4; ++n) EXPECT_EQ(HardwareWord(file, 32 + n), TimerReload[n]) << n;
    EXPECT_EQ(HardwareWord(file, 36), 0x4C524D54u);
    for (int w = 37; w < 256; ++w) ASSERT_EQ(HardwareWord(file, w), 0u) << "reserved word " << w;
    EXPECT_EQ(std::memcmp(&file[1240], InternalWram, InternalWramSize), 0);
    EXPECT_EQ(std::memcmp(&file[34008], ExternalWram, ExternalWramSize), 0);
    EXPECT_EQ(std::memcmp(&file[296152], IoRam, IoRamSize), 0);
    EXPECT_EQ(std::memcmp(&file[312536], PaletteRam, PaletteRamSize), 0);
    EXPECT_EQ(std::memcmp(&file[328920], Vram, VramSize), 0);
    EXPECT_EQ(std::memcmp(&file[427224], SpriteRam, SpriteRamSize), 0);
    EXPECT_EQ(std::memcmp(&file[443608], CartridgeSram, CartridgeSramSize), 0);
}

// A state file kept from an earlier build (the demo's rotation scene: halted,
// timer 1 running at prescale 1024, background 2 turned) still loads, each
// word reaching its owner, and saves back to the same bytes but for the
// reserved words where the timers now keep their reload values: that file's
// counter registers hold the reload values, and the running counts start
// from them.
TEST_F(StateFileTest, AStateFileOfAnEarlierBuildLoadsAndSavesBackUnchanged) {
    std::vector<uint8_t> kept = ReadFile(fs::path(KORU_TESTS_DIR) / "machine/data/rotation-scene.sta");
    ASSERT_EQ(kept.size(), StateFileSize);
    // It belongs to the demo; this machine runs another cartridge.
    kept[5] = CartridgeRom[0xBD];
    kept[6] = CartridgeRom[0xBF];
    kept[7] = CartridgeRom[0xBE];
    WriteFile(dir / "kept.sta", kept);
    ASSERT_EQ(LoadState("kept.sta"), 1);
    EXPECT_EQ(HaltState, 1u);
    EXPECT_EQ(TimerPrescale[1], 1024);
    EXPECT_EQ(TimerCountdown[1], 303);
    EXPECT_EQ(BgAffineState[0].pa, -284);
    EXPECT_EQ(BgAffineState[0].pb, -42);
    EXPECT_EQ(BlendCoefficients.firstWeight, 10);
    EXPECT_EQ(BgOrder[3] & BgOrderControl, 0x1C00u);
    for (uint32_t n = 0; n < 4; ++n) {
        EXPECT_EQ(TimerReload[n], Peek16(&kept[StateRegionsOffset + 32768 + 262144 + 0x100 + 4 * n])) << n;
        EXPECT_EQ(static_cast<uint32_t>(TimerCounter[n]), TimerReload[n]) << n;
    }
    ASSERT_EQ(SaveState("again.sta"), 1);
    std::vector<uint8_t> again = ReadFile(dir / "again.sta");
    for (uint32_t w = 32; w <= 36; ++w) Poke32(&again[StateHardwareOffset + 4 * w], 0);
    EXPECT_TRUE(again == kept);
}

// An earlier build's reset left half of the points as the last game had
// them; a state saved after that holds a point its own registers do not.
// It loads with the registers' point, and the frame's progress from it.
TEST_F(StateFileTest, APointItsRegistersDoNotHoldIsNotBroughtBack) {
    Scramble(1);
    BgAffineState[0].refY += 0x50000;
    BgAffineState[0].curY += 0x50000;
    BgAffineState[1].refX -= 0x300;
    BgAffineState[1].curX -= 0x300;
    ASSERT_EQ(SaveState("stale.sta"), 1);
    Scramble(2);
    ASSERT_EQ(LoadState("stale.sta"), 1);
    EXPECT_EQ(BgAffineState[0].refY, 2000);
    EXPECT_EQ(BgAffineState[0].curY, 40000);
    EXPECT_EQ(BgAffineState[1].refX, 5);
    EXPECT_EQ(BgAffineState[1].curX, 7 + 1);
}

// Hosts that keep states in memory get the file's bytes, and the same
// refusals.
TEST_F(StateFileTest, AStateInMemoryIsTheFileAndIsCheckedLikeIt) {
    const std::vector<uint8_t> file = GoodFile();
    const std::vector<uint8_t> good = Snapshot();
    std::vector<uint8_t> buffer(StateFileSize);
    ASSERT_TRUE(SaveStateToBuffer(buffer.data()));
    EXPECT_TRUE(buffer == file);

    Scramble(2);
    const std::vector<uint8_t> before = Snapshot();
    EXPECT_FALSE(LoadStateFromBuffer(buffer.data(), StateFileSize - 1));
    std::vector<uint8_t> foreign = buffer;
    foreign[5] ^= 0xFF;
    EXPECT_FALSE(LoadStateFromBuffer(foreign.data(), foreign.size()));
    EXPECT_TRUE(Snapshot() == before);
    ASSERT_TRUE(LoadStateFromBuffer(buffer.data(), buffer.size()));
    EXPECT_TRUE(Snapshot() == good);
}

TEST_F(StateFileTest, OnlyTheFirstMagicByteAndTheCartridgeBytesAreChecked) {
    std::vector<uint8_t> file = GoodFile();
    const std::vector<uint8_t> saved = Snapshot();
    file[1] = 'x';
    file[4] = 0x02;
    file[12] = 0x77;
    file[StateFlashOffset] = 0xAB;  // the storage placeholder
    file[StateHardwareOffset + 4 * 100] = 0xFF;  // a reserved word
    WriteFile(dir / "other.sta", file);
    Scramble(2);
    ASSERT_EQ(LoadState("other.sta"), 1);
    EXPECT_TRUE(Snapshot() == saved);

    file[0] = 0x54;
    ExpectRefused(file, "first magic byte");
    file[0] = 0x53;
    for (int i = 5; i <= 7; ++i) {
        std::vector<uint8_t> foreign = file;
        foreign[i] ^= 0x01;
        ExpectRefused(foreign, "cartridge byte " + std::to_string(i));
    }
}

TEST_F(StateFileTest, AnotherCartridgesStateIsRefused) {
    const std::vector<uint8_t> file = GoodFile();
    Prepare(MakeCartridge(64 * 1024, "ANOTHER GAME"), "another.gba");
    ExpectRefused(file, "another title");
    Prepare(MakeCartridge(80 * 1024), "longer.gba");
    ExpectRefused(file, "another length");
}

TEST_F(StateFileTest, EveryTruncationIsRefusedWithNothingChanged) {
    const std::vector<uint8_t> file = GoodFile();
    for (size_t length : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{203}, size_t{204},
                          size_t{215}, size_t{216}, size_t{1239}, size_t{1240}, size_t{34008}, size_t{296152},
                          size_t{312536}, size_t{328920}, size_t{427224}, size_t{443608},
                          size_t{StateFileSize - 1}}) {
        ExpectRefused(std::vector<uint8_t>(file.begin(), file.begin() + length),
                      "cut at " + std::to_string(length));
    }
    // Bytes past the end are ignored.
    std::vector<uint8_t> longer = file;
    longer.resize(StateFileSize + 100, 0xEE);
    WriteFile(dir / "longer.sta", longer);
    EXPECT_EQ(LoadState("longer.sta"), 1);
    EXPECT_EQ(LoadState("no such file.sta"), 0);
}

TEST_F(StateFileTest, WordsOutsideWhatTheMachineProducesAreRefused) {
    const std::vector<uint8_t> file = GoodFile();
    struct Change {
        int word;
        uint32_t value;
        const char* what;
    };
    const Change changes[] = {
        {0, 3, "HaltState 3"},
        {1, 17, "brightness weight 17"},
        {2, 17, "first weight 17"},
        {3, 0xFFFFFFFF, "second weight -1"},
        {8, 2, "prescale 2"},
        {9, 0xFFFFFFFF, "prescale -1"},
        {10, 128, "prescale 128"},
        {11, 4096, "prescale 4096"},
        {12, 2, "countdown above prescale 1"},
        {14, 257, "countdown above prescale 256"},
        {15, 0xFFFFFFFF, "countdown -1"},
        {12, 0, "timer 0 counting overflows of no timer"},
        {4, HardwareWord(file, 5), "two words for one background"},
        {4, HardwareWord(file, 4) | 0x00010000, "bits 16-26 set"},
        {4, HardwareWord(file, 4) ^ 0x40000000, "priority unlike the control value"},
    };
    for (const Change& change : changes) {
        std::vector<uint8_t> bad = file;
        Poke32(&bad[StateHardwareOffset + 4 * change.word], change.value);
        ExpectRefused(bad, change.what);
    }
    std::vector<uint8_t> bad = file;
    bad[StateFlashOffset + 4] = 8;
    ExpectRefused(bad, "FLASH command state 8");
    bad = file;
    bad[StateFlashOffset + 5] = 2;
    ExpectRefused(bad, "FLASH identification mode 2");
    bad = file;
    bad[StateFlashOffset + 7] = 2;
    ExpectRefused(bad, "FLASH bank 2");
    bad = file;
    Poke32(&bad[StateCpuOffset + 0xA8], 0x7FFFFFF0);
    ExpectRefused(bad, "Cycles near overflow");
    bad = file;
    Poke32(&bad[StateCpuOffset + 0xA4], 0x80000000);
    ExpectRefused(bad, "SliceCycles near overflow");
    bad = file;
    Poke32(&bad[StateCpuOffset + 0xAC], 1u << 21);
    ExpectRefused(bad, "a remainder of thousands of slices, run without a half-line step");

    // The edges of the ranges load.
    std::vector<uint8_t> edge = file;
    Poke32(&edge[StateHardwareOffset + 0], 2);
    Poke32(&edge[StateHardwareOffset + 4 * 1], 16);
    Poke32(&edge[StateHardwareOffset + 4 * 8], 0);   // timer 0 stopped
    Poke32(&edge[StateHardwareOffset + 4 * 12], 0);
    Poke32(&edge[StateHardwareOffset + 4 * 13], 64);  // countdown = prescale
    Poke32(&edge[StateHardwareOffset + 4 * 14], 0);   // timer 2 counting up
    WriteFile(dir / "edge.sta", edge);
    EXPECT_EQ(LoadState("edge.sta"), 1);
    EXPECT_EQ(HaltState, 2u);
    EXPECT_EQ(TimerCountdown[1], 64);
}

TEST_F(StateFileTest, TheDeepestDebtThatLongTransfersLeaveLoads) {
    // A repeating horizontal-blank transfer of 16,384 words from slow SRAM
    // onto the interrupt enable register with an interrupt pending: a debt
    // of 300,000 cycles a line, part of it set aside by the slice cut that
    // the first unit makes and added back at the next slice end, which takes
    // the count below the 2^24 cycles of one transfer's floor. The file saved
    // then loads.
    WriteHalf(0x04000204, 0x0003);
    WriteWord(0x0E000000, 0x00000001);
    Poke16(IoRam + 0x202, 0x0001);
    WriteHalf(0x04000208, 1);
    WriteWord(0x040000BC, 0x0E000000);
    WriteWord(0x040000C0, 0x04000200);
    WriteHalf(0x040000C4, 0);
    WriteHalf(0x040000C6, 0xA000 | 0x0200 | 0x0400 | 0x0100 | 0x0040);
    CpuState.Cycles = 0;
    while (CpuState.Cycles >= -(1 << 24)) {
        ASSERT_TRUE(EndSlice(CpuState));
        ASSERT_LT(Peek16(IoRam + 0x006), 160) << "no such debt within a frame";
    }
    const CpuRecord deep = CpuState;
    ASSERT_EQ(SaveState("deep.sta"), 1);
    Scramble(2);
    ASSERT_EQ(LoadState("deep.sta"), 1);
    EXPECT_EQ(std::memcmp(&CpuState, &deep, sizeof deep), 0);
}

TEST_F(StateFileTest, WhatTheRegisterWritesAndTheTimersProduceLoads) {
    // Backgrounds with all four priorities, reordered several times.
    const uint16_t controls[][4] = {{0x0003, 0x1F02, 0x4401, 0x0100}, {0x0101, 0x0002, 0x0203, 0x0000},
                                    {0x8883, 0x8882, 0x8881, 0x8880}};
    for (const auto& set : controls) {
        for (int n = 0; n < 4; ++n) WriteHalf(0x04000008 + 2 * n, set[n]);
    }
    WriteHalf(0x04000052, 0x1010);  // both weights 16
    WriteHalf(0x04000054, 0x0007);
    // Timer 0 at prescale 1, timer 1 counting its overflows, timers 2 and 3
    // at 256 and 1024.
    const uint16_t timers[4] = {0x0080, 0x0084, 0x0082, 0x0083};
    for (int n = 0; n < 4; ++n) {
        WriteHalf(0x04000100 + 4 * n, 0xFF00);
        WriteHalf(0x04000102 + 4 * n, timers[n]);
    }
    WriteHalf(0x04000204, 0x4317);
    // Slices as the processor loop ends them, each spent to the last cycle.
    for (int slice = 0; slice < 2000; ++slice) {
        CpuState.Cycles = 0;
        ASSERT_TRUE(EndSlice(CpuState));
    }
    const std::vector<uint8_t> saved = Snapshot();
    ASSERT_EQ(SaveState("live.sta"), 1);
    Scramble(2);
    ASSERT_EQ(LoadState("live.sta"), 1);
    EXPECT_TRUE(Snapshot() == saved);
    EXPECT_EQ(HalfAccessCost[0x8], 2) << "access costs follow the restored wait-state control";
}

TEST_F(StateFileTest, AStateOlderThanTheBatterySaveIsNotLoadedAtStartUpOnlyByHand) {
    // The state was saved, then the game saved again (the battery save kept
    // it), then the run was killed.
    FillSram(1);
    ASSERT_EQ(SaveState(StaName), 1);
    FillSram(2);
    WriteBatterySave();
    const std::vector<uint8_t> newer = ReadFile(dir / "test.sav");
    fs::last_write_time(dir / "test.sta", fs::last_write_time(dir / "test.sav") - std::chrono::hours(1));
    Verbose = 1;
    testing::internal::CaptureStdout();
    Prepare(MakeCartridge());
    std::fflush(stdout);
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_NE(log.find("Not loading " + (dir / "test.sta").string() + ": it is older than the battery save\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(CpuState.R[15], 0x08000000u) << "started afresh";
    EXPECT_TRUE(std::equal(newer.begin(), newer.end(), CartridgeSram));
    ShutdownMachine();
    EXPECT_EQ(ReadFile(dir / "test.sav"), newer);

    // Loaded by hand (F8), it loads as always.
    Prepare(MakeCartridge());
    EXPECT_EQ(LoadState(StaName), 1);
    EXPECT_EQ(CartridgeSram[1], static_cast<uint8_t>(13 + 1));

    // Older but holding the same saves, it loses nothing and loads.
    FillSram(2);
    CpuState.R[15] = 0x08001234;
    ASSERT_EQ(SaveState(StaName), 1);
    ShutdownMachine();
    fs::last_write_time(dir / "test.sta", fs::last_write_time(dir / "test.sav") - std::chrono::hours(1));
    Prepare(MakeCartridge());
    EXPECT_EQ(CpuState.R[15], 0x08001234u);
}

TEST_F(StateFileTest, StartUpLoadsTheStateBesideTheCartridge) {
    Scramble(1);
    ASSERT_EQ(SaveState(StaName), 1);
    const CpuRecord saved = CpuState;
    const std::vector<uint8_t> iwram(InternalWram, InternalWram + InternalWramSize);
    Verbose = 1;
    testing::internal::CaptureStdout();
    Prepare(MakeCartridge());
    std::fflush(stdout);
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_NE(log.find("Loaded state from " + (dir / "test.sta").string() + "\n"), std::string::npos) << log;
    EXPECT_EQ(std::memcmp(&CpuState, &saved, sizeof saved), 0);
    EXPECT_EQ(std::vector<uint8_t>(InternalWram, InternalWram + InternalWramSize), iwram);

    // A broken one beside it: the machine starts fresh.
    std::vector<uint8_t> cut = ReadFile(dir / "test.sta");
    cut.resize(1000);
    WriteFile(dir / "test.sta", cut);
    Prepare(MakeCartridge());
    EXPECT_EQ(CpuState.R[15], 0x08000000u);
    EXPECT_EQ(CpuState.CPSR, 0x1Fu);
}

// ---------------------------------------------------------------------------
// Saving while the game runs

uint64_t FakeNow;
uint64_t FakeClock() { return FakeNow; }

class PeriodicSaveTest : public BatterySaveTest {
protected:
    void SetUp() override {
        FakeNow = 1'000'000;
        BatterySaveClock = FakeClock;
        BatterySaveTest::SetUp();
    }
    void TearDown() override {
        BatterySaveTest::TearDown();
        BatterySaveClock = original;
    }
    // n vertical blanks, each 1/60 s of wall time later.
    void Frames(int n) {
        for (int i = 0; i < n; ++i) {
            FakeNow += 17;
            BatterySaveTick();
        }
    }
    std::vector<uint8_t> Sram() const { return std::vector<uint8_t>(CartridgeSram, CartridgeSram + SramBytes); }
    uint64_t (*original)() = BatterySaveClock;
};

TEST_F(PeriodicSaveTest, ABackupMemoryNeverWrittenNeverMakesAFile) {
    Frames(60 * 30);
    EXPECT_FALSE(Exists(Sav()));
}

TEST_F(PeriodicSaveTest, AChangeIsWrittenAfterASecondOfFramesAndOfWallTime) {
    WriteByte(0x0E000010, 0x42);
    Frames(59);
    EXPECT_FALSE(Exists(Sav())) << "59 frames are not a second of play";
    Frames(1);
    ASSERT_TRUE(Exists(Sav()));
    EXPECT_EQ(ReadFile(Sav()), Sram());

    // Fast frames: 60 of them in half a second wait for the wall clock.
    WriteByte(0x0E000011, 0x43);
    for (int i = 0; i < 120; ++i) {
        FakeNow += 4;
        BatterySaveTick();
    }
    EXPECT_EQ(ReadFile(Sav())[0x11], 0) << "written again within a second";
    FakeNow += 1000;
    BatterySaveTick();
    EXPECT_EQ(ReadFile(Sav())[0x11], 0x43);

    // Wall time without frames (a paused game) writes nothing either.
    WriteByte(0x0E000012, 0x44);
    FakeNow += 60'000;
    for (int i = 0; i < 59; ++i) BatterySaveTick();
    EXPECT_EQ(ReadFile(Sav())[0x12], 0);
    BatterySaveTick();
    EXPECT_EQ(ReadFile(Sav())[0x12], 0x44);
}

TEST_F(PeriodicSaveTest, WritesWhileTheGameRunsLeaveTheLogAsAtShutDown) {
    WriteByte(0x0E000010, 0x42);
    Verbose = 1;
    const std::string running = Captured([] {
        for (int i = 0; i < 60; ++i) {
            FakeNow += 17;
            BatterySaveTick();
        }
    });
    const std::string stopping = Captured([] { ShutdownMachine(); });
    Verbose = 0;
    EXPECT_EQ(ReadFile(Sav())[0x10], 0x42) << "written while running";
    EXPECT_EQ(running, "");
    EXPECT_EQ(stopping, "\nOpening " + Sav().string() + "...writing...OK\n");
}

TEST_F(PeriodicSaveTest, OnlyChangesSinceTheLastWriteOrReadAreWritten) {
    WriteByte(0x0E000010, 0x42);
    Frames(60);
    ASSERT_TRUE(Exists(Sav()));
    fs::remove(Sav());
    WriteByte(0x0E000010, 0x42);  // the same byte again
    Frames(600);
    EXPECT_FALSE(Exists(Sav())) << "nothing changed since the last write";

    WriteBatterySave();
    Restart();  // reads the file back
    fs::remove(Sav());
    Frames(600);
    EXPECT_FALSE(Exists(Sav())) << "nothing changed since the file was read";
}

TEST_F(PeriodicSaveTest, AnEepromChangeIsWrittenWithTheSram) {
    EepromWriteBlock(1, 0xABCDEF);
    Frames(60);
    const std::vector<uint8_t> file = ReadFile(Sav());
    ASSERT_EQ(file.size(), SramBytes + 512);
    EXPECT_EQ(Peek32(&file[SramBytes + 8]), 0xABCDEFu);
}

TEST_F(PeriodicSaveTest, AChangeAnywhereInTheDeclaredMemoryIsSeenAndNothingElseIs) {
    struct Case {
        const char* tag;
        void (*change)();
        size_t size;
        size_t at;  // where the file shows the change
    };
    const Case cases[] = {
        {"FLASH1M_V103", [] { FlashBank1[0xFFFF] = 0x5A; }, 131072, 0x1FFFF},
        {"EEPROM_V124", [] { EepromWriteBlock(63, 0x5A); }, 512, 511},
        {"SRAM_V113", [] { CartridgeSram[0x7FFF] = 0x5A; }, 32768, 0x7FFF},
        {"SRAM_V113", [] { CartridgeSram[0x8000] = 0x5A; }, 65536, 0x8000},
    };
    for (const Case& c : cases) {
        ShutdownMachine();
        fs::remove(Sav());
        Prepare(TaggedCartridge(c.tag));
        // Identification mode shows other bytes but changes no save (SRAM
        // takes the command bytes as data).
        if (CartridgeSaveType != SaveType::Sram) {
            WriteByte(0x0E005555, 0xAA);
            WriteByte(0x0E002AAA, 0x55);
            WriteByte(0x0E005555, 0x90);
        }
        Frames(60);
        EXPECT_FALSE(Exists(Sav())) << c.tag;
        c.change();
        Frames(60);
        const std::vector<uint8_t> file = ReadFile(Sav());
        ASSERT_EQ(file.size(), c.size) << c.tag;
        EXPECT_EQ(file[c.at], 0x5A) << c.tag;
        fs::remove(Sav());
        Frames(120);
        EXPECT_FALSE(Exists(Sav())) << c.tag << ": written again with nothing changed";
    }
}

TEST_F(PeriodicSaveTest, AFailedWriteIsTriedAgainTheNextSecond) {
    fs::create_directory(dir / "test.sav.tmp");
    WriteByte(0x0E000010, 0x42);
    Frames(60);
    EXPECT_FALSE(Exists(Sav()));
    fs::remove(dir / "test.sav.tmp");
    Frames(60);
    ASSERT_TRUE(Exists(Sav()));
    EXPECT_EQ(ReadFile(Sav())[0x10], 0x42);
}

}  // namespace
}  // namespace koru
