// The order of layers on a line: background slots, the sprites slotted in
// between them, and which backgrounds each mode draws.
#include "machine/machine.h"
#include "machine/memory.h"
#include "video/video.h"
#include "video/video_registers.h"
#include "video_test.h"

namespace koru::test {
namespace {

constexpr uint16_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return static_cast<uint16_t>(r | (g << 5) | (b << 10)); }

class OrderTest : public VideoTest {
protected:
    const uint16_t bgColour[4] = {Rgb(31, 0, 0), Rgb(0, 31, 0), Rgb(0, 0, 31), Rgb(31, 31, 0)};
    const uint16_t spriteColour = Rgb(0, 31, 31);
    const uint16_t backdrop = Rgb(2, 2, 2);

    // Text background n: screen base 28 + n, character base 1 with tile
    // n + 1 solid in colour index n + 1; map row 0 holds that tile in its
    // first n + 1 columns, so background n covers screen x 0 to 8n + 7 of
    // lines 0-7.
    void NestedBackgrounds(uint16_t priority) {
        Palette(0, backdrop);
        for (uint32_t n = 0; n < 4; ++n) {
            for (uint32_t i = 0; i < 32; ++i) Vram[0x4000 + 32 * (n + 1) + i] = static_cast<uint8_t>(0x11 * (n + 1));
            for (uint32_t c = 0; c <= n; ++c) Vram16((28 + n) * 0x800 + 2 * c, static_cast<uint16_t>(n + 1));
            Palette(n + 1, bgColour[n]);
            Io(0x008 + 2 * n, static_cast<uint16_t>(((28 + n) << 8) | 0x04 | priority));
        }
    }

    // An 8x8 sprite of solid colour index 1 from tile 1 (or tile 513, the
    // same data in bitmap modes).
    void SolidSprite(int k, int x, uint32_t priority, uint16_t colourIndexBank = 0) {
        Sprite(k, 0x0000, static_cast<uint16_t>(x & 511), static_cast<uint16_t>((colourIndexBank << 12) | (priority << 10) | 1));
    }
    void SpriteTiles() {
        for (uint32_t i = 0; i < 32; ++i) {
            Vram[0x10000 + 32 + i] = 0x11;
            Vram[0x14000 + 32 + i] = 0x11;
        }
    }
};

TEST_F(OrderTest, EqualPrioritiesPutBackgroundZeroInFrontAndSpritesFollowTheirSlot) {
    NestedBackgrounds(0);
    SpriteTiles();
    Palette(257, spriteColour);
    // A 16x16 priority-3 sprite at x = 16: drawn right after the rear-most
    // slot (background 3) and before backgrounds 2, 1 and 0.
    Sprite(0, 0x0000, 0x4010, 0x0C01);
    for (uint32_t i = 0; i < 4 * 32; ++i) Vram[0x10000 + 32 + i] = 0x11;
    Io(0x000, 0x1F00);
    Render(0);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Pixel(0, x), Host(bgColour[0])) << x;
    for (int x = 8; x < 16; ++x) EXPECT_EQ(Pixel(0, x), Host(bgColour[1])) << x;
    for (int x = 16; x < 24; ++x) EXPECT_EQ(Pixel(0, x), Host(bgColour[2])) << x;
    for (int x = 24; x < 32; ++x) EXPECT_EQ(Pixel(0, x), Host(spriteColour)) << x;
    for (int x = 32; x < 40; ++x) EXPECT_EQ(Pixel(0, x), Host(backdrop)) << x;

    // The same sprite at priority 0 comes after the front-most slot.
    Sprite(0, 0x0000, 0x4010, 0x0001);
    Render(0);
    for (int x = 16; x < 32; ++x) EXPECT_EQ(Pixel(0, x), Host(spriteColour)) << x;
    EXPECT_EQ(Pixel(0, 15), Host(bgColour[1]));
}

TEST_F(OrderTest, HigherPriorityNumbersGoToTheBack) {
    // Background 0 at priority 3 is rear-most; background 3 at priority 0
    // covers x 0-31 in front of everything.
    NestedBackgrounds(0);
    Io(0x008, static_cast<uint16_t>(Peek16(IoRam + 0x008) | 3));
    Io(0x00E, static_cast<uint16_t>(Peek16(IoRam + 0x00E) & ~3));
    Io(0x00C, static_cast<uint16_t>(Peek16(IoRam + 0x00C) | 1));
    Io(0x00A, static_cast<uint16_t>(Peek16(IoRam + 0x00A) | 2));
    Io(0x000, 0x0F00);
    Render(3);
    for (int x = 0; x < 32; ++x) EXPECT_EQ(Pixel(3, x), Host(bgColour[3])) << x;
    // Without background 3, background 2 (priority 1) covers 0-23.
    Io(0x000, 0x0700);
    Render(3);
    for (int x = 0; x < 24; ++x) EXPECT_EQ(Pixel(3, x), Host(bgColour[2])) << x;
}

