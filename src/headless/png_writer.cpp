#include "headless/png_writer.h"

#include <array>
#include <cstring>

namespace koru::headless {
namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> CrcTable = MakeCrcTable();

void PutBig(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
    PutBig(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig(out, Crc32(out.data() + start, out.size() - start));
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t start) {
    uint32_t c = ~start;
    for (size_t i = 0; i < size; ++i) c = CrcTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return ~c;
}

uint32_t Adler32(const uint8_t* data, size_t size, uint32_t start) {
    uint32_t a = start & 0xFFFF, b = start >> 16;
    for (size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

std::vector<uint8_t> EncodePlainPng(const uint8_t* rgb, int width, int height) {
    // The raw image: each row starts with filter type 0 (none).
    const size_t row = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> raw;
    raw.reserve((row + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb + y * row, rgb + (y + 1) * row);
    }

    // zlib stream: header (deflate, 32 KB window, no dictionary, check bits
    // making it a multiple of 31), stored blocks of at most 65535 bytes,
    // Adler-32 of the raw data.
    std::vector<uint8_t> zlib = {0x78, 0x01};
    size_t done = 0;
    do {
        const size_t length = raw.size() - done < 65535 ? raw.size() - done : 65535;
        const bool last = done + length == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<uint8_t>(length));
        zlib.push_back(static_cast<uint8_t>(length >> 8));
        zlib.push_back(static_cast<uint8_t>(~length));
        zlib.push_back(static_cast<uint8_t>(~length >> 8));
        zlib.insert(zlib.end(), raw.begin() + done, raw.begin() + done + length);
        done += length;
    } while (done < raw.size());
    PutBig(zlib, Adler32(raw.data(), raw.size()));

    std::vector<uint8_t> header;
    PutBig(header, static_cast<uint32_t>(width));
    PutBig(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter method, not interlaced

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(file, "IHDR", header);
    PutChunk(file, "IDAT", zlib);
    PutChunk(file, "IEND", {});
    return file;
}

}  // namespace koru::headless
