// The display windows worked out by hand on small scenes: the edge rules of
// the rectangles, the order of the windows, the sprite window and the
// effects bit, and that with the setting off the window registers do
// nothing. (The scene cartridges and the random scenes compare whole
// pictures with the pixel model.)
#include "machine/settings.h"
#include "video_test.h"

namespace koru::test {
namespace {

constexpr uint16_t Backdrop = 0x0421, Ground = 0x001F, Dot = 0x03E0;

class WindowsTest : public VideoTest {
protected:
    void SetUp() override {
        VideoTest::SetUp();
        DisplayWindows = 1;
        Palette(0, Backdrop);
        Palette(1, Ground);
        Palette(257, Dot);
        for (uint32_t i = 0; i < 32; i += 2) Vram16(32 + i, 0x1111);       // tile 1, colour 1
        for (uint32_t i = 0; i < 32; i += 2) Vram16(0x10020 + i, 0x1111);  // sprite tile 1
        for (uint32_t i = 0; i < 0x800; i += 2) Vram16(0xE000 + i, 1);     // background 0's map: tile 1
        for (int k = 0; k < 128; ++k) Sprite(k, 0x0200, 0, 0);
        Io(0x008, 0x1C00);
        Io(0x04A, 0x0001);  // outside: background 0
        Io(0x048, 0x0000);  // inside window 0: nothing, the backdrop shows
    }
    bool Hidden(int line, int x) {
        Render(line);
        return Pixel(line, x) == Host(Backdrop);
    }
};

TEST_F(WindowsTest, RectangleEdgesWrapWhenInvertedAndStopAtTheScreenEdge) {
    Io(0x000, 0x2100);
    struct Case {
        uint16_t h, v;
        int line, x;
        bool inside;
    } cases[] = {
        {(10 << 8) | 20, (5 << 8) | 9, 5, 10, true},   {(10 << 8) | 20, (5 << 8) | 9, 5, 20, false},
        {(10 << 8) | 20, (5 << 8) | 9, 9, 15, false},  {(10 << 8) | 20, (5 << 8) | 9, 4, 15, false},
        // x1 > x2: the two ends of the line.
        {(200 << 8) | 40, 160, 0, 0, true},            {(200 << 8) | 40, 160, 0, 39, true},
        {(200 << 8) | 40, 160, 0, 40, false},          {(200 << 8) | 40, 160, 0, 199, false},
        {(200 << 8) | 40, 160, 0, 200, true},          {(200 << 8) | 40, 160, 0, 239, true},
        // x2 past the screen reaches its edge; x1 past it shows nothing.
        {(100 << 8) | 250, 160, 0, 239, true},         {(245 << 8) | 250, 160, 0, 239, false},
        {(50 << 8) | 50, 160, 0, 50, false},
        // y1 > y2: the top and bottom of the screen; y2 past 160.
        {240, (120 << 8) | 30, 10, 5, true},           {240, (120 << 8) | 30, 30, 5, false},
        {240, (120 << 8) | 30, 119, 5, false},         {240, (120 << 8) | 30, 120, 5, true},
        {240, (100 << 8) | 200, 159, 5, true},
    };
    for (const Case& c : cases) {
        Io(0x040, c.h);
        Io(0x044, c.v);
        EXPECT_EQ(Hidden(c.line, c.x), c.inside) << std::hex << c.h << " " << c.v << std::dec << " at " << c.x << "," << c.line;
    }
    // Without the setting the window registers change nothing.
    Io(0x040, 240);
    Io(0x044, 160);
    EXPECT_TRUE(Hidden(10, 5));
    DisplayWindows = 0;
    EXPECT_FALSE(Hidden(10, 5));
}

TEST_F(WindowsTest, WindowZeroComesBeforeWindowOneBeforeTheSpriteWindow) {
    Io(0x040, (20 << 8) | 30);
    Io(0x044, 160);
    Io(0x042, (10 << 8) | 40);
    Io(0x046, 160);
    Io(0x048, 0x0100);  // window 1 shows background 0, window 0 nothing
    Io(0x04A, 0x0101);  // so do the sprite window and the outside
    Sprite(0, 0x0800, 16, 1);  // window mode, 8x8 at x 16
    Io(0x000, 0xF140);
    EXPECT_FALSE(Hidden(0, 12));
    EXPECT_TRUE(Hidden(0, 20));
    // With both rectangles elsewhere and the sprite window showing nothing:
    // the sprite's shape shows the backdrop (it draws nothing of its own).
    Io(0x04A, 0x0001);
    Io(0x040, (200 << 8) | 210);
    Io(0x042, (200 << 8) | 210);
    EXPECT_TRUE(Hidden(0, 16));
    EXPECT_TRUE(Hidden(0, 23));
    EXPECT_FALSE(Hidden(0, 24));
    EXPECT_FALSE(Hidden(8, 16));
    // A window sprite draws nothing itself, and makes no window without
    // the sprites switched on.
    Io(0x000, 0x8140);
    EXPECT_FALSE(Hidden(0, 16));
}

TEST_F(WindowsTest, EffectsBitSwitchesEveryEffectOffInsideTheWindow) {
    Io(0x040, (0 << 8) | 100);
    Io(0x044, 160);
    Io(0x048, 0x0011);  // window 0: background 0 and sprites, no effects
    Io(0x04A, 0x0031);  // outside: the same with effects
    Io(0x050, 0x00A1);  // brighten background 0 and the backdrop
    Io(0x054, 16);
    Io(0x000, 0x3100);
    Render(0);
    EXPECT_EQ(Pixel(0, 50), Host(Ground));
    EXPECT_EQ(Pixel(0, 150), Host(0x7FFF));
    // A semi-transparent sprite blends only where effects are allowed.
    Io(0x050, 0x0140);  // alpha, background 0 second target
    Io(0x052, 0x0808);
    Sprite(0, 0x0400, 96, 1);
    Render(0);
    EXPECT_EQ(Pixel(0, 99), Host(Dot));
    EXPECT_EQ(Pixel(0, 100), Host(0x01EF));  // half of each
    // The window hides the backdrop's effect too.
    Io(0x008, 0x0000);
    Io(0x000, 0x2000);
    Io(0x050, 0x00E0);
    Render(1);
    EXPECT_EQ(Pixel(1, 10), Host(Backdrop));
    EXPECT_EQ(Pixel(1, 110), Host(0));
}

}  // namespace
}  // namespace koru::test
