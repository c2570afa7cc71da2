// Sprites of one priority on one line, drawn from entry 127 down to 0, so
// that a lower-numbered sprite, drawn later, ends up in front.
#include <algorithm>
#include <bit>
#include <cstring>

#include "video/output.h"
#include "video/windows.h"

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

// Regular sprites: a tile row at a time, read in one load (4 or 8 bytes),
// mirrored once for a horizontal flip and drawn by DrawTileRow. Rows past
// the end of VRAM (a high tile number in a tall sprite) are transparent; a
// tile row is 4 or 8 bytes at a multiple of its length, so it lies wholly
// inside VRAM or wholly outside.
template <int R, bool Target, bool Colours256, bool Flip, bool Cover>
void DrawRegular(const Pen& pen, const Sprite& s) {
    const int32_t tileBytes = Colours256 ? 64 : 32;
    int row = s.row;
    if (s.attr1 & 0x2000) row = s.height - 1 - row;
    const int tiles = s.width / 8;
    uint32_t offset = s.tileStart + static_cast<uint32_t>(row / 8) * s.rowStride +
                      static_cast<uint32_t>(row & 7) * (Colours256 ? 8 : 4);
    // A flipped sprite starts at its last tile and goes backwards.
    if constexpr (Flip) offset += static_cast<uint32_t>((tiles - 1) * tileBytes);
    int x = s.x;
    uint32_t hidden = 0;
    for (int t = 0; t < tiles; ++t, x += 8, offset += Flip ? -tileBytes : tileBytes) {
        if (offset >= VramSize) continue;
        if constexpr (Cover) {
            if (Hidden8<Target>(pen, x)) {
                ++hidden;
                continue;
            }
        }
        if constexpr (Colours256) {
            uint64_t bits = Peek64(Vram + offset);
            if (bits == 0) continue;
            if constexpr (Flip) bits = Mirror(bits);
            DrawTileRow<R, Target, 8, Cover>(pen, x, bits, s.palette);
        } else {
            uint32_t bits = Peek32(Vram + offset);
            if (bits == 0) continue;
            if constexpr (Flip) bits = Mirror(bits);
            DrawTileRow<R, Target, 4, Cover>(pen, x, bits, s.palette);
        }
    }
    if constexpr (Cover) {
        CoverChecks += static_cast<uint32_t>(tiles);
        CoverHidden += hidden;
    }
}

// Rounded-down division by a positive divisor.
inline int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// The pixels i of [0, width) whose texture coordinate ((start + step x i) >>
// 8) + half lies in [0, 2 x half), as the range [first, last).
inline void InsideSpan(int32_t start, int32_t step, int32_t half, int32_t width, int32_t& first, int32_t& last) {
    // (a >> 8) + half in [0, 2 half) is a in [low, high) below.
    const int64_t low = -static_cast<int64_t>(half) * 256, high = static_cast<int64_t>(half) * 256;
    int64_t from, to;
    if (step > 0) {
        from = -FloorDiv(start - low, step);  // the first i with a >= low, rounded up
        to = -FloorDiv(start - high, step);   // the first i with a >= high
    } else if (step < 0) {
        from = FloorDiv(start - high, -step) + 1;  // the first i with a < high
        to = FloorDiv(start - low, -step) + 1;     // the first i with a < low
    } else {
        const bool inside = start >= low && start < high;
        from = 0;
        to = inside ? width : 0;
    }
    first = static_cast<int32_t>(std::clamp<int64_t>(from, 0, width));
    last = static_cast<int32_t>(std::clamp<int64_t>(to, 0, width));
}

// The texel value of a rotation/scaling sprite at texture position (u, v),
// which lies inside the texture. Texels past the end of VRAM (a high tile
// number) read as transparent: the read itself is kept inside, and its value
// dropped.
template <bool Colours256>
inline uint32_t AffineTexel(const Sprite& s, uint32_t rowShift, uint32_t u, uint32_t v) {
    const uint32_t row = s.tileStart + ((v >> 3) << rowShift);
    uint32_t offset, value;
    if constexpr (Colours256) {
        offset = row + (v & 7) * 8 + (u >> 3) * 64 + (u & 7);
        value = Vram[offset < VramSize ? offset : 0];
    } else {
        offset = row + (v & 7) * 4 + (u >> 3) * 32 + ((u & 7) >> 1);
        value = (Vram[offset < VramSize ? offset : 0] >> (4 * (u & 1))) & 15;
    }
    return offset < VramSize ? value : 0;
}

