// A random sequence of bus operations on a running machine: stores of every
// width to the I/O area, FLASH command sequences and stray stores over both
// banks and the identification mode, EEPROM requests of both lengths sent
// bit by bit by the processor or by DMA 3 and read back either way, DMA
// transfers between any of the windows, whole frames of the machine between
// them, and battery saves written along the way. The first byte picks the
// save memory the cartridge declares.
//
// After the sequence: nothing was written outside the machine's regions,
// and when the input asks for it, a battery save written by a process that
// is killed part-way leaves the old file or the complete new one.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "fuzz_guard.h"
#include "fuzz_support.h"
#include "hardware/bus.h"
#include "machine/machine.h"
#include "machine/savefiles.h"

namespace {

using namespace koru;

const char* const Tags[] = {nullptr, "SRAM_V113", "FLASH_V126", "FLASH1M_V103", "EEPROM_V124"};
const char* const Names[] = {"none.gba", "sram.gba", "flash.gba", "flash1m.gba", "eeprom.gba"};
constexpr int Types = 5;
int Running = -1;

// Frames of the machine per input: enough for blank-timed DMA, timers and
// the interrupts, few enough to bound the work.
constexpr int MostFrames = 3;

uint64_t FakeMilliseconds = 0;
// A second passes at every look, so that the battery save is written while
// the machine runs once 60 frames have passed, whatever the wall clock says.
uint64_t FakeClock() { return FakeMilliseconds += 1000; }

void Start(int type) {
    if (Running == type) return;
    if (Running >= 0) {
        fuzz::UnguardRegions();
        ShutdownMachine();
    }
    std::remove((std::string(Names[type], std::strlen(Names[type]) - 4) + ".sav").c_str());
    if (!PrepareMachine(Names[type])) __builtin_trap();
    fuzz::GuardRegions();
    Running = type;
}

// Where DMA and stray stores go: the windows, at an offset the input picks.
uint32_t SomeAddress(FuzzedDataProvider& in) {
    static constexpr uint32_t Windows[] = {0x02000000, 0x03000000, 0x04000000, 0x05000000, 0x06000000,
                                           0x07000000, 0x08000000, 0x0D000000, 0x0DFFFF00, 0x0E000000,
                                           0x00000000, 0x10000000};
    const uint32_t window = Windows[in.ConsumeIntegralInRange<size_t>(0, std::size(Windows) - 1)];
    return window + in.ConsumeIntegralInRange<uint32_t>(0, 0x1FFFF);
}

void FlashCommand(FuzzedDataProvider& in) {
    constexpr uint32_t F = 0x0E000000;
    WriteByte(F + 0x5555, 0xAA);
    WriteByte(F + 0x2AAA, 0x55);
    static constexpr uint8_t Commands[] = {0x90, 0xF0, 0x80, 0xA0, 0xB0};
    const uint8_t command = Commands[in.ConsumeIntegralInRange<size_t>(0, std::size(Commands) - 1)];
    WriteByte(F + 0x5555, command);
    switch (command) {
    case 0x80:  // erase: the chip, or the 4 KB sector named
        WriteByte(F + 0x5555, 0xAA);
        WriteByte(F + 0x2AAA, 0x55);
        if (in.ConsumeBool()) {
            WriteByte(F + 0x5555, 0x10);
        } else {
            WriteByte(F + (in.ConsumeIntegral<uint8_t>() & 0xF) * 0x1000u, 0x30);
        }
        break;
    case 0xA0:  // program one byte
        WriteByte(F + in.ConsumeIntegral<uint16_t>(), in.ConsumeIntegral<uint8_t>());
        break;
    case 0xB0:  // select a bank
        WriteByte(F, in.ConsumeIntegral<uint8_t>() & 3);
        break;
    default:
        break;
    }
}

// The bits of an EEPROM request, in the order they are sent: "11" and the
// block number for a read, "10", the block number and 64 data bits for a
// write, then the stop bit. Sometimes one bit short or long.
int RequestBitsOf(FuzzedDataProvider& in, uint8_t* bits) {
    const bool write = in.ConsumeBool();
    const int address = in.ConsumeBool() ? 14 : 6;
    const uint32_t block = in.ConsumeIntegral<uint16_t>();
    int n = 0;
    bits[n++] = 1;
    bits[n++] = write ? 0 : 1;
    for (int i = address - 1; i >= 0; --i) bits[n++] = (block >> i) & 1;
    if (write) {
        const uint64_t value = in.ConsumeIntegral<uint64_t>();
        for (int i = 63; i >= 0; --i) bits[n++] = (value >> i) & 1;
    }
    bits[n++] = 0;
    const int skew = in.ConsumeIntegralInRange<int>(-1, 1);
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) n += skew;
    return n;
}

