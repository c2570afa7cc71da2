// Text backgrounds: tiles, palette banks, flips, scroll and map sizes,
// mosaic and the tile data limit.
#include <cstring>

#include "machine/machine.h"
#include "machine/memory.h"
#include "video/video.h"
#include "video_test.h"

namespace koru::test {
namespace {

constexpr uint16_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return static_cast<uint16_t>(r | (g << 5) | (b << 10)); }

// Background 0 with character base 0 and screen base 16 (0x8000) in these
// tests unless a test says otherwise. Tile t's texel (px, py) has 16-colour
// index 1 + (px + 3 * py + t) % 15, or 256-colour index 1 + (8 * py + px + t) % 255.
class TextBgTest : public VideoTest {
protected:
    const uint16_t backdrop = Rgb(3, 1, 4);
    const uint16_t untouched = 0xFFFF;

    void SetUp() override {
        VideoTest::SetUp();
        Palette(0, backdrop);
        for (uint32_t i = 1; i < 256; ++i) Palette(i, Colour(i));
        Io(0x000, 0x0100);
    }
    static uint16_t Colour(uint32_t index) { return static_cast<uint16_t>((index * 131 + 7) & 0x7FFF); }

    static uint32_t Index16(uint32_t px, uint32_t py, uint32_t t) { return 1 + (px + 3 * py + t) % 15; }
    static uint32_t Index256(uint32_t px, uint32_t py, uint32_t t) { return 1 + (8 * py + px + t) % 255; }
    static void Tiles16(uint32_t charBase, uint32_t first, uint32_t count) {
        for (uint32_t t = first; t < first + count; ++t) {
            for (uint32_t py = 0; py < 8; ++py) {
                for (uint32_t px = 0; px < 8; px += 2) {
                    Vram[charBase + t * 32 + py * 4 + px / 2] =
                        static_cast<uint8_t>(Index16(px, py, t) | (Index16(px + 1, py, t) << 4));
                }
            }
        }
    }
    static void Tiles256(uint32_t charBase, uint32_t first, uint32_t count) {
        for (uint32_t t = first; t < first + count; ++t) {
            for (uint32_t i = 0; i < 64; ++i) {
                const uint32_t at = charBase + t * 64 + i;
                if (at < VramSize) Vram[at] = static_cast<uint8_t>(Index256(i % 8, i / 8, t));
            }
        }
    }
    // Map entry of column c, row r of a screen block.
    static void Entry(uint32_t block, uint32_t c, uint32_t r, uint16_t value) {
        Poke16(Vram + block * 0x800 + (r * 32 + c) * 2, value);
    }
};

TEST_F(TextBgTest, SixteenColourTilesWithBanksAndScrollZero) {
    Tiles16(0, 1, 40);
    for (uint32_t c = 0; c < 32; ++c) Entry(16, c, 1, static_cast<uint16_t>(((c % 16) << 12) | (c + 1)));
    Io(0x008, 0x1000);
    MarkRow(9);
    Render(9);  // map row 1, tile row 1
    for (int x = 0; x < 256; ++x) {
        const uint32_t c = static_cast<uint32_t>(x) / 8;
        if (x >= 248) {
            EXPECT_EQ(Pixel(9, x), untouched) << x;  // 31 tiles only
            continue;
        }
        const uint32_t index = (c % 16) * 16 + Index16(x % 8, 1, c + 1);
        ASSERT_EQ(Pixel(9, x), Host(Colour(index))) << x;
    }
    // The last 8 pixels went into the right margin; nothing to the left.
    EXPECT_EQ(Pixel(9, -1), untouched);
}

TEST_F(TextBgTest, FineScrollStartsInTheLeftMarginAndWidthsWrap) {
    Tiles16(0, 1, 64);
    for (uint32_t c = 0; c < 32; ++c) {
        Entry(16, c, 0, static_cast<uint16_t>(c + 1));
        Entry(17, c, 0, static_cast<uint16_t>(c + 33));
    }
    // Scroll 7 on a 256-wide map: the first 7 pixels are screen x -7..-1.
    Io(0x008, 0x1000);
    Io(0x010, 7);
    MarkRow(0);
    Render(0);
    EXPECT_EQ(Pixel(0, -8), untouched);
    EXPECT_EQ(Pixel(0, -7), Host(Colour(Index16(0, 0, 1))));
    EXPECT_EQ(Pixel(0, 0), Host(Colour(Index16(7, 0, 1))));
    EXPECT_EQ(Pixel(0, 240), Host(Colour(Index16(7, 0, 31))));
    EXPECT_EQ(Pixel(0, 241), untouched);

    // 256-wide map scrolled by 250: column 31, then 0 of the same block.
    Io(0x010, 250);
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Colour(Index16(2, 0, 32))));
    EXPECT_EQ(Pixel(0, 6), Host(Colour(Index16(0, 0, 1))));
    // 512-wide: columns 32-63 come from the next block, 63 wraps to 0.
    Io(0x008, 0x5000);
    Render(0);
    EXPECT_EQ(Pixel(0, 6), Host(Colour(Index16(0, 0, 33))));
    Io(0x010, 512 - 6);
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Colour(Index16(2, 0, 64))));
    EXPECT_EQ(Pixel(0, 6), Host(Colour(Index16(0, 0, 1))));
}