// The texel values of `count` pixels whose texture positions, stepped from
// (tx, ty) by (pa, pc), all lie inside the texture. With SSE2 four
// positions at a time are turned into VRAM offsets (and the shift that picks
// a 16-colour texel's half of its byte); only the reads themselves are one
// by one. This may work out up to three positions past `count`, outside
// the texture: like any position past the end of VRAM they read nothing,
// and the caller overwrites what they leave.
template <bool Colours256>
inline void GatherAffine(const Sprite& s, uint32_t rowShift, int32_t tx, int32_t ty, int32_t pa, int32_t pc,
                         int32_t halfW, int32_t halfH, int32_t count, uint8_t* values) {
#if defined(__SSE2__)
    const __m128i stepX = _mm_set1_epi32(4 * pa), stepY = _mm_set1_epi32(4 * pc);
    __m128i x = _mm_setr_epi32(tx, tx + pa, tx + 2 * pa, tx + 3 * pa);
    __m128i y = _mm_setr_epi32(ty, ty + pc, ty + 2 * pc, ty + 3 * pc);
    const __m128i centreX = _mm_set1_epi32(halfW), centreY = _mm_set1_epi32(halfH);
    const __m128i start = _mm_set1_epi32(static_cast<int32_t>(s.tileStart));
    const __m128i rows = _mm_cvtsi32_si128(static_cast<int>(rowShift));
    const __m128i seven = _mm_set1_epi32(7);
    // Unsigned "below the end of VRAM", as a signed comparison of both
    // sides with the top bit flipped.
    const __m128i flip = _mm_set1_epi32(INT32_MIN);
    const __m128i end = _mm_set1_epi32(static_cast<int32_t>(VramSize ^ 0x80000000u));
    const __m128i nothing = _mm_set1_epi32(8);  // a byte shifted by 8 is 0
    alignas(16) uint32_t offsets[4], shifts[4];
    for (int32_t i = 0; i < count; i += 4) {
        const __m128i u = _mm_add_epi32(_mm_srai_epi32(x, 8), centreX);
        const __m128i v = _mm_add_epi32(_mm_srai_epi32(y, 8), centreY);
        x = _mm_add_epi32(x, stepX);
        y = _mm_add_epi32(y, stepY);
        __m128i offset = _mm_add_epi32(start, _mm_sll_epi32(_mm_srli_epi32(v, 3), rows));
        __m128i shift;
        if constexpr (Colours256) {
            offset = _mm_add_epi32(offset, _mm_slli_epi32(_mm_and_si128(v, seven), 3));
            offset = _mm_add_epi32(offset, _mm_slli_epi32(_mm_srli_epi32(u, 3), 6));
            offset = _mm_add_epi32(offset, _mm_and_si128(u, seven));
            shift = _mm_setzero_si128();
        } else {
            offset = _mm_add_epi32(offset, _mm_slli_epi32(_mm_and_si128(v, seven), 2));
            offset = _mm_add_epi32(offset, _mm_slli_epi32(_mm_srli_epi32(u, 3), 5));
            offset = _mm_add_epi32(offset, _mm_srli_epi32(_mm_and_si128(u, seven), 1));
            shift = _mm_slli_epi32(_mm_and_si128(u, _mm_set1_epi32(1)), 2);
        }
        const __m128i inside = _mm_cmplt_epi32(_mm_xor_si128(offset, flip), end);
        _mm_store_si128(reinterpret_cast<__m128i*>(offsets), _mm_and_si128(offset, inside));
        _mm_store_si128(reinterpret_cast<__m128i*>(shifts),
                        _mm_or_si128(_mm_and_si128(inside, shift), _mm_andnot_si128(inside, nothing)));
        for (int k = 0; k < 4; ++k) {
            values[i + k] = static_cast<uint8_t>((Vram[offsets[k]] >> shifts[k]) & (Colours256 ? 0xFF : 0x0F));
        }
    }
#else
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t u = static_cast<uint32_t>((tx >> 8) + halfW);
        const uint32_t v = static_cast<uint32_t>((ty >> 8) + halfH);
        tx += pa;
        ty += pc;
        values[i] = static_cast<uint8_t>(AffineTexel<Colours256>(s, rowShift, u, v));
    }