// DMA 3 as games use it for the EEPROM: 16-bit units, started at once.
void Dma3(uint32_t source, uint32_t destination, uint16_t count) {
    WriteWord(0x040000D4, source);
    WriteWord(0x040000D8, destination);
    WriteHalf(0x040000DC, count);
    WriteHalf(0x040000DE, 0x8000);
}

void EepromRequest(FuzzedDataProvider& in, bool byDma) {
    uint8_t bits[96];
    const int n = RequestBitsOf(in, bits);
    const uint32_t eeprom = in.ConsumeBool() ? 0x0D000000 : 0x0DFFFF00;
    if (byDma) {
        for (int i = 0; i < n; ++i) WriteHalf(0x02030000 + 2 * i, bits[i]);
        Dma3(0x02030000, eeprom, static_cast<uint16_t>(n));
    } else {
        for (int i = 0; i < n; ++i) WriteHalf(eeprom, bits[i]);
    }
    // What a read request answers: 4 bits, then the 64 of the block.
    if (bits[1] == 1 || in.ConsumeBool()) {
        if (in.ConsumeBool()) {
            Dma3(eeprom, 0x02031000, 68);
        } else {
            for (int i = 0; i < 68; ++i) ReadHalf(eeprom);
        }
    }
}

void AnyDma(FuzzedDataProvider& in) {
    const int channel = in.ConsumeIntegralInRange<int>(0, 3);
    const uint32_t registers = 0x040000B0 + 12 * channel;
    WriteWord(registers, SomeAddress(in));
    WriteWord(registers + 4, SomeAddress(in));
    WriteHalf(registers + 8, in.ConsumeIntegral<uint16_t>());
    WriteHalf(registers + 10, in.ConsumeIntegral<uint16_t>() | 0x8000);
}

uint32_t IoAddress(FuzzedDataProvider& in) {
    // Mostly the registers; now and then anywhere in the window.
    return in.ConsumeIntegralInRange<int>(0, 15) ? 0x04000000 + in.ConsumeIntegralInRange<uint32_t>(0, 0x40F)
                                                 : 0x04000000 + (in.ConsumeIntegral<uint32_t>() & 0xFFFFFF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::EnterWorkDirectory();
    static bool written = false;
    if (!written) {
        for (int i = 0; i < Types; ++i) fuzz::WriteQuietCartridge(Names[i], Tags[i]);
        BatterySaveClock = FakeClock;
        written = true;
    }
    if (size < 1) return 0;
    FuzzedDataProvider in(data + 1, size - 1);
    Start(data[0] % Types);
    // Each input starts with a clean machine and no battery save on disk.
    std::remove(SavName);
    fuzz::ClearMachine();

    int frames = 0;
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 12)) {
        case 0: WriteByte(IoAddress(in), in.ConsumeIntegral<uint8_t>()); break;
        case 1: WriteHalf(IoAddress(in), in.ConsumeIntegral<uint16_t>()); break;
        case 2: WriteWord(IoAddress(in), in.ConsumeIntegral<uint32_t>()); break;
        case 3: WriteByte(0x0E000000 + in.ConsumeIntegral<uint16_t>(), in.ConsumeIntegral<uint8_t>()); break;
        case 4: FlashCommand(in); break;
        case 5:
            // Halfword and word stores to the FLASH window, which the chip
            // does not decode.
            if (in.ConsumeBool()) WriteHalf(0x0E000000 + in.ConsumeIntegral<uint16_t>(), in.ConsumeIntegral<uint16_t>());
            else WriteWord(0x0E000000 + in.ConsumeIntegral<uint16_t>(), in.ConsumeIntegral<uint32_t>());
            break;
        case 6: EepromRequest(in, false); break;
        case 7: EepromRequest(in, true); break;
        case 8:
            if (in.ConsumeBool()) WriteHalf(0x0D000000, in.ConsumeIntegral<uint8_t>());
            else ReadHalf(0x0D000000);
            break;
        case 9: AnyDma(in); break;
        case 10:
            if (frames < MostFrames) {
                ++frames;
                fuzz::RunFrames(1);
            }
            break;
        case 11: WriteBatterySave(); break;
        case 12: ReadByte(SomeAddress(in)); break;
        }
    }
    fuzz::CheckMachineIntact();
    // One input in eight also writes its save in a process that is killed
    // after up to 4 ms: long enough to finish a small save now and then.
    if ((data[0] >> 5) == 7) fuzz::CheckInterruptedBatterySave(data[size - 1] * 16u);
    return 0;
}
