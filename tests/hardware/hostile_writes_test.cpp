// Whatever a cartridge writes to the registers, in whatever order, the
// machine keeps running: a seeded storm of register writes and DMA transfers
// between half-line steps, with the machine's invariants checked throughout.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "hardware/interrupts.h"
#include "hardware/timers.h"
#include "hardware/timing.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "support/test_machine.h"

namespace koru {
namespace {

class HostileWritesTest : public test::MachineTest {};

TEST_F(HostileWritesTest, RandomRegisterStormKeepsTheMachineSound) {
    std::mt19937 random(20261208);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    // Addresses from every region, at and around page ends.
    auto anyAddress = [&]() -> uint32_t {
        switch (pick(4)) {
        case 0: return static_cast<uint32_t>(random());
        case 1: return (pick(16) << 24) | ((pick(0x400) << 14) - pick(8));
        case 2: return 0x04000000 | pick(0x1000);
        default: return 0x02000000 | pick(0x40000);
        }
    };

    // Transfers from working RAM copy whatever it holds into the registers,
    // DMA controls included.
    for (uint32_t i = 0; i < ExternalWramSize; i += 4) Poke32(ExternalWram + i, static_cast<uint32_t>(random()));

    int steps = 0;
    for (int i = 0; i < 40000; ++i) {
        const uint32_t offset = pick(8) == 0 ? pick(0x1000) : pick(0x310);
        const uint32_t address = 0x04000000 | offset;
        uint32_t value = static_cast<uint32_t>(random());
        if (offset >= 0xB0 && offset < 0xE0 && pick(2)) {
            // Keep most transfers short so that the storm stays quick, but
            // leave every other control bit to chance.
            const uint32_t channel = (offset - 0xB0) / 12;
            WriteWord(0x040000B0 + 12 * channel, anyAddress());
            WriteWord(0x040000B4 + 12 * channel, pick(3) ? anyAddress() : 0x040000B0 + pick(0x60));
            value = (value & 0xFFFF0000u) | (pick(64) ? pick(32) : 0);
            WriteWord(0x040000B8 + 12 * channel, value);
        } else {
            switch (pick(3)) {
            case 0: WriteByte(address, static_cast<uint8_t>(value)); break;
            case 1: WriteHalf(address, static_cast<uint16_t>(value)); break;
            default: WriteWord(address, value); break;
            }
        }
        if (i % 8 == 0) {
            CpuState.Cycles = -static_cast<int32_t>(pick(2000));
            const int32_t result = AdvanceScanline();
            ASSERT_GE(result, 0);
            ASSERT_LE(result, 1);
            CpuState.Cycles += CpuState.SliceCycles;
            ++steps;
        }
        ASSERT_LT(Peek16(IoRam + 0x006), 228);
        ASSERT_LE(HaltState, 2u);
        ASSERT_GT(CpuState.Cycles, -(1 << 25));
        for (int n = 0; n < 4; ++n) {
            ASSERT_LE(TimerCounter[n], 0xFFFF);
            ASSERT_GE(TimerCountdown[n], 0);
            ASSERT_LE(TimerCountdown[n], TimerPrescale[n]);
        }
    }
    EXPECT_EQ(steps, 5000);
    // Still a working machine: a plain transfer does what it should.
    WriteWord(0x03000000, 0x12345678);
    WriteWord(0x040000D4, 0x03000000);
    WriteWord(0x040000D8, 0x02000000);
    WriteWord(0x040000DC, 0x84000001);
    EXPECT_EQ(ReadWord(0x02000000), 0x12345678u);
}

}  // namespace
}  // namespace koru