#endif
}

// Rotation/scaling sprites: the texture position stepped by PA and PC per
// pixel from the box's centre. Without mosaic only the pixels whose position
// falls inside the texture and on screen are visited, worked out once per
// line (a rotated sprite in its double-size box covers little more than a
// quarter of it). Their texel values are gathered first, in a loop with no
// branch and no store to the picture, then drawn eight at a time like a
// 256-colour tile row: the holes of a turned sprite follow no pattern a
// branch could learn, and one merged store of eight pixels replaces eight.
template <int R, bool Target, bool Colours256, bool Mosaic, bool Cover>
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
    // Rows of texels are a power of two of bytes apart in both mappings.
    const uint32_t rowShift = static_cast<uint32_t>(std::countr_zero(s.rowStride));

    if constexpr (!Mosaic) {
        int32_t firstU, lastU, firstV, lastV;
        InsideSpan(tx, pa, texW / 2, s.width, firstU, lastU);
        InsideSpan(ty, pc, texH / 2, s.width, firstV, lastV);
        // Only what is on screen: the groups of eight below then never
        // reach past the frame buffer's right margin.
        const int32_t first = std::max({firstU, firstV, -s.x});
        const int32_t last = std::min({lastU, lastV, ScreenWidth - s.x});
        if (first >= last) return;
        // The accumulators are stepped the same way as pixel by pixel, so
        // the positions are exactly those of the pixels skipped to.
        tx += pa * first;
        ty += pc * first;
        const int32_t count = last - first;
        alignas(16) uint8_t values[128 + 8];
        GatherAffine<Colours256>(s, rowShift, tx, ty, pa, pc, texW / 2, texH / 2, count, values);
        std::memset(values + count, 0, 8);  // the last group's rest: transparent
        for (int32_t i = 0; i < count; i += 8) {
            const uint64_t texels = Peek64(values + i);
            if (texels == 0) continue;
            DrawTileRow<R, Target, 8, Cover>(pen, s.x + first + i, texels, s.palette);
        }
        return;
    }

    const uint32_t reg = IoRead16(IoMOSAIC);
    const int32_t blockW = static_cast<int32_t>(reg & 15) + 1;
    const int32_t blockH = static_cast<int32_t>((reg >> 4) & 15) + 1;
    for (int i = 0; i < s.width; ++i) {
        const int32_t u = MosaicSnap((tx >> 8) + texW / 2, blockW);
        const int32_t v = MosaicSnap((ty >> 8) + texH / 2, blockH);
        tx += pa;
        ty += pc;
        if (static_cast<uint32_t>(u) >= static_cast<uint32_t>(texW) ||
            static_cast<uint32_t>(v) >= static_cast<uint32_t>(texH)) {
            continue;
        }
        const uint32_t value =
            AffineTexel<Colours256>(s, rowShift, static_cast<uint32_t>(u), static_cast<uint32_t>(v));
        if (value) PutIndex<R, Target, Cover>(pen, s.x + i, s.palette + value);
    }
}

template <int R, bool Target, bool Cover>
void DrawSprite(const Pen& pen, const Sprite& s) {
    const bool colours256 = s.attr0 & 0x2000;
    if (s.attr0 & 0x0100) {
        if (s.attr0 & 0x1000) {
            colours256 ? DrawAffine<R, Target, true, true, Cover>(pen, s)
                       : DrawAffine<R, Target, false, true, Cover>(pen, s);
        } else {
            colours256 ? DrawAffine<R, Target, true, false, Cover>(pen, s)
                       : DrawAffine<R, Target, false, false, Cover>(pen, s);
        }
    } else if (s.attr1 & 0x1000) {
        colours256 ? DrawRegular<R, Target, true, true, Cover>(pen, s)
                   : DrawRegular<R, Target, false, true, Cover>(pen, s);
    } else {
        colours256 ? DrawRegular<R, Target, true, false, Cover>(pen, s)
                   : DrawRegular<R, Target, false, false, Cover>(pen, s);
    }
}

