// PNG files without a compression library: 8-bit RGB, unfiltered rows in
// stored (uncompressed) deflate blocks. Bigger than a compressed file, but
// every PNG reader takes it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace koru::headless {

// The whole file for width x height pixels of 3 bytes each (red, green,
// blue), rows top to bottom.
std::vector<uint8_t> EncodePlainPng(const uint8_t* rgb, int width, int height);

// The checksums of the format: CRC-32 (of chunks) and Adler-32 (of the
// zlib stream), continued from `start`.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t start = 0);
uint32_t Adler32(const uint8_t* data, size_t size, uint32_t start = 1);

}  // namespace koru::headless
