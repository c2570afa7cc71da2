// Sprites: placement, margins, flips, mappings, rotation/scaling, double
// size, modes and the tile data limits.
#include "machine/machine.h"
#include "machine/memory.h"
#include "video/video.h"
#include "video_test.h"

namespace koru::test {
namespace {

constexpr uint16_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return static_cast<uint16_t>(r | (g << 5) | (b << 10)); }

class SpriteTest : public VideoTest {
protected:
    const uint16_t backdrop = Rgb(1, 2, 3);
    const uint16_t untouched = 0xFFFF;  // no console colour maps to it

    void SetUp() override {
        VideoTest::SetUp();
        Palette(0, backdrop);
        // Sprite palette: colour 256 + i is distinct for every i.
        for (uint32_t i = 1; i < 256; ++i) Palette(256 + i, static_cast<uint16_t>(i * 97 % 0x7FFF + 1));
        Io(0x000, 0x1000);  // mode 0, sprites on
    }
    static uint16_t SpriteColour(uint32_t index) { return static_cast<uint16_t>(index * 97 % 0x7FFF + 1); }

    // Fills a 16-colour tile slot so that texel (px, py) has index
    // 1 + (px + 2 * py + tag) % 15.
    static void Tile16(uint32_t slot, uint32_t tag, uint32_t base = 0x10000) {
        for (uint32_t py = 0; py < 8; ++py) {
            for (uint32_t px = 0; px < 8; px += 2) {
                const uint32_t lo = 1 + (px + 2 * py + tag) % 15, hi = 1 + (px + 1 + 2 * py + tag) % 15;
                Vram[base + slot * 32 + py * 4 + px / 2] = static_cast<uint8_t>(lo | (hi << 4));
            }
        }
    }
    static uint32_t Index16(uint32_t px, uint32_t py, uint32_t tag) { return 1 + (px + 2 * py + tag) % 15; }
    // A 256-colour tile (two slots) with texel index 1 + (px + 8 * py + tag) % 255.
    static void Tile256(uint32_t slot, uint32_t tag) {
        for (uint32_t i = 0; i < 64; ++i) Vram[0x10000 + slot * 32 + i] = static_cast<uint8_t>(1 + (i + tag) % 255);
    }
    static uint32_t Index256(uint32_t px, uint32_t py, uint32_t tag) { return 1 + (px + 8 * py + tag) % 255; }
};

TEST_F(SpriteTest, LowerNumberedSpriteCoversAHigherOneOfTheSamePriority) {
    Tile16(1, 0);
    Tile16(2, 5);
    Sprite(10, 0x0000, 0x0000, 0x0001);
    Sprite(3, 0x0000, 0x0004, 0x0002);
    Render(0);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel(0, x), Host(SpriteColour(Index16(x, 0, 0)))) << x;
    for (int x = 4; x < 12; ++x) EXPECT_EQ(Pixel(0, x), Host(SpriteColour(Index16(x - 4, 0, 5)))) << x;
}

// The renderers keep what they work out from sprite and palette memory (the
// sprites covering each line, the palette's host pixels) from line to line
// and frame to frame: a change made straight in memory between two lines
// drawn, even the same line again, must show at once.
TEST_F(SpriteTest, MemoryChangedBetweenTwoLinesShowsOnTheNextLineDrawn) {
    Tile16(1, 0);
    Sprite(0, 0x0000, 0x0000, 0x0001);  // 8 x 8 at (0, 0)
    Render(2);
    EXPECT_EQ(Pixel(2, 0), Host(SpriteColour(Index16(0, 2, 0))));
    Sprite(0, 0x0000, 0x0010, 0x0001);  // moved to x = 16
    Render(2);
    EXPECT_EQ(Pixel(2, 0), Host(backdrop));
    EXPECT_EQ(Pixel(2, 16), Host(SpriteColour(Index16(0, 2, 0))));
    Poke16(SpriteRam + 0, 0x0004);  // down to y = 4, written like a DMA would
    Render(3);
    EXPECT_EQ(Pixel(3, 16), Host(backdrop));
    Render(5);
    EXPECT_EQ(Pixel(5, 16), Host(SpriteColour(Index16(0, 1, 0))));
    Palette(256 + Index16(0, 1, 0), Rgb(9, 9, 9));
    Render(5);
    EXPECT_EQ(Pixel(5, 16), Host(Rgb(9, 9, 9)));
}

