// Backgrounds found through a per-pixel texture walk: rotation/scaling tile
// maps and the three bitmap modes of background 2.
//
// The walk starts at the background's current reference point and adds pa
// and pc per pixel; the matrix is never evaluated inside the loop.
#include "video/output.h"

namespace koru {

namespace {

using namespace video;

struct Walk {
    int32_t x, y;    // texture position of the first pixel, 20.8 fixed point
    int32_t dx, dy;  // per pixel: pa and pc
    int32_t blockW, blockH;  // mosaic block sizes (1 when off)
};

inline Walk StartWalk(const BgAffineRecord& bg, bool mosaic) {
    const uint32_t reg = IoRead16(IoMOSAIC);
    return Walk{bg.curX, bg.curY, bg.pa, bg.pc, mosaic ? static_cast<int32_t>(reg & 15) + 1 : 1,
                mosaic ? static_cast<int32_t>((reg >> 4) & 15) + 1 : 1};
}

// One step of the walk: the texel under the pixel, then on to the next.
template <bool Mosaic>
inline void Step(Walk& w, int32_t& x, int32_t& y) {
    x = w.x >> 8;
    y = w.y >> 8;
    // Unsigned sums: a reference point and parameters from a loaded state
    // may be anything, and wrapping is then harmless while overflow is not.
    w.x = static_cast<int32_t>(static_cast<uint32_t>(w.x) + static_cast<uint32_t>(w.dx));
    w.y = static_cast<int32_t>(static_cast<uint32_t>(w.y) + static_cast<uint32_t>(w.dy));
    if constexpr (Mosaic) {
        x = MosaicSnap(x, w.blockW);
        y = MosaicSnap(y, w.blockH);
    }
}

// ---- Rotation/scaling tile maps ---------------------------------------

struct AffineMap {
    uint32_t screenBase;  // VRAM offset of the map
    uint32_t charBase;    // VRAM offset of the tiles
    uint32_t sizeShift;   // the map is 128 << s pixels square
    uint32_t wrapMask;    // size - 1 with wrap-around, else all ones
};
// The largest map at the last screen block, and the last texel of tile 255
// at character base 3, both stay inside VRAM.
static_assert(31 * 0x800 + 128 * 128 <= VramSize);
static_assert(3 * 0x4000 + 256 * 64 <= VramSize);

template <int R, bool Target, bool Mosaic>
void DrawAffineLine(const Pen& pen, Walk w, const AffineMap& m) {
    const uint32_t size = 128u << m.sizeShift;
    const uint32_t tilesPerRow = 16u << m.sizeShift;
    const uint8_t* map = Vram + m.screenBase;
    const uint8_t* tiles = Vram + m.charBase;
    for (int i = 0; i < ScreenWidth; ++i) {
        int32_t sx, sy;
        Step<Mosaic>(w, sx, sy);
        const uint32_t x = static_cast<uint32_t>(sx) & m.wrapMask;
        const uint32_t y = static_cast<uint32_t>(sy) & m.wrapMask;
        // size is a power of two: a negative or too large coordinate on
        // either axis leaves a bit at or above it in x | y.
        if ((x | y) >= size) continue;
        const uint32_t tile = map[(y >> 3) * tilesPerRow + (x >> 3)];
        const uint32_t value = tiles[tile * 64 + (y & 7) * 8 + (x & 7)];
        if (value) PutIndex<R, Target>(pen, i, value);
    }
}

// ---- Bitmaps -------------------------------------------------------------

// Reads the colour of bitmap texel (x, y) of a width x height bitmap.
struct Mode3Source {
    static constexpr int32_t Width = 240, Height = 160;
    const uint8_t* base;
    uint32_t operator()(uint32_t index) const { return Peek16(base + 2 * index); }
};
struct Mode4Source {
    static constexpr int32_t Width = 240, Height = 160;
    const uint8_t* base;
    uint32_t operator()(uint32_t index) const { return PaletteColour(base[index]); }
};
struct Mode5Source {
    static constexpr int32_t Width = 160, Height = 128;
    const uint8_t* base;
    uint32_t operator()(uint32_t index) const { return Peek16(base + 2 * index); }
};
// Pages start at 0 or 0xA000; the largest page ends inside VRAM.
static_assert(0xA000 + 240 * 160 <= VramSize && 0xA000 + 160 * 128 * 2 <= VramSize && 240 * 160 * 2 <= VramSize);

// Draws screen pixels first .. first + count - 1 from the bitmap; texels
// outside the bitmap leave the pixel untouched, and every texel inside is
// opaque.
template <int R, bool Target, bool Mosaic, typename Source>
void DrawBitmapLine(const Pen& pen, Walk w, const Source& source, int first, int count) {
    if constexpr (!Mosaic) {
        // Identity-like rows (no rotation, one texel per pixel) are the
        // common case: work out the covered span once and copy it.
        if (w.dx == 256 && w.dy == 0) {
            const int32_t y = w.y >> 8;
            if (y < 0 || y >= Source::Height) return;
            const int32_t x0 = w.x >> 8;
            const int begin = std::clamp(-x0, 0, count);
            const int end = std::clamp(Source::Width - x0, 0, count);
            const uint32_t rowStart = static_cast<uint32_t>(y * Source::Width + x0);
            for (int k = begin; k < end; ++k) Put<R, Target>(pen, first + k, source(rowStart + k));
            return;
        }
    }
    for (int k = 0; k < count; ++k) {
        int32_t x, y;
        Step<Mosaic>(w, x, y);
        if (static_cast<uint32_t>(x) >= static_cast<uint32_t>(Source::Width) ||
            static_cast<uint32_t>(y) >= static_cast<uint32_t>(Source::Height)) {
            continue;
        }
        Put<R, Target>(pen, first + k, source(static_cast<uint32_t>(y * Source::Width + x)));
    }
}

template <int R, typename Source>
void DrawBitmap(int line, const Source& source, int first, int count) {
    const bool mosaic = IoRead16(IoBGCNT(2)) & BgCntMosaic;
    const bool target = IoRead16(IoBLDCNT) & (BldCntSecondBg0 << 2);
    const Pen pen = MakePen(line);
    const Walk w = StartWalk(BgAffineState[0], mosaic);
    if (target) {
        mosaic ? DrawBitmapLine<R, true, true>(pen, w, source, first, count)
               : DrawBitmapLine<R, true, false>(pen, w, source, first, count);
    } else {
        mosaic ? DrawBitmapLine<R, false, true>(pen, w, source, first, count)
               : DrawBitmapLine<R, false, false>(pen, w, source, first, count);
    }
}

}  // namespace

template <int Column>
void DrawAffineBg(int line, uint32_t bgWord) {
    const BgAffineRecord& bg = BgAffineState[BgOrderNumber(bgWord) & 1];
    const bool mosaic = bgWord & BgCntMosaic;
    AffineMap m;
    m.screenBase = ((bgWord >> 8) & 31) * 0x800;
    m.charBase = ((bgWord >> 2) & 3) * 0x4000;
    m.sizeShift = (bgWord >> 14) & 3;
    m.wrapMask = (bgWord & BgCntWrap) ? (128u << m.sizeShift) - 1 : ~0u;
    const Pen pen = MakePen(line);
    const Walk w = StartWalk(bg, mosaic);
    if (bgWord & BgOrderSecondTarget) {
        mosaic ? DrawAffineLine<Column, true, true>(pen, w, m) : DrawAffineLine<Column, true, false>(pen, w, m);
    } else {
        mosaic ? DrawAffineLine<Column, false, true>(pen, w, m) : DrawAffineLine<Column, false, false>(pen, w, m);
    }
}

template <int Column>
void DrawBitmapMode3(int line, uint32_t) {
    // Mode 3 has one page; the frame-select bit does not apply.
    DrawBitmap<NoAlphaRule(Column)>(line, Mode3Source{Vram}, 0, ScreenWidth);
}

template <int Column>
void DrawBitmapMode4(int line, uint32_t vramOffset) {
    DrawBitmap<NoAlphaRule(Column)>(line, Mode4Source{Vram + (vramOffset ? 0xA000 : 0)}, 0, ScreenWidth);
}

template <int Column>
void DrawBitmapMode5(int line, uint32_t vramOffset) {
    // The 160 x 128 bitmap is shown in a window of lines 16-143 and screen
    // columns 40-199; the walk is not re-based to the window.
    if (line < 16 || line >= 144) return;
    DrawBitmap<NoAlphaRule(Column)>(line, Mode5Source{Vram + (vramOffset ? 0xA000 : 0)}, 40, 160);
}

template void DrawAffineBg<0>(int, uint32_t);
template void DrawAffineBg<1>(int, uint32_t);
template void DrawAffineBg<2>(int, uint32_t);
template void DrawAffineBg<3>(int, uint32_t);
template void DrawBitmapMode3<0>(int, uint32_t);
template void DrawBitmapMode3<2>(int, uint32_t);
template void DrawBitmapMode3<3>(int, uint32_t);
template void DrawBitmapMode4<0>(int, uint32_t);
template void DrawBitmapMode4<2>(int, uint32_t);
template void DrawBitmapMode4<3>(int, uint32_t);
template void DrawBitmapMode5<0>(int, uint32_t);
template void DrawBitmapMode5<2>(int, uint32_t);
template void DrawBitmapMode5<3>(int, uint32_t);

}  // namespace koru
