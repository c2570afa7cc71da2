// Cartridges that use their backup memory, run by koru-headless: a run that
// is killed keeps what was saved, and the third-party backup-memory test
// cartridges give the verdicts our memory map explains.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "machine/memory.h"
#include "support/test_machine.h"

namespace koru {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RunHeadless;
using test::TempDirTest;
using test::TestRomsDir;
using test::WriteFile;

// The save reaches the disk a moment after the cartridge writes it; how long
// the run takes to get there depends on the machine (Wine's start alone can
// take seconds on a loaded one), so the kill waits for the file, up to a bound
// far beyond any healthy run, instead of for a fixed time.
void WaitForSaveOnDisk(const fs::path& save) {
    for (int tries = 0; tries < 300; ++tries) {
        std::error_code error;
        if (fs::file_size(save, error) == 65536u + 512u && !error) {
            // Past the write, so the kill lands while the game idles.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// The savewriter cartridge writes "KORU SAVE" at SRAM offset 0x100 and
// 0x0123456789ABCDEF into EEPROM block 2 right after it starts, then idles.
TEST_F(TempDirTest, ARunKilledAfterTheCartridgeSavedKeepsTheSave) {
    const fs::path rom = test::BuiltRom("savewriter");
    KORU_REQUIRE(fs::exists(rom), "test cartridges are not built");
    fs::copy_file(rom, dir / "writer.gba");

#ifdef _WIN32
    // Killed as the task manager kills: TerminateProcess, no clean-up.
    std::string command = fs::path(KORU_HEADLESS).make_preferred().string() + " --frames 2000000000 writer.gba";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &child));
    WaitForSaveOnDisk(dir / "writer.sav");
    const bool running = WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT;
    TerminateProcess(child.hProcess, 137);
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    ASSERT_TRUE(running) << "the run ended by itself";
#else
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(KORU_HEADLESS, "koru-headless", "--frames", "2000000000", "writer.gba", static_cast<char*>(nullptr));
        _exit(127);
    }
    WaitForSaveOnDisk(dir / "writer.sav");
    int status = 0;
    const pid_t done = waitpid(child, &status, WNOHANG);
    kill(child, SIGKILL);
    if (done == 0) waitpid(child, &status, 0);
    ASSERT_EQ(done, 0) << "the run ended by itself, status " << status;
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
#endif

    const std::vector<uint8_t> save = ReadFile(dir / "writer.sav");
    ASSERT_EQ(save.size(), 65536u + 512u) << "SRAM and EEPROM both on disk";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&save[0x100]), 9), "KORU SAVE");
    const uint8_t block2[8] = {0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01};
    EXPECT_EQ(std::memcmp(&save[65536 + 16], block2, 8), 0);
}

// R12 of the third-party cartridge after 60 frames: 0 when every test
// passed, else the first failed one.
std::string Verdict(const std::string& name, const std::string& extra = "") {
    std::string out;
    EXPECT_EQ(RunHeadless("--check-crc 0 --frames 60 --regs " + extra + " " + name + ".gba", &out), 0);
    const size_t at = out.find("R12=");
    return at == std::string::npos ? out : out.substr(at, 12);
}

class BackupTestCartridges : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        KORU_REQUIRE_TESTROMS();
        for (const char* name : {"sram", "flash64", "flash128", "none"}) {
            fs::copy_file(TestRomsDir() / (std::string(name) + ".gba"), dir / (std::string(name) + ".gba"));
        }
    }
    // A battery save as a cartridge leaves the factory: every byte erased.
    void Erased(const std::string& name, size_t size = 65536) {
        WriteFile(dir / (name + ".sav"), std::vector<uint8_t>(size, 0xFF));
    }
};

TEST_F(BackupTestCartridges, AFreshZeroFilledSramFailsTheFirstTest) {
    // Test 1 of each reads the byte at 0x0E000000 and wants 0xFF, what an
    // erased chip (or, for none.gba, an empty slot) returns. Our Cartridge
    // SRAM starts zero-filled, so each stops there.
    for (const char* name : {"sram", "flash64", "flash128", "none"}) {
        EXPECT_EQ(Verdict(name), "R12=00000001") << name;
        EXPECT_FALSE(fs::exists(dir / (std::string(name) + ".sav"))) << name << ": nothing was written";
    }
}

