// Whole frames of random memories and registers, rendered line by line and
// compared with the pixel model. Each mode is tried with each effect, so
// that every renderer of the table draws over many layouts.
#include <algorithm>
#include <cstring>
#include <random>
#include <sstream>

#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/settings.h"
#include "video/video.h"
#include "video/output.h"
#include "video/video_registers.h"
#include "video_test.h"

namespace koru::test {
namespace {

class RandomSceneTest : public VideoTest {
protected:
    std::mt19937 rng;

    uint32_t Bits(int n) { return static_cast<uint32_t>(rng()) & ((1u << n) - 1); }
    bool Chance(int percent) { return static_cast<int>(rng() % 100) < percent; }

    // Tile data with plenty of transparent texels; maps, bitmaps and
    // palettes of anything.
    void FillMemories() {
        for (uint32_t i = 0; i < VramSize; ++i) {
            uint8_t b = static_cast<uint8_t>(Bits(8));
            if (Chance(30)) b &= 0xF0;
            if (Chance(30)) b &= 0x0F;
            Vram[i] = b;
        }
        for (uint32_t i = 0; i < 512; ++i) Palette(i, static_cast<uint16_t>(Chance(5) ? 0 : Bits(16)));
    }

    // Sprites of any kind; in window mode only with windowSprites.
    void RandomSprites(int count, bool windowSprites = false) {
        for (int k = 0; k < 128; ++k) Sprite(k, 0x0200, 0, 0);  // hidden
        for (int i = 0; i < count; ++i) {
            const int k = static_cast<int>(Bits(7));
            Sprite(k, static_cast<uint16_t>(windowSprites ? Bits(16) : Bits(16) & ~0x0800u), static_cast<uint16_t>(Bits(16)),
                   static_cast<uint16_t>(Bits(16)));
        }
        for (int g = 0; g < 32; ++g) {
            auto parameter = [&] { return static_cast<int16_t>(Chance(30) ? 256 : static_cast<int>(Bits(10)) - 512); };
            SpriteGroup(g, parameter(), parameter(), parameter(), parameter());
        }
    }

    void RandomRegisters(uint32_t mode, uint32_t effect) {
        uint32_t display = mode | (Bits(5) << 8) | (Bits(1) << 6) | (Bits(1) << 4);
        Io(0x000, static_cast<uint16_t>(display));
        for (uint32_t n = 0; n < 4; ++n) {
            Io(0x008 + 2 * n, static_cast<uint16_t>(Bits(16)));
            Io(0x010 + 4 * n, static_cast<uint16_t>(Bits(16)));
            Io(0x012 + 4 * n, static_cast<uint16_t>(Bits(16)));
        }
        Io(0x04C, static_cast<uint16_t>(Chance(50) ? Bits(8) : 0));
        Io(0x050, static_cast<uint16_t>((Bits(14) & ~0xC0u) | (effect << 6)));
        Io(0x052, static_cast<uint16_t>(Bits(5) | (Bits(5) << 8)));
        Io(0x054, static_cast<uint16_t>(Bits(5)));
        for (int n = 2; n <= 3; ++n) {
            auto parameter = [&] {
                return static_cast<int16_t>(Chance(40) ? (Chance(50) ? 256 : 0) : static_cast<int>(Bits(11)) - 1024);
            };
            const int32_t refX = static_cast<int32_t>(Bits(18)) - (1 << 17);
            const int32_t refY = static_cast<int32_t>(Bits(18)) - (1 << 17);
            BgAffine(n, parameter(), parameter(), parameter(), parameter(), refX, refY);
        }
    }