TEST_F(OrderTest, SecondTargetFlagIsSetAndClearedBeforeEachBackgroundIsDrawn) {
    NestedBackgrounds(0);
    Io(0x000, 0x0F00);
    Io(0x050, 0x0500);  // backgrounds 0 and 2 are second targets
    BgOrder[0] |= 0x08000000;  // background 3: stale flag
    Render(0);
    for (uint32_t slot = 0; slot < 4; ++slot) {
        const uint32_t n = (BgOrder[slot] >> 28) & 3;
        EXPECT_EQ((BgOrder[slot] >> 27) & 1, (n == 0 || n == 2) ? 1u : 0u) << n;
    }
    // SecondTargetLine holds the front-most second target: background 0 at
    // x 0-7, background 2 at x 8-23, nothing beyond.
    EXPECT_EQ(SecondTargetLine[ScreenLeft + 3], bgColour[0]);
    EXPECT_EQ(SecondTargetLine[ScreenLeft + 12], bgColour[2]);
    EXPECT_EQ(SecondTargetLine[ScreenLeft + 27], 0);
}

TEST_F(OrderTest, ModeOneNeverDrawsBackgroundThreeAndModeTwoNeverTheTextOnes) {
    NestedBackgrounds(0);
    Io(0x000, 0x0801);  // mode 1, background 3 only
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(backdrop));
    Io(0x000, 0x0302);  // mode 2, backgrounds 0 and 1 only
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(backdrop));
    Io(0x000, 0x0301);  // mode 1 draws them
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(bgColour[0]));
    EXPECT_EQ(Pixel(0, 12), Host(bgColour[1]));
}

TEST_F(OrderTest, BitmapModesDrawOnlySpritesNotBehindBackgroundTwo) {
    SpriteTiles();
    Palette(0, backdrop);
    Palette(1, Rgb(9, 9, 9));
    for (uint32_t i = 0; i < 240 * 160; ++i) Vram[i] = 1;
    Palette(257, Rgb(31, 0, 0));
    Palette(16 * 1 + 257, Rgb(0, 31, 0));
    Palette(16 * 2 + 257, Rgb(0, 0, 31));
    Palette(16 * 3 + 257, Rgb(31, 31, 0));
    SolidSprite(0, 0, 1, 0);   // priority 1
    SolidSprite(1, 4, 0, 1);   // priority 0, higher number but drawn later
    SolidSprite(2, 20, 2, 2);  // behind background 2: not drawn
    SolidSprite(3, 30, 3, 3);
    Io(0x00C, 0x0001);
    Io(0x000, 0x1404);
    Render(2);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel(2, x), Host(Rgb(31, 0, 0))) << x;
    for (int x = 4; x < 12; ++x) EXPECT_EQ(Pixel(2, x), Host(Rgb(0, 31, 0))) << x;
    for (int x = 20; x < 38; ++x) EXPECT_EQ(Pixel(2, x), Host(Rgb(9, 9, 9))) << x;

    // Background 2 switched off: the same sprites, still cut at priority 1.
    Io(0x000, 0x1004);
    Render(2);
    EXPECT_EQ(Pixel(2, 0), Host(Rgb(31, 0, 0)));
    EXPECT_EQ(Pixel(2, 22), Host(backdrop));
    // At priority 3 every sprite shows.
    Io(0x00C, 0x0003);
    Render(2);
    EXPECT_EQ(Pixel(2, 22), Host(Rgb(0, 0, 31)));
    EXPECT_EQ(Pixel(2, 33), Host(Rgb(31, 31, 0)));
}

TEST_F(OrderTest, SpriteEffectFollowsTheFirstTargetBitOfItsSlotsBackground) {
    NestedBackgrounds(0);
    SpriteTiles();
    Palette(257, Rgb(8, 8, 8));
    SolidSprite(0, 100, 3);  // slot 0 holds background 3
    SolidSprite(1, 120, 0);  // slot 3 holds background 0
    Io(0x000, 0x1000);       // sprites only
    Io(0x054, 16);
    Io(0x050, 0x0088);  // brighten, first target: background 3 only
    Render(1);
    EXPECT_EQ(Pixel(1, 100), Host(0x7FFF));
    EXPECT_EQ(Pixel(1, 120), Host(Rgb(8, 8, 8)));
}

}  // namespace
}  // namespace koru::test