TEST_F(BackupTestCartridges, WithAnErasedSaveTheyStopAtTheMirrorTest) {
    // From an erased battery save of the size each declares (SRAM_V 32 KB,
    // FLASH_V 64 KB, FLASH1M_V 128 KB) test 1 passes. Test 2 of the SRAM and
    // FLASH cartridges writes 1 at 0x0E000020 (the FLASH ones with the byte
    // program command) and reads it back at 0x0E010020, where the console
    // repeats the 64 KB; our map has the Cartridge SRAM once, and
    // 0x0E010020 is DummyRam. Test 2 of none.gba wants 0xFF at 0x0F000000,
    // which is DummyRam here too.
    const std::pair<const char*, size_t> saves[] = {{"sram", 32768}, {"flash64", 65536}, {"flash128", 131072}};
    for (const auto& [name, size] : saves) {
        Erased(name, size);
        EXPECT_EQ(Verdict(name), "R12=00000002") << name;
        const std::vector<uint8_t> save = ReadFile(dir / (std::string(name) + ".sav"));
        ASSERT_EQ(save.size(), size) << name << ": the save keeps the declared size";
        EXPECT_EQ(save[0x20], 0x01) << name << ": the write of test 2 reached the save";
        EXPECT_EQ(save[0x00], 0xFF) << name;
    }
    Erased("none");
    EXPECT_EQ(Verdict("none"), "R12=00000002");

    // The FLASH cartridges really program through the command sequence.
    Erased("flash64");
    std::string out;
    ASSERT_EQ(RunHeadless("--check-crc 0 --frames 60 --verbose 0x40 flash64.gba", &out), 0);
    EXPECT_NE(out.find("FLASH: Writing to 0x0020: 0x01 AND 0xFF ==> 0x01.\n"), std::string::npos) << out;
}

// Makes the failure branches of the given tests no-ops: each test N ends in
// "MOV R12, #N" where its checks branch to on a mismatch.
void BypassTests(const fs::path& cartridge, std::initializer_list<uint32_t> tests) {
    std::vector<uint8_t> image = ReadFile(cartridge);
    std::vector<uint32_t> failures;
    for (size_t at = 0; at + 4 <= image.size(); at += 4) {
        const uint32_t word = Peek32(&image[at]);
        for (uint32_t n : tests) {
            if (word == (0xE3A0C000u | n)) failures.push_back(static_cast<uint32_t>(at));
        }
    }
    for (size_t at = 0; at + 4 <= image.size(); at += 4) {
        const uint32_t word = Peek32(&image[at]);
        // A conditional branch (not "always"): offset in words from at + 8.
        if ((word & 0x0F000000u) != 0x0A000000u || (word >> 28) == 0xE) continue;
        const int32_t offset = static_cast<int32_t>(word << 8) >> 6;
        const uint32_t target = static_cast<uint32_t>(static_cast<int32_t>(at) + 8 + offset);
        for (uint32_t failure : failures) {
            if (target == failure) Poke32(&image[at], 0xE1A00000);  // MOV R0, R0
        }
    }
    WriteFile(cartridge, image);
}

TEST_F(BackupTestCartridges, PastTheEightBitBusChecksEveryTestPassesTheBankSwitchToo) {
    // Tests 2-9 check the 8-bit bus of the save chips: the 64 KB and 16 MB
    // mirrors, halfword and word reads that repeat the byte, halfword and
    // word stores that store the byte the address selects. Our map keeps the
    // Cartridge SRAM once and stores halfwords and words whole. Past them,
    // the erases (10, 11) and flash128.gba's bank switch (12: AA 55 B0 and
    // the bank, then a byte in each bank) pass.
    for (const char* name : {"sram", "flash64", "flash128"}) {
        BypassTests(dir / (std::string(name) + ".gba"), {2, 3, 4, 5, 6, 7, 8, 9});
        Erased(name, std::string(name) == "flash128" ? 131072 : 65536);
        EXPECT_EQ(Verdict(name), "R12=00000000") << name;
    }
}

}  // namespace
}  // namespace koru
