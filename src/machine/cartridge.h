// The cartridge header: the fields the emulator reads, the checks made at
// start-up and the report written to the console log.
#pragma once
#include <cstdint>

namespace koru {

// Size of the header block at the start of every cartridge image.
constexpr int CartHeaderSize = 192;

// Title, at most 12 characters, in one static buffer overwritten by each call.
const char* CartTitle(const uint8_t* image);
// The value the header's CRC field is checked against: the length itself,
// kept to 16 bits (0 for a length of 0 or less). Not a checksum.
uint16_t CartCrc(const uint8_t* image, int32_t length);
// 0xE7 minus every byte of 0x0A0-0x0BC, modulo 256.
uint8_t CartComplement(const uint8_t* image);
// Maker name for the header's maker code, or nullptr when unknown.
const char* CartMaker(const uint8_t* image);
// The header's CRC field, big-endian at 0x0BE.
uint16_t CartCrcField(const uint8_t* image);
// Entry address from the branch at offset 0.
uint32_t CartEntryAddress(const uint8_t* image);
// The report written at start-up when the log is on; romSize is RomSize.
void WriteHeaderReport(const uint8_t* image, int32_t romSize);

}  // namespace koru
