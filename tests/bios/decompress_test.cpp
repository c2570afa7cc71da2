// The unpacking services and their decoders on small hand-made streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "bios/bios.h"
#include "bios/decompress.h"
#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "support/test_machine.h"

namespace koru {
namespace {

constexpr uint32_t Source = 0x02010000;
constexpr uint32_t Target = 0x03000100;

class DecompressTest : public test::MachineTest {
protected:
    // Puts a header word and the data at Source.
    void Put(uint32_t header, const std::vector<uint8_t>& data) {
        WriteWord(Source, header);
        for (size_t i = 0; i < data.size(); ++i) WriteByte(Source + 4 + static_cast<uint32_t>(i), data[i]);
    }

    void Unpack(uint32_t service, uint32_t destination = Target) {
        CpuState.R[0] = Source;
        CpuState.R[1] = destination;
        CpuState.Cycles = 900;
        SoftwareInterrupt(service);
    }

    void TearDown() override {
        ResetAccessCosts();
        MachineTest::TearDown();
    }

    // Memory as the page tables hold it, read without charging the slice.
    static std::vector<uint8_t> Memory(uint32_t address, size_t count) {
        std::vector<uint8_t> out;
        for (size_t i = 0; i < count; ++i) out.push_back(*ReadPointer(address + static_cast<uint32_t>(i)));
        return out;
    }
    static uint32_t Word(uint32_t address) { return Peek32(ReadPointer(address)); }
};

using Bytes = std::vector<uint8_t>;

TEST_F(DecompressTest, RunLengthRepeatsAndCopies) {
    Put(0x00000730, {0x82, 0x41, 0x01, 0x42, 0x43});
    Unpack(0x14);
    EXPECT_EQ(Memory(Target, 8), (Bytes{0x41, 0x41, 0x41, 0x41, 0x41, 0x42, 0x43, 0}));
    EXPECT_EQ(CpuState.Cycles, 0) << "the slice ends after unpacking";
}

TEST_F(DecompressTest, RunLengthStopsInsideARunAtTheSize) {
    Put(0x00000330, {0xFF, 0x41, 0x7F, 0x42});
    Unpack(0x15);
    EXPECT_EQ(Memory(Target, 4), (Bytes{0x41, 0x41, 0x41, 0}));
    Put(0x00000430, {0x01, 0x61, 0x62, 0x81, 0x63});
    Unpack(0x15, Target + 0x10);
    EXPECT_EQ(Memory(Target + 0x10, 5), (Bytes{0x61, 0x62, 0x63, 0x63, 0}));
}

TEST_F(DecompressTest, RunLengthWritesSingleBytesIntoVideoMemory) {
    Put(0x00000330, {0x80, 0x5A});
    WriteHalf(0x06000002, 0xFFFF);
    Unpack(0x15, 0x06000001);
    EXPECT_EQ(Memory(0x06000000, 5), (Bytes{0, 0x5A, 0x5A, 0x5A, 0}));
}

TEST_F(DecompressTest, Lz77CopiesLiteralsAndOverlappingReferences) {
    Put(0x00000610, {0x20, 0x41, 0x42, 0x10, 0x01});
    Unpack(0x11);
    EXPECT_EQ(Memory(Target, 7), (Bytes{0x41, 0x42, 0x41, 0x42, 0x41, 0x42, 0}));
    EXPECT_EQ(CpuState.Cycles, 0);
}

TEST_F(DecompressTest, Lz77CutsAReferenceLongerThanWhatRemains) {
    Put(0x00000510, {0x20, 0x41, 0x42, 0xF0, 0x01});
    Unpack(0x12);
    EXPECT_EQ(Memory(Target, 6), (Bytes{0x41, 0x42, 0x41, 0x42, 0x41, 0}));
}

TEST_F(DecompressTest, Lz77ReadsAFreshFlagByteAfterEight) {
    // Eight literals, then a new flag byte whose first item is a reference
    // of 3 bytes at distance 1.
    Put(0x00000B10, {0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x80, 0x00, 0x00});
    Unpack(0x11);
    EXPECT_EQ(Memory(Target, 12), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 8, 8, 8, 0}));
}