    // Renders a frame and compares every visible pixel; stops at the first
    // line that differs and describes it.
    void CheckFrame(const std::string& what) {
        for (BgAffineRecord& bg : BgAffineState) {
            bg.curX = bg.refX;
            bg.curY = bg.refY;
        }
        for (int line = 0; line < FrameHeight; ++line) {
            Render(line);
            const std::vector<uint16_t> expected = ReferenceLine(line);
            for (int x = 0; x < ScreenWidth; ++x) {
                if (Pixel(line, x) != Host(expected[x])) {
                    std::ostringstream where;
                    where << what << " line " << line << " x " << x << std::hex << " display "
                          << Peek16(IoRam) << " blend " << Peek16(IoRam + 0x50) << " got " << Pixel(line, x)
                          << " want " << Host(expected[x]);
                    FAIL() << where.str();
                }
            }
            for (BgAffineRecord& bg : BgAffineState) {
                bg.curX += bg.pb;
                bg.curY += bg.pd;
            }
        }
    }
};

TEST_F(RandomSceneTest, EveryModeAndEffectMatchesThePixelModel) {
    for (uint32_t mode = 0; mode <= 5; ++mode) {
        for (uint32_t effect = 0; effect <= 3; ++effect) {
            for (uint32_t trial = 0; trial < 3; ++trial) {
                const uint32_t seed = mode * 100 + effect * 10 + trial;
                rng.seed(seed);
                FillMemories();
                RandomSprites(trial == 0 ? 0 : 24);
                RandomRegisters(mode, effect);
                CheckFrame("seed " + std::to_string(seed));
                if (HasFatalFailure() || HasFailure()) return;
            }
        }
    }
}

// With the display windows: random rectangles (edges past the screen and
// inverted ones included), layer and effect controls, and window sprites.
TEST_F(RandomSceneTest, WindowsMatchThePixelModel) {
    DisplayWindows = 1;
    for (uint32_t mode = 0; mode <= 5; ++mode) {
        for (uint32_t trial = 0; trial < 8; ++trial) {
            const uint32_t seed = 5000 + mode * 10 + trial;
            rng.seed(seed);
            FillMemories();
            RandomSprites(32, true);
            RandomRegisters(mode, Bits(2));
            auto edge = [&](uint32_t size) { return Chance(15) ? Bits(8) : Bits(8) % (size + 1); };
            // One edge at a time: the order of the draws must not depend on
            // the compiler.
            for (uint32_t offset = 0x040; offset <= 0x046; offset += 2) {
                const uint32_t size = offset < 0x044 ? 240 : 160;
                const uint32_t first = edge(size);
                Io(offset, static_cast<uint16_t>((first << 8) | edge(size)));
            }
            Io(0x048, static_cast<uint16_t>(Bits(16)));
            Io(0x04A, static_cast<uint16_t>(Bits(16)));
            Io(0x000, static_cast<uint16_t>(Peek16(IoRam) | 0x1000 | ((1 + Bits(3) % 7) << 13)));
            CheckFrame("windows seed " + std::to_string(seed));
            if (HasFailure()) return;
        }
    }
}

// Lines without alpha blending are drawn front to back. The whole frame
// buffer row (margins too) and the second-target line must come out as rear
// to front leaves them, with any mix of brightness effects, second targets,
// mosaic, overlapping sprites of every kind and priorities in any order.
TEST_F(RandomSceneTest, FrontToBackLeavesWhatRearToFrontLeaves) {
    std::vector<uint16_t> rearFrame(FrameWidth * FrameHeight), start(FrameWidth * FrameHeight);
    std::vector<uint16_t> rearSecond(FrameWidth * FrameHeight);
    int frontLines = 0;
    for (uint32_t trial = 0; trial < 24; ++trial) {
        rng.seed(7000 + trial);
        FillMemories();
        RandomSprites(48);
        // No semi-transparent sprite: they blend with what lies below, and
        // their lines are drawn rear to front.
        for (int k = 0; k < 128; ++k) {
            const uint16_t attr0 = Peek16(SpriteRam + 8 * k);
            if (((attr0 >> 10) & 3) == 1) Poke16(SpriteRam + 8 * k, static_cast<uint16_t>(attr0 & ~0x0400u));
        }
        // Effects 0, 2 and 3, and alpha (1) with no background as first target.
        const uint32_t effect = trial % 4;
        RandomRegisters(0, effect);
        if (effect == 1) Io(0x050, static_cast<uint16_t>(Peek16(IoRam + 0x050) & ~0x0Fu));
        for (uint16_t& p : start) p = static_cast<uint16_t>(Bits(15));
        std::copy(start.begin(), start.end(), FrameBuffer);
        for (auto order : {false, true}) {
            DrawOrder = order ? LineOrder::FrontToBack : LineOrder::RearToFront;
            std::fill(SecondTargetLine, SecondTargetLine + FrameWidth, 0x1234);
            std::copy(start.begin(), start.end(), FrameBuffer);
            for (int line = 0; line < FrameHeight; ++line) {
                std::memset(video::CoveredLine, 0, sizeof video::CoveredLine);
                Render(line);
                uint16_t* second = rearSecond.data() + line * FrameWidth;
                const uint16_t* row = FrameBuffer + line * FrameWidth;
                if (!order) {
                    std::copy(SecondTargetLine, SecondTargetLine + FrameWidth, second);
                    continue;
                }
                frontLines += std::count(video::CoveredLine, video::CoveredLine + FrameWidth, 0xFF) > 0;
                for (int x = 0; x < FrameWidth; ++x) {
                    ASSERT_EQ(row[x], rearFrame[line * FrameWidth + x]) << "trial " << trial << " line " << line << " column " << x;
                    ASSERT_EQ(SecondTargetLine[x], second[x]) << "trial " << trial << " line " << line << " column " << x;
                }
            }
            if (!order) std::copy(FrameBuffer, FrameBuffer + FrameWidth * FrameHeight, rearFrame.begin());
        }
    }
    DrawOrder = LineOrder::Chosen;
    // Most lines were drawn front to back, not all rear to front.
    EXPECT_GT(frontLines, 24 * FrameHeight / 2);
}

// Left to choose, the renderer draws front to back while layers hide each
// other, goes rear to front on a picture where they do not, and tries front
// to back again after 15 frames. A frame drawn front to back leaves its
// last line's cover.
TEST_F(RandomSceneTest, TheOrderIsChosenByWhatItSaves) {
    DrawOrder = LineOrder::Chosen;
    const auto frameWasFrontToBack = [&] {
        std::memset(video::CoveredLine, 0, sizeof video::CoveredLine);
        RenderFrame();
        return std::count(video::CoveredLine, video::CoveredLine + FrameWidth, 0xFF) > 0;
    };
    // Backgrounds 0 and 1 over each other, 16 colours, tiles of colour 1.
    for (uint32_t i = 0; i < 512; ++i) Palette(i, static_cast<uint16_t>(i | 1));
    Io(0x008, 0x0800);
    Io(0x00A, 0x0901);
    Io(0x050, 0);
    Io(0x000, 0x0300);
    std::memset(Vram + 0x4000, 0, 0x4000);  // the maps: tile 0 everywhere
    std::memset(Vram, 0x11, 32);            // tile 0 opaque
    for (int frame = 0; frame < 17; ++frame) RenderFrame();
    EXPECT_TRUE(frameWasFrontToBack()) << "opaque layers";
    // One texel in eight of tile 0: nothing hides anything.
    std::memset(Vram, 0, 32);
    for (int row = 0; row < 8; ++row) Vram[4 * row] = 0x01;
    EXPECT_TRUE(frameWasFrontToBack()) << "the first frame of the new picture";
    for (int frame = 0; frame < 15; ++frame) EXPECT_FALSE(frameWasFrontToBack()) << "frame " << frame;
    EXPECT_TRUE(frameWasFrontToBack()) << "the trial after 15 frames";
    EXPECT_FALSE(frameWasFrontToBack()) << "after the trial";
}

// Any register and sprite attribute values at all, rotation parameters over
// their whole range and reference points over the whole 28-bit range: the
// picture still follows the model, and (under the sanitizers) nothing is
// read or written outside the memories and the frame buffer.
TEST_F(RandomSceneTest, AnyRegisterAndSpriteValuesStayInsideTheBuffers) {
    for (uint32_t trial = 0; trial < 24; ++trial) {
        rng.seed(1000 + trial);
        FillMemories();
        for (uint32_t offset = 0; offset < 0x400; offset += 2) Poke16(SpriteRam + offset, static_cast<uint16_t>(Bits(16)));
        for (uint32_t offset = 0x000; offset <= 0x056; offset += 2) {
            if (offset != 0x006) Io(offset, static_cast<uint16_t>(Bits(16)));
        }
        // Display mode 0-7 in turn, whatever else the display register says.
        Io(0x000, static_cast<uint16_t>((Peek16(IoRam) & ~7u) | (trial & 7)));
        for (BgAffineRecord& bg : BgAffineState) {
            bg.refX = static_cast<int32_t>(Bits(28) << 4) >> 4;
            bg.refY = static_cast<int32_t>(Bits(28) << 4) >> 4;
        }
        CheckFrame("trial " + std::to_string(trial));
        if (HasFailure()) return;
    }
}

}  // namespace
}  // namespace koru::test