TEST_F(SpriteTest, CoordinatesWrapIntoTheMarginsWithoutWrappingAcrossTheScreen) {
    for (uint32_t slot = 0; slot < 64; ++slot) Tile16(slot, slot);
    // y = 200 is 56 lines above the screen: a 64-tall sprite shows its rows
    // 56-63 on lines 0-7.
    Sprite(0, static_cast<uint16_t>(0x0000 | 200), static_cast<uint16_t>(0xC000 | 100), 0x0000);
    Io(0x000, 0x1040);  // one-dimensional: row r of tiles starts at slot 8r
    Render(0);
    EXPECT_EQ(Pixel(0, 100), Host(SpriteColour(Index16(0, 0, 56))));
    Render(7);
    EXPECT_EQ(Pixel(7, 100), Host(SpriteColour(Index16(0, 7, 56))));
    MarkRow(8);
    Render(8);
    EXPECT_EQ(Pixel(8, 100), Host(backdrop));

    // x = 500 starts 12 pixels left of the screen: a 16x8 sprite covers
    // frame buffer columns 118-133.
    Sprite(0, 0x4000 | 20, static_cast<uint16_t>(0x0000 | 500), 0x0000);
    MarkRow(20);
    Render(20);
    EXPECT_EQ(FrameBuffer[20 * FrameWidth + 117], untouched);
    EXPECT_EQ(FrameBuffer[20 * FrameWidth + 118], Host(SpriteColour(Index16(0, 0, 0))));
    EXPECT_EQ(FrameBuffer[20 * FrameWidth + 130], Host(SpriteColour(Index16(4, 0, 1))));
    EXPECT_EQ(FrameBuffer[20 * FrameWidth + 133], Host(SpriteColour(Index16(7, 0, 1))));
    EXPECT_EQ(Pixel(20, 4), Host(backdrop));

    // x = 300 is never drawn.
    Sprite(0, 0xC000 | 20, static_cast<uint16_t>(0xC000 | 300), 0x0000);
    MarkRow(20);
    Render(20);
    for (int column = 0; column < FrameWidth; ++column) {
        const uint16_t expected = (column >= ScreenLeft && column < ScreenLeft + ScreenWidth) ? Host(backdrop) : untouched;
        ASSERT_EQ(FrameBuffer[20 * FrameWidth + column], expected) << column;
    }

    // A 64x64 sprite at x = 200 ends at column 393 and does not come back
    // at the left edge.
    Sprite(0, 0x0000 | 20, static_cast<uint16_t>(0xC000 | 200), 0x0000);
    MarkRow(20);
    Render(20);
    EXPECT_EQ(FrameBuffer[20 * FrameWidth + 330], Host(SpriteColour(Index16(0, 0, 0))));
    EXPECT_EQ(FrameBuffer[20 * FrameWidth + 393], Host(SpriteColour(Index16(7, 0, 7))));
    EXPECT_EQ(FrameBuffer[20 * FrameWidth + 394], untouched);
    for (int x = 0; x < 40; ++x) EXPECT_EQ(Pixel(20, x), Host(backdrop)) << x;
}

TEST_F(SpriteTest, FlipsMirrorTheWholeSpriteNotEachTile) {
    // A 16x16 sprite in two-dimensional mapping: tiles 4, 5 over 36, 37.
    for (uint32_t slot : {4u, 5u, 36u, 37u}) Tile16(slot, slot);
    for (uint32_t flips = 0; flips < 4; ++flips) {
        Sprite(0, 0x0000 | 10, static_cast<uint16_t>(0x4000 | (flips << 12) | 50), 0x0004);
        for (int line = 10; line < 26; ++line) {
            Render(line);
            for (int x = 50; x < 66; ++x) {
                int u = x - 50, v = line - 10;
                if (flips & 1) u = 15 - u;
                if (flips & 2) v = 15 - v;
                const uint32_t slot = 4 + static_cast<uint32_t>(u / 8) + 32 * static_cast<uint32_t>(v / 8);
                ASSERT_EQ(Pixel(line, x), Host(SpriteColour(Index16(u % 8, v % 8, slot))))
                    << "flips " << flips << " line " << line << " x " << x;
            }
        }
    }
}

