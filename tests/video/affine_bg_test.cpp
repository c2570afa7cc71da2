// Rotation/scaling tile maps and the bitmap modes: the texture walk, wrap,
// mosaic, pages and the mode 5 window.
#include "machine/machine.h"
#include "machine/memory.h"
#include "video/video.h"
#include "video/video_registers.h"
#include "video_test.h"

namespace koru::test {
namespace {

constexpr uint16_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return static_cast<uint16_t>(r | (g << 5) | (b << 10)); }

class AffineBgTest : public VideoTest {
protected:
    const uint16_t backdrop = Rgb(3, 1, 4);
    const uint16_t untouched = 0xFFFF;

    void SetUp() override {
        VideoTest::SetUp();
        Palette(0, backdrop);
        for (uint32_t i = 1; i < 256; ++i) Palette(i, Colour(i));
    }
    static uint16_t Colour(uint32_t index) { return static_cast<uint16_t>((index * 131 + 7) & 0x7FFF); }

    // A 128 x 128 map (16 x 16 tiles) at screen base 8 (0x4000) whose
    // texel (x, y) has index 1 + (x + 3 * y) % 255 away from tile borders:
    // tile (tx, ty) is number ty * 16 + tx and holds texel values for its
    // own position, so any texel can be checked by its coordinates.
    static uint32_t TexelIndex(int x, int y) { return 1 + static_cast<uint32_t>(x + 3 * y) % 255; }
    static void Map128(uint32_t charBase = 0) {
        for (int ty = 0; ty < 16; ++ty) {
            for (int tx = 0; tx < 16; ++tx) {
                Vram[0x4000 + ty * 16 + tx] = static_cast<uint8_t>(ty * 16 + tx);
                for (int py = 0; py < 8; ++py) {
                    for (int px = 0; px < 8; ++px) {
                        Vram[charBase + (ty * 16 + tx) * 64 + py * 8 + px] =
                            static_cast<uint8_t>(TexelIndex(tx * 8 + px, ty * 8 + py));
                    }
                }
            }
        }
    }
};

TEST_F(AffineBgTest, IdentityShowsTheMapCornerOneTexelPerPixel) {
    Map128();
    Io(0x00C, 0x0800);  // screen base 8, character base 0, 128 x 128
    Io(0x000, 0x0402);
    RenderFrame();
    for (int line = 0; line < 160; line += 7) {
        for (int x = 0; x < 240; ++x) {
            const uint16_t expected = (x < 128 && line < 128) ? Host(Colour(TexelIndex(x, line))) : Host(backdrop);
            ASSERT_EQ(Pixel(line, x), expected) << line << " " << x;
        }
    }
}

TEST_F(AffineBgTest, ScalingByHalfAStepMagnifies) {
    Map128();
    Io(0x00C, 0x0800);
    Io(0x000, 0x0402);
    BgAffine(2, 128, 0, 0, 128, 0, 0);
    RenderFrame();
    for (int line = 0; line < 160; line += 5) {
        for (int x = 0; x < 240; ++x) {
            ASSERT_EQ(Pixel(line, x), Host(Colour(TexelIndex(x / 2, line / 2)))) << line << " " << x;
        }
    }
}

TEST_F(AffineBgTest, NegativeReferenceIsTransparentWithoutWrapAndRepeatsWithIt) {
    Map128();
    Io(0x000, 0x0402);
    BgAffine(2, 256, 0, 0, 256, -10 * 256, -3 * 256);
    Io(0x00C, 0x0800);
    Render(0);  // texture row -3
    for (int x = 0; x < 240; ++x) ASSERT_EQ(Pixel(0, x), Host(backdrop)) << x;
    BgAffineState[0].curY = 5 * 256;
    Render(1);
    EXPECT_EQ(Pixel(1, 9), Host(backdrop));
    EXPECT_EQ(Pixel(1, 10), Host(Colour(TexelIndex(0, 5))));
    EXPECT_EQ(Pixel(1, 137), Host(Colour(TexelIndex(127, 5))));
    EXPECT_EQ(Pixel(1, 138), Host(backdrop));

    Io(0x00C, 0x2800);  // wrap-around
    BgAffineState[0].curY = -3 * 256;
    Render(0);
    for (int x = 0; x < 240; ++x) {
        ASSERT_EQ(Pixel(0, x), Host(Colour(TexelIndex((x - 10 + 256) % 128, 125)))) << x;
    }
}

TEST_F(AffineBgTest, RotationWalksAlongTheRotatedAxes) {
    Map128();
    Io(0x00C, 0x2800);
    Io(0x000, 0x0402);
    // A quarter turn: screen x runs down the texture (pc = 256), screen y
    // runs left (pb = -256), starting at texel (100, 0).
    BgAffine(2, 0, -256, 256, 0, 100 * 256, 0);
    RenderFrame();
    for (int line = 0; line < 160; line += 9) {
        for (int x = 0; x < 240; ++x) {
            const int tx = ((100 - line) % 128 + 128) % 128, ty = x % 128;
            ASSERT_EQ(Pixel(line, x), Host(Colour(TexelIndex(tx, ty)))) << line << " " << x;
        }
    }
}

TEST_F(AffineBgTest, LargerMapsAndBackgroundThreeUseTheirOwnState) {
    // A 256 x 256 map of background 3: 32 tiles per row; tile (tx, ty) =
    // (ty * 32 + tx) & 255 at screen base 16.
    for (int i = 0; i < 32 * 32; ++i) Vram[0x8000 + i] = static_cast<uint8_t>(i & 255);
    for (int t = 0; t < 256; ++t) {
        for (int b = 0; b < 64; ++b) Vram[0x4000 + t * 64 + b] = static_cast<uint8_t>(t == 0 ? 0 : t);
    }
    Io(0x00E, 0x5004);  // size 1, screen base 16, character base 1
    Io(0x000, 0x0802);
    BgAffine(3, 256, 0, 0, 256, 130 * 256, 40 * 256);
    BgAffine(2, 256, 0, 0, 256, 0, 0);  // must not be used
    Render(0);
    // Texel (130 + x, 40): tile (16 + (130 + x - 128) / 8, 5) etc.
    for (int x = 0; x < 240; ++x) {
        const int tx = 130 + x, ty = 40;
        if (tx >= 256) {
            ASSERT_EQ(Pixel(0, x), Host(backdrop)) << x;
            continue;
        }
        const int tile = (ty / 8 * 32 + tx / 8) & 255;
        ASSERT_EQ(Pixel(0, x), tile ? Host(Colour(tile)) : Host(backdrop)) << x;
    }
}

TEST_F(AffineBgTest, MosaicSnapsTextureCoordinatesTowardZero) {
    Map128();
    Io(0x04C, 0x0023);  // 4 wide, 3 tall
    Io(0x00C, 0x0840);
    Io(0x000, 0x0402);
    BgAffine(2, 256, 0, 0, 256, -6 * 256, 0);
    BgAffineState[0].curY = 7 * 256;
    Render(7);
    // Texture x = screen x - 6: -6..-4 snap to -4 (transparent), -3..3 to
    // 0, 4..7 to 4. Row 7 snaps to 6.
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Pixel(7, x), Host(backdrop)) << x;
    for (int x = 3; x < 10; ++x) EXPECT_EQ(Pixel(7, x), Host(Colour(TexelIndex(0, 6)))) << x;
    for (int x = 10; x < 40; ++x) EXPECT_EQ(Pixel(7, x), Host(Colour(TexelIndex((x - 6) / 4 * 4, 6)))) << x;
}

