// Helpers for tests that need cartridges, files and a prepared machine.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
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
// A cartridge built from tests/roms.
std::filesystem::path BuiltRom(const std::string& name);

}  // namespace koru::test
