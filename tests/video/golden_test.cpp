// Golden pictures: whole cartridges run on the emulated machine, their
// presented frame compared pixel by pixel with the picture the pixel model
// works out from the same scene data (tests/roms/video/scenes.h), written
// straight into a fresh machine's memories. Also the three picture
// cartridges of the third-party collection.
#include <filesystem>
#include <string>
#include <vector>

#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/settings.h"
#include "roms/video/scenes.h"
#include "support/test_host.h"
#include "video/video.h"
#include "video/video_registers.h"
#include "video_test.h"

namespace koru::test {
namespace {

const char* const SceneNames[SCENE_COUNT] = {"text16",  "text256",  "affine1", "affine2", "sprites",
                                             "sprites_affine", "priority", "alpha", "brighten", "darken",
                                             "mosaic",  "mode3",    "mode4",   "mode5",   "win_overlap",
                                             "win_inverted", "win_sprite", "win_effects"};

// The visible 240 x 160 host pixels of a frame, row by row.
using Picture = std::vector<uint16_t>;

// Runs a cartridge for the given number of frames and returns the last
// presented frame.
Picture RunCartridge(const std::filesystem::path& rom, uint32_t frames) {
    Picture picture(ScreenWidth * FrameHeight, 0);
    uint32_t polls = 0;
    PollInputHook = [&] {
        if (++polls >= frames) ExitRequest = 1;
        return 0u;
    };
    ShowFrameHook = [&](int x, int y, int w, int h) {
        for (int row = 0; row < h; ++row) {
            std::copy(FrameBuffer + (y + row) * FrameWidth + x, FrameBuffer + (y + row) * FrameWidth + x + w,
                      picture.begin() + row * ScreenWidth);
        }
    };
    ShutdownMachine();
    EXPECT_NE(StartMachine(rom.string().c_str()), 0u) << rom;
    EXPECT_EQ(polls, frames);
    ResetHostHooks();
    return picture;
}

class GoldenTest : public VideoTest, public ::testing::WithParamInterface<int> {
protected:
    static GoldenTest* current;
    static void Reg(uint32_t offset, uint16_t value) { current->Io(offset, value); }
    static void VramWrite(uint32_t offset, uint16_t value) { Poke16(Vram + offset, value); }
    static void PaletteWrite(uint32_t index, uint16_t colour) { Poke16(PaletteRam + 2 * index, colour); }
    static void OamWrite(uint32_t offset, uint16_t value) { Poke16(SpriteRam + offset, value); }

    // The picture the pixel model expects: the scene written into the
    // blank memories of this fixture, the current reference points stepped
    // line by line as the scanline routine does.
    Picture Expected(int scene) {
        current = this;
        const SceneOut out = {Reg, VramWrite, PaletteWrite, OamWrite};
        Scenes[scene](&out);
        Picture picture;
        for (BgAffineRecord& bg : BgAffineState) {
            bg.curX = bg.refX;
            bg.curY = bg.refY;
        }
        for (int line = 0; line < FrameHeight; ++line) {
            for (uint16_t c : ReferenceLine(line)) picture.push_back(Host(c));
            for (BgAffineRecord& bg : BgAffineState) {
                bg.curX += bg.pb;
                bg.curY += bg.pd;
            }
        }
        return picture;
    }

