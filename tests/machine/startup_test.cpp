// Machine start-up and shut-down: the memory map it builds, the BIOS stub,
// the reset state, the failures and the names of the files it keeps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/settings.h"
#include "machine/savefiles.h"
#include "support/test_host.h"
#include "support/test_machine.h"
#include "video/video.h"
#include "video/video_registers.h"

namespace koru {
namespace {

using test::MachineTest;
using test::MakeCartridge;
using test::TempDirTest;
using test::WriteFile;

// Runs the cartridge in this process for the frames, holding the console
// keys of each frame that keys names, and keeps its state file.
void RunInProcess(const std::string& cartridge, uint32_t frames, const std::map<uint32_t, uint32_t>& keys,
                  const char* state) {
    uint32_t frame = 0;
    uint32_t held = 0;
    test::PollInputHook = [&] {
        if (const auto change = keys.find(++frame); change != keys.end()) held = change->second;
        if (frame >= frames) ExitRequest = 1;
        return held;
    };
    EXPECT_NE(StartMachine(cartridge.c_str()), 0u) << cartridge;
    EXPECT_EQ(frame, frames);
    if (state) EXPECT_EQ(SaveState(state), 1);
    ShutdownMachine();
    test::ResetHostHooks();
}

TEST_F(MachineTest, RamRegionsRepeatOverTheirWholeSixteenMegabytes) {
    WriteByte(0x02000010, 0x5A);
    WriteByte(0x03000010, 0xA5);
    EXPECT_EQ(ReadByte(0x02040010), 0x5A);
    EXPECT_EQ(ReadByte(0x02FC0010), 0x5A);
    EXPECT_EQ(ReadByte(0x03008010), 0xA5);
    EXPECT_EQ(ReadByte(0x03FF8010), 0xA5);
    // A write through a mirror lands in the same block.
    WriteByte(0x02FC0020, 0x77);
    EXPECT_EQ(ExternalWram[0x20], 0x77);
}

TEST_F(MachineTest, ReadOnlyAndUnmappedPagesShareDummyRam) {
    const uint8_t before = ReadByte(0x08000000);
    WriteByte(0x08000000, static_cast<uint8_t>(before + 1));
    EXPECT_EQ(ReadByte(0x08000000), before) << "cartridge ROM must not change";
    // The swallowed write is visible at every unmapped address with the same
    // low 14 bits, and so is a write to the BIOS.
    EXPECT_EQ(ReadByte(0x10000000), static_cast<uint8_t>(before + 1));
    EXPECT_EQ(ReadByte(0x01004000), static_cast<uint8_t>(before + 1));
    WriteWord(0x00000100, 0x12345678);
    EXPECT_EQ(ReadWord(0x00000100), 0u) << "BIOS ROM must not change";
    EXPECT_EQ(ReadWord(0x0F000100), 0x12345678u);
}

TEST_F(TempDirTest, CartridgeIsRoundedUpAndNotRepeatedInsideItsWindow) {
    auto image = MakeCartridge(1000000);
    image[999999] = 0x42;
    WriteFile("big.gba", image);
    CheckCRC = 0;
    ASSERT_TRUE(PrepareMachine("big.gba"));
    EXPECT_EQ(RomSize, 1015808);
    EXPECT_EQ(ReadByte(0x08000000 + 999999), 0x42);
    EXPECT_EQ(ReadByte(0x0A000000 + 999999), 0x42);
    EXPECT_EQ(ReadByte(0x0C000000 + 999999), 0x42);
    EXPECT_EQ(ReadByte(0x08000000 + 1000000), 0) << "padding reads as zero";
    // Past RomSize the pages are Dummy RAM, not a repeat of the image.
    EXPECT_EQ(ReadPageTable[0x080F8000 >> 14], DummyRam);
    EXPECT_EQ(ReadPageTable[0x09FFC000 >> 14], DummyRam);
    EXPECT_NE(ReadPageTable[0x080F4000 >> 14], DummyRam);
}

TEST_F(MachineTest, PaletteAndSpriteRamAreWholePagesWithoutRepeat) {
    WriteHalf(0x05000000, 0x1234);
    WriteHalf(0x07000000, 0x5678);
    EXPECT_EQ(ReadHalf(0x05000400), 0) << "no 1 KB repeat";
    EXPECT_EQ(ReadHalf(0x07000400), 0);
    WriteHalf(0x05003FFE, 0xBEEF);
    EXPECT_EQ(ReadHalf(0x05003FFE), 0xBEEF);
    EXPECT_EQ(ReadPageTable[0x05004000 >> 14], DummyRam);
    EXPECT_EQ(ReadPageTable[0x06018000 >> 14], DummyRam) << "VRAM is 96 KB once";
}

TEST_F(MachineTest, WithoutBiosImageTheStubAndStartRegistersAreInPlace) {
    EXPECT_EQ(BiosLoaded, 0u);
    EXPECT_EQ(Peek32(BiosRom + 0x18), 0xE92D500Fu);
    EXPECT_EQ(Peek32(BiosRom + 0x30), 0xE25EF004u);
    EXPECT_EQ(Peek32(BiosRom + 0x34), 0x03007FFCu);
    EXPECT_EQ(Peek32(BiosRom + 0x40), 0u);
    EXPECT_EQ(ReadWord(0x03007FFC), 0x0000002Cu);
    // The processor is handed over as the console's start-up code leaves
    // it: System mode, interrupts enabled, its three stacks set.
    EXPECT_EQ(CpuState.R[15], 0x08000000u);
    EXPECT_EQ(CpuState.CPSR, 0x1Fu);
    EXPECT_EQ(CpuState.R[13], 0x03007F00u);
    EXPECT_EQ(CpuState.R13_svc, 0x03007FE0u);
    EXPECT_EQ(CpuState.R13_irq, 0x03007FA0u);
}

TEST_F(TempDirTest, AFullBiosImageIsLoadedAndTheProcessorStartsAtZero) {
    std::vector<uint8_t> bios(16384);
    for (size_t i = 0; i < bios.size(); ++i) bios[i] = static_cast<uint8_t>(i * 7);
    WriteFile("GBA.ROM", bios);
    WriteFile("game.gba", MakeCartridge());
    ASSERT_TRUE(PrepareMachine("game.gba"));
    EXPECT_EQ(BiosLoaded, 1u);
    EXPECT_EQ(std::vector<uint8_t>(BiosRom, BiosRom + 16384), bios);
    EXPECT_EQ(CpuState.R[15], 0u);
    EXPECT_EQ(ReadWord(0x03007FFC), 0u) << "no handler pointer without the stub";
}

TEST_F(TempDirTest, AShortBiosImageKeepsItsTailUnderTheStub) {
    std::vector<uint8_t> bios(0x100, 0xAB);
    WriteFile("GBA.ROM", bios);
    WriteFile("game.gba", MakeCartridge());
    ASSERT_TRUE(PrepareMachine("game.gba"));
    EXPECT_EQ(BiosLoaded, 0u);
    EXPECT_EQ(Peek32(BiosRom + 0x18), 0xE92D500Fu);
    EXPECT_EQ(BiosRom[0x40], 0xAB);
    EXPECT_EQ(BiosRom[0x100], 0);
    EXPECT_EQ(CpuState.R[15], 0x08000000u);
}

TEST_F(MachineTest, ResetPutsRegistersAndVideoStateInTheirPowerOnState) {
    EXPECT_EQ(Peek16(IoRam + 0x130), 0xFFFF);
    EXPECT_EQ(Peek16(IoRam + 0x000), 0x0080);
    EXPECT_EQ(Peek16(IoRam + 0x020), 0x0100);
    EXPECT_EQ(Peek16(IoRam + 0x026), 0x0100);
    EXPECT_EQ(Peek16(IoRam + 0x030), 0x0100);
    EXPECT_EQ(Peek16(IoRam + 0x036), 0x0100);
    EXPECT_EQ(BgOrder[0], 3u << 28);
    EXPECT_EQ(BgOrder[3], 0u);
    EXPECT_EQ(BgAffineState[0].pa, 0x100);
    EXPECT_EQ(BgAffineState[1].pd, 0x100);
    EXPECT_EQ(CpuState.SliceCycles, 960);
    // Wait-state control 0 sets the cartridge rows.
    EXPECT_EQ(WordAccessCost[0x8], 6);
    EXPECT_EQ(HalfAccessCost[0x9], 3);
    EXPECT_EQ(WordAccessCost[0xA], 10);
    EXPECT_EQ(WordAccessCost[0xC], 18);
    EXPECT_EQ(HalfAccessCost[0xE], 5);
    EXPECT_EQ(WordAccessCost[0xE], 10);
    // Both points of both rotation backgrounds, whatever they held.
    for (BgAffineRecord& bg : BgAffineState) bg.refX = bg.refY = bg.curX = bg.curY = 0x1234;
    ResetHardware();
    for (const BgAffineRecord& bg : BgAffineState) EXPECT_EQ(bg.refX | bg.refY | bg.curX | bg.curY, 0);
}

TEST_F(MachineTest, ResetKeepsBankedRegistersAndSetsTraceFromTheLog) {
    CpuState.R14_irq = 0x1234;
    CpuState.SPSR_und = 0x55;
    Verbose = 0x10;
    ResetHardware();
    EXPECT_EQ(CpuState.R14_irq, 0x1234u);
    EXPECT_EQ(CpuState.SPSR_und, 0x55u);
    EXPECT_NE(CpuState.Trace, 0);
    Verbose = 0;
    ResetHardware();
    EXPECT_EQ(CpuState.Trace, 0);
}

TEST_F(TempDirTest, StartUpFailsCleanlyOnMissingEmptyAndOversizedCartridges) {
    EXPECT_EQ(StartMachine("missing.gba"), 0u);
    ShutdownMachine();
    WriteFile("empty.gba", {});
    EXPECT_EQ(StartMachine("empty.gba"), 0u);
    ShutdownMachine();
    // Exactly 32 MB loads; one byte more does not.
    CheckCRC = 0;
    WriteFile("max.gba", MakeCartridge(32 * 1024 * 1024));
    EXPECT_TRUE(PrepareMachine("max.gba"));
    EXPECT_EQ(RomSize, 32 * 1024 * 1024);
    ShutdownMachine();
    WriteFile("over.gba", MakeCartridge(32 * 1024 * 1024 + 1));
    EXPECT_FALSE(PrepareMachine("over.gba"));
    EXPECT_EQ(MachineStarted, 0u);
}

TEST_F(TempDirTest, ACartridgeShorterThanItsHeaderIsReadWithinItsImage) {
    // 100 bytes: the header routines read zero padding past the file.
    std::vector<uint8_t> tiny(100, 0xFF);
    WriteFile("tiny.gba", tiny);
    CheckCRC = 0;
    Verbose = 1;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(PrepareMachine("tiny.gba"));
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    EXPECT_NE(log.find("Loading tiny.gba...0kB...OK"), std::string::npos);
    EXPECT_EQ(RomSize, 16384);
    EXPECT_EQ(CartridgeRom[0xA0], 0);
}

TEST_F(TempDirTest, ChecksRefuseABadCrcFieldThenABadComplement) {
    auto image = MakeCartridge(65536 + 4);
    WriteFile("crc.gba", image);
    ASSERT_TRUE(PrepareMachine("crc.gba"));
    ShutdownMachine();

    image[0xBF] ^= 1;
    WriteFile("badcrc.gba", image);
    Verbose = 1;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(PrepareMachine("badcrc.gba"));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("CRC CHECK FAILED!\n"), std::string::npos);
    ShutdownMachine();

