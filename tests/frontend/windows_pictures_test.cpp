// The Windows program's icon and "LOGO" picture are kept in the sources
// (a cross build has no Qt to draw them with). They must be well-formed and
// show what the Linux program draws now.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/test_machine.h"

namespace koru::test {
namespace {

const std::filesystem::path Pictures = std::filesystem::path(KORU_SOURCE_DIR) / "src/frontend/win32";

std::vector<uint8_t> Bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t Little16(const std::vector<uint8_t>& data, size_t at) { return data[at] | (data[at + 1] << 8); }
uint32_t Little32(const std::vector<uint8_t>& data, size_t at) {
    return Little16(data, at) | (Little16(data, at + 2) << 16);
}
uint32_t Big32(const std::vector<uint8_t>& data, size_t at) {
    return (uint32_t(data[at]) << 24) | (data[at + 1] << 16) | (data[at + 2] << 8) | data[at + 3];
}

// A picture as rows top to bottom of blue, green, red, alpha.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    const uint8_t* At(int x, int y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
};

// A 32-bit uncompressed device-independent bitmap starting at its info
// header; rows bottom to top. rows: the picture's own height.
bool ReadDib(const std::vector<uint8_t>& data, size_t at, int rows, Image* image) {
    if (data.size() < at + 40 || Little32(data, at) != 40 || Little16(data, at + 14) != 32 ||
        Little32(data, at + 16) != 0) {
        return false;
    }
    image->width = static_cast<int>(Little32(data, at + 4));
    image->height = rows;
    const size_t bytes = static_cast<size_t>(image->width) * rows * 4;
    if (data.size() < at + 40 + bytes) return false;
    image->pixels.resize(bytes);
    for (int y = 0; y < rows; ++y) {
        const size_t from = at + 40 + static_cast<size_t>(rows - 1 - y) * image->width * 4;
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(from), image->width * 4,
                    image->pixels.begin() + static_cast<std::ptrdiff_t>(y) * image->width * 4);
    }
    return true;
}

struct IconEntry {
    int size;
    bool png;
    Image image;       // for bitmap entries
    std::vector<bool> mask;  // set = transparent, rows top to bottom
};

// Reads an icon file; adds a failure and returns nothing when it is broken.
std::vector<IconEntry> ReadIcon(const std::vector<uint8_t>& data) {
    std::vector<IconEntry> entries;
    EXPECT_GE(data.size(), 6u);
    if (data.size() < 6) return entries;
    EXPECT_EQ(Little16(data, 0), 0u);
    EXPECT_EQ(Little16(data, 2), 1u);  // an icon, not a cursor
    const uint32_t count = Little16(data, 4);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = 6 + 16 * i;
        if (data.size() < entry + 16) {
            ADD_FAILURE() << "directory cut short";
            return {};
        }
        IconEntry icon;
        icon.size = data[entry] ? data[entry] : 256;
        EXPECT_EQ(data[entry + 1] ? data[entry + 1] : 256, icon.size);
        const uint32_t length = Little32(data, entry + 8), offset = Little32(data, entry + 12);
        if (offset + static_cast<size_t>(length) > data.size()) {
            ADD_FAILURE() << "image " << i << " lies outside the file";
            return {};
        }
        icon.png = length >= 24 && data[offset] == 0x89 && data[offset + 1] == 'P';
        if (icon.png) {
            // The signature, then the header chunk with width and height.
            EXPECT_EQ(Big32(data, offset + 16), static_cast<uint32_t>(icon.size));
            EXPECT_EQ(Big32(data, offset + 20), static_cast<uint32_t>(icon.size));
        } else {
            EXPECT_EQ(Little32(data, offset + 8), static_cast<uint32_t>(2 * icon.size)) << "picture and mask";
            if (!ReadDib(data, offset, icon.size, &icon.image)) {
                ADD_FAILURE() << "image " << i << " is no 32-bit bitmap";
                return {};
            }
            EXPECT_EQ(icon.image.width, icon.size);
            const size_t maskRow = (icon.size + 31) / 32 * 4;
            const size_t maskStart = offset + 40 + static_cast<size_t>(icon.size) * icon.size * 4;
            EXPECT_EQ(maskStart + maskRow * icon.size, offset + static_cast<size_t>(length));
            for (int y = 0; y < icon.size; ++y) {
                for (int x = 0; x < icon.size; ++x) {
                    const size_t at = maskStart + static_cast<size_t>(icon.size - 1 - y) * maskRow + x / 8;
                    icon.mask.push_back(at < data.size() && (data[at] & (0x80 >> (x % 8))) != 0);
                }
            }
        }
        entries.push_back(std::move(icon));
    }
    return entries;
}