    // Compares the cartridge's picture with the model's, pixel by pixel.
    void Compare(int scene, const Picture& expected) {
        const auto rom = BuiltRom(std::string("video_") + SceneNames[scene]);
        KORU_REQUIRE(std::filesystem::exists(rom), "cartridges are not built");
        const Picture actual = RunCartridge(rom, 30);
        int wrong = 0;
        for (int line = 0; line < FrameHeight; ++line) {
            for (int x = 0; x < ScreenWidth; ++x) {
                const size_t i = static_cast<size_t>(line * ScreenWidth + x);
                if (actual[i] != expected[i] && ++wrong <= 5) {
                    ADD_FAILURE() << SceneNames[scene] << " line " << line << " x " << x << std::hex << ": got "
                                  << actual[i] << ", expected " << expected[i];
                }
            }
        }
        EXPECT_EQ(wrong, 0) << "pixels that differ";
    }
};
GoldenTest* GoldenTest::current;

// With the "DisplayWindows" setting at its default every scene, the window
// scenes too, shows every layer over the whole screen.
TEST_P(GoldenTest, CartridgePictureMatchesThePixelModel) {
    const int scene = GetParam();
    const Picture expected = Expected(scene);
    // A picture of more than the backdrop, or the comparison says little.
    int distinct = 0;
    for (uint16_t p : expected) distinct += p != expected[0];
    EXPECT_GT(distinct, 1000);
    Compare(scene, expected);
}

INSTANTIATE_TEST_SUITE_P(Scenes, GoldenTest, ::testing::Range(0, SCENE_COUNT),
                         [](const ::testing::TestParamInfo<int>& info) { return std::string(SceneNames[info.param]); });

// With the setting on, the window scenes show their windows.
class WindowGoldenTest : public GoldenTest {};

TEST_P(WindowGoldenTest, CartridgePictureMatchesThePixelModelWithWindows) {
    const int scene = GetParam();
    const Picture without = Expected(scene);
    DisplayWindows = 1;
    const Picture expected = Expected(scene);
    // The windows must change a good part of the picture.
    int changed = 0;
    for (size_t i = 0; i < expected.size(); ++i) changed += expected[i] != without[i];
    EXPECT_GT(changed, 1000);
    Compare(scene, expected);
}

INSTANTIATE_TEST_SUITE_P(Scenes, WindowGoldenTest, ::testing::Range(SCENE_FIRST_WINDOWS, SCENE_COUNT),
                         [](const ::testing::TestParamInfo<int>& info) { return std::string(SceneNames[info.param]); });

// ---- Third-party picture cartridges --------------------------------------

class TestRomPictureTest : public TempDirTest {
protected:
    Picture Run(const char* name) {
        CheckCRC = 0;  // their CRC fields are 0
        return RunCartridge(TestRomsDir() / name, 60);
    }
    static uint32_t Red(uint16_t p) { return (p >> 10) & 31; }
    static uint32_t Green(uint16_t p) { return (p >> 5) & 31; }
    static uint32_t Blue(uint16_t p) { return p & 31; }
};

TEST_F(TestRomPictureTest, HelloShowsWhiteTextOnBlack) {
    KORU_REQUIRE_TESTROMS();
    const Picture picture = Run("hello.gba");
    int white = 0, left = ScreenWidth, right = -1, top = FrameHeight, bottom = -1;
    for (int y = 0; y < FrameHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            const uint16_t p = picture[static_cast<size_t>(y * ScreenWidth + x)];
            ASSERT_TRUE(p == 0 || p == 0x7FFF) << "only black and white, at " << x << "," << y;
            if (p == 0x7FFF) {
                ++white;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    // One line of twelve characters in the middle of the screen.
    EXPECT_GT(white, 100);
    EXPECT_LE(bottom - top, 10);
    EXPECT_GE(right - left, 80);
    EXPECT_LT(left, 120);
    EXPECT_GT(right, 120);
    EXPECT_GT(top, 60);
    EXPECT_LT(bottom, 100);
}

// The cartridge lays its 16 bands out two tiles (16 pixels) wide on a
// 256-pixel map row, with palette colour i at blue 2i: the screen shows 15
// of them, from black to blue 28; the 16th (blue 30) lies past x 239.
TEST_F(TestRomPictureTest, ShadesShowsBandsFromBlackToBlue) {
    KORU_REQUIRE_TESTROMS();
    const Picture picture = Run("shades.gba");
    for (int y = 0; y < FrameHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            const uint16_t p = picture[static_cast<size_t>(y * ScreenWidth + x)];
            ASSERT_EQ(Red(p) | Green(p), 0u) << x << "," << y;
            ASSERT_EQ(Blue(p), 2u * static_cast<uint32_t>(x / 16)) << x << "," << y;
        }
    }
}

TEST_F(TestRomPictureTest, StripesShowsEightPixelStripesOfTwoBlueGreys) {
    KORU_REQUIRE_TESTROMS();
    const Picture picture = Run("stripes.gba");
    const uint16_t first = picture[0], second = picture[8];
    EXPECT_NE(first, second);
    for (uint16_t p : {first, second}) {
        EXPECT_GT(Blue(p), Red(p)) << "blue-grey";
        EXPECT_GE(Blue(p), Green(p));
        EXPECT_GT(Red(p), 8u) << "grey, not pure blue";
    }
    for (int y = 0; y < FrameHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            ASSERT_EQ(picture[static_cast<size_t>(y * ScreenWidth + x)], (x / 8) % 2 ? second : first) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace koru::test