    image[0xBF] ^= 1;
    image[0xBD] ^= 1;
    WriteFile("badcmp.gba", image);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(PrepareMachine("badcmp.gba"));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("CMP CHECK FAILED!\n"), std::string::npos);
    Verbose = 0;
    ShutdownMachine();

    CheckCRC = 0;
    EXPECT_TRUE(PrepareMachine("badcmp.gba"));
}

TEST_F(TempDirTest, ProgressLinesFollowTheAllocationOrder) {
    WriteFile("game.gba", MakeCartridge());
    Verbose = 1;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(PrepareMachine("game.gba"));
    const std::string log = testing::internal::GetCapturedStdout();
    Verbose = 0;
    const char* lines[] = {
        "Allocating 16kB Dummy RAM...OK\n",        "Allocating 16kB BIOS ROM...OK\n",
        "Allocating 256kB External Working RAM...OK\n", "Allocating 32kB Internal Working RAM...OK\n",
        "Allocating 16kB I/O...OK\n",              "Allocating 16kB Palette RAM...OK\n",
        "Allocating 96kB VRAM...OK\n",             "Allocating 16kB Sprite RAM...OK\n",
        "Allocating 64kB Cartridge SRAM...OK\n",   "Loading game.gba...64kB...OK\n",
        "  Title:    KORU TEST (KTSE)\n",          "Initializing hardware and CPU...",
    };
    size_t at = 0;
    for (const char* line : lines) {
        const size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "in\n" << log;
        at = found + 1;
    }
}