Image ReadBitmapFile(const std::vector<uint8_t>& data) {
    Image image;
    EXPECT_TRUE(data.size() > 54 && data[0] == 'B' && data[1] == 'M');
    if (data.size() <= 54) return image;
    EXPECT_EQ(Little32(data, 2), data.size());
    EXPECT_EQ(Little32(data, 10), 54u);
    const int height = static_cast<int>(Little32(data, 14 + 8));
    EXPECT_TRUE(ReadDib(data, 14, height, &image));
    return image;
}

// The pictures' rounded tile: opaque and dark green in the middle of its
// top, transparent in the corners.
void ExpectTheTile(const Image& image) {
    ASSERT_GT(image.width, 0);
    const uint8_t* top = image.At(image.width / 2, image.height / 8);
    EXPECT_EQ(top[3], 255);
    EXPECT_GT(top[1], top[2]);  // green over red
    EXPECT_LT(top[1], 160);     // dark
    EXPECT_EQ(image.At(0, 0)[3], 0);
    EXPECT_EQ(image.At(image.width - 1, image.height - 1)[3], 0);
}

TEST(WindowsPicturesTest, TheIconHoldsEverySizeWithMasksThatMatchItsAlpha) {
    const std::vector<IconEntry> icon = ReadIcon(Bytes(Pictures / "koru.ico"));
    std::vector<int> sizes;
    for (const IconEntry& entry : icon) sizes.push_back(entry.size);
    EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 64, 128, 256}));
    for (const IconEntry& entry : icon) {
        if (entry.png) continue;
        SCOPED_TRACE(entry.size);
        ExpectTheTile(entry.image);
        // Windows without alpha blending draws through the mask.
        for (int y = 0; y < entry.size; ++y) {
            for (int x = 0; x < entry.size; ++x) {
                ASSERT_EQ(entry.mask[static_cast<size_t>(y) * entry.size + x], entry.image.At(x, y)[3] == 0)
                    << x << "," << y;
            }
        }
    }
}

TEST(WindowsPicturesTest, TheLogoBitmapIsTheTileWithAlpha) {
    const Image logo = ReadBitmapFile(Bytes(Pictures / "logo.bmp"));
    EXPECT_EQ(logo.width, 56);
    EXPECT_EQ(logo.height, 56);
    ExpectTheTile(logo);
}

#ifdef KORU_ICON_TOOL
// The pictures a fresh drawing gives, within a little rounding.
void ExpectNear(const Image& kept, const Image& drawn) {
    ASSERT_EQ(kept.width, drawn.width);
    ASSERT_EQ(kept.height, drawn.height);
    int worst = 0;
    for (size_t i = 0; i < kept.pixels.size(); i += 4) {
        const int alpha = kept.pixels[i + 3];
        worst = std::max(worst, std::abs(alpha - drawn.pixels[i + 3]));
        // Colours count where they can be seen.
        if (alpha > 16) {
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(kept.pixels[i + c] - drawn.pixels[i + c]));
        }
    }
    EXPECT_LE(worst, 3) << "the kept pictures are out of date; cmake --build <build> --target koru_windows_pictures";
}

class WindowsPicturesDrawnTest : public TempDirTest {};

TEST_F(WindowsPicturesDrawnTest, TheKeptPicturesAreWhatTheProgramDrawsNow) {
    const std::string tool = KORU_ICON_TOOL;
    ASSERT_EQ(std::system((tool + " --ico drawn.ico").c_str()), 0);
    ASSERT_EQ(std::system((tool + " --bmp 56 drawn.bmp").c_str()), 0);
    const std::vector<IconEntry> kept = ReadIcon(Bytes(Pictures / "koru.ico"));
    const std::vector<IconEntry> drawn = ReadIcon(Bytes(dir / "drawn.ico"));
    ASSERT_EQ(kept.size(), drawn.size());
    for (size_t i = 0; i < kept.size(); ++i) {
        SCOPED_TRACE(kept[i].size);
        EXPECT_EQ(kept[i].size, drawn[i].size);
        if (!kept[i].png && !drawn[i].png) ExpectNear(kept[i].image, drawn[i].image);
    }
    ExpectNear(ReadBitmapFile(Bytes(Pictures / "logo.bmp")), ReadBitmapFile(Bytes(dir / "drawn.bmp")));
}
#endif

}  // namespace
}  // namespace koru::test
