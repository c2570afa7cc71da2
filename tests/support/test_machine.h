// Helpers for tests that need cartridges, files and a prepared machine.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace koru::test {

// A cartridge image of the given size with a header that passes the
// start-up checks for that size (title, complement, CRC field = size mod
// 65536). The code area holds `B .` loops unless the caller fills it.
std::vector<uint8_t> MakeCartridge(size_t size = 64 * 1024, const char* title = "KORU TEST");
// Recomputes the complement and CRC field after the caller changed the header.
void FixHeader(std::vector<uint8_t>& image);

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::filesystem::path& path);

// Runs each test in a fresh temporary directory (the current directory while
// it runs, so "GBA.ROM", ".sav" and ".sta" files stay inside it), with the
// settings at their defaults, log off, and the host hooks reset. Shuts the
// machine down afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path dir;

private:
    std::filesystem::path previous;
};

// A TempDirTest with a machine prepared (everything before RunCpu) on a
// cartridge of `B .` loops, ready for the test to drive.
class MachineTest : public TempDirTest {
protected:
    void SetUp() override;
    // Prepares a machine on this image instead (shuts down the current one).
    void Prepare(const std::vector<uint8_t>& image, const char* name = "test.gba");
};

// A new empty directory under the system's temporary directory; empty when
// none can be made.
std::filesystem::path MakeTemporaryDirectory();

// Runs koru-headless with the arguments (written for a POSIX shell: on
// Windows /dev/null stands for NUL); returns its exit status and fills
// output with what it wrote to standard output.
int RunHeadless(const std::string& arguments, std::string* output = nullptr);

// The folder of third-party test cartridges, or empty when absent.
std::filesystem::path TestRomsDir();
// True where everything a test needs is installed (CI sets the variable CI):
// a missing prerequisite is then a failure, not a reason to skip.
bool InContinuousIntegration();
// What a test says when the third-party test cartridges are not there.
std::string MissingTestRoms();

// The registers of the last --regs line of koru-headless's output, by name
// (R0 ... R15, CPSR); empty when there is none.
std::map<std::string, uint32_t> Registers(const std::string& output);
// A cartridge built from tests/roms.
std::filesystem::path BuiltRom(const std::string& name);

}  // namespace koru::test

// Ends the test when a prerequisite is missing, saying what: a failure in CI
// (where everything is installed), a skip elsewhere.
#define KORU_REQUIRE(condition, what)                                                          \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            if (::koru::test::InContinuousIntegration()) GTEST_FAIL() << "missing: " << what; \
            GTEST_SKIP() << "skipped: " << what;                                               \
        }                                                                                      \
    } while (0)

#define KORU_REQUIRE_TESTROMS() KORU_REQUIRE(!::koru::test::TestRomsDir().empty(), ::koru::test::MissingTestRoms())