TEST_F(AffineBgTest, ReferencePointFromTheCurrentValueNotTheLatchedOne) {
    Map128();
    Io(0x00C, 0x0800);
    Io(0x000, 0x0402);
    BgAffine(2, 256, 0, 0, 256, 0, 0);
    BgAffineState[0].curX = 20 * 256;
    BgAffineState[0].curY = 30 * 256;
    Render(0);
    EXPECT_EQ(Pixel(0, 0), Host(Colour(TexelIndex(20, 30))));
}

TEST_F(AffineBgTest, ModeOneDrawsBackgroundTwoAsRotation) {
    Map128();
    Io(0x00C, 0x0800);
    Io(0x000, 0x0401);
    Render(3);
    EXPECT_EQ(Pixel(3, 5), Host(Colour(TexelIndex(5, 0))));  // line 3 of the frame, current point y = 0
}

// ---- Bitmaps ----------------------------------------------------------------

TEST_F(AffineBgTest, ModeThreeDrawsEveryPixelIncludingBlack) {
    for (int i = 0; i < 240 * 160; ++i) Vram16(2 * i, static_cast<uint16_t>(i % 3 == 0 ? 0 : (i * 7) & 0x7FFF));
    Io(0x000, 0x0413);  // frame select has no effect in mode 3
    RenderFrame();
    for (int line = 0; line < 160; line += 11) {
        for (int x = 0; x < 240; ++x) {
            const int i = line * 240 + x;
            ASSERT_EQ(Pixel(line, x), Host(i % 3 == 0 ? 0 : (i * 7) & 0x7FFF)) << line << " " << x;
        }
    }
}