// ---- Which sprites cover a line -------------------------------------------
//
// RenderScanline draws the sprites of each priority at its place between the
// backgrounds, four calls a line. Instead of four walks of all 128 entries a
// line, each entry is decoded once (position, box, priority, whether it is
// drawn at all) and each line gets, per priority, the set of entries whose
// box covers it, as a 128-bit mask walked from entry 127 down; the masks of
// all lines are made together, by going down each entry's box.
//
// Both are kept from line to line and frame to frame and made again only
// when sprite memory changed, which is found by comparing its first 1 KB
// (the 128 entries) with a copy taken when they were decoded: once per
// rendered line, a comparison of 1 KB. That costs nothing on the bus, where a
// dirty flag set by the stores would add a test to every store of the
// program, and it sees every way sprite memory changes alike: the
// processor's stores, DMA, the BIOS services, a loaded state, and the tests
// and hosts that write the memory directly.

struct Decoded {
    int32_t y;         // top edge of the box
    uint32_t height;   // box height
    int32_t x;         // left edge of the box
    int32_t width;     // box width
    uint16_t attr0, attr1, attr2;
    uint16_t shown;    // drawn at all: not hidden, a mode that draws, on screen horizontally
};

struct SpriteCache {
    uint8_t copy[128 * 8];           // sprite memory as last decoded
    bool valid = false;
    Decoded entries[128];
    uint64_t masks[FrameHeight][4][2];  // per line and priority: entries 0-63, 64-127
    bool semiTransparent[FrameHeight];  // a shown semi-transparent entry covers the line
    uint32_t preparedSerial = 0;     // RenderScanline's count when last checked
};
SpriteCache Cache;

// Decodes the 128 entries and sets each shown entry's bit in the masks of
// the lines its box covers: work in proportion to what is on screen, done
// once per change of sprite memory.
void DecodeEntries() {
    std::memset(Cache.masks, 0, sizeof Cache.masks);
    std::memset(Cache.semiTransparent, 0, sizeof Cache.semiTransparent);
    for (int k = 0; k < 128; ++k) {
        const uint8_t* entry = SpriteRam + 8 * k;
        Decoded& d = Cache.entries[k];
        d.attr0 = Peek16(entry);
        d.attr1 = Peek16(entry + 2);
        d.attr2 = Peek16(entry + 4);
        const uint8_t* tiles = SpriteTiles[d.attr0 >> 14][d.attr1 >> 14];
        d.width = tiles[0] * 8;
        d.height = tiles[1] * 8u;
        d.y = static_cast<int32_t>(d.attr0 & 0xFF);
        if (d.y > 192) d.y -= 256;
        d.x = static_cast<int32_t>(d.attr1 & 0x1FF);
        if (d.x > 448) d.x -= 512;
        if ((d.attr0 & 0x0300) == 0x0300) {
            d.width *= 2;
            d.height *= 2;
        }
        // Hidden entries, object-window sprites and the unused mode draw
        // nothing, and neither does a box wholly left or right of the screen.
        const bool hidden = (d.attr0 & 0x0300) == 0x0200;
        const bool drawingMode = ((d.attr0 >> 10) & 3) < 2;
        d.shown = !hidden && drawingMode && d.x < ScreenWidth && d.x + d.width > 0;
        if (!d.shown) continue;
        const int top = std::max(d.y, 0);
        const int bottom = std::min(d.y + static_cast<int32_t>(d.height), FrameHeight);
        const uint64_t bit = uint64_t{1} << (k & 63);
        const uint32_t priority = (d.attr2 >> 10) & 3;
        for (int line = top; line < bottom; ++line) Cache.masks[line][priority][k >> 6] |= bit;
        if (((d.attr0 >> 10) & 3) == 1) {
            for (int line = top; line < bottom; ++line) Cache.semiTransparent[line] = true;
        }
    }
}

// Decodes sprite memory again if it changed; it is compared with the
// decoded copy once per rendered line.
void PrepareLine() {
    if (Cache.preparedSerial != LineSerial || !Cache.valid) {
        if (!Cache.valid || std::memcmp(Cache.copy, SpriteRam, sizeof Cache.copy) != 0) {
            std::memcpy(Cache.copy, SpriteRam, sizeof Cache.copy);
            DecodeEntries();
            Cache.valid = true;
        }
        Cache.preparedSerial = LineSerial;
    }
}