TEST_F(SpriteTest, TwoHundredFiftySixColourMappings) {
    // 16x8, 256 colours. Two-dimensional: tile number 7 reads as 6, the
    // second tile is two slots on. One-dimensional: an odd tile number is
    // taken as it is.
    Tile256(6, 0);
    Tile256(8, 100);
    Tile256(11, 50);
    Tile256(13, 150);
    Sprite(0, 0x6000 | 0, 0x0000, 0x0007);
    Io(0x000, 0x1000);
    Render(3);
    EXPECT_EQ(Pixel(3, 2), Host(SpriteColour(Index256(2, 3, 0))));
    EXPECT_EQ(Pixel(3, 9), Host(SpriteColour(Index256(1, 3, 100))));
    Io(0x000, 0x1040);
    Sprite(0, 0x6000 | 0, 0x0000, 0x000B);
    Render(3);
    EXPECT_EQ(Pixel(3, 2), Host(SpriteColour(Index256(2, 3, 50))));
    EXPECT_EQ(Pixel(3, 9), Host(SpriteColour(Index256(1, 3, 150))));
    // The palette bank bits do not apply to 256-colour sprites.
    Sprite(0, 0x6000 | 0, 0x0000, 0xF00B);
    Render(3);
    EXPECT_EQ(Pixel(3, 2), Host(SpriteColour(Index256(2, 3, 50))));
}

TEST_F(SpriteTest, PaletteBankSelectsSixteenColours) {
    Tile16(1, 0);
    Sprite(0, 0x0000, 0x0000, 0xB001);
    Render(0);
    EXPECT_EQ(Pixel(0, 3), Host(SpriteColour(16 * 11 + Index16(3, 0, 0))));
}

TEST_F(SpriteTest, HiddenBitAndDoubleSizeBit) {
    Tile16(1, 0);
    Sprite(0, 0x0200, 0x0000, 0x0001);  // bit 9 without bit 8: hidden
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(backdrop));
    // Both bits: a double-size rotation sprite, identity parameters, its
    // 8x8 texture centred in a 16x16 box.
    SpriteGroup(0, 256, 0, 0, 256);
    Sprite(0, 0x0300, 0x0000, 0x0001);
    for (int line = 0; line < 16; ++line) {
        Render(line);
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 4 && x < 12 && line >= 4 && line < 12;
            const uint16_t expected = inside ? Host(SpriteColour(Index16(x - 4, line - 4, 0))) : Host(backdrop);
            ASSERT_EQ(Pixel(line, x), expected) << line << " " << x;
        }
    }
}

TEST_F(SpriteTest, IdentityRotationLooksLikeThePlainSprite) {
    for (uint32_t slot = 0; slot < 256; ++slot) Tile16(slot, slot * 3);
    SpriteGroup(5, 256, 0, 0, 256);
    for (uint16_t shapeSize : {0x0000, 0x4000 | 0x0001, 0x8000 | 0x0003, 0x4000 | 0x0002}) {
        const uint16_t attr0 = static_cast<uint16_t>((shapeSize & 0xC000) | 30);
        const uint16_t attr1 = static_cast<uint16_t>(((shapeSize & 3) << 14) | 70);
        std::vector<uint16_t> plain, rotated;
        Sprite(0, attr0, attr1, 0x0003);
        for (int line = 30; line < 94; ++line) {
            Render(line);
            for (int x = 70; x < 134; ++x) plain.push_back(Pixel(line, x));
        }
        Sprite(0, attr0 | 0x0100, static_cast<uint16_t>(attr1 | (5 << 9)), 0x0003);
        for (int line = 30; line < 94; ++line) {
            Render(line);
            for (int x = 70; x < 134; ++x) rotated.push_back(Pixel(line, x));
        }
        EXPECT_EQ(plain, rotated) << std::hex << shapeSize;
        EXPECT_NE(plain[0], Host(backdrop));
    }
}

TEST_F(SpriteTest, RotationAndScalingSampleAroundTheCentre) {
    Tile16(1, 0);
    // Half-size scale (PA = PD = 512): each pixel steps two texels; the 8x8
    // box shows texels centred on (4, 4).
    SpriteGroup(1, 512, 0, 0, 512);
    Sprite(0, 0x0100 | 40, static_cast<uint16_t>((1 << 9) | 40), 0x0001);
    Render(44);  // iy = 0, v = 4
    // u = ((512 * (i - 4)) >> 8) + 4 = 2i - 4: texels 0, 2, 4, 6 at i = 2..5
    EXPECT_EQ(Pixel(44, 41), Host(backdrop));
    EXPECT_EQ(Pixel(44, 42), Host(SpriteColour(Index16(0, 4, 0))));
    EXPECT_EQ(Pixel(44, 45), Host(SpriteColour(Index16(6, 4, 0))));
    EXPECT_EQ(Pixel(44, 46), Host(backdrop));

    // A quarter turn (PA = PD = 0, PB = -256, PC = 256): texel u = 4 - iy
    // and v = ix, where iy = line - top - 4 and ix = x - left; u = 8 on the
    // top line falls outside the texture.
    SpriteGroup(1, 0, -256, 256, 0);
    for (int line = 40; line < 48; ++line) {
        Render(line);
        for (int x = 40; x < 48; ++x) {
            const int u = 4 - (line - 44), v = x - 40;
            const uint16_t expected = u < 8 ? Host(SpriteColour(Index16(u, v, 0))) : Host(backdrop);
            ASSERT_EQ(Pixel(line, x), expected) << line << " " << x;
        }
    }
}

