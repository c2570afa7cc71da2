// Compiler-generated code, ARM and THUMB, with the compiler's own library
// routines (division, 64-bit shifts, bit counts): the console's results must
// equal the host's results of the same source.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "cpu/cpu_state.h"
#include "cpu/run.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "support/test_host.h"
#include "support/test_machine.h"

#include "roms/cpuwork.c"

namespace koru {
namespace {

using test::BuiltRom;
using test::MachineTest;


constexpr uint32_t ResultsAddress = 0x02010000;
constexpr uint32_t DoneAddress = 0x0200FFFC;

uint32_t ConsoleWord(uint32_t address) { return Peek32(ReadPageTable[address >> 14] + (address & 0x3FFC)); }

class CompiledCodeTest : public MachineTest {
protected:
    void RunAndCompare(const char* name);
};

void CompiledCodeTest::RunAndCompare(const char* name) {
    const auto rom = BuiltRom(name);
    KORU_REQUIRE(std::filesystem::exists(rom), "cartridge " << name << " was not built");
    Prepare(test::ReadFile(rom), "cpucheck.gba");

    int frames = 0;
    test::PollInputHook = [&] {
        if (ConsoleWord(DoneAddress) == 0xC0DEC0DEu || ++frames >= 300) ExitRequest = 1;
        return 0u;
    };
    RunCpu(CpuState);
    ExitRequest = 0;
    ASSERT_EQ(ConsoleWord(DoneAddress), 0xC0DEC0DEu) << "the program did not finish";

    std::vector<unsigned int> expected(CPUWORK_RESULTS);
    CpuWork(CpuWorkValues, expected.data());
    static const char* const classes[CPUWORK_CLASSES] = CPUWORK_CLASS_NAMES;
    int mismatches = 0;
    for (int i = 0; i < CPUWORK_VALUES; ++i) {
        for (int j = 0; j < CPUWORK_VALUES; ++j) {
            for (int c = 0; c < CPUWORK_CLASSES; ++c) {
                const int k = (i * CPUWORK_VALUES + j) * CPUWORK_CLASSES + c;
                const uint32_t got = ConsoleWord(ResultsAddress + 4 * k);
                if (got != expected[k] && ++mismatches <= 10) {
                    ADD_FAILURE() << name << ": " << classes[c] << " of " << std::hex << CpuWorkValues[i] << ", "
                                  << CpuWorkValues[j] << ": got " << got << ", expected " << expected[k];
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(CompiledCodeTest, ArmCodeComputesWhatTheHostComputes) { RunAndCompare("cpucheck_arm"); }

TEST_F(CompiledCodeTest, ThumbCodeComputesWhatTheHostComputes) { RunAndCompare("cpucheck_thumb"); }

}  // namespace
}  // namespace koru
