// The FLASH command state machine and the serial EEPROM, driven through the
// bus as a cartridge drives them.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <utility>
#include <string>
#include <vector>

#include "hardware/backup.h"
#include "hardware/bus.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "support/test_machine.h"

namespace koru {
namespace {

using test::MachineTest;

constexpr uint32_t Sram = 0x0E000000;

void Flash(uint32_t offset, uint8_t value) { WriteByte(Sram + offset, value); }

void Unlock() {
    Flash(0x5555, 0xAA);
    Flash(0x2AAA, 0x55);
}

void Command(uint8_t command) {
    Unlock();
    Flash(0x5555, command);
}

void EraseUnlock() {
    Command(0x80);
    Unlock();
}

std::vector<uint8_t> SramCopy() { return std::vector<uint8_t>(CartridgeSram, CartridgeSram + 0x10000); }

class FlashTest : public MachineTest {
protected:
    void TearDown() override {
        MachineTest::TearDown();
        CartridgeSaveType = SaveType::Unknown;
    }
    // Runs the writes with the log flag on and returns what they logged.
    template <typename Writes>
    std::string Logged(Writes writes) {
        FlashState.log = 1;
        testing::internal::CaptureStdout();
        writes();
        std::fflush(stdout);
        const std::string log = testing::internal::GetCapturedStdout();
        FlashState.log = 0;
        return log;
    }
};

TEST_F(FlashTest, PlainByteWritesStoreLikeSram) {
    Flash(0x1234, 0x5A);
    Flash(0xFFFF, 0xA5);
    EXPECT_EQ(ReadByte(Sram + 0x1234), 0x5A);
    EXPECT_EQ(ReadByte(Sram + 0xFFFF), 0xA5);
    EXPECT_EQ(FlashState.commandState, FlashIdle);
}

TEST_F(FlashTest, IdentificationShowsZeroBytesAndLeavingRestoresThem) {
    WriteHalf(Sram, 0x3412);
    const std::string entered = Logged([] { Command(0x90); });
    EXPECT_EQ(entered, "FLASH: Product ID mode entered.\n");
    EXPECT_EQ(ReadByte(Sram), 0x00);
    EXPECT_EQ(ReadByte(Sram + 1), 0x00);
    EXPECT_EQ(FlashState.savedBytes, 0x3412);

    // Other bytes still store while the mode lasts; 0xF0 anywhere leaves it.
    Flash(0x0100, 0x77);
    EXPECT_EQ(ReadByte(Sram + 0x0100), 0x77);
    const std::string exited = Logged([] { Flash(0x4321, 0xF0); });
    EXPECT_EQ(exited, "FLASH: Product ID mode exited.\n");
    EXPECT_EQ(ReadHalf(Sram), 0x3412);
    EXPECT_EQ(ReadByte(Sram + 0x4321), 0x00) << "the exit byte is not stored";
    EXPECT_EQ(FlashState.idMode, 0);

    // The full exit command does the same; outside the mode it logs only.
    Command(0x90);
    Command(0xF0);
    EXPECT_EQ(ReadHalf(Sram), 0x3412);
    WriteHalf(Sram, 0x6655);
    EXPECT_EQ(Logged([] { Command(0xF0); }), "FLASH: Product ID mode exited.\n");
    EXPECT_EQ(ReadHalf(Sram), 0x6655);
    // Outside the mode, 0xF0 is a plain byte.
    Flash(0x0002, 0xF0);
    EXPECT_EQ(ReadByte(Sram + 2), 0xF0);
}

TEST_F(FlashTest, IdentificationNeverLosesTheRealFirstTwoBytes) {
    // Entered twice before leaving: the chip itself loses nothing, so the
    // bytes set aside the first time must come back.
    WriteHalf(Sram, 0x3412);
    Command(0x90);
    EXPECT_EQ(Logged([] { Command(0x90); }), "FLASH: Product ID mode entered.\n");
    EXPECT_EQ(ReadHalf(Sram), 0x0000);
    Command(0xF0);
    EXPECT_EQ(ReadHalf(Sram), 0x3412);

    // A reset while the mode lasts (the reset command, for one) leaves it
    // with the real bytes in place.
    Command(0x90);
    ResetHardware();
    EXPECT_EQ(FlashState.idMode, 0);
    EXPECT_EQ(ReadHalf(Sram), 0x3412);
    Flash(0x0000, 0xF0);
    EXPECT_EQ(ReadByte(Sram), 0xF0) << "outside the mode 0xF0 is a plain byte";

    // A machine stopped with the mode on saves the real bytes and hands
    // nothing of it to the next machine, whose block holds its own save.
    WriteHalf(Sram, 0x3412);
    Command(0x90);
    ShutdownMachine();
    EXPECT_EQ(FlashState.idMode, 0);
    EXPECT_EQ(FlashState.storage, nullptr) << "the block is gone";
    std::vector<uint8_t> save(0x10000, 0);
    save[0] = 0x99;
    save[1] = 0x88;
    test::WriteFile(dir / "next.sav", save);
    Prepare(test::MakeCartridge(), "next.gba");
    EXPECT_EQ(ReadHalf(Sram), 0x8899);
    EXPECT_EQ(FlashState.idMode, 0);
    EXPECT_EQ(Peek16(test::ReadFile(dir / "test.sav").data()), 0x3412);
}

TEST_F(FlashTest, SectorEraseFillsOneFourKilobytePage) {
    for (uint32_t a = 0x2000; a < 0x5000; ++a) CartridgeSram[a] = 0x11;
    const std::string log = Logged([] {
        EraseUnlock();
        Flash(0x3456, 0x30);
    });
    EXPECT_EQ(log, "FLASH: Erasing page 0x3000-0x3FFF.\n");
    EXPECT_EQ(CartridgeSram[0x2FFF], 0x11);
    for (uint32_t a = 0x3000; a < 0x4000; ++a) ASSERT_EQ(CartridgeSram[a], 0xFF) << std::hex << a;
    EXPECT_EQ(CartridgeSram[0x4000], 0x11);
    EXPECT_EQ(FlashState.commandState, FlashIdle);

    // In identification mode the erase is logged but not done.
    Command(0x90);
    EraseUnlock();
    Flash(0x2000, 0x30);
    EXPECT_EQ(CartridgeSram[0x2000], 0x11);
}

TEST_F(FlashTest, ChipEraseFillsAllSixtyFourKilobytesOutsideIdentification) {
    CartridgeSram[0] = 1;
    CartridgeSram[0xFFFF] = 2;
    Command(0x90);
    const std::string ignored = Logged([] {
        EraseUnlock();
        Flash(0x5555, 0x10);
    });
    EXPECT_EQ(ignored, "");
    EXPECT_EQ(CartridgeSram[0xFFFF], 2);
    Command(0xF0);

    const std::string log = Logged([] {
        EraseUnlock();
        Flash(0x5555, 0x10);
    });
    EXPECT_EQ(log, "FLASH: Erasing entire ROM.\n");
    for (uint32_t a = 0; a < 0x10000; ++a) ASSERT_EQ(CartridgeSram[a], 0xFF) << std::hex << a;
}

TEST_F(FlashTest, ProgrammingOnlyClearsBits) {
    EraseUnlock();
    Flash(0x3456, 0x30);
    std::string log = Logged([] {
        Command(0xA0);
        Flash(0x3456, 0x0F);
    });
    EXPECT_EQ(log, "FLASH: Writing to 0x3456: 0x0F AND 0xFF ==> 0x0F.\n");
    EXPECT_EQ(CartridgeSram[0x3456], 0x0F);
    Command(0xA0);
    Flash(0x3456, 0xF0);
    EXPECT_EQ(CartridgeSram[0x3456], 0x00);
    EXPECT_EQ(FlashState.commandState, FlashIdle);

    // A program command in identification mode stores nothing.
    CartridgeSram[0x0200] = 0xFF;
    Command(0x90);
    Command(0xA0);
    Flash(0x0200, 0x00);
    EXPECT_EQ(CartridgeSram[0x0200], 0xFF);
}

TEST_F(FlashTest, BrokenSequencesStoreTheHeldBackBytesThenTheLastOne) {
    // A plain 0xAA at 0x5555 waits for the next byte.
    Flash(0x5555, 0xAA);
    EXPECT_EQ(CartridgeSram[0x5555], 0x00);
    EXPECT_EQ(Logged([] { Flash(0x0100, 0x11); }), "FLASH: 0xAA 0x11?\n");
    EXPECT_EQ(CartridgeSram[0x5555], 0xAA);
    EXPECT_EQ(CartridgeSram[0x0100], 0x11);
    EXPECT_EQ(FlashState.commandState, FlashIdle);

    std::memset(CartridgeSram, 0, 0x10000);
    Unlock();
    EXPECT_EQ(Logged([] { Flash(0x0200, 0x22); }), "FLASH: 0xAA 0x55 0x22?\n");
    EXPECT_EQ(CartridgeSram[0x5555], 0xAA);
    EXPECT_EQ(CartridgeSram[0x2AAA], 0x55);
    EXPECT_EQ(CartridgeSram[0x0200], 0x22);

    // After 0x80 the three swallowed bytes are not put back.
    std::memset(CartridgeSram, 0, 0x10000);
    Command(0x80);
    EXPECT_EQ(Logged([] { Flash(0x0300, 0x33); }), "FLASH: 0xAA 0x55 0x80 0x33?\n");
    EXPECT_EQ(CartridgeSram[0x5555], 0x00);
    EXPECT_EQ(CartridgeSram[0x2AAA], 0x00);
    EXPECT_EQ(CartridgeSram[0x0300], 0x33);

    std::memset(CartridgeSram, 0, 0x10000);
    Command(0x80);
    Flash(0x5555, 0xAA);
    EXPECT_EQ(Logged([] { Flash(0x0400, 0x44); }), "FLASH: 0xAA 0x55 0x80 0xAA 0x44?\n");
    EXPECT_EQ(CartridgeSram[0x5555], 0xAA);
    EXPECT_EQ(CartridgeSram[0x2AAA], 0x00);
    EXPECT_EQ(CartridgeSram[0x0400], 0x44);

    std::memset(CartridgeSram, 0, 0x10000);
    EraseUnlock();
    EXPECT_EQ(Logged([] { Flash(0x0600, 0x66); }), "FLASH: 0xAA 0x55 0x80 0xAA 0x55 0x66?.\n");
    EXPECT_EQ(CartridgeSram[0x5555], 0xAA);
    EXPECT_EQ(CartridgeSram[0x2AAA], 0x55);
    EXPECT_EQ(CartridgeSram[0x0600], 0x66);
    EXPECT_EQ(FlashState.commandState, FlashIdle);
}

TEST_F(FlashTest, UnknownCommandsStoreNothing) {
    for (uint32_t a = 0; a < 0x10000; ++a) CartridgeSram[a] = static_cast<uint8_t>(a * 7);
    const std::vector<uint8_t> before = SramCopy();
    EXPECT_EQ(Logged([] { Command(0xB0); }), "FLASH: Unknown command 0xB0.\n");
    EXPECT_EQ(FlashState.commandState, FlashIdle);
    const std::string log = Logged([] {
        EraseUnlock();
        Flash(0x5555, 0x20);
    });
    EXPECT_EQ(log, "FLASH: Unknown command 0x80 0x20.\n");
    EXPECT_EQ(FlashState.commandState, FlashIdle);
    EXPECT_EQ(SramCopy(), before);
}

TEST_F(FlashTest, HalfwordAndWordWritesBypassTheCommandStateMachine) {
    Flash(0x5555, 0xAA);
    WriteHalf(Sram + 0x2AAA, 0x0055);
    EXPECT_EQ(FlashState.commandState, FlashSawAA) << "a halfword is not part of a sequence";
    EXPECT_EQ(ReadHalf(Sram + 0x2AAA), 0x0055);
    WriteWord(Sram + 0x0100, 0xDDCCBBAA);
    EXPECT_EQ(FlashState.commandState, FlashSawAA);
    EXPECT_EQ(ReadWord(Sram + 0x0100), 0xDDCCBBAAu);
    Flash(0x2AAA, 0x55);
    EXPECT_EQ(FlashState.commandState, FlashSaw55);

    // Byte writes past the 64 KB go to DummyRam, not to the chip.
    Flash(0x5555, 0x90);
    WriteByte(0x0E010000, 0xAA);
    EXPECT_EQ(FlashState.commandState, FlashIdle);
    EXPECT_EQ(CartridgeSram[0], 0x00);
}

TEST_F(FlashTest, DeclaredChipsShowTheIdentificationOfARealPart) {
    WriteHalf(Sram, 0x3412);
    const std::pair<SaveType, uint16_t> parts[] = {
        {SaveType::Flash64, 0x1B32},   // Panasonic MN63F805MNP
        {SaveType::Flash128, 0x09C2},  // Macronix MX29L010
        {SaveType::Sram, 0x0000},
    };
    for (const auto& [type, id] : parts) {
        CartridgeSaveType = type;
        Command(0x90);
        EXPECT_EQ(ReadHalf(Sram), id) << static_cast<int>(type);
        Command(0xF0);
        EXPECT_EQ(ReadHalf(Sram), 0x3412);
    }
}

TEST_F(FlashTest, ATwoBankChipSwitchesBanksForEveryAccess) {
    // (flashbanks.gba programs and erases both banks as its library does.)
    CartridgeSaveType = SaveType::Flash128;
    Flash(0x0000, 0x5A);
    const std::string log = Logged([] {
        Command(0xB0);
        Flash(0x0000, 0x01);
    });
    EXPECT_EQ(log, "FLASH: Bank 1 selected.\n");
    EXPECT_EQ(CartridgeSram[0], 0x5A) << "the bank number is not save data";
    EXPECT_EQ(ReadByte(Sram), 0x00) << "bank 1 is shown";
    WriteHalf(Sram + 0x2000, 0xBEEF);
    EXPECT_EQ(Peek16(FlashBank1 + 0x2000), 0xBEEF) << "plain stores reach bank 1 too";

    FlashBank1[0] = 0x77;
    Command(0x90);
    EXPECT_EQ(ReadHalf(Sram), 0x09C2);
    Command(0xB0);
    Flash(0x0000, 0x00);
    EXPECT_EQ(ReadHalf(Sram), 0x09C2) << "identification shows on either bank";
    EXPECT_EQ(FlashBank1[0], 0x77) << "bank 1's real byte is back";
    Command(0xF0);
    EXPECT_EQ(ReadByte(Sram), 0x5A);

    // A reset shows bank 0 again. The test ends with bank 1 shown, so the
    // machine's end frees its own block.
    Command(0xB0);
    Flash(0x0000, 0x01);
    FlashBank1[5] = 0x55;
    ResetHardware();
    EXPECT_EQ(ReadByte(Sram + 5), 0x00);
    Command(0xB0);
    Flash(0x0000, 0x01);
    EXPECT_EQ(ReadByte(Sram + 5), 0x55);
}

TEST_F(FlashTest, OnlyTheTwoBankChipKnowsTheBankCommand) {
    CartridgeSaveType = SaveType::Flash64;
    EXPECT_EQ(Logged([] { Command(0xB0); }), "FLASH: Unknown command 0xB0.\n");
    Flash(0x0000, 0x01);
    EXPECT_EQ(CartridgeSram[0], 0x01) << "an ordinary byte after the unknown command";
    // On the two-bank chip a byte anywhere but 0x0000 breaks the sequence.
    CartridgeSaveType = SaveType::Flash128;
    Command(0xB0);
    EXPECT_EQ(Logged([] { Flash(0x0010, 0x01); }), "FLASH: 0xAA 0x55 0xB0 0x01?\n");
    EXPECT_EQ(CartridgeSram[0x10], 0x01);
    EXPECT_EQ(FlashState.bank, 0);
}

TEST_F(FlashTest, NothingIsLoggedWithTheFlagOff) {
    testing::internal::CaptureStdout();
    Command(0x90);
    Command(0xB0);
    Flash(0x5555, 0xAA);
    Flash(0x1000, 0x01);
    Command(0xF0);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ---------------------------------------------------------------------------
// EEPROM

constexpr uint32_t Eeprom = 0x0D000000;

void SendBit(uint32_t bit) { WriteHalf(Eeprom, static_cast<uint16_t>(bit)); }

void SendBits(uint64_t value, int count) {
    for (int i = count - 1; i >= 0; --i) SendBit((value >> i) & 1);
}

void WriteBlock(uint32_t block, uint64_t value) {
    SendBits(0b10, 2);
    SendBits(block, 6);
    SendBits(value, 64);
    SendBit(0);  // stop
}

void RequestRead(uint32_t block) {
    SendBits(0b11, 2);
    SendBits(block, 6);
    SendBit(0);
}

// The 4 dummy bits, which must all be 0, then the 64 data bits.
uint64_t ReadData() {
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ReadHalf(Eeprom), 0) << "dummy bit " << i;
    uint64_t value = 0;
    for (int i = 0; i < 64; ++i) value = (value << 1) | ReadHalf(Eeprom);
    return value;
}

using EepromTest = MachineTest;

TEST_F(EepromTest, ABlockReadsBackTheSixtyFourBitsWrittenFirstBitFirst) {
    const uint64_t value = 0x8123456789ABCDEFull;
    WriteBlock(3, value);
    WriteBlock(63, 0xFEDCBA9876543210ull);
    WriteBlock(0, 0x1);
    // Stored little-endian: the first bit sent is bit 7 of the last byte.
    const uint8_t expected[8] = {0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x81};
    EXPECT_EQ(std::memcmp(EepromState.data + 24, expected, 8), 0);

    RequestRead(3);
    EXPECT_EQ(ReadData(), value);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(ReadHalf(Eeprom), 1) << "ready after the data";
    RequestRead(63);
    EXPECT_EQ(ReadData(), 0xFEDCBA9876543210ull);
    RequestRead(0);
    EXPECT_EQ(ReadData(), 0x1u);
    RequestRead(4);
    EXPECT_EQ(ReadData(), 0u) << "a block never written";
}

TEST_F(EepromTest, OnlyBitZeroOfTheHalfwordCounts) {
    // 2 is a 0 bit, 3 a 1 bit, 0xFFFE a 0 bit.
    const uint16_t one = 3, zero = 2;
    auto send = [&](uint64_t value, int count) {
        for (int i = count - 1; i >= 0; --i) WriteHalf(Eeprom + 0x100, ((value >> i) & 1) ? one : zero);
    };
    send(0b10, 2);
    send(7, 6);
    send(0x00FF00FF00FF00FFull, 64);
    WriteHalf(Eeprom, 0xFFFE);
    RequestRead(7);
    EXPECT_EQ(ReadData(), 0x00FF00FF00FF00FFull);
}

TEST_F(EepromTest, ReadsWithNothingPendingReturnOne) {
    for (int i = 0; i < 200; ++i) ASSERT_EQ(ReadHalf(Eeprom), 1);
    // Zero bits in idle are ignored; a write leaves nothing to read.
    SendBits(0, 5);
    WriteBlock(1, 0);
    for (int i = 0; i < 70; ++i) ASSERT_EQ(ReadHalf(0x0F000000), 1) << "every window reads the chip";
}

TEST_F(EepromTest, ResetKeepsTheDataAndDropsARequestHalfSent) {
    WriteBlock(2, 0xCAFEF00Dull);
    SendBits(0b11, 2);  // a read request cut short
    ResetHardware();
    for (int i = 0; i < 70; ++i) ASSERT_EQ(ReadHalf(Eeprom), 1);
    RequestRead(2);
    EXPECT_EQ(ReadData(), 0xCAFEF00Du);
}

TEST_F(EepromTest, DirectReadsSeeTheBitPictureInDummyRam) {
    const uint64_t value = 0xA5000000000000C3ull;
    WriteBlock(9, value);
    // The window page is unmapped for a small cartridge: a direct read there
    // is DummyRam, which says "ready" after a write.
    EXPECT_EQ(ReadPageTable[Eeprom >> 14], DummyRam);
    EXPECT_EQ(Peek16(DummyRam), 1);

    RequestRead(9);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Peek16(DummyRam + 2 * i), 0) << "dummy halfword " << i;
    for (int bit = 63, i = 4; bit >= 0; --bit, ++i) {
        ASSERT_EQ(Peek16(DummyRam + 2 * i), (value >> bit) & 1) << "bit " << bit;
    }
}

// DMA 3 from External Working RAM to the EEPROM window, or back, as the
// console's save library sends its requests.
void Dma3(uint32_t source, uint32_t destination, uint16_t count) {
    WriteWord(0x040000D4, source);
    WriteWord(0x040000D8, destination);
    WriteHalf(0x040000DC, count);
    WriteHalf(0x040000DE, 0x8000);
}

// The bits of a request, one halfword each, at 0x02000000.
uint16_t Request(std::initializer_list<std::pair<uint64_t, int>> fields) {
    uint16_t n = 0;
    for (const auto& [value, count] : fields) {
        for (int i = count - 1; i >= 0; --i) Poke16(ExternalWram + 2 * n++, (value >> i) & 1);
    }
    return n;
}

TEST_F(EepromTest, TheDmaLengthTellsFourteenBitRequestsFromSixBitOnes) {
    EXPECT_EQ(EepromSize(), 512u);
    const uint64_t value = 0x0123456789ABCDEFull;
    // An 8 KB write: 1, 0, 14 block bits (block 0x155), 64 data bits, stop.
    ASSERT_EQ(Request({{0b10, 2}, {0x155, 14}, {value, 64}, {0, 1}}), 81);
    Dma3(0x02000000, 0x0D000000, 81);
    EXPECT_EQ(Peek32(EepromState.data + 0x155 * 8), 0x89ABCDEFu);
    EXPECT_EQ(EepromSize(), 8192u);
    // (eeprom8k.gba reads blocks back by DMA.) Once the chip is known to be
    // large, bits the processor sends itself are fourteen-bit requests too;
    // the top four bits reach nothing.
    SendBits(0b11, 2);
    SendBits(0x3C00 | 0x155, 14);
    SendBit(0);
    EXPECT_EQ(ReadData(), value);
    // A six-bit request by DMA (9 halfwords) is still understood.
    ASSERT_EQ(Request({{0b10, 2}, {5, 6}, {0xAAull, 64}, {0, 1}}), 73);
    Dma3(0x02000000, 0x0D000000, 73);
    EXPECT_EQ(EepromState.data[5 * 8], 0xAA);
}

TEST_F(EepromTest, SerialLogShowsBitsRequestsAndValues) {
    EepromState.log = 1;
    testing::internal::CaptureStdout();
    WriteBlock(3, 0x0123456789ABCDEFull);
    RequestRead(3);
    for (int i = 0; i < 68; ++i) ReadHalf(Eeprom);
    std::fflush(stdout);
    const std::string log = testing::internal::GetCapturedStdout();
    EepromState.log = 0;

    std::string bits;
    for (int i = 63; i >= 0; --i) bits += ((0x0123456789ABCDEFull >> i) & 1) ? '1' : '0';
    const std::string expected = "10000011 WRITE(3) " + bits + " IN=0123456789ABCDEF 0" +
                                 "11000011 READ(3) OUT=0123456789ABCDEF 0" + std::string(68, '#');
    EXPECT_EQ(log, expected);
}

}  // namespace
}  // namespace koru