// Only the pixels whose texture position falls inside the texture are
// visited; the edges of that span must be the pixel model's for every sign
// and size of step, zero included, and for the extreme parameters.
TEST_F(SpriteTest, RotationSpansEndWhereTheTextureEnds) {
    for (uint32_t slot = 0; slot < 64; ++slot) Tile16(slot, slot);
    const int16_t steps[] = {-32768, -300, -256, -129, -1, 0, 1, 127, 256, 300, 32767};
    // A 32 x 32 texture in its 64 x 64 double-size box, partly off the left
    // edge of the screen, then partly off the right one.
    for (uint16_t left : {uint16_t{500}, uint16_t{203}}) {
        for (int16_t pa : steps) {
            for (int16_t pc : {int16_t{0}, int16_t{-77}, int16_t{256}}) {
                SpriteGroup(2, pa, 96, pc, -200);
                Sprite(0, static_cast<uint16_t>(0x0300 | 20), static_cast<uint16_t>(0x8000 | (2 << 9) | left), 0x0000);
                for (int line = 20; line < 84; line += 7) {
                    Render(line);
                    const std::vector<uint16_t> expected = ReferenceLine(line);
                    for (int x = 0; x < ScreenWidth; ++x) {
                        ASSERT_EQ(Pixel(line, x), Host(expected[x]))
                            << left << " " << pa << " " << pc << " " << line << " " << x;
                    }
                }
            }
        }
    }
}

TEST_F(SpriteTest, MosaicAppliesOnlyToRotationSprites) {
    Tile16(1, 0);
    Io(0x04C, 0x0033);  // blocks of 4 x 4
    SpriteGroup(0, 256, 0, 0, 256);
    Sprite(0, 0x1000 | 0x0100 | 0, 0x0000, 0x0001);
    Render(6);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Pixel(6, x), Host(SpriteColour(Index16(x / 4 * 4, 4, 0)))) << x;
    Sprite(0, 0x1000 | 0, 0x0000, 0x0001);  // regular: mosaic ignored
    Render(6);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Pixel(6, x), Host(SpriteColour(Index16(x, 6, 0)))) << x;
}

TEST_F(SpriteTest, SemiTransparentBlendsInEveryColumnAndObjectWindowIsInvisible) {
    Tile16(1, 0);
    for (uint32_t i = 0; i < 32; ++i) Vram[0x10000 + 64 + i] = 0x11;  // tile 2: solid index 1
    Palette(257, Rgb(20, 10, 0));
    Io(0x052, 0x0808);
    Sprite(0, 0x0400 | 0, 0x0000, 0x0002);  // semi-transparent
    // Nothing to blend with: own colour.
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Rgb(20, 10, 0)));
    // The backdrop as second target, no effect selected: still blended.
    Palette(0, Rgb(0, 10, 20));
    Io(0x050, 0x2000);
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Rgb(10, 10, 10)));
    // Darken selected for the sprite's slot: the semi-transparent sprite
    // blends instead.
    Io(0x054, 16);
    Io(0x050, 0x20C1);
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Rgb(10, 10, 10)));
    // A normal sprite in the same place is darkened.
    Sprite(0, 0x0000, 0x0000, 0x0002);
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(0));
    // Object window and the unused mode draw nothing and leave no target.
    Io(0x050, 0x1000);
    for (uint16_t mode : {0x0800, 0x0C00}) {
        Sprite(0, mode, 0x0000, 0x0002);
        Render(0);
        EXPECT_EQ(Pixel(0, 0), Host(Rgb(0, 10, 20)));
        EXPECT_EQ(SecondTargetLine[ScreenLeft], 0);
    }
    // Sprites as second target leave their raw colour.
    Sprite(0, 0x0000, 0x0000, 0x0002);
    Render(0);
    EXPECT_EQ(SecondTargetLine[ScreenLeft], Rgb(20, 10, 0));
}