// The entries of one priority covering the line.
const uint64_t* LineMasks(int line, uint32_t priority) {
    PrepareLine();
    return Cache.masks[line][priority];
}

template <int R, bool Target, bool Cover>
void DrawSpriteLine(const Pen& pen, int line, uint32_t priority) {
    const uint64_t* masks = LineMasks(line, priority);
    if ((masks[0] | masks[1]) == 0) return;
    const uint32_t display = IoRead16(IoDISPCNT);
    // Bitmap modes keep the lower half of the sprite tiles for the bitmap.
    const bool bitmapMode = (display & DispCntMode) >= 3;
    const uint32_t tileBase = bitmapMode ? 0x14000 : 0x10000;
    const uint32_t tileMask = bitmapMode ? 0x1FF : 0x3FF;
    const bool oneDimensional = display & DispCntSprites1D;

    const auto draw = [&](int k) {
        const Decoded& d = Cache.entries[k];
        Sprite s;
        s.x = d.x;
        s.width = d.width;
        s.height = static_cast<int>(d.height);
        s.row = line - d.y;
        s.attr0 = d.attr0;
        s.attr1 = d.attr1;
        const bool colours256 = d.attr0 & 0x2000;
        uint32_t tile = d.attr2 & tileMask;
        if (colours256 && !oneDimensional) tile &= ~1u;
        s.tileStart = tileBase + tile * 32;
        // One-dimensional tiles follow each other row by row of the texture,
        // whose width is the sprite's real size (not the doubled box).
        const uint32_t textureTiles = SpriteTiles[d.attr0 >> 14][d.attr1 >> 14][0];
        s.rowStride = oneDimensional ? textureTiles * (colours256 ? 64u : 32u) : 1024;
        s.palette = colours256 ? 256 : 256 + 16 * (d.attr2 >> 12);

        // Front to back there is no semi-transparent sprite on the line.
        if (!Cover && ((d.attr0 >> 10) & 3) == 1) {
            DrawSprite<RuleAlpha, Target, false>(pen, s);
        } else {
            DrawSprite<R, Target, Cover>(pen, s);
        }
    };
    if constexpr (Cover) {
        // From entry 0 up: a lower-numbered sprite is in front.
        for (int half = 0; half <= 1; ++half) {
            for (uint64_t bits = masks[half]; bits; bits &= bits - 1) draw(64 * half + std::countr_zero(bits));
        }
    } else {
        // From entry 127 down, so that a lower-numbered sprite, drawn later,
        // ends up in front.
        for (int half = 1; half >= 0; --half) {
            for (uint64_t bits = masks[half]; bits;) {
                const int bit = 63 - std::countl_zero(bits);
                bits &= ~(uint64_t{1} << bit);
                draw(64 * half + bit);
            }
        }
    }
}

}  // namespace

template <int Column, bool FrontToBack>
void DrawSprites(int line, uint32_t priority) {
    const Pen pen = MakePen(line);
    if (IoRead16(IoBLDCNT) & BldCntSecondSprites) {
        DrawSpriteLine<NoAlphaRule(Column), true, FrontToBack>(pen, line, priority & 3);
    } else {
        DrawSpriteLine<NoAlphaRule(Column), false, FrontToBack>(pen, line, priority & 3);
    }
}

template void DrawSprites<0>(int, uint32_t);
template void DrawSprites<2>(int, uint32_t);
template void DrawSprites<3>(int, uint32_t);
template void DrawSprites<0, true>(int, uint32_t);
template void DrawSprites<2, true>(int, uint32_t);
template void DrawSprites<3, true>(int, uint32_t);

bool SemiTransparentSpriteOn(int line) {
    PrepareLine();
    return Cache.semiTransparent[line];
}