TEST(SiblingNames, OnlyADotInTheFileNameCounts) {
    struct Case {
        const char* cartridge;
        const char* sav;
    } cases[] = {
        {"GAME.GBA", "GAME.sav"},
        {"GAME", "GAME.sav"},
        {"roms.v2/zelda", "roms.v2/zelda.sav"},
        {"/home/u/roms.v2/metroid", "/home/u/roms.v2/metroid.sav"},
        {"roms.v2/game.gba", "roms.v2/game.sav"},
        {".gba", ".gba.sav"},
        {"dir/.gba", "dir/.gba.sav"},
        {"a.b.c", "a.b.sav"},
#ifdef _WIN32
        {"C:\\roms.v2\\zelda", "C:\\roms.v2\\zelda.sav"},
        {"Z:\\my games\\keys.gba", "Z:\\my games\\keys.sav"},
        {"C:/roms.v2\\zelda", "C:/roms.v2\\zelda.sav"},
        {"C:\\roms.v2/zelda", "C:\\roms.v2/zelda.sav"},
        {"C:\\dir\\.gba", "C:\\dir\\.gba.sav"},
#endif
    };
    for (const Case& c : cases) {
        char* name = MakeSiblingName(c.cartridge, ".sav");
        ASSERT_NE(name, nullptr);
        EXPECT_STREQ(name, c.sav) << c.cartridge;
        std::free(name);
    }
}

