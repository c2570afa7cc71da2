// The checks of the machine-driving fuzz targets must catch what they look
// for, or a long campaign without a fault proves nothing: a store just past
// or before a region, a page table entry pointed elsewhere, a written BIOS
// or cartridge image. A machine that only runs must pass them.
#include <gtest/gtest.h>

#include "fuzz_guard.h"
#include "fuzz_support.h"
#include "hardware/backup.h"
#include "machine/machine.h"

namespace koru {
namespace {

class FuzzGuard : public testing::Test {
protected:
    static void SetUpTestSuite() {
        fuzz::EnterWorkDirectory();
        fuzz::WriteQuietCartridge("guard.gba", "FLASH1M_V103");
        ASSERT_TRUE(PrepareMachine("guard.gba"));
        fuzz::GuardRegions();
    }
    void SetUp() override { fuzz::ClearMachine(); }
};

// Stores through a volatile pointer, as the machine's own would land.
void Poke(uint8_t* where) { *static_cast<volatile uint8_t*>(where) = 0x5A; }

TEST_F(FuzzGuard, ARunningMachineAndEitherFlashBankPass) {
    Poke(InternalWram + InternalWramSize - 1);
    Poke(ExternalWram);
    fuzz::RunFrames(2);
    fuzz::CheckMachineIntact();
    // The 128 KB chip's second bank in the window is the machine's doing.
    ReadPageTable[0x0E000000 >> PageShift] = FlashBank1;
    WritePageTable[0x0E000000 >> PageShift] = FlashBank1;
    fuzz::CheckMachineIntact();
    ReadPageTable[0x0E000000 >> PageShift] = CartridgeSram;
    WritePageTable[0x0E000000 >> PageShift] = CartridgeSram;
}

TEST_F(FuzzGuard, StoresOutsideARegionFault) {
    EXPECT_DEATH(Poke(InternalWram + InternalWramSize), "SEGV");
    EXPECT_DEATH(Poke(ExternalWram - 1), "SEGV");
    EXPECT_DEATH(Poke(CartridgeSram + CartridgeSramSize), "SEGV");
    EXPECT_DEATH(Poke(DummyRam + PageSize), "SEGV");
}

TEST_F(FuzzGuard, ChangedTablesAndImagesAreCaught) {
    EXPECT_DEATH(
        {
            ReadPageTable[0x08000000 >> PageShift] = InternalWram;
            fuzz::CheckMachineIntact();
        },
        "read page table changed");
    EXPECT_DEATH(
        {
            WritePageTable[0x03000000 >> PageShift] = DummyRam;
            fuzz::CheckMachineIntact();
        },
        "write page table changed");
    EXPECT_DEATH(
        {
            ReadPageTable[(0x0E000000 >> PageShift) + 1] = DummyRam;
            fuzz::CheckMachineIntact();
        },
        "FLASH window");
    EXPECT_DEATH(
        {
            BiosRom[0x100] ^= 1;
            fuzz::CheckMachineIntact();
        },
        "BIOS image");
    EXPECT_DEATH(
        {
            CartridgeRom[0x200] ^= 1;
            fuzz::CheckMachineIntact();
        },
        "cartridge image");
}

}  // namespace
}  // namespace koru