TEST_F(SpriteTest, BitmapModesUseTheUpperTilesAndNineBitTileNumbers) {
    Tile16(0, 9, 0x14000);
    Tile16(0, 3, 0x10000);
    Io(0x000, 0x1003);
    Io(0x00C, 0x0003);
    for (uint16_t tile : {0x0000, 0x0200}) {
        Sprite(0, 0x0000, 0x0000, tile);
        Render(0);
        EXPECT_EQ(Pixel(0, 1), Host(SpriteColour(Index16(1, 0, 9)))) << tile;
    }
    Io(0x000, 0x1000);
    Sprite(0, 0x0000, 0x0000, 0x0200);  // mode 0: tile 512 is 0x14000 too
    Render(0);
    EXPECT_EQ(Pixel(0, 1), Host(SpriteColour(Index16(1, 0, 9))));
    Sprite(0, 0x0000, 0x0000, 0x0000);
    Render(0);
    EXPECT_EQ(Pixel(0, 1), Host(SpriteColour(Index16(1, 0, 3))));
}

TEST_F(SpriteTest, TileDataPastTheEndOfVramIsTransparent) {
    // A 32x64 tall sprite in two-dimensional mapping from tile 1023: its
    // tile rows are 1024 bytes apart and run from 0x17FE0 to about 7 KB past
    // the end. The first tile slot (32 bytes before the end) is the only one
    // inside VRAM.
    for (uint32_t i = 0x17FE0; i < VramSize; ++i) Vram[i] = 0x22;
    Palette(258, Rgb(31, 31, 31));
    Sprite(0, 0x8000 | 0, 0xC000 | 8, 0x03FF);
    for (int line = 0; line < 64; ++line) {
        Render(line);
        for (int x = 8; x < 40; ++x) {
            const bool inside = line < 8 && x < 16;
            ASSERT_EQ(Pixel(line, x), inside ? Host(Rgb(31, 31, 31)) : Host(backdrop)) << line << " " << x;
        }
    }
    // With 256 colours tile 1023 reads as 1022, whose second half (rows
    // 4-7 of the first tile) is the only part inside VRAM.
    Palette(256 + 0x22, Rgb(31, 0, 31));
    Sprite(0, 0xA000, 0xC000 | 8, 0x03FF);
    for (int line = 0; line < 64; ++line) {
        Render(line);
        for (int x = 8; x < 40; ++x) {
            const bool inside = line >= 4 && line < 8 && x < 16;
            ASSERT_EQ(Pixel(line, x), inside ? Host(Rgb(31, 0, 31)) : Host(backdrop)) << line << " " << x;
        }
    }
    // Flipped, as rotation sprites, double size, one-dimensional: whatever
    // shows must be what the data says, and nothing is read past the end.
    SpriteGroup(0, 200, 30, -40, 300);
    for (uint16_t display : {0x1000, 0x1040}) {
        Io(0x000, display);
        for (uint16_t attr0 : {0x2000, 0x2100, 0x2300, 0x0100, 0x0300}) {
            for (uint16_t flips : {0x0000, 0x3000}) {
                Sprite(0, static_cast<uint16_t>(0x8000 | attr0), static_cast<uint16_t>((attr0 & 0x100 ? 0 : flips) | 0xC000 | 8),
                       0x03FF);
                for (int line = 0; line < 128; line += 3) {
                    if (line >= FrameHeight) break;
                    Render(line);
                    const std::vector<uint16_t> expected = ReferenceLine(line);
                    for (int x = 0; x < ScreenWidth; ++x) ASSERT_EQ(Pixel(line, x), Host(expected[x])) << line << " " << x;
                }
            }
        }
    }
    // Bitmap modes: tile 511 at 0x14000 + 511 x 32 = the last slot.
    Io(0x000, 0x1004);
    Io(0x00C, 0x0003);
    Sprite(0, 0x8000 | 0, 0xC000 | 8, 0x01FF);
    Render(0);
    EXPECT_EQ(Pixel(0, 8), Host(Rgb(31, 31, 31)));
    MarkRow(9);
    Render(9);
    EXPECT_EQ(Pixel(9, 8), Host(backdrop));
}

}  // namespace
}  // namespace koru::test
