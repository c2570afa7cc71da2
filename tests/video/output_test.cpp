// The output rules, the colour arithmetic, the backdrop and the parts of
// the line driver that do not depend on a layer's kind.
#include <cstring>

#include "machine/machine.h"
#include "machine/memory.h"
#include "video/output.h"
#include "video/video.h"
#include "video/video_registers.h"
#include "video_test.h"

namespace koru::test {
namespace {

constexpr uint16_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return static_cast<uint16_t>(r | (g << 5) | (b << 10)); }

TEST(CombineSpread, DividesEachChannelBySixteenAndSaturatesEachOnItsOwn) {
    BuildColourTables();
    EXPECT_EQ(CombineSpread(ColourSpread[0x7FFF] * 16), 0x7FFFu);
    EXPECT_EQ(CombineSpread(ColourSpread[Rgb(10, 20, 30)] * 8 + ColourSpread[Rgb(20, 10, 2)] * 8), Rgb(15, 15, 16));
    // Red overflows to 51 and saturates; green and blue must not receive a
    // carry from it.
    EXPECT_EQ(CombineSpread(ColourSpread[Rgb(31, 4, 0)] * 16 + ColourSpread[Rgb(20, 4, 8)] * 16), Rgb(31, 8, 8));
    EXPECT_EQ(CombineSpread(ColourSpread[Rgb(0, 31, 3)] * 16 + ColourSpread[Rgb(1, 31, 4)] * 16), Rgb(1, 31, 7));
    EXPECT_EQ(CombineSpread(ColourSpread[Rgb(5, 6, 31)] * 16 + ColourSpread[Rgb(3, 2, 31)] * 16), Rgb(8, 8, 31));
    EXPECT_EQ(SpreadWhite, ColourSpread[0x7FFF]);
}

TEST(CombineSpread, WorkedOutFormsMatchTheTables) {
    BuildColourTables();
    for (uint32_t c = 0; c < 65536; ++c) {
        ASSERT_EQ(Spread(c), ColourSpread[c]) << c;
        // Every sum the rules can make: two colours weighted 0-16 each.
        const uint32_t s = ColourSpread[c] * (c % 17) + ColourSpread[(c * 40503u) & 0xFFFF] * ((c >> 5) % 17);
        ASSERT_EQ(SpreadToHost(s), ColourToHost[CombineSpread(s)]) << std::hex << s;
    }
}

class OutputRuleTest : public VideoTest {
protected:
    video::Pen pen;
    void SetUp() override {
        VideoTest::SetUp();
        Io(0x052, 0x0A06);  // 6/16 and 10/16
        Io(0x054, 0x0008);  // 8/16
        pen = video::MakePen(3);
    }
    uint16_t Out(int x) const { return Pixel(3, x); }
    uint16_t Second(int x) const { return SecondTargetLine[ScreenLeft + x]; }
};

TEST_F(OutputRuleTest, PlainConvertsAndOnlyATargetLeavesItsRawColour) {
    SecondTargetLine[ScreenLeft + 5] = 0x1234;
    video::Put<video::RulePlain, false>(pen, 5, Rgb(1, 2, 3));
    EXPECT_EQ(Out(5), Host(Rgb(1, 2, 3)));
    EXPECT_EQ(Second(5), 0x1234);
    // Bit 15 is dropped from the picture but kept as the raw colour.
    video::Put<video::RulePlain, true>(pen, 6, 0x8000 | Rgb(1, 2, 3));
    EXPECT_EQ(Out(6), Host(Rgb(1, 2, 3)));
    EXPECT_EQ(Second(6), 0x8000 | Rgb(1, 2, 3));
}

TEST_F(OutputRuleTest, AlphaBlendsWithTheSecondTargetOrDrawsPlainOverNothing) {
    SecondTargetLine[ScreenLeft + 0] = 0;
    video::Put<video::RuleAlpha, false>(pen, 0, Rgb(16, 8, 31));
    EXPECT_EQ(Out(0), Host(Rgb(16, 8, 31)));

    SecondTargetLine[ScreenLeft + 1] = Rgb(8, 16, 0);
    video::Put<video::RuleAlpha, true>(pen, 1, Rgb(16, 8, 31));
    // red (16*6 + 8*10)/16 = 11, green (8*6 + 16*10)/16 = 13, blue 31*6/16 = 11
    EXPECT_EQ(Out(1), Host(Rgb(11, 13, 11)));
    EXPECT_EQ(Second(1), Rgb(16, 8, 31));

    // Works in the left margin too (sprites reach it).
    SecondTargetLine[ScreenLeft - 10] = Rgb(8, 16, 0);
    video::Put<video::RuleAlpha, false>(pen, -10, Rgb(16, 8, 31));
    EXPECT_EQ(Pixel(3, -10), Host(Rgb(11, 13, 11)));
}

TEST_F(OutputRuleTest, BrightenAndDarkenMoveEachChannelByTheWeight) {
    video::Put<video::RuleBrighten, false>(pen, 0, Rgb(0, 16, 31));
    EXPECT_EQ(Out(0), Host(Rgb(15, 23, 31)));  // c + (31 - c) * 8 / 16, rounded down
    video::Put<video::RuleDarken, true>(pen, 1, Rgb(0, 16, 31));
    EXPECT_EQ(Out(1), Host(Rgb(0, 8, 15)));  // c * 8 / 16
    EXPECT_EQ(Second(1), Rgb(0, 16, 31));

    Io(0x054, 0x001F);  // bit 4 means 16 whatever the low bits say
    pen = video::MakePen(3);
    video::Put<video::RuleBrighten, false>(pen, 2, Rgb(3, 9, 27));
    EXPECT_EQ(Out(2), Host(0x7FFF));
    video::Put<video::RuleDarken, false>(pen, 3, Rgb(3, 9, 27));
    EXPECT_EQ(Out(3), Host(0));
}

TEST_F(OutputRuleTest, WeightsOutsideTheirRangeCannotSpillIntoTheNextChannel) {
    BlendCoefficients.firstWeight = 200;
    BlendCoefficients.secondWeight = -5;
    BlendCoefficients.brightWeight = 99;
    pen = video::MakePen(3);
    SecondTargetLine[ScreenLeft] = Rgb(31, 31, 31);
    video::Put<video::RuleAlpha, false>(pen, 0, Rgb(20, 0, 0));
    EXPECT_EQ(Out(0), Host(Rgb(20, 0, 0)));  // clamped to 16 and 0
    video::Put<video::RuleDarken, false>(pen, 1, Rgb(20, 10, 5));
    EXPECT_EQ(Out(1), Host(0));
}

// A background 0 of one 16-colour tile repeated everywhere, colour index 1
// on every texel.
void SolidBackground0(uint16_t colour) {
    for (uint32_t i = 0; i < 32; ++i) Vram[0x4000 + 32 + i] = 0x11;  // tile 1 at character base 1
    for (uint32_t i = 0; i < 1024; ++i) Poke16(Vram + 0xF800 + 2 * i, 1);  // screen base 31
    Poke16(PaletteRam + 2, colour);
}

TEST_F(VideoTest, BackdropTakesItsEffectOnlyAsFirstTargetWithBrightenOrDarken) {
    Palette(0, Rgb(10, 20, 0));
    Io(0x054, 4);
    struct Case {
        uint16_t blend;
        uint16_t shown;
        uint16_t seed;
    } cases[] = {
        {0x0000, Rgb(10, 20, 0), 0},
        {0x0060, Rgb(10, 20, 0), 0},             // alpha: no change
        {0x00A0, Rgb(15, 22, 7), 0},             // brighten by 4/16
        {0x0080, Rgb(10, 20, 0), 0},             // brighten, backdrop not a first target
        {0x20E0, Rgb(7, 15, 0), Rgb(10, 20, 0)},  // darken; second target seeds the raw colour
    };
    for (const Case& c : cases) {
        Io(0x050, c.blend);
        Render(7);
        for (int x : {0, 100, 239}) {
            EXPECT_EQ(Pixel(7, x), Host(c.shown)) << std::hex << c.blend;
            EXPECT_EQ(SecondTargetLine[ScreenLeft + x], c.seed) << std::hex << c.blend;
        }
    }
}

TEST_F(VideoTest, ModesSixAndSevenShowOnlyTheBackdropWithItsEffect) {
    SolidBackground0(Rgb(31, 0, 0));
    Io(0x008, 0x1F04);
    Palette(0, Rgb(4, 4, 4));
    Io(0x054, 8);
    Io(0x050, 0x00A1);
    for (uint16_t mode : {6, 7}) {
        Io(0x000, static_cast<uint16_t>(0x1F00 | mode));
        Render(50);
        EXPECT_EQ(Pixel(50, 0), Host(Rgb(17, 17, 17)));
        EXPECT_EQ(Pixel(50, 239), Host(Rgb(17, 17, 17)));
    }
    Io(0x000, 0x0100);
    Render(50);
    EXPECT_EQ(Pixel(50, 0), Host(Rgb(31, 15, 15)));  // background 0 brightened
}

TEST_F(VideoTest, AlphaAgainstTheBackdropUnlessItsColourIsZero) {
    SolidBackground0(Rgb(16, 0, 8));
    Io(0x008, 0x1F04);
    Io(0x000, 0x0100);
    Io(0x052, 0x0808);
    Io(0x050, 0x2041);  // background 0 first target, backdrop second, alpha
    Palette(0, Rgb(0, 16, 8));
    Render(0);
    EXPECT_EQ(Pixel(0, 10), Host(Rgb(8, 8, 8)));
    Palette(0, 0);
    Render(0);
    EXPECT_EQ(Pixel(0, 10), Host(Rgb(16, 0, 8)));
}

TEST_F(VideoTest, AlphaUsesTheLastSecondTargetEvenUnderANonTargetLayer) {
    // Three backgrounds of solid colour, one tile each: rear background 1
    // (second target), background 2 over it (no target), front background 0
    // blended.
    for (uint32_t i = 0; i < 32; ++i) {
        Vram[0x4000 + 32 + i] = 0x11;
        Vram[0x4000 + 64 + i] = 0x22;
        Vram[0x4000 + 96 + i] = 0x33;
    }
    for (uint32_t i = 0; i < 1024; ++i) {
        Poke16(Vram + 0xF800 + 2 * i, 1);
        Poke16(Vram + 0xF000 + 2 * i, 2);
        Poke16(Vram + 0xE800 + 2 * i, 3);
    }
    Palette(1, Rgb(20, 0, 0));
    Palette(2, Rgb(0, 20, 0));
    Palette(3, Rgb(0, 0, 20));
    Io(0x008, 0x1F04);  // priority 0
    Io(0x00C, 0x1E06);  // priority 2
    Io(0x00A, 0x1D07);  // priority 3
    Io(0x000, 0x0700);
    Io(0x052, 0x1010);
    Io(0x050, 0x0241);
    Render(9);
    EXPECT_EQ(Pixel(9, 0), Host(Rgb(20, 0, 20)));

    // Weights summing past 16 saturate per channel.
    Palette(1, Rgb(25, 0, 3));
    Palette(3, Rgb(25, 2, 30));
    Render(9);
    EXPECT_EQ(Pixel(9, 0), Host(Rgb(31, 2, 31)));
}

TEST_F(VideoTest, HiddenLayersAreSkippedLikeDisabledOnesAndWindowBitsDoNotMatter) {
    SolidBackground0(Rgb(31, 0, 0));
    Io(0x008, 0x1F04);
    Palette(0, Rgb(0, 0, 9));
    Io(0x000, 0xE100);  // window enables set too
    Render(1);
    EXPECT_EQ(Pixel(1, 3), Host(Rgb(31, 0, 0)));
    HiddenLayerMask = 0x01;
    Render(1);
    EXPECT_EQ(Pixel(1, 3), Host(Rgb(0, 0, 9)));
    HiddenLayerMask = 0x1E;  // everything else hidden
    Render(1);
    EXPECT_EQ(Pixel(1, 3), Host(Rgb(31, 0, 0)));

    // Sprites: one 8x8 sprite at (0, 0).
    for (uint32_t i = 0; i < 32; ++i) Vram[0x10000 + 32 + i] = 0x11;
    Palette(257, Rgb(0, 31, 0));
    Sprite(0, 0x0000, 0x0000, 0x0001);
    Io(0x000, 0x1100);
    HiddenLayerMask = 0;
    Render(1);
    EXPECT_EQ(Pixel(1, 3), Host(Rgb(0, 31, 0)));
    HiddenLayerMask = 0x10;
    Render(1);
    EXPECT_EQ(Pixel(1, 3), Host(Rgb(31, 0, 0)));
}

TEST_F(VideoTest, LinesOutsideTheScreenAreNotDrawn) {
    std::vector<uint16_t> before(FrameBuffer, FrameBuffer + FrameWidth * FrameHeight);
    Palette(0, 0x1234);
    Render(160);
    Render(227);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), FrameBuffer));
}

}  // namespace
}  // namespace koru::test