TEST_F(AffineBgTest, ModeFourPagesAndIndexZero) {
    for (int i = 0; i < 240 * 160; ++i) {
        Vram[i] = static_cast<uint8_t>(i % 5);
        Vram[0xA000 + i] = static_cast<uint8_t>(200 + i % 7);
    }
    Io(0x054, 16);
    Io(0x050, 0x0084);  // background 2 brightened; the backdrop is not
    Io(0x000, 0x0404);
    BgAffineState[0].curY = 10 * 256;  // line 10 of an identity walk
    Render(10);
    // Index 0 is drawn too (palette colour 0 brightened), never left to
    // the backdrop.
    for (int x = 0; x < 240; ++x) ASSERT_EQ(Pixel(10, x), Host(0x7FFF)) << x;
    Io(0x050, 0);
    Io(0x000, 0x0414);
    Render(10);
    for (int x = 0; x < 240; ++x) ASSERT_EQ(Pixel(10, x), Host(Colour(200 + (10 * 240 + x) % 7))) << x;
    Io(0x000, 0x0404);
    Render(10);
    EXPECT_EQ(Pixel(10, 0), Host(backdrop));  // index 0: palette colour 0
    EXPECT_EQ(Pixel(10, 1), Host(Colour(1)));
}

TEST_F(AffineBgTest, ModeFiveWindowAndPages) {
    for (int i = 0; i < 160 * 128; ++i) {
        Vram16(2 * i, static_cast<uint16_t>((i * 3) & 0x7FFF));
        Vram16(0xA000 + 2 * i, static_cast<uint16_t>((i * 5 + 1) & 0x7FFF));
    }
    Io(0x000, 0x0405);
    RenderFrame();
    for (int line = 0; line < 160; ++line) {
        for (int x = 0; x < 240; ++x) {
            const bool inside = line >= 16 && line < 128 && x >= 40 && x < 200;
            // With the identity walk, screen x 40 + k shows bitmap column k
            // and line L bitmap row L; rows from 128 on are outside it.
            const uint16_t expected = inside ? Host(((line * 160 + (x - 40)) * 3) & 0x7FFF) : Host(backdrop);
            ASSERT_EQ(Pixel(line, x), expected) << line << " " << x;
        }
    }
    Io(0x000, 0x0415);
    BgAffineState[0].curY = 20 * 256;
    Render(20);
    EXPECT_EQ(Pixel(20, 40), Host(((20 * 160) * 5 + 1) & 0x7FFF));
    // Bitmap row 128 and beyond is outside: untouched.
    BgAffineState[0].curY = 130 * 256;
    Render(130);
    EXPECT_EQ(Pixel(130, 100), Host(backdrop));
    // SecondTargetLine gets the drawn window only.
    Io(0x050, 0x0400);
    BgAffineState[0].curY = 20 * 256;
    Render(20);
    EXPECT_EQ(SecondTargetLine[ScreenLeft + 39], 0);
    EXPECT_EQ(SecondTargetLine[ScreenLeft + 40], ((20 * 160) * 5 + 1) & 0x7FFF);
    EXPECT_EQ(SecondTargetLine[ScreenLeft + 199], ((20 * 160 + 159) * 5 + 1) & 0x7FFF);
    EXPECT_EQ(SecondTargetLine[ScreenLeft + 200], 0);
}

TEST_F(AffineBgTest, BitmapsFollowTheWalkAndMosaic) {
    for (int i = 0; i < 240 * 160; ++i) Vram16(2 * i, static_cast<uint16_t>((i * 7 + 1) & 0x7FFF));
    Io(0x000, 0x0403);
    // Scroll by (-5, 2) with the identity: the first five pixels keep the
    // backdrop.
    BgAffine(2, 256, 0, 0, 256, -5 * 256, 2 * 256);
    Render(0);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(Pixel(0, x), Host(backdrop));
    EXPECT_EQ(Pixel(0, 5), Host(((2 * 240) * 7 + 1) & 0x7FFF));
    EXPECT_EQ(Pixel(0, 239), Host(((2 * 240 + 234) * 7 + 1) & 0x7FFF));
    // Magnified by two with mosaic 3 wide: x snaps to multiples of 3.
    BgAffine(2, 128, 0, 0, 128, 0, 9 * 256);
    Io(0x04C, 0x0002);
    Io(0x00C, 0x0040);
    Render(0);
    for (int x = 0; x < 240; ++x) {
        const int tx = (x / 2) / 3 * 3;
        ASSERT_EQ(Pixel(0, x), Host(((9 * 240 + tx) * 7 + 1) & 0x7FFF)) << x;
    }
}

}  // namespace
}  // namespace koru::test
