#include "bios/decompress.h"

#include "hardware/bus.h"

namespace koru {

namespace {

// The longest stream a Huffman decode may read: no memory of the machine is
// larger than the 32 MB cartridge, so real data never needs more. Every step
// of the decoder takes one bit of the stream, which makes this the bound of
// the whole decode however the tree is built.
constexpr uint32_t MaxHuffmanStreamWords = 32u * 1024 * 1024 / 4;

// Each step down the tree moves to a later pair of its table, and the table
// (after the size byte and the root) holds at most 255 pairs; a walk longer
// than that has left the tree and would only wander through memory.
constexpr uint32_t MaxHuffmanDepth = 256;

}  // namespace

void RunLengthDecode(uint32_t source, uint32_t destination, uint32_t size) {
    uint32_t remaining = size;
    while (remaining > 0) {
        const uint8_t flag = ReadByte(source++);
        if (flag & 0x80) {
            const uint8_t value = ReadByte(source++);
            for (uint32_t run = (flag & 0x7Fu) + 3; run > 0 && remaining > 0; --run, --remaining) {
                WriteByte(destination++, value);
            }
        } else {
            for (uint32_t run = (flag & 0x7Fu) + 1; run > 0 && remaining > 0; --run, --remaining) {
                WriteByte(destination++, ReadByte(source++));
            }
        }
        HoldCycleFloor();
    }
}

void Lz77Decode(uint32_t source, uint32_t destination, uint32_t size) {
    uint32_t remaining = size;
    while (remaining > 0) {
        const uint8_t flags = ReadByte(source++);
        // The flag byte that is current when the output is complete is left
        // unfinished.
        for (int bit = 7; bit >= 0 && remaining > 0; --bit) {
            if (!(flags & (1u << bit))) {
                WriteByte(destination++, ReadByte(source++));
                --remaining;
                continue;
            }
            const uint32_t b0 = ReadByte(source);
            const uint32_t b1 = ReadByte(source + 1);
            source += 2;
            const uint32_t v = (b0 << 8) | b1;
            uint32_t length = (v >> 12) + 3;
            uint32_t from = destination - (v & 0xFFF) - 1;
            if (length > remaining) length = remaining;
            remaining -= length;
            // Byte by byte, so that a reference overlapping its own output
            // repeats what it has just produced.
            while (length-- > 0) WriteByte(destination++, ReadByte(from++));
        }
        HoldCycleFloor();
    }
}

void HuffmanDecode(uint32_t source, uint32_t destination, uint32_t size, uint32_t width) {
    // Symbols of no bits never fill a word: nothing could ever be written.
    width &= 0x0F;
    if (width == 0) return;
    const uint32_t mask = (1u << width) - 1;

    int32_t remaining = static_cast<int32_t>(size & 0xFFFFFF);
    uint32_t streamAddress = source + 2 * static_cast<uint32_t>(ReadByte(source)) + 2;
    uint32_t streamWordsLeft = MaxHuffmanStreamWords;
    uint32_t pair = source;
    uint8_t node = ReadByte(source + 1);
    uint32_t accumulator = 0;
    uint32_t accumulatorBits = 0;
    uint32_t stream = 0;
    uint32_t streamBits = 0;
    uint32_t depth = 0;

    while (remaining > 0) {
        if (++depth > MaxHuffmanDepth) return;
        if (streamBits == 0) {
            if (streamWordsLeft-- == 0) return;
            stream = ReadWord(streamAddress);
            streamAddress += 4;
            streamBits = 32;
            HoldCycleFloor();
        }
        // pair is always the even address of the current node's children.
        pair += (node & 0x3Fu) * 2 + 2;
        bool symbol;
        uint32_t value = 0;
        if (stream & 0x80000000u) {
            symbol = (node & 0x40) != 0;
            if (symbol) value = ReadByte(pair + 1) & mask;
            else node = ReadByte(pair + 1);
        } else {
            symbol = (node & 0x80) != 0;
            if (symbol) value = ReadByte(pair) & mask;
            else node = ReadByte(pair);
        }
        if (symbol) {
            // Symbols fill the output word from bit 0 upward. The count is
            // below 32 here, so the shift stays defined.
            accumulator |= value << accumulatorBits;
            accumulatorBits += width;
            pair = source;
            node = ReadByte(source + 1);
            depth = 0;
            if (accumulatorBits >= 32) {
                WriteWord(destination, accumulator);
                destination += 4;
                accumulator = 0;
                accumulatorBits = 0;
                remaining -= 4;
            }
        }
        stream <<= 1;
        --streamBits;
    }
}

}  // namespace koru
