// Text (scrolling tile-map) backgrounds: one line of 31 tiles from the map,
// starting up to 7 pixels left of the screen.
#include "video/output.h"

namespace koru {

namespace {

using namespace video;

struct TextLine {
    uint32_t mapRow;     // VRAM offset of the map row's entry 0 in the left block
    uint32_t charBase;   // VRAM offset of the tile data
    uint32_t tileRow;    // row within the tile, 0-7
    uint32_t column;     // first map column
    uint32_t widthMask;  // 31 or 63
    int fine;            // pixels of the first tile left of the screen
    uint32_t mosaicH;    // horizontal mosaic size (block width - 1), 0 when off
};

// 256-colour tile rows can lie past the end of VRAM (character base 3, tile
// 768 and up); those rows read as transparent. A row is 8 bytes at an offset
// that is a multiple of 8, so it is either wholly inside or wholly outside.
inline uint64_t TileRow256(uint32_t offset) { return offset < VramSize ? Peek64(Vram + offset) : 0; }

// 16-colour tile rows never leave VRAM: 48 KB + 1023 x 32 + 7 x 4 + 4 is
// within 96 KB.
static_assert(3 * 0x4000 + 1023 * 32 + 7 * 4 + 4 <= VramSize);
// Nor do the maps: screen block 31 plus the three blocks of a 64 x 64 map.
static_assert(31 * 0x800 + 4 * 0x800 <= VramSize);

// The map entry of a map column: the left screen block for columns 0-31,
// the right one for 32-63.
inline uint32_t MapEntry(const TextLine& t, uint32_t column) {
    return Peek16(Vram + t.mapRow + (column & 31) * 2 + (column & 32 ? 0x800 : 0));
}

// Without mosaic: a tile row at a time. The map entry's flips and palette
// bank are worked out once per tile, the row of eight texels read in one
// load and mirrored for a horizontal flip, then drawn by DrawTileRow. Front
// to back (Cover), a tile wholly behind what is drawn already is not read.
template <int R, bool Target, bool Colours256, bool Cover>
void DrawTextTiles(const Pen& pen, const TextLine& t) {
    uint32_t column = t.column;
    int x = -t.fine;
    uint32_t hidden = 0;
    for (int tile = 0; tile < 31; ++tile, x += 8) {
        const uint32_t here = column;
        column = (column + 1) & t.widthMask;
        if constexpr (Cover) {
            if (Hidden8<Target>(pen, x)) {
                ++hidden;
                continue;
            }
        }
        const uint32_t entry = MapEntry(t, here);
        const uint32_t row = (entry & 0x0800) ? 7 - t.tileRow : t.tileRow;
        if constexpr (Colours256) {
            uint64_t bits = TileRow256(t.charBase + (entry & 0x3FF) * 64 + row * 8);
            if (bits == 0) continue;  // a wholly transparent tile row
            if (entry & 0x0400) bits = Mirror(bits);
            DrawTileRow<R, Target, 8, Cover>(pen, x, bits, 0);
        } else {
            uint32_t bits = Peek32(Vram + t.charBase + (entry & 0x3FF) * 32 + row * 4);
            if (bits == 0) continue;
            if (entry & 0x0400) bits = Mirror(bits);
            DrawTileRow<R, Target, 4, Cover>(pen, x, bits, (entry >> 12) * 16);
        }
    }
    if constexpr (Cover) {
        CoverChecks += 31;
        CoverHidden += hidden;
    }
}

// With mosaic: pixel by pixel, a value read at the start of each block and
// repeated over it, with the palette bank of the tile under each pixel.
template <int R, bool Target, bool Colours256, bool Cover>
void DrawTextMosaic(const Pen& pen, const TextLine& t) {
    uint32_t column = t.column;
    int x = -t.fine;
    uint32_t counter = 0;  // pixels left that repeat the last value
    uint32_t value = 0;
    for (int tile = 0; tile < 31; ++tile, x += 8) {
        const uint32_t entry = MapEntry(t, column);
        column = (column + 1) & t.widthMask;
        const uint32_t row = (entry & 0x0800) ? 7 - t.tileRow : t.tileRow;
        const int flip = (entry & 0x0400) ? 7 : 0;
        uint64_t bits;
        uint32_t bank = 0;
        if constexpr (Colours256) {
            bits = TileRow256(t.charBase + (entry & 0x3FF) * 64 + row * 8);
        } else {
            bits = Peek32(Vram + t.charBase + (entry & 0x3FF) * 32 + row * 4);
            bank = (entry >> 12) * 16;
        }
        for (int i = 0; i < 8; ++i) {
            if (counter != 0) {
                --counter;
            } else {
                counter = t.mosaicH;
                const int p = i ^ flip;
                value = Colours256 ? static_cast<uint32_t>(bits >> (8 * p)) & 0xFF
                                   : static_cast<uint32_t>(bits >> (4 * p)) & 0x0F;
            }
            if (value) PutIndex<R, Target, Cover>(pen, x + i, bank + value);
        }
    }
}

template <int R, bool Target, bool Cover>
void DrawTextChoice(const Pen& pen, const TextLine& t, bool colours256) {
    if (colours256) {
        t.mosaicH ? DrawTextMosaic<R, Target, true, Cover>(pen, t) : DrawTextTiles<R, Target, true, Cover>(pen, t);
    } else {
        t.mosaicH ? DrawTextMosaic<R, Target, false, Cover>(pen, t) : DrawTextTiles<R, Target, false, Cover>(pen, t);
    }
}

}  // namespace

template <int Column, bool FrontToBack>
void DrawTextBg(int line, uint32_t bgWord) {
    const uint32_t control = bgWord & BgOrderControl;
    const uint32_t n = BgOrderNumber(bgWord);
    const uint32_t hofs = IoRead16(IoBGHOFS(n));
    const uint32_t vofs = IoRead16(IoBGVOFS(n));
    const bool mosaic = control & BgCntMosaic;
    const uint32_t mosaicReg = IoRead16(IoMOSAIC);

    uint32_t yb = (static_cast<uint32_t>(line) + vofs) & ((control & 0x8000) ? 511 : 255);
    if (mosaic) yb -= yb % (((mosaicReg >> 4) & 15) + 1);

    TextLine t;
    t.mapRow = ((control >> 8) & 31) * 0x800 + ((yb >> 3) & 31) * 64;
    if (yb > 255) t.mapRow += (control & 0x4000) ? 0x1000 : 0x800;
    t.charBase = ((control >> 2) & 3) * 0x4000;
    t.tileRow = yb & 7;
    t.widthMask = (control & 0x4000) ? 63 : 31;
    t.column = (hofs >> 3) & t.widthMask;
    t.fine = static_cast<int>(hofs & 7);
    t.mosaicH = mosaic ? (mosaicReg & 15) : 0;

    const Pen pen = MakePen(line);
    const bool colours256 = control & BgCnt256Colours;
    if (bgWord & BgOrderSecondTarget) {
        DrawTextChoice<Column, true, FrontToBack>(pen, t, colours256);
    } else {
        DrawTextChoice<Column, false, FrontToBack>(pen, t, colours256);
    }
}

template void DrawTextBg<0>(int, uint32_t);
template void DrawTextBg<1>(int, uint32_t);
template void DrawTextBg<2>(int, uint32_t);
template void DrawTextBg<3>(int, uint32_t);
template void DrawTextBg<0, true>(int, uint32_t);
template void DrawTextBg<2, true>(int, uint32_t);
template void DrawTextBg<3, true>(int, uint32_t);

}  // namespace koru
