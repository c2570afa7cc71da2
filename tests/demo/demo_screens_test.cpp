// The demo as a newcomer sees it, checked against the demo's own colour,
// font and layout tables: the title scene with its fade, sky, text, scrolling
// hills, see-through clouds and the bird that the arrow keys fly; the bitmap
// picture with its cycling palette; the rotating background under glass.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "art.h"
#include "demo_run.h"

namespace koru::test {
namespace {

// Frames by which each scene has settled: the title fades in over its first
// second; A pressed at frame 150 opens the picture and at 300 the rotation.
constexpr int TitleSettled = 150;
constexpr const char* ToPicture = "150:1,152:0";
constexpr int PictureSettled = 280;
constexpr const char* ToRotation = "150:1,152:0,300:1,302:0";
constexpr int RotationSettled = 420;

// Centre of the bird: the mean position of its body colour, which no other
// art uses. Returns false when the bird is not on screen.
bool FindBird(const Screen& s, double* x, double* y) {
    const uint16_t body = PalBird[BIRD_BODY_INDEX];
    double sx = 0, sy = 0;
    int n = 0;
    for (int py = 0; py < 160; ++py)
        for (int px = 0; px < 240; ++px)
            if (s.At(px, py) == body) sx += px, sy += py, ++n;
    if (n < 10) return false;
    *x = sx / n;
    *y = sy / n;
    return true;
}

TEST_F(DemoTest, TitleFadesInFromBlackThroughTheDarkenEffect) {
    // Line 4 shows only the backdrop (the sky), so while the title fades in
    // every pixel of it is the sky's colour darkened by one weight 1-15.
    const Screen early = Run(24);
    const uint16_t sky = SkyColour(4);
    const uint16_t seen = early.At(120, 4);
    int weight = 0;
    for (int w = 1; w <= 15 && !weight; ++w)
        if (Darken(sky, w) == seen) weight = w;
    ASSERT_NE(weight, 0) << std::hex << "pixel " << seen << " is not the sky " << sky << " darkened";
    EXPECT_EQ(CountOnLine(early, 4, seen), 240);

    const Screen settled = Run(TitleSettled);
    EXPECT_EQ(CountOnLine(settled, 4, sky), 240);
}

TEST_F(DemoTest, TitleSkyHasOneBackdropColourPerLineFromHblankDma) {
    const Screen s = Run(TitleSettled);
    // Lines above the clouds and the logo show the backdrop, which a
    // horizontal-blank transfer changes line by line; a few star pixels and
    // rotating stars may cover part of a line.
    for (int y : {0, 2, 4, 6, 12}) EXPECT_GE(CountOnLine(s, y, SkyColour(y)), 200) << "line " << y;
    EXPECT_NE(SkyColour(0), SkyColour(12));
}

TEST_F(DemoTest, TitleTextShowsTheFontWithItsShadowAndTheStartCount) {
    const Screen s = Run(TitleSettled);
    const std::string counter = "STARTED 1 TIME";
    EXPECT_GE(TextMatch(s, ArtCentre(static_cast<int>(counter.size())), TITLE_COUNTER_ROW, counter, PalText[1], PalText[2]),
              0.98);
    const std::string help = TextHelp;
    EXPECT_GE(TextMatch(s, ArtCentre(static_cast<int>(help.size())), TITLE_HELP_ROW, help, PalText[1], PalText[2]), 0.98);
    // The same text one cell off does not match: the check can tell.
    EXPECT_LT(TextMatch(s, ArtCentre(static_cast<int>(counter.size())) + 1, TITLE_COUNTER_ROW, counter, PalText[1],
                        PalText[2]),
              0.8);
}

TEST_F(DemoTest, TitleShowsTheCountOfEachStart) {
    Run(20);
    const Screen second = Run(TitleSettled);
    const std::string text = "STARTED 2 TIMES";
    EXPECT_GE(TextMatch(second, ArtCentre(static_cast<int>(text.size())), TITLE_COUNTER_ROW, text, PalText[1], PalText[2]),
              0.98);
}

TEST_F(DemoTest, TitleLogoUsesItsPaletteAboveTheSubtitle) {
    const Screen s = Run(TitleSettled);
    std::set<uint16_t> logo(PalLogo + 1, PalLogo + 10);
    int n = 0;
    for (int y = 16; y < 56; ++y)
        for (int x = 0; x < 240; ++x) n += logo.count(s.At(x, y)) != 0;
    EXPECT_GE(n, 1000);
}

TEST_F(DemoTest, TitleHillsScrollOnePixelPerFrame) {
    // Lines 152-159 hold only the near hills, which scroll left by one pixel
    // each frame, so ten frames later each pixel shows what lay ten pixels
    // to its right.
    const Screen a = Run(TitleSettled);
    const Screen b = Run(TitleSettled + 10);
    const std::set<uint16_t> hills(PalHills + 1, PalHills + 7);
    int same = 0, total = 0, moved_differs = 0;
    for (int y = 152; y < 160; ++y)
        for (int x = 0; x < 230; ++x) {
            ASSERT_TRUE(hills.count(a.At(x, y))) << x << "," << y;
            ++total;
            same += b.At(x, y) == a.At(x + 10, y);
            moved_differs += b.At(x, y) != a.At(x, y);
        }
    EXPECT_EQ(same, total);
    EXPECT_GT(moved_differs, 0);
}

TEST_F(DemoTest, TitleCloudsAreSeeThroughOverTheSky) {
    // Clouds are semi-transparent sprites: where one lies over the sky, its
    // colour is blended half and half with the backdrop of that line.
    const Screen s = Run(TitleSettled);
    int blended = 0, opaque = 0;
    for (int y = 17; y < 46; ++y)
        for (int x = 0; x < 240; ++x)
            for (int c = 1; c <= 3; ++c) {
                blended += s.At(x, y) == Blend(PalCloud[c], SkyColour(y), 8, 8);
                // (White is also in the stars; the two greys are the clouds' own.)
                opaque += c > 1 && s.At(x, y) == PalCloud[c];
            }
    EXPECT_GE(blended, 300);
    EXPECT_EQ(opaque, 0);
}

TEST_F(DemoTest, ArrowKeysFlyTheBird) {
    double x0, y0, x1, y1;
    ASSERT_TRUE(FindBird(Run(TitleSettled), &x0, &y0));
    EXPECT_NEAR(x0, PLAYER_START_X + 8, 3);
    EXPECT_NEAR(y0, PLAYER_START_Y + 8, 4);
    // Right held for 30 frames, then Down for 10.
    ASSERT_TRUE(FindBird(Run(TitleSettled, "100:0x10,130:0x80,140:0"), &x1, &y1));
    EXPECT_NEAR(x1 - x0, 30 * PLAYER_SPEED, 4);
    EXPECT_NEAR(y1 - y0, 10 * PLAYER_SPEED, 4);
}

TEST_F(DemoTest, SceneChangeBrightensToWhite) {
    const Screen s = Run(154, ToPicture);
    const uint16_t sky = SkyColour(4), seen = s.At(120, 4);
    int weight = 0;
    for (int w = 1; w <= 16 && !weight; ++w)
        if (Brighten(sky, w) == seen) weight = w;
    EXPECT_NE(weight, 0) << std::hex << "pixel " << seen << " is not the sky " << sky << " brightened";
}

// The picture scene's colours: every pixel of the bitmap is one of the
// cycle's colours, except the caption's ink and shadow and the sprites.
std::set<uint16_t> CycleSet() {
    std::set<uint16_t> set;
    for (int i = 0; i < CYCLE_COLOURS; ++i) set.insert(CycleColour(i));
    return set;
}

// Entered from the title, and back from the rotation scene (B), whose
// turned background 2 the bitmap must not keep.
class PictureEntryTest : public DemoTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PictureEntryTest, PictureSceneShowsTheBitmapWithItsCaption) {
    const bool fromRotation = GetParam();
    const Screen s = fromRotation ? Run(RotationSettled + 160, std::string(ToRotation) + ",420:2,422:0")
                                  : Run(PictureSettled, ToPicture);
    const std::string caption = TextPictureCaption, footer = TextPictureFooter;
    EXPECT_GE(TextMatch(s, ArtCentre(static_cast<int>(caption.size())), PICTURE_CAPTION_ROW, caption, PalText[1], PalText[2]),
              0.98);
    EXPECT_GE(TextMatch(s, ArtCentre(static_cast<int>(footer.size())), PICTURE_FOOTER_ROW, footer, PalText[1], PalText[2]),
              0.98);
    const std::set<uint16_t> cycle = CycleSet();
    std::set<uint16_t> seen;
    int inside = 0, total = 0;
    for (int y = 24; y < 136; ++y)
        for (int x = 0; x < 240; ++x) {
            ++total;
            if (cycle.count(s.At(x, y))) ++inside, seen.insert(s.At(x, y));
        }
    EXPECT_GE(inside, total * 95 / 100);
    EXPECT_GE(seen.size(), 60u) << "a picture, not a flat colour";
    // Sprites have their tiles above the bitmap's pages in this mode.
    double bx, by;
    EXPECT_TRUE(FindBird(s, &bx, &by));
}

INSTANTIATE_TEST_SUITE_P(Demo, PictureEntryTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "BackFromTheRotation" : "FromTheTitle";
                         });