TEST_F(TextBgTest, TallMapsReadTheirLowerBlocks) {
    Tiles16(0, 1, 8);
    Entry(16, 0, 0, 1);
    Entry(17, 0, 0, 2);
    Entry(18, 0, 0, 3);
    Io(0x012, 256);  // line 0 at yb = 256
    Io(0x008, 0x1000);  // 256 x 256: yb wraps to 0, first block
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Colour(Index16(0, 0, 1))));
    Io(0x008, 0x9000);  // 256 x 512: second block
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Colour(Index16(0, 0, 2))));
    Io(0x008, 0xD000);  // 512 x 512: third block
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Colour(Index16(0, 0, 3))));
    Io(0x012, 512 + 3);  // 512 tall wraps at 512
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Colour(Index16(0, 3, 1))));
}

TEST_F(TextBgTest, FlipsReverseTexelsAndRows) {
    Tiles16(0, 1, 1);
    Entry(16, 0, 0, 0x0401);  // horizontal
    Entry(16, 1, 0, 0x0801);  // vertical
    Entry(16, 2, 0, 0x0C01);  // both
    Io(0x008, 0x1000);
    Render(0);
    for (uint32_t px = 0; px < 8; ++px) {
        EXPECT_EQ(Pixel(0, static_cast<int>(px)), Host(Colour(Index16(7 - px, 0, 1))));
        EXPECT_EQ(Pixel(0, static_cast<int>(8 + px)), Host(Colour(Index16(px, 7, 1))));
        EXPECT_EQ(Pixel(0, static_cast<int>(16 + px)), Host(Colour(Index16(7 - px, 7, 1))));
    }
}

TEST_F(TextBgTest, TwoHundredFiftySixColoursIgnoreTheBankAndIndexZeroIsTransparent) {
    Tiles256(0x4000, 1, 2);
    Entry(16, 0, 0, 0xF001);
    Entry(16, 1, 0, 0x0C02);
    Vram[0x4000 + 64 + 3] = 0;  // texel (3, 0) of tile 1
    Palette(0, Rgb(31, 31, 31));
    Io(0x008, 0x1084);
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Colour(Index256(0, 0, 1))));
    EXPECT_EQ(Pixel(0, 3), Host(Rgb(31, 31, 31)));  // the backdrop, not palette 0 drawn
    EXPECT_EQ(Pixel(0, 8), Host(Colour(Index256(7, 7, 2))));
}

TEST_F(TextBgTest, TransparentTexelsKeepWhatLiesBelow) {
    // Background 1 behind: solid colour; background 0's texels of index 0
    // show it.
    for (uint32_t i = 0; i < 32; ++i) Vram[0x4000 + 32 + i] = 0x55;
    for (uint32_t i = 0; i < 1024; ++i) Poke16(Vram + 0x8800 + 2 * i, 1);
    Vram[0] = 0;
    Vram[32] = 0x30;  // tile 1 of background 0: texel 1 index 3, others 0
    Entry(16, 0, 0, 1);
    Io(0x008, 0x1000);
    Io(0x00A, 0x1104);
    Io(0x000, 0x0300);
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Colour(5)));
    EXPECT_EQ(Pixel(0, 1), Host(Colour(3)));
    EXPECT_EQ(Pixel(0, 2), Host(Colour(5)));
}