TEST_F(DecompressTest, WrongTypeWritesNothingAndKeepsTheSlice) {
    Put(0x00000630, {0x20, 0x41, 0x42, 0x10, 0x01});  // run-length header
    Unpack(0x11);
    EXPECT_EQ(Memory(Target, 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(CpuState.Cycles, 900 - 6) << "only the header read is charged";
    Unpack(0x13);
    EXPECT_EQ(Memory(Target, 4), (Bytes{0, 0, 0, 0}));
}

// Root: both children are symbols, 'a' on the left and 'b' on the right.
const Bytes TwoSymbolTree = {0x01, 0xC0, 0x61, 0x62};

TEST_F(DecompressTest, HuffmanFillsWordsFromTheLowBitsUp) {
    Bytes data = TwoSymbolTree;
    for (uint8_t b : {0x00, 0x00, 0x00, 0x50}) data.push_back(b);  // stream word 0x50000000
    Put(0x00000428, data);
    Unpack(0x13);
    EXPECT_EQ(Word(Target), 0x62616261u);
    EXPECT_EQ(Word(Target + 4), 0u);
    EXPECT_EQ(CpuState.Cycles, 0);
}

TEST_F(DecompressTest, HuffmanRoundsTheSizeUpToWholeWords) {
    Bytes data = TwoSymbolTree;
    for (uint8_t b : {0x00, 0x00, 0x00, 0x0F}) data.push_back(b);  // 0x0F000000
    Put(0x00000628, data);
    WriteWord(Target + 8, 0xDEADBEEF);
    Unpack(0x13);
    EXPECT_EQ(Word(Target), 0x61616161u);
    EXPECT_EQ(Word(Target + 4), 0x62626262u);
    EXPECT_EQ(Word(Target + 8), 0xDEADBEEFu) << "size 6 writes 8 bytes, no more";
}

TEST_F(DecompressTest, HuffmanWithFourBitSymbolsAndADeeperTree) {
    // Root: left child the symbol 3, right child an inner node whose
    // children are the symbols 0xA and 0x5 (0xFA and 0xF5 masked to four
    // bits). Codes: 3 = 0, A = 10, 5 = 11. Tree size byte 3: the table is
    // padded so that the stream starts on a word, eight bytes in.
    Bytes data = {0x03, 0x80, 0x03, 0xC0, 0xFA, 0xF5, 0x00, 0x00};
    // Symbols 3 A 5 3 3 A 5 3: bits 0 10 11 0 0 10 11 0 from the top.
    data.insert(data.end(), {0x00, 0x00, 0x60, 0x59});
    Put(0x00000424, data);
    Unpack(0x13);
    EXPECT_EQ(Word(Target), 0x35A335A3u);
    EXPECT_EQ(Word(Target + 4), 0u);
}

TEST_F(DecompressTest, HuffmanOfWidthZeroEndsWithoutWriting) {
    Bytes data = TwoSymbolTree;
    data.insert(data.end(), {0x00, 0x00, 0x00, 0x50});
    Put(0x00000420, data);
    WriteWord(Target, 0xCAFEF00D);
    Unpack(0x13);
    EXPECT_EQ(Word(Target), 0xCAFEF00Du);
}

TEST_F(DecompressTest, HuffmanEndsAWalkThatLeavesAnyPossibleTree) {
    // Zeros everywhere: every node is an inner node, so no symbol is ever
    // reached; the walk stops once it is deeper than a tree table can be.
    WriteWord(Target, 0x12345678);
    CpuState.Cycles = 900;
    HuffmanDecode(0x02020000, Target, 4, 8);
    EXPECT_EQ(Word(Target), 0x12345678u);
    // Tree size and root, a node per step, a stream word per 32 steps.
    EXPECT_EQ(CpuState.Cycles, 900 - 3 - 3 - 256 * 3 - 8 * 6);
}

TEST_F(DecompressTest, LongOutputsTerminateAndKeepTheCycleCountInRange) {
    // The largest size a header holds, with an access cost that charges far
    // more than 32 bits can count. The source is nothing but runs of 0x11.
    for (uint32_t i = 0; i < ExternalWramSize; i += 2) Poke16(ExternalWram + i, 0x11FF);
    HalfAccessCost[0x6] = 1000;
    CpuState.Cycles = 0;
    RunLengthDecode(Source, 0x06000000, 0xFFFFFF);
    EXPECT_EQ(Vram[0], 0x11);
    EXPECT_EQ(Vram[VramSize - 1], 0x11);
    EXPECT_EQ(*ReadPointer(0x06FFFFFE), 0x11) << "the last byte, in unmapped memory";
    EXPECT_LT(CpuState.Cycles, 0);
    EXPECT_GE(CpuState.Cycles, CycleFloor - 200000);
}

}  // namespace
}  // namespace koru
