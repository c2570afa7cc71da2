// The PNG writer of the Windows koru-headless: checksums against their
// published check values, the file's layout, and (where libpng is at hand)
// the pictures read back by libpng pixel for pixel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "headless/png_writer.h"

#ifdef KORU_HAVE_LIBPNG
#include <png.h>
#endif

namespace koru::headless {
namespace {

uint32_t Big(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

std::vector<uint8_t> Pattern(int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return rgb;
}

TEST(PlainPng, ChecksumsGiveTheirCheckValues) {
    const std::string digits = "123456789";
    const auto* d = reinterpret_cast<const uint8_t*>(digits.data());
    EXPECT_EQ(Crc32(d, digits.size()), 0xCBF43926u);
    // Continuing a checksum over a second part gives the same as the whole.
    EXPECT_EQ(Crc32(d + 4, 5, Crc32(d, 4)), 0xCBF43926u);
    EXPECT_EQ(Adler32(d, digits.size()), 0x091E01DEu);
    const std::string word = "Wikipedia";
    EXPECT_EQ(Adler32(reinterpret_cast<const uint8_t*>(word.data()), word.size()), 0x11E60398u);
    // 5552 bytes of 0xFF let the sums pass the modulus many times over.
    const std::vector<uint8_t> ones(100000, 0xFF);
    uint32_t a = 1, b = 0;
    for (size_t i = 0; i < ones.size(); ++i) {
        a = (a + 0xFF) % 65521;
        b = (b + a) % 65521;
    }
    EXPECT_EQ(Adler32(ones.data(), ones.size()), b << 16 | a);
}

TEST(PlainPng, ChunksAreLaidOutWithTheirLengthsAndChecksums) {
    const auto rgb = Pattern(240, 160);
    const auto file = EncodePlainPng(rgb.data(), 240, 160);
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GT(file.size(), 8u);
    EXPECT_EQ(std::memcmp(file.data(), signature, 8), 0);
    std::vector<std::string> types;
    size_t at = 8;
    std::vector<uint8_t> zlib;
    while (at + 12 <= file.size()) {
        const uint32_t length = Big(file, at);
        ASSERT_LE(at + 12 + length, file.size());
        const std::string type(file.begin() + at + 4, file.begin() + at + 8);
        types.push_back(type);
        EXPECT_EQ(Big(file, at + 8 + length), Crc32(file.data() + at + 4, length + 4)) << type;
        if (type == "IHDR") {
            ASSERT_EQ(length, 13u);
            EXPECT_EQ(Big(file, at + 8), 240u);
            EXPECT_EQ(Big(file, at + 12), 160u);
            EXPECT_EQ(file[at + 16], 8);  // bits per channel
            EXPECT_EQ(file[at + 17], 2);  // RGB
        }
        if (type == "IDAT") zlib.insert(zlib.end(), file.begin() + at + 8, file.begin() + at + 8 + length);
        at += 12 + length;
    }
    EXPECT_EQ(at, file.size());
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    // A zlib header that readers accept: deflate, check bits right.
    ASSERT_GE(zlib.size(), 2u);
    EXPECT_EQ(zlib[0] & 0x0F, 8);
    EXPECT_EQ((zlib[0] * 256 + zlib[1]) % 31, 0);
    // 160 rows of a filter byte and 720 bytes need two stored blocks.
    EXPECT_EQ(zlib.size(), 2 + 2 * 5 + 160 * 721 + 4u);
}

#ifdef KORU_HAVE_LIBPNG
std::vector<uint8_t> ReadWithLibpng(const std::vector<uint8_t>& file, int& width, int& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return rgb;
}

TEST(PlainPng, LibpngReadsBackEveryPixel) {
    // One pixel, a screen, and a picture whose data spans three blocks.
    const int sizes[][2] = {{1, 1}, {240, 160}, {300, 100}, {7, 3}};
    for (const auto& size : sizes) {
        const auto rgb = Pattern(size[0], size[1]);
        const auto file = EncodePlainPng(rgb.data(), size[0], size[1]);
        int width = 0, height = 0;
        const auto back = ReadWithLibpng(file, width, height);
        EXPECT_EQ(width, size[0]);
        EXPECT_EQ(height, size[1]);
        EXPECT_TRUE(back == rgb) << size[0] << "x" << size[1];
    }
}

TEST(PlainPng, LibpngRefusesAFileWithOneByteChanged) {
    const auto rgb = Pattern(16, 16);
    auto file = EncodePlainPng(rgb.data(), 16, 16);
    int width = 0, height = 0;
    ASSERT_FALSE(ReadWithLibpng(file, width, height).empty());
    // A pixel byte inside the stored block: neither the chunk's CRC nor the
    // Adler-32 matches any more.
    file[file.size() - 12 - 4 - 4 - 10] ^= 1;
    EXPECT_TRUE(ReadWithLibpng(file, width, height).empty());
}
#endif

}  // namespace
}  // namespace koru::headless