TEST_F(DemoTest, PicturePaletteCyclesOneStepPerFrame) {
    // Palette entry i shows cycle colour i + t on frame t, so each pixel
    // moves one colour along the cycle from one frame to the next.
    const Screen a = Run(PictureSettled, ToPicture);
    const Screen b = Run(PictureSettled + 1, ToPicture);
    int checked = 0, stepped = 0;
    for (int y = 24; y < 136; y += 3)
        for (int x = 0; x < 240; x += 3) {
            int index = -1;
            for (int i = 0; i < CYCLE_COLOURS && index < 0; ++i)
                if (CycleColour(i) == a.At(x, y)) index = i;
            if (index < 0 || CycleColour(index) == CycleColour(index + 1)) continue;
            ++checked;
            stepped += b.At(x, y) == CycleColour(index + 1);
        }
    ASSERT_GE(checked, 500);
    EXPECT_GE(stepped, checked * 85 / 100);
}

TEST_F(DemoTest, RotationSceneShowsTheTurningBackgroundThroughTheGlassPanel) {
    const Screen s = Run(RotationSettled, ToRotation);
    // Panel lines without text: each pixel is the panel colour blended with
    // one of the chequer's three colours below it.
    std::set<uint16_t> glass, chequer;
    for (uint16_t c : CheckColours) {
        glass.insert(Blend(PalPanel[1], c, PANEL_ALPHA_TOP, PANEL_ALPHA_BOTTOM));
        chequer.insert(c);
    }
    int in_glass = 0, total = 0;
    std::set<uint16_t> glass_seen;
    for (int y : {PANEL_FIRST_ROW * 8 + 2, PANEL_FIRST_ROW * 8 + 6, (PANEL_FIRST_ROW + PANEL_ROWS) * 8 - 3})
        for (int x = 0; x < 240; ++x) {
            ++total;
            if (glass.count(s.At(x, y))) ++in_glass, glass_seen.insert(s.At(x, y));
        }
    EXPECT_GE(in_glass, total * 95 / 100);
    EXPECT_EQ(glass_seen.size(), 3u) << "both squares and their border show through";
    const std::string caption = TextRotationCaption;
    EXPECT_GE(TextMatch(s, ArtCentre(static_cast<int>(caption.size())), ROTATION_CAPTION_ROW, caption, PalText[1],
                        PalText[2]),
              0.98);

    // Between the panels the chequer shows plainly, and it turns: half a
    // second later most of it has changed.
    const Screen later = Run(RotationSettled + 30, ToRotation);
    int plain = 0, area = 0, changed = 0;
    for (int y = 32; y < 104; ++y)
        for (int x = 0; x < 240; ++x) {
            ++area;
            plain += chequer.count(s.At(x, y)) != 0;
            changed += s.At(x, y) != later.At(x, y);
        }
    EXPECT_GE(plain, area * 90 / 100);
    EXPECT_GE(changed, area / 4);
}

}  // namespace
}  // namespace koru::test