TEST_F(TextBgTest, MosaicRepeatsRowsAndPixelsFromTheScrolledOrigin) {
    Tiles16(0, 1, 2);
    for (uint32_t r = 0; r < 32; ++r) {
        Entry(16, 0, r, 0x1001);  // bank 1
        Entry(16, 1, r, 0x2002);  // bank 2
    }
    Io(0x04C, 0x0033);
    Io(0x008, 0x1040);
    // Vertical: yb 0-3 show row 0, yb 4-7 row 4.
    for (int line = 0; line < 8; ++line) {
        Render(line);
        const uint32_t row = line < 4 ? 0 : 4;
        EXPECT_EQ(Pixel(line, 1), Host(Colour(16 + Index16(0, row, 1)))) << line;
    }
    // Horizontal with scroll 2: blocks start at screen x -2, so x 2-5
    // repeat tile 1's texel 4 and x 6-9 tile 2's texel 0.
    Io(0x010, 2);
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Colour(16 + Index16(0, 0, 1))));
    EXPECT_EQ(Pixel(0, 1), Host(Colour(16 + Index16(0, 0, 1))));
    EXPECT_EQ(Pixel(0, 2), Host(Colour(16 + Index16(4, 0, 1))));
    EXPECT_EQ(Pixel(0, 5), Host(Colour(16 + Index16(4, 0, 1))));
    EXPECT_EQ(Pixel(0, 6), Host(Colour(32 + Index16(0, 0, 2))));
    EXPECT_EQ(Pixel(0, 7), Host(Colour(32 + Index16(0, 0, 2))));
    // Vertical scroll moves the grid with the background: yb = line + 2.
    Io(0x010, 0);
    Io(0x012, 2);
    Render(1);  // yb 3 -> row 0
    EXPECT_EQ(Pixel(1, 0), Host(Colour(16 + Index16(0, 0, 1))));
    Render(2);  // yb 4 -> row 4
    EXPECT_EQ(Pixel(2, 0), Host(Colour(16 + Index16(0, 4, 1))));
}

TEST_F(TextBgTest, MosaicBlockCrossingATileTakesTheBankOfTheTileUnderThePixel) {
    Tiles16(0, 1, 2);
    Entry(16, 0, 0, 0x1001);
    Entry(16, 1, 0, 0x2002);
    Io(0x04C, 0x0005);  // blocks 6 wide: x 6-11 repeat x 6
    Io(0x008, 0x1040);
    Render(0);
    const uint32_t value = Index16(6, 0, 1);
    EXPECT_EQ(Pixel(0, 7), Host(Colour(16 + value)));
    EXPECT_EQ(Pixel(0, 8), Host(Colour(32 + value)));
    EXPECT_EQ(Pixel(0, 11), Host(Colour(32 + value)));
    EXPECT_EQ(Pixel(0, 12), Host(Colour(32 + Index16(4, 0, 2))));
}

TEST_F(TextBgTest, TilesPastTheEndOfVramAreTransparent) {
    // Character base 3, 256 colours: tile 767 ends exactly at the end of
    // VRAM; 768 and beyond would lie outside.
    Tiles256(0xC000, 760, 8);
    // Sprite RAM usually follows VRAM in the host's memory: fill it with
    // hidden sprites of non-zero bytes, so that a read past the end would
    // show (the sanitizer build catches it in any case).
    std::memset(SpriteRam, 0x02, SpriteRamSize);
    for (uint32_t c = 0; c < 32; ++c) Entry(4, c, 0, static_cast<uint16_t>(764 + c));
    Io(0x008, 0x048C);
    MarkRow(0);
    Render(0);
    for (int x = 0; x < 32; ++x) ASSERT_EQ(Pixel(0, x), Host(Colour(Index256(x % 8, 0, 764 + x / 8)))) << x;
    for (int x = 32; x < 240; ++x) ASSERT_EQ(Pixel(0, x), Host(backdrop)) << x;
    // The last tile, with flips, and as the last row of a mosaic run.
    Entry(4, 0, 0, 0x0FFF);
    Io(0x04C, 0x00FF);
    Io(0x008, 0x04CC);
    for (int line = 0; line < 8; ++line) {
        Render(line);
        for (int x = 0; x < 8; ++x) ASSERT_EQ(Pixel(line, x), Host(backdrop)) << line << " " << x;
    }
}

}  // namespace
}  // namespace koru::test
