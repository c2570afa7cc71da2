// Sprites of one priority on one line. Sprite RAM is scanned from entry 127
// down to 0, so that a lower-numbered sprite, drawn later, ends up in front.
#include "video/output.h"

namespace koru {

namespace {

using namespace video;

// Width and height in tiles, by shape (shape 3 reads as shape 0) and size.
constexpr uint8_t SpriteTiles[4][4][2] = {
    {{1, 1}, {2, 2}, {4, 4}, {8, 8}},
    {{2, 1}, {4, 1}, {4, 2}, {8, 4}},
    {{1, 2}, {1, 4}, {2, 4}, {4, 8}},
    {{1, 1}, {2, 2}, {4, 4}, {8, 8}},
};

// The frame buffer margins take what lies off screen: a drawn sprite starts
// at x >= -63 (x + W > 0 with W <= 128 only lets in x > -128, but x itself is
// never below -63) and ends before 240 + 128.
static_assert(ScreenLeft >= 63 && ScreenLeft + ScreenWidth + 127 <= FrameWidth);

struct Sprite {
    int x;             // screen x of the left edge of the box
    int width;         // box width in pixels (doubled with double size)
    int height;        // box height in pixels
    int row;           // line - top edge
    uint32_t attr0, attr1;
    uint32_t tileStart;  // VRAM offset of the sprite's first tile
    uint32_t rowStride;  // VRAM bytes from one tile row of the sprite to the next
    uint32_t palette;    // Palette RAM halfword of colour index 0
};

// Regular sprites: one tile row of 4 or 8 bytes read at a time and its 8
// pixels written unrolled. Rows past the end of VRAM (a high tile number in
// a tall sprite) are transparent; a tile row is 4 or 8 bytes at a multiple
// of its length, so it lies wholly inside VRAM or wholly outside.
template <int R, bool Target, bool Colours256, bool Flip>
void DrawRegular(const Pen& pen, const Sprite& s) {
    const int32_t tileBytes = Colours256 ? 64 : 32;
    int row = s.row;
    if (s.attr1 & 0x2000) row = s.height - 1 - row;
    const int tiles = s.width / 8;
    uint32_t offset = s.tileStart + static_cast<uint32_t>(row / 8) * s.rowStride +
                      static_cast<uint32_t>(row & 7) * (Colours256 ? 8 : 4);
    if constexpr (Flip) offset += static_cast<uint32_t>((tiles - 1) * tileBytes);
    int x = s.x;
    for (int t = 0; t < tiles; ++t, x += 8, offset += Flip ? -tileBytes : tileBytes) {
        if (offset >= VramSize) continue;
        const uint64_t bits = Colours256 ? Peek64(Vram + offset) : Peek32(Vram + offset);
        if (bits == 0) continue;
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            const int p = Flip ? 7 - i : i;
            const uint32_t value = Colours256 ? static_cast<uint32_t>(bits >> (8 * p)) & 0xFF
                                              : static_cast<uint32_t>(bits >> (4 * p)) & 0x0F;
            if (value) Put<R, Target>(pen, x + i, PaletteColour(s.palette + value));
        }
    }
}

// Rotation/scaling sprites: one general loop, the texture position stepped
// by PA and PC per pixel from the box's centre.
template <int R, bool Target, bool Colours256>
void DrawAffine(const Pen& pen, const Sprite& s) {
    const uint8_t* group = SpriteRam + 32 * ((s.attr1 >> 9) & 31);
    const int32_t pa = static_cast<int16_t>(Peek16(group + 6));
    const int32_t pb = static_cast<int16_t>(Peek16(group + 14));
    const int32_t pc = static_cast<int16_t>(Peek16(group + 22));
    const int32_t pd = static_cast<int16_t>(Peek16(group + 30));
    const bool doubled = s.attr0 & 0x0200;
    const int32_t texW = doubled ? s.width / 2 : s.width;
    const int32_t texH = doubled ? s.height / 2 : s.height;
    const int32_t iy = s.row - s.height / 2;
    int32_t tx = pb * iy - (pa * s.width) / 2;
    int32_t ty = pd * iy - (pc * s.width) / 2;

    const bool mosaic = s.attr0 & 0x1000;
    const uint32_t reg = IoRead16(IoMOSAIC);
    const int32_t blockW = static_cast<int32_t>(reg & 15) + 1;
    const int32_t blockH = static_cast<int32_t>((reg >> 4) & 15) + 1;

    for (int i = 0; i < s.width; ++i) {
        int32_t u = (tx >> 8) + texW / 2;
        int32_t v = (ty >> 8) + texH / 2;
        tx += pa;
        ty += pc;
        if (mosaic) {
            u = MosaicSnap(u, blockW);
            v = MosaicSnap(v, blockH);
        }
        if (static_cast<uint32_t>(u) >= static_cast<uint32_t>(texW) ||
            static_cast<uint32_t>(v) >= static_cast<uint32_t>(texH)) {
            continue;
        }
        const uint32_t uu = static_cast<uint32_t>(u), vv = static_cast<uint32_t>(v);
        uint32_t value;
        if constexpr (Colours256) {
            const uint32_t offset = s.tileStart + (vv / 8) * s.rowStride + (vv & 7) * 8 + (uu / 8) * 64 + (uu & 7);
            if (offset >= VramSize) continue;
            value = Vram[offset];
        } else {
            const uint32_t offset = s.tileStart + (vv / 8) * s.rowStride + (vv & 7) * 4 + (uu / 8) * 32 + (uu & 7) / 2;
            if (offset >= VramSize) continue;
            value = (uu & 1) ? Vram[offset] >> 4 : Vram[offset] & 15;
        }
        if (value) Put<R, Target>(pen, s.x + i, PaletteColour(s.palette + value));
    }
}

template <int R, bool Target>
void DrawSprite(const Pen& pen, const Sprite& s) {
    const bool colours256 = s.attr0 & 0x2000;
    if (s.attr0 & 0x0100) {
        colours256 ? DrawAffine<R, Target, true>(pen, s) : DrawAffine<R, Target, false>(pen, s);
    } else if (s.attr1 & 0x1000) {
        colours256 ? DrawRegular<R, Target, true, true>(pen, s) : DrawRegular<R, Target, false, true>(pen, s);
    } else {
        colours256 ? DrawRegular<R, Target, true, false>(pen, s) : DrawRegular<R, Target, false, false>(pen, s);
    }
}

template <int R, bool Target>
void DrawSpriteLine(const Pen& pen, int line, uint32_t priority) {
    const uint32_t display = IoRead16(IoDISPCNT);
    // Bitmap modes keep the lower half of the sprite tiles for the bitmap.
    const bool bitmapMode = (display & DispCntMode) >= 3;
    const uint32_t tileBase = bitmapMode ? 0x14000 : 0x10000;
    const uint32_t tileMask = bitmapMode ? 0x1FF : 0x3FF;
    const bool oneDimensional = display & DispCntSprites1D;

    for (int k = 127; k >= 0; --k) {
        const uint8_t* entry = SpriteRam + 8 * k;
        const uint32_t attr0 = Peek16(entry);
        const uint32_t attr2 = Peek16(entry + 4);
        if ((attr0 & 0x0300) == 0x0200 || ((attr2 >> 10) & 3) != priority) continue;
        // Object-window sprites and the unused mode draw nothing.
        const uint32_t mode = (attr0 >> 10) & 3;
        if (mode >= 2) continue;
        const uint32_t attr1 = Peek16(entry + 2);

        Sprite s;
        const uint8_t* tiles = SpriteTiles[attr0 >> 14][attr1 >> 14];
        s.width = tiles[0] * 8;
        s.height = tiles[1] * 8;
        int y = static_cast<int>(attr0 & 0xFF);
        if (y > 192) y -= 256;
        s.x = static_cast<int>(attr1 & 0x1FF);
        if (s.x > 448) s.x -= 512;
        if ((attr0 & 0x0300) == 0x0300) {
            s.width *= 2;
            s.height *= 2;
        }
        if (line < y || line >= y + s.height || s.x >= ScreenWidth || s.x + s.width <= 0) continue;

        s.row = line - y;
        s.attr0 = attr0;
        s.attr1 = attr1;
        const bool colours256 = attr0 & 0x2000;
        uint32_t tile = attr2 & tileMask;
        if (colours256 && !oneDimensional) tile &= ~1u;
        s.tileStart = tileBase + tile * 32;
        // One-dimensional tiles follow each other row by row of the texture,
        // whose width is the sprite's real size (not the doubled box).
        s.rowStride = oneDimensional ? tiles[0] * (colours256 ? 64u : 32u) : 1024;
        s.palette = colours256 ? 256 : 256 + 16 * (attr2 >> 12);

        if (mode == 1) {
            DrawSprite<RuleAlpha, Target>(pen, s);
        } else {
            DrawSprite<R, Target>(pen, s);
        }
    }
}

}  // namespace

template <int Column>
void DrawSprites(int line, uint32_t priority) {
    const Pen pen = MakePen(line);
    if (IoRead16(IoBLDCNT) & BldCntSecondSprites) {
        DrawSpriteLine<NoAlphaRule(Column), true>(pen, line, priority & 3);
    } else {
        DrawSpriteLine<NoAlphaRule(Column), false>(pen, line, priority & 3);
    }
}

template void DrawSprites<0>(int, uint32_t);
template void DrawSprites<2>(int, uint32_t);
template void DrawSprites<3>(int, uint32_t);

}  // namespace koru
