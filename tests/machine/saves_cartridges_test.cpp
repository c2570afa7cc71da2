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
#include <string>
#include <thread>
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

// The savewriter cartridge writes "KORU SAVE" at SRAM offset 0x100 and
// 0x0123456789ABCDEF into EEPROM block 2 right after it starts, then idles.
TEST_F(TempDirTest, ARunKilledTwoSecondsAfterTheCartridgeSavedKeepsTheSave) {
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
    std::this_thread::sleep_for(std::chrono::seconds(2));
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
    std::this_thread::sleep_for(std::chrono::seconds(2));
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
    void Erased(const std::string& name) { WriteFile(dir / (name + ".sav"), std::vector<uint8_t>(65536, 0xFF)); }
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
    // From an erased battery save test 1 passes. Test 2 of the SRAM and
    // FLASH cartridges writes 1 at 0x0E000020 (the FLASH ones with the byte
    // program command) and reads it back at 0x0E010020, where the console
    // repeats the 64 KB; our map has the Cartridge SRAM once, and
    // 0x0E010020 is DummyRam. Test 2 of none.gba wants 0xFF at 0x0F000000,
    // which is DummyRam here too.
    for (const char* name : {"sram", "flash64", "flash128"}) {
        Erased(name);
        EXPECT_EQ(Verdict(name), "R12=00000002") << name;
        const std::vector<uint8_t> save = ReadFile(dir / (std::string(name) + ".sav"));
        ASSERT_EQ(save.size(), 65536u) << name;
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

}  // namespace
}  // namespace koru