TEST_F(TempDirTest, SaveAndStateNamesAreSetAtStartUp) {
    std::filesystem::create_directory("roms.v2");
    WriteFile("roms.v2/zelda", MakeCartridge());
    ASSERT_TRUE(PrepareMachine("roms.v2/zelda"));
    EXPECT_STREQ(SavName, "roms.v2/zelda.sav");
    EXPECT_STREQ(StaName, "roms.v2/zelda.sta");
}

TEST_F(TempDirTest, ShutdownClearsEverythingAndIsSafeTwice) {
    WriteFile("game.gba", MakeCartridge());
    ASSERT_TRUE(PrepareMachine("game.gba"));
    ShutdownMachine();
    EXPECT_EQ(ReadPageTable[0x02000000 >> 14], nullptr);
    EXPECT_EQ(WritePageTable[0x08000000 >> 14], nullptr);
    EXPECT_EQ(DummyRam, nullptr);
    EXPECT_EQ(SavName, nullptr);
    ShutdownMachine();
}

}  // namespace
}  // namespace koru

namespace koru {
namespace {

// A game run after another starts from exactly what a fresh process has.
// The demo's rotation scene leaves background 2 turned, with a reference
// point far off; the mode 3 cartridge after it never sets the point.
TEST_F(TempDirTest, ACartridgeRunAfterAnotherEndsWhereAFreshProcessEnds) {
    const auto demo = test::BuiltRom("demo"), bitmap = test::BuiltRom("video_mode3");
    KORU_REQUIRE(std::filesystem::exists(demo) && std::filesystem::exists(bitmap), "cartridges are not built");
    std::filesystem::copy_file(bitmap, dir / "bitmap.gba");
    ASSERT_EQ(test::RunHeadless("--frames 30 --save-state fresh.sta bitmap.gba > /dev/null"), 0);
    std::filesystem::remove(dir / "bitmap.sav");

    // A at frames 150 and 300: the picture scene, then the rotation.
    RunInProcess(demo.string(), 420, {{150, 1}, {152, 0}, {300, 1}, {302, 0}}, nullptr);
    // The player hid every layer with the layer keys; the next game shows
    // them all again.
    HiddenLayerMask = 0x1F;
    RunInProcess("bitmap.gba", 30, {}, "after.sta");
    EXPECT_TRUE(test::ReadFile(dir / "after.sta") == test::ReadFile(dir / "fresh.sta"));
    EXPECT_EQ(HiddenLayerMask, 0u);
}

}  // namespace
}  // namespace koru
