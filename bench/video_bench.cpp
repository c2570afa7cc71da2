// Rendered lines per second of RenderScanline on three screens, each
// without and with alpha blending:
//   - mode 0: four text backgrounds (16 and 256 colours, scrolled) and 128
//     sprites of every size, some of them rotation sprites;
//   - mode 2: two rotated and scaled backgrounds with wrap-around;
//   - mode 3: a direct-colour bitmap and 32 sprites;
//   - the mode 0 screen with the display windows: windows 0 and 1 with the
//     "DisplayWindows" setting off (the window bits set and ignored) and on,
//     and with 16 of its sprites making a sprite window.
// With alpha every layer is a first and a second target, and in mode 3,
// where the bitmap has no alpha renderer, the sprites are semi-transparent.
//
//   bench_video [seconds per case [case]]   (default 1 second, every case)
//
// With a case ("mode 0", "alpha" ...) only the cases whose name and
// blending contain it run, which is how one case is profiled.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "machine/host.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/settings.h"
#include "video/video.h"
#include "video/video_registers.h"

namespace koru {
void ShowFrame(int, int, int, int) {}
uint32_t PollInput() { return 0; }
}  // namespace koru

namespace {

using namespace koru;

std::vector<uint16_t> Frame(FrameWidth * FrameHeight);
std::vector<uint8_t> Io(IoRamSize), Palette(PaletteRamSize), Video(VramSize), Sprites(SpriteRamSize);
std::mt19937 Rng(12345);

void Reg(uint32_t offset, uint16_t value) { Poke16(IoRam + offset, value); }

void SetBgControl(uint32_t n, uint16_t value) {
    Reg(0x008 + 2 * n, value);
    for (uint32_t i = 0; i < 4; ++i) {
        const uint32_t control = Peek16(IoRam + 0x008 + 2 * i);
        BgOrder[i] = control | (i << 28) | ((control & 3) << 30);
    }
    std::sort(BgOrder, BgOrder + 4, [](uint32_t a, uint32_t b) { return a > b; });
}

void Blend(bool alpha) {
    Reg(0x050, alpha ? 0x3F7F : 0x0000);
    Reg(0x052, 0x0A06);
    BlendCoefficients = BlendRecord{6, 10, 0};
}

// Random tile data with about one transparent texel in eight, random maps
// and palettes.
void FillMemories() {
    for (auto& b : Video) {
        b = static_cast<uint8_t>(Rng());
        if ((b & 0x0F) == 1) b &= 0xF0;
    }
    for (size_t i = 0; i < 1024; i += 2) Poke16(&Palette[i], static_cast<uint16_t>(Rng() & 0x7FFF));
    std::memset(Sprites.data(), 0, Sprites.size());
    for (int k = 0; k < 128; ++k) Poke16(&Sprites[8 * k], 0x0200);  // hidden
}

void Mode0(bool alpha) {
    FillMemories();
    SetBgControl(0, 0x1C00);  // 16 colours
    SetBgControl(1, 0x1D85);  // 256 colours, character base 1
    SetBgControl(2, 0x5E06);  // 512 wide
    SetBgControl(3, 0x1B8F);  // 256 colours
    for (uint32_t n = 0; n < 4; ++n) {
        Reg(0x010 + 4 * n, static_cast<uint16_t>(13 * n + 3));
        Reg(0x012 + 4 * n, static_cast<uint16_t>(7 * n));
    }
    for (int k = 0; k < 128; ++k) {
        const uint16_t shape = static_cast<uint16_t>((k % 3) << 14), size = static_cast<uint16_t>(((k / 3) % 4) << 14);
        const uint16_t rotation = (k % 8 == 0) ? 0x0100 : 0;
        Poke16(&Sprites[8 * k], static_cast<uint16_t>(shape | rotation | ((k & 16) ? 0x2000 : 0) | (Rng() % 160)));
        Poke16(&Sprites[8 * k + 2], static_cast<uint16_t>(size | (rotation ? (k % 32) << 9 : (k & 3) << 12) | (Rng() % 240)));
        Poke16(&Sprites[8 * k + 4], static_cast<uint16_t>((k & 15) << 12 | (k & 3) << 10 | (Rng() % 1024)));
    }
    for (int g = 0; g < 32; ++g) {
        const int16_t p[4] = {200, 60, -60, 200};
        for (int i = 0; i < 4; ++i) Poke16(&Sprites[32 * g + 8 * i + 6], static_cast<uint16_t>(p[i]));
    }
    Blend(alpha);
    Reg(0x000, 0x1F40);
}

void SetAffine(int bg, int16_t pa, int16_t pb, int16_t pc, int16_t pd, int32_t x, int32_t y) {
    BgAffineState[bg] = BgAffineRecord{x, y, x, y, pa, pb, pc, pd};
}

void Mode2(bool alpha) {
    FillMemories();
    SetBgControl(2, 0x6808);  // 256 x 256, wrap, character base 2
    SetBgControl(3, 0xB005);  // 512 x 512, wrap, character base 1
    SetAffine(0, 181, -181, 181, 181, 1000, -2000);
    SetAffine(1, 300, 40, -40, 300, 5000, 3000);
    Blend(alpha);
    Reg(0x000, 0x0C02);
}

void Mode3(bool alpha) {
    FillMemories();
    SetBgControl(2, 0x0001);
    SetAffine(0, 256, 0, 0, 256, 0, 0);
    for (int k = 0; k < 32; ++k) {
        Poke16(&Sprites[8 * k], static_cast<uint16_t>((alpha ? 0x0400 : 0) | (Rng() % 160)));
        Poke16(&Sprites[8 * k + 2], static_cast<uint16_t>(0x8000 | (Rng() % 240)));
        Poke16(&Sprites[8 * k + 4], static_cast<uint16_t>(512 + (Rng() % 512)));
    }
    Blend(alpha);
    Reg(0x000, 0x1443);
}

// Window 0 without background 3, window 1 without effects, the outside
// without background 1: each layer drawn through runs on most lines.
void WindowRegisters() {
    Reg(0x040, (40 << 8) | 200);
    Reg(0x044, (30 << 8) | 130);
    Reg(0x042, (100 << 8) | 240);
    Reg(0x046, (60 << 8) | 160);
    Reg(0x048, 0x1F37);
    Reg(0x04A, 0x333D);  // the sprite window: backgrounds 0 and 1, sprites, effects
}

void Mode0WindowsIgnored(bool alpha) {
    Mode0(alpha);
    WindowRegisters();
    Reg(0x000, 0x7F40);
    DisplayWindows = 0;
}

void Mode0Windows(bool alpha) {
    Mode0WindowsIgnored(alpha);
    DisplayWindows = 1;
}

void Mode0SpriteWindow(bool alpha) {
    Mode0(alpha);
    WindowRegisters();
    for (int k = 0; k < 128; k += 8) Poke16(&Sprites[8 * k], static_cast<uint16_t>(Peek16(&Sprites[8 * k]) | 0x0800));
    Reg(0x000, 0x9F40);
    DisplayWindows = 1;
}

// Renders whole frames for about the given time; lines per second.
double Measure(double seconds) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    uint64_t lines = 0;
    double elapsed = 0;
    const BgAffineRecord saved[2] = {BgAffineState[0], BgAffineState[1]};
    do {
        for (int f = 0; f < 10; ++f) {
            BgAffineState[0] = saved[0];
            BgAffineState[1] = saved[1];
            for (int line = 0; line < FrameHeight; ++line) {
                Poke16(IoRam + 0x006, static_cast<uint16_t>(line));
                RenderScanline();
                for (BgAffineRecord& bg : BgAffineState) {
                    bg.curX += bg.pb;
                    bg.curY += bg.pd;
                }
            }
            lines += FrameHeight;
        }
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);
    return static_cast<double>(lines) / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    const std::string only = argc > 2 ? argv[2] : "";
    FrameBuffer = Frame.data();
    IoRam = Io.data();
    PaletteRam = Palette.data();
    Vram = Video.data();
    SpriteRam = Sprites.data();
    BuildColourTables();

    struct Case {
        const char* name;
        void (*setUp)(bool alpha);
    } cases[] = {
        {"mode 0: 4 text backgrounds, 128 sprites", Mode0},
        {"mode 2: 2 rotation backgrounds", Mode2},
        {"mode 3: bitmap, 32 sprites", Mode3},
        {"mode 0, windows 0 and 1, setting off", Mode0WindowsIgnored},
        {"mode 0, windows 0 and 1", Mode0Windows},
        {"mode 0, sprite window", Mode0SpriteWindow},
    };
    std::printf("bench_video: rendered lines per second (a console frame is 160 lines, 60 frames a second)\n");
    for (const Case& c : cases) {
        for (bool alpha : {false, true}) {
            const std::string name = std::string(c.name) + " " + (alpha ? "alpha" : "no alpha");
            if (name.find(only) == std::string::npos) continue;
            c.setUp(alpha);
            const double rate = Measure(seconds);
            std::printf("  %-42s %-8s %10.0f lines/s  (%6.0f frames/s)\n", c.name, alpha ? "alpha" : "no alpha",
                        rate, rate / FrameHeight);
        }
    }
    return 0;
}