// ---- The sprite window ------------------------------------------------------
//
// Sprites in window mode draw nothing; their opaque texels make the sprite
// window. Only the display windows ask for it, a line at a time, so it walks
// the 128 entries itself and reads each texel on its own, leaving the
// drawing code above as it is.
void video::MarkSpriteWindow(int line, uint8_t* marks, uint8_t value) {
    const uint32_t display = IoRead16(IoDISPCNT);
    const bool bitmapMode = (display & DispCntMode) >= 3;
    const uint32_t tileBase = bitmapMode ? 0x14000 : 0x10000;
    const uint32_t tileMask = bitmapMode ? 0x1FF : 0x3FF;
    const bool oneDimensional = display & DispCntSprites1D;
    const uint32_t reg = IoRead16(IoMOSAIC);
    const int32_t blockW = static_cast<int32_t>(reg & 15) + 1;
    const int32_t blockH = static_cast<int32_t>((reg >> 4) & 15) + 1;
    for (int k = 0; k < 128; ++k) {
        const uint8_t* entry = SpriteRam + 8 * k;
        const uint32_t attr0 = Peek16(entry), attr1 = Peek16(entry + 2), attr2 = Peek16(entry + 4);
        if (((attr0 >> 10) & 3) != 2 || (attr0 & 0x0300) == 0x0200) continue;
        const uint8_t* tiles = SpriteTiles[attr0 >> 14][attr1 >> 14];
        const int32_t texW = tiles[0] * 8, texH = tiles[1] * 8;
        const bool affine = attr0 & 0x0100;
        const bool doubled = affine && (attr0 & 0x0200);
        const int32_t boxW = doubled ? 2 * texW : texW, boxH = doubled ? 2 * texH : texH;
        int32_t top = static_cast<int32_t>(attr0 & 0xFF);
        if (top > 192) top -= 256;
        int32_t left = static_cast<int32_t>(attr1 & 0x1FF);
        if (left > 448) left -= 512;
        const int32_t row = line - top;
        if (row < 0 || row >= boxH || left >= ScreenWidth || left + boxW <= 0) continue;

        const bool colours256 = attr0 & 0x2000;
        uint32_t tile = attr2 & tileMask;
        if (colours256 && !oneDimensional) tile &= ~1u;
        const uint32_t tileStart = tileBase + tile * 32;
        const uint32_t rowStride = oneDimensional ? static_cast<uint32_t>(tiles[0]) * (colours256 ? 64u : 32u) : 1024;
        const uint32_t tileBytes = colours256 ? 64 : 32;

        int32_t pa = 0, pc = 0, tx = 0, ty = 0;
        if (affine) {
            const uint8_t* group = SpriteRam + 32 * ((attr1 >> 9) & 31);
            pa = static_cast<int16_t>(Peek16(group + 6));
            const int32_t pb = static_cast<int16_t>(Peek16(group + 14));
            pc = static_cast<int16_t>(Peek16(group + 22));
            const int32_t pd = static_cast<int16_t>(Peek16(group + 30));
            const int32_t iy = row - boxH / 2;
            tx = pb * iy - (pa * boxW) / 2;
            ty = pd * iy - (pc * boxW) / 2;
        }
        const int first = std::max(0, -left), last = std::min(boxW, ScreenWidth - left);
        if (affine) {
            tx += pa * first;
            ty += pc * first;
        }
        for (int i = first; i < last; ++i) {
            int32_t u, v;
            if (affine) {
                u = (tx >> 8) + texW / 2;
                v = (ty >> 8) + texH / 2;
                tx += pa;
                ty += pc;
                if (attr0 & 0x1000) {
                    u = MosaicSnap(u, blockW);
                    v = MosaicSnap(v, blockH);
                }
                if (static_cast<uint32_t>(u) >= static_cast<uint32_t>(texW) ||
                    static_cast<uint32_t>(v) >= static_cast<uint32_t>(texH)) {
                    continue;
                }
            } else {
                u = (attr1 & 0x1000) ? texW - 1 - i : i;
                v = (attr1 & 0x2000) ? texH - 1 - row : row;
            }
            const uint32_t uu = static_cast<uint32_t>(u), vv = static_cast<uint32_t>(v);
            const uint32_t at = tileStart + (vv >> 3) * rowStride + (uu >> 3) * tileBytes +
                                (colours256 ? (vv & 7) * 8 + (uu & 7) : (vv & 7) * 4 + ((uu & 7) >> 1));
            if (at >= VramSize) continue;
            const uint32_t texel = colours256 ? Vram[at] : (Vram[at] >> (4 * (uu & 1))) & 15;
            if (texel) marks[left + i] = value;
        }
    }
}

}  // namespace koru
