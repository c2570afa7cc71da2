#include "bios/computing.h"

#include <algorithm>

#include "bios/arithmetic.h"
#include "bios/bios.h"
#include "bios/decompress.h"
#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "hardware/registers.h"

namespace koru {

namespace {

uint32_t& R0 = CpuState.R[0];
uint32_t& R1 = CpuState.R[1];
uint32_t& R2 = CpuState.R[2];

// The difference-filtered data carry the type 8 in bits 4-7 of their header
// word, like the compressed data carry theirs; bits 8-31 are the size of
// the result in bytes.
constexpr uint32_t DiffFilterType = 0x80;

// Like the unpacking services, the filters end the slice, and what their
// accesses charged is dropped.
void EndUnpackingSlice() { CpuState.Cycles = 0; }

bool ValidSourceWidth(uint32_t bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8; }
bool ValidDestinationWidth(uint32_t bits) { return ValidSourceWidth(bits) || bits == 16 || bits == 32; }

}  // namespace

void BgAffineSetService() {
    uint32_t source = R0;
    uint32_t destination = R1;
    // A whole register, like ObjAffineSet's count: bounded the same way.
    const uint32_t count = std::min(R2, MaxAffineElements);
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t centreX = static_cast<int32_t>(ReadWord(source));
        const int32_t centreY = static_cast<int32_t>(ReadWord(source + 4));
        const int16_t screenX = static_cast<int16_t>(ReadHalf(source + 8));
        const int16_t screenY = static_cast<int16_t>(ReadHalf(source + 10));
        const int16_t sx = static_cast<int16_t>(ReadHalf(source + 12));
        const int16_t sy = static_cast<int16_t>(ReadHalf(source + 14));
        const uint16_t angle = ReadHalf(source + 16);
        const BackgroundTransform t = BackgroundAffine(centreX, centreY, screenX, screenY, sx, sy, angle);
        // Stored in the order of the background registers, so that a block
        // aimed at 0x04000020 sets the parameters and then the reference
        // point as the program's own stores would.
        WriteHalf(destination, t.pa);
        WriteHalf(destination + 2, t.pb);
        WriteHalf(destination + 4, t.pc);
        WriteHalf(destination + 6, t.pd);
        WriteWord(destination + 8, t.x);
        WriteWord(destination + 12, t.y);
        source += 20;
        destination += 16;
        HoldCycleFloor();
    }
}

void BitUnPackService() {
    // The description: the source length in bytes (16 bits), the source and
    // destination unit widths in bits (a byte each), then a word whose bits
    // 0-30 are added to every unit and whose bit 31 says whether zero units
    // get the offset too.
    const uint32_t info = R2;
    const uint32_t length = ReadHalf(info);
    const uint32_t sourceBits = ReadByte(info + 2);
    const uint32_t destinationBits = ReadByte(info + 3);
    const uint32_t offsetWord = ReadWord(info + 4);
    if (!ValidSourceWidth(sourceBits) || !ValidDestinationWidth(destinationBits)) return;
    const uint32_t offset = offsetWord & 0x7FFFFFFF;
    const bool offsetZeros = (offsetWord & 0x80000000u) != 0;
    const uint32_t unitMask = (1u << sourceBits) - 1;

    uint32_t source = R0;
    uint32_t destination = R1 & ~3u;
    uint32_t out = 0;
    uint32_t filled = 0;
    for (uint32_t i = 0; i < length; ++i) {
        const uint32_t byte = ReadByte(source++);
        // The low units of each source byte come first.
        for (uint32_t bit = 0; bit < 8; bit += sourceBits) {
            uint32_t unit = (byte >> bit) & unitMask;
            if (unit || offsetZeros) unit += offset;
            out |= unit << filled;
            filled += destinationBits;
            // The output leaves in whole words; a word left part-filled at
            // the end is not written.
            if (filled == 32) {
                WriteWord(destination, out);
                destination += 4;
                out = 0;
                filled = 0;
            }
        }
        HoldCycleFloor();
    }
    EndUnpackingSlice();
}

void Diff8UnFilterService(bool halfwords) {
    const uint32_t header = ReadWord(R0);
    if ((header & 0xF0) != DiffFilterType) return;
    const uint32_t size = header >> 8;
    uint32_t source = R0 + 4;
    uint32_t destination = R1;
    uint8_t value = 0;
    uint16_t pair = 0;
    for (uint32_t i = 0; i < size; ++i) {
        // The first byte is taken as it is, every later one is the
        // difference to the byte before.
        value = static_cast<uint8_t>(i == 0 ? ReadByte(source) : value + ReadByte(source));
        ++source;
        if (!halfwords) {
            WriteByte(destination++, value);
        } else if (i & 1) {
            // Video memory takes no byte stores: the bytes leave in pairs,
            // low byte first.
            WriteHalf(destination, static_cast<uint16_t>(pair | (value << 8)));
            destination += 2;
        } else {
            pair = value;
        }
        HoldCycleFloor();
    }
    EndUnpackingSlice();
}

void Diff16UnFilterService() {
    const uint32_t header = ReadWord(R0);
    if ((header & 0xF0) != DiffFilterType) return;
    const uint32_t count = (header >> 8) / 2;
    uint32_t source = R0 + 4;
    uint32_t destination = R1;
    uint16_t value = 0;
    for (uint32_t i = 0; i < count; ++i) {
        value = static_cast<uint16_t>(i == 0 ? ReadHalf(source) : value + ReadHalf(source));
        source += 2;
        WriteHalf(destination, value);
        destination += 2;
        HoldCycleFloor();
    }
    EndUnpackingSlice();
}

void MidiKey2FreqService() {
    // The sample's frequency is the word at offset 4 of its header.
    const uint32_t frequency = ReadWord(R0 + 4);
    R0 = MidiKeyFrequency(frequency, static_cast<uint8_t>(R1), static_cast<uint8_t>(R2));
}

void SoundBiasChangeService() {
    // The console moves the level there step by step; the emulated sound
    // has no use for the ramp, so the level is set at once. The resolution
    // bits (14-15) stay as they are.
    const uint16_t bias = IoRead16(IoSOUNDBIAS);
    const uint16_t level = R0 ? 0x200 : 0;
    WriteHalf(0x04000000 + IoSOUNDBIAS, static_cast<uint16_t>((bias & ~0x03FFu) | level));
}

}  // namespace koru
