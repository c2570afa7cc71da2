#include "video_test.h"

#include <algorithm>
#include <cstring>

#include "machine/machine.h"
#include "machine/memory.h"
#include "video/video.h"
#include "video/video_registers.h"

namespace koru::test {

uint16_t HostPixel(uint32_t c) {
    const uint32_t red = c & 31, green = (c >> 5) & 31, blue = (c >> 10) & 31;
    return static_cast<uint16_t>((red << 10) | (green << 5) | blue);
}

void VideoTest::SetUp() {
    MachineTest::SetUp();
    std::memset(Vram, 0, VramSize);
    std::memset(PaletteRam, 0, PaletteRamSize);
    std::memset(SpriteRam, 0, SpriteRamSize);
    HiddenLayerMask = 0;
    Io(0x000, 0);
    Io(0x050, 0);
    Io(0x052, 0);
    Io(0x054, 0);
    Io(0x04C, 0);
    for (uint32_t offset = 0x040; offset <= 0x04A; offset += 2) Io(offset, 0);
    for (uint32_t n = 0; n < 4; ++n) {
        Io(0x008 + 2 * n, 0);
        Io(0x010 + 4 * n, 0);
        Io(0x012 + 4 * n, 0);
    }
    BgAffine(2, 256, 0, 0, 256, 0, 0);
    BgAffine(3, 256, 0, 0, 256, 0, 0);
}

void VideoTest::Io(uint32_t offset, uint16_t value) {
    Poke16(IoRam + offset, value);
    if (offset >= 0x008 && offset <= 0x00E) {
        // Rear-most first: higher priority number, then higher background
        // number.
        for (uint32_t n = 0; n < 4; ++n) {
            const uint32_t control = Peek16(IoRam + 0x008 + 2 * n);
            BgOrder[n] = control | (n << 28) | ((control & 3) << 30);
        }
        std::sort(BgOrder, BgOrder + 4, [](uint32_t a, uint32_t b) { return a > b; });
    } else if (offset >= 0x020 && offset <= 0x03E) {
        BgAffineRecord& bg = BgAffineState[offset >= 0x030 ? 1 : 0];
        const uint32_t base = offset >= 0x030 ? 0x030 : 0x020;
        const uint32_t index = (offset - base) / 2;
        int32_t* parameters[4] = {&bg.pa, &bg.pb, &bg.pc, &bg.pd};
        if (index < 4) {
            *parameters[index] = static_cast<int16_t>(value);
        } else {
            // 28-bit reference points, sign bit 27; a write sets the latched
            // and the current point.
            const uint32_t low = index < 6 ? base + 8 : base + 12;
            const uint32_t raw = (Peek16(IoRam + low) | (static_cast<uint32_t>(Peek16(IoRam + low + 2)) << 16));
            const int32_t point = static_cast<int32_t>(raw << 4) >> 4;
            if (index < 6) bg.refX = bg.curX = point;
            else bg.refY = bg.curY = point;
        }
    } else if (offset == 0x052) {
        BlendCoefficients.firstWeight = (value & 0x10) ? 16 : (value & 15);
        BlendCoefficients.secondWeight = (value & 0x1000) ? 16 : ((value >> 8) & 15);
    } else if (offset == 0x054) {
        BlendCoefficients.brightWeight = (value & 0x10) ? 16 : (value & 15);
    }
}

void VideoTest::Palette(uint32_t index, uint16_t colour) { Poke16(PaletteRam + 2 * index, colour); }
void VideoTest::Vram8(uint32_t offset, uint8_t value) { Vram[offset] = value; }
void VideoTest::Vram16(uint32_t offset, uint16_t value) { Poke16(Vram + offset, value); }

void VideoTest::Sprite(int k, uint16_t attr0, uint16_t attr1, uint16_t attr2) {
    Poke16(SpriteRam + 8 * k, attr0);
    Poke16(SpriteRam + 8 * k + 2, attr1);
    Poke16(SpriteRam + 8 * k + 4, attr2);
}

void VideoTest::SpriteGroup(int g, int16_t pa, int16_t pb, int16_t pc, int16_t pd) {
    const int16_t values[4] = {pa, pb, pc, pd};
    for (int i = 0; i < 4; ++i) Poke16(SpriteRam + 32 * g + 8 * i + 6, static_cast<uint16_t>(values[i]));
}

void VideoTest::BgAffine(int n, int16_t pa, int16_t pb, int16_t pc, int16_t pd, int32_t refX, int32_t refY) {
    const uint32_t base = n == 2 ? 0x020 : 0x030;
    const int16_t parameters[4] = {pa, pb, pc, pd};
    for (uint32_t i = 0; i < 4; ++i) Poke16(IoRam + base + 2 * i, static_cast<uint16_t>(parameters[i]));
    Poke32(IoRam + base + 8, static_cast<uint32_t>(refX) & 0x0FFFFFFF);
    Poke32(IoRam + base + 12, static_cast<uint32_t>(refY) & 0x0FFFFFFF);
    BgAffineRecord& bg = BgAffineState[n - 2];
    bg.pa = pa;
    bg.pb = pb;
    bg.pc = pc;
    bg.pd = pd;
    bg.refX = bg.curX = refX;
    bg.refY = bg.curY = refY;
}

void VideoTest::Render(int line) {
    Poke16(IoRam + 0x006, static_cast<uint16_t>(line));
    RenderScanline();
}

void VideoTest::RenderFrame() {
    for (BgAffineRecord& bg : BgAffineState) {
        bg.curX = bg.refX;
        bg.curY = bg.refY;
    }
    for (int line = 0; line < FrameHeight; ++line) {
        Render(line);
        for (BgAffineRecord& bg : BgAffineState) {
            bg.curX += bg.pb;
            bg.curY += bg.pd;
        }
    }
}

uint16_t VideoTest::Pixel(int line, int x) const { return FrameBuffer[line * FrameWidth + ScreenLeft + x]; }

void VideoTest::MarkRow(int line, uint16_t value) {
    std::fill(FrameBuffer + line * FrameWidth, FrameBuffer + (line + 1) * FrameWidth, value);
}

}  // namespace koru::test
