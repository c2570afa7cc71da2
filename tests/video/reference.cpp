// A slow picture model for checking the renderers: every pixel is worked
// out on its own. Each layer is sampled at (x, line) from closed formulas
// (no walks along the line, no tile-row pointers, no spread colours), and
// the effects are done channel by channel.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/settings.h"
#include "video/video.h"
#include "video/video_registers.h"
#include "video_test.h"

namespace koru::test {

namespace {

uint32_t Reg(uint32_t offset) { return Peek16(IoRam + offset); }
uint32_t Pal(uint32_t index) { return Peek16(PaletteRam + 2 * index); }
int Weight(uint32_t bits) { return (bits & 0x10) ? 16 : static_cast<int>(bits & 15); }

// Floor of a / 256 for any sign.
int64_t FloorDiv256(int64_t a) { return a >= 0 ? a / 256 : -((-a + 255) / 256); }
// Mosaic snap toward zero: the remainder has the sign of v.
int64_t Snap(int64_t v, int64_t block) { return v - v % block; }

std::optional<uint8_t> VramByte(uint64_t offset) {
    if (offset >= VramSize) return std::nullopt;
    return Vram[offset];
}

// ---- Text backgrounds --------------------------------------------------

uint32_t TextMapEntry(uint32_t control, uint32_t col, uint32_t trow) {
    const bool wide = control & 0x4000;
    uint32_t block = 0;
    if (wide && col >= 32) block += 1;
    if (trow >= 32) block += wide ? 2 : 1;
    const uint32_t address = ((control >> 8) & 31) * 2048 + block * 2048 + ((trow % 32) * 32 + col % 32) * 2;
    return Peek16(Vram + address);
}

std::optional<uint32_t> TextTexel(uint32_t n, int x, int line) {
    const uint32_t control = Reg(0x008 + 2 * n);
    const uint32_t hofs = Reg(0x010 + 4 * n), vofs = Reg(0x012 + 4 * n);
    const int i = x + static_cast<int>(hofs % 8);  // pixel index along the drawn run
    if (i < 0 || i >= 248) return std::nullopt;
    const bool mosaic = control & 0x40;
    const uint32_t mosaicReg = Reg(0x04C);
    const uint32_t width = (control & 0x4000) ? 64 : 32;
    const uint32_t height = (control & 0x8000) ? 512 : 256;
    uint32_t yb = (static_cast<uint32_t>(line) + vofs) % height;
    if (mosaic) yb = yb / (((mosaicReg >> 4) & 15) + 1) * (((mosaicReg >> 4) & 15) + 1);
    const int block = mosaic ? static_cast<int>(mosaicReg & 15) + 1 : 1;
    const int source = i / block * block;  // the pixel whose value is repeated
    auto column = [&](int pixel) { return (hofs / 8 + static_cast<uint32_t>(pixel) / 8) % width; };
    const uint32_t sourceEntry = TextMapEntry(control, column(source), yb / 8);
    const uint32_t ownEntry = TextMapEntry(control, column(i), yb / 8);
    uint32_t px = static_cast<uint32_t>(source) % 8, py = yb % 8;
    if (sourceEntry & 0x400) px = 7 - px;
    if (sourceEntry & 0x800) py = 7 - py;
    const uint32_t tile = sourceEntry & 0x3FF;
    const uint64_t charBase = ((control >> 2) & 3) * 16384ull;
    if (control & 0x80) {
        const auto value = VramByte(charBase + tile * 64ull + py * 8 + px);
        if (!value || *value == 0) return std::nullopt;
        return Pal(*value);
    }
    const auto byte = VramByte(charBase + tile * 32ull + py * 4 + px / 2);
    const uint32_t value = byte ? ((px % 2) ? (*byte >> 4) : (*byte & 15)) : 0;
    if (value == 0) return std::nullopt;
    return Pal((ownEntry >> 12) * 16 + value);
}

// ---- Texture-walk backgrounds -------------------------------------------

struct TexturePoint {
    int64_t x, y;
};

// Texture point of screen pixel k from the start of the walk, mosaic applied.
TexturePoint WalkPoint(const BgAffineRecord& bg, int k, bool mosaic) {
    TexturePoint t{FloorDiv256(static_cast<int64_t>(bg.curX) + static_cast<int64_t>(k) * bg.pa),
                   FloorDiv256(static_cast<int64_t>(bg.curY) + static_cast<int64_t>(k) * bg.pc)};
    if (mosaic) {
        const uint32_t reg = Reg(0x04C);
        t.x = Snap(t.x, (reg & 15) + 1);
        t.y = Snap(t.y, ((reg >> 4) & 15) + 1);
    }
    return t;
}

std::optional<uint32_t> AffineTexel(uint32_t n, int x) {
    if (x < 0 || x >= 240) return std::nullopt;
    const uint32_t control = Reg(0x008 + 2 * n);
    TexturePoint t = WalkPoint(BgAffineState[n - 2], x, control & 0x40);
    const int64_t size = 128 << ((control >> 14) & 3);
    if (control & 0x2000) {
        t.x = ((t.x % size) + size) % size;
        t.y = ((t.y % size) + size) % size;
    }
    if (t.x < 0 || t.y < 0 || t.x >= size || t.y >= size) return std::nullopt;
    const uint64_t mapAt = ((control >> 8) & 31) * 2048ull + static_cast<uint64_t>(t.y / 8 * (size / 8) + t.x / 8);
    const uint32_t tile = Vram[mapAt];
    const uint32_t value = Vram[((control >> 2) & 3) * 16384ull + tile * 64 + (t.y % 8) * 8 + t.x % 8];
    if (value == 0) return std::nullopt;
    return Pal(value);
}

std::optional<uint32_t> BitmapTexel(uint32_t mode, int x, int line) {
    const uint32_t display = Reg(0x000);
    const bool mosaic = Reg(0x00C) & 0x40;
    const uint32_t page = (display & 0x10) ? 0xA000 : 0;
    if (mode == 5) {
        if (line < 16 || line > 143 || x < 40 || x > 199) return std::nullopt;
        const TexturePoint t = WalkPoint(BgAffineState[0], x - 40, mosaic);
        if (t.x < 0 || t.y < 0 || t.x >= 160 || t.y >= 128) return std::nullopt;
        return Peek16(Vram + page + 2 * (t.y * 160 + t.x));
    }
    if (x < 0 || x >= 240) return std::nullopt;
    const TexturePoint t = WalkPoint(BgAffineState[0], x, mosaic);
    if (t.x < 0 || t.y < 0 || t.x >= 240 || t.y >= 160) return std::nullopt;
    if (mode == 3) return Peek16(Vram + 2 * (t.y * 240 + t.x));
    return Pal(Vram[page + t.y * 240 + t.x]);
}

// ---- Sprites ---------------------------------------------------------------

struct SpriteHit {
    uint32_t colour;
    bool semiTransparent;
};

// Sprite k's texel at (x, line) if the sprite draws with that priority, or,
// with forWindow, if it is a sprite in window mode (of any priority).
std::optional<SpriteHit> SpriteTexel(int k, uint32_t priority, int x, int line, bool forWindow = false) {
    static const int Widths[3][4] = {{8, 16, 32, 64}, {16, 32, 32, 64}, {8, 8, 16, 32}};
    static const int Heights[3][4] = {{8, 16, 32, 64}, {8, 8, 16, 32}, {16, 32, 32, 64}};
    const uint32_t a0 = Peek16(SpriteRam + 8 * k), a1 = Peek16(SpriteRam + 8 * k + 2),
                   a2 = Peek16(SpriteRam + 8 * k + 4);
    const bool affine = a0 & 0x100, doubled = affine && (a0 & 0x200);
    if (!affine && (a0 & 0x200)) return std::nullopt;
    if (!forWindow && ((a2 >> 10) & 3) != priority) return std::nullopt;
    const uint32_t mode = (a0 >> 10) & 3;
    if (forWindow ? mode != 2 : mode > 1) return std::nullopt;
    const int shape = (a0 >> 14) == 3 ? 0 : static_cast<int>(a0 >> 14);  // shape 3 reads as square
    const int texW = Widths[shape][a1 >> 14], texH = Heights[shape][a1 >> 14];
    const int boxW = doubled ? 2 * texW : texW, boxH = doubled ? 2 * texH : texH;
    int top = static_cast<int>(a0 & 255), left = static_cast<int>(a1 & 511);
    if (top > 192) top -= 256;
    if (left > 448) left -= 512;
    if (left >= 240) return std::nullopt;
    if (line < top || line >= top + boxH || x < left || x >= left + boxW) return std::nullopt;

    int u, v;
    if (affine) {
        const uint8_t* group = SpriteRam + 32 * ((a1 >> 9) & 31);
        const int64_t pa = static_cast<int16_t>(Peek16(group + 6)), pb = static_cast<int16_t>(Peek16(group + 14)),
                      pc = static_cast<int16_t>(Peek16(group + 22)), pd = static_cast<int16_t>(Peek16(group + 30));
        const int64_t iy = (line - top) - boxH / 2, ix = x - left;
        // Centre-relative: the box's left column sits at -(W / 2) x PA,
        // truncated toward zero as the division by two is.
        const int64_t tx = pb * iy - (pa * boxW) / 2 + pa * ix;
        const int64_t ty = pd * iy - (pc * boxW) / 2 + pc * ix;
        int64_t uu = FloorDiv256(tx) + texW / 2, vv = FloorDiv256(ty) + texH / 2;
        if (a0 & 0x1000) {
            const uint32_t reg = Reg(0x04C);
            uu = Snap(uu, (reg & 15) + 1);
            vv = Snap(vv, ((reg >> 4) & 15) + 1);
        }
        if (uu < 0 || vv < 0 || uu >= texW || vv >= texH) return std::nullopt;
        u = static_cast<int>(uu);
        v = static_cast<int>(vv);
    } else {
        u = x - left;
        v = line - top;
        if (a1 & 0x1000) u = texW - 1 - u;
        if (a1 & 0x2000) v = texH - 1 - v;
    }

    const uint32_t display = Reg(0x000);
    const bool bitmapMode = (display & 7) >= 3;
    const bool oneD = display & 0x40;
    const bool colours256 = a0 & 0x2000;
    uint32_t tile = a2 & (bitmapMode ? 511 : 1023);
    if (colours256 && !oneD) tile &= ~1u;
    // The tile slot (32 bytes each) that holds texel (u, v).
    const uint32_t slotsPerTile = colours256 ? 2 : 1;
    const uint32_t rowOfTiles = static_cast<uint32_t>(v / 8), colOfTiles = static_cast<uint32_t>(u / 8);
    const uint32_t slot = oneD ? tile + (rowOfTiles * static_cast<uint32_t>(texW / 8) + colOfTiles) * slotsPerTile
                               : tile + rowOfTiles * 32 + colOfTiles * slotsPerTile;
    const uint64_t tileAt = (bitmapMode ? 0x14000 : 0x10000) + slot * 32ull;
    uint32_t value;
    if (colours256) {
        const auto byte = VramByte(tileAt + (v % 8) * 8 + u % 8);
        value = byte ? *byte : 0;
    } else {
        const auto byte = VramByte(tileAt + (v % 8) * 4 + (u % 8) / 2);
        value = byte ? ((u % 2) ? (*byte >> 4) : (*byte & 15)) : 0;
    }
    if (value == 0) return std::nullopt;
    return SpriteHit{colours256 ? Pal(256 + value) : Pal(256 + 16 * (a2 >> 12) + value), mode == 1};
}

// ---- Effects, per channel ------------------------------------------------

struct Mixer {
    int first, second, bright;

    static int Ch(uint32_t c, int i) { return static_cast<int>((c >> (5 * i)) & 31); }
    static uint32_t Join(const int ch[3]) {
        return static_cast<uint32_t>(std::min(ch[0], 31) | (std::min(ch[1], 31) << 5) | (std::min(ch[2], 31) << 10));
    }
    uint32_t Alpha(uint32_t c, uint32_t below) const {
        if (below == 0) return c & 0x7FFF;
        int ch[3];
        for (int i = 0; i < 3; ++i) ch[i] = (Ch(c, i) * first + Ch(below, i) * second) / 16;
        return Join(ch);
    }
    uint32_t Brighten(uint32_t c) const {
        int ch[3];
        for (int i = 0; i < 3; ++i) ch[i] = (Ch(c, i) * 16 + (31 - Ch(c, i)) * bright) / 16;
        return Join(ch);
    }
    uint32_t Darken(uint32_t c) const {
        int ch[3];
        for (int i = 0; i < 3; ++i) ch[i] = Ch(c, i) * (16 - bright) / 16;
        return Join(ch);
    }
    uint32_t Apply(int effect, uint32_t c, uint32_t below) const {
        switch (effect) {
        case 1: return Alpha(c, below);
        case 2: return Brighten(c);
        case 3: return Darken(c);
        default: return c & 0x7FFF;
        }
    }
};

enum class Kind { Text, Affine, Bitmap, Sprites };
struct Layer {
    Kind kind;
    uint32_t index;  // background number, or sprite priority
    int effect;      // the effect applied to the layer's pixels
    bool target;     // second target
};

// ---- Display windows ------------------------------------------------------

// Whether p lies in the window edges [from, to) of one axis: an edge pair
// with from past to covers both ends of the axis.
bool Between(uint32_t p, uint32_t from, uint32_t to) { return from <= to ? p >= from && p < to : p >= from || p < to; }

// The control byte (layer enables, bit 5 effects) at (x, line), or 0x3F
// where the windows are off.
uint32_t WindowControl(int x, int line) {
    const uint32_t display = Reg(0x000);
    if (!DisplayWindows || !(display & 0xE000)) return 0x3F;
    auto inRectangle = [&](uint32_t h, uint32_t v) {
        return Between(static_cast<uint32_t>(x), h >> 8, h & 255) && Between(static_cast<uint32_t>(line), v >> 8, v & 255);
    };
    if ((display & 0x2000) && inRectangle(Reg(0x040), Reg(0x044))) return Reg(0x048) & 0x3F;
    if ((display & 0x4000) && inRectangle(Reg(0x042), Reg(0x046))) return (Reg(0x048) >> 8) & 0x3F;
    if ((display & 0x9000) == 0x9000) {
        for (int s = 0; s < 128; ++s) {
            if (SpriteTexel(s, 0, x, line, true)) return (Reg(0x04A) >> 8) & 0x3F;
        }
    }
    return Reg(0x04A) & 0x3F;
}

}  // namespace

std::vector<uint16_t> ReferenceLine(int line, int first, int count) {
    const uint32_t display = Reg(0x000) & ~((HiddenLayerMask & 31) << 8);
    const uint32_t blend = Reg(0x050);
    const int effect = static_cast<int>((blend >> 6) & 3);
    const uint32_t alphaReg = Reg(0x052);
    const Mixer mixer{Weight(alphaReg), Weight(alphaReg >> 8), Weight(Reg(0x054))};
    const uint32_t mode = display & 7;

    std::vector<Layer> layers;
    auto effectFor = [&](uint32_t firstTargetBit) { return (blend >> firstTargetBit) & 1 ? effect : 0; };
    if (mode <= 2) {
        // Rear to front: priority number descending, then background number
        // descending.
        std::vector<uint32_t> bgs = {0, 1, 2, 3};
        std::sort(bgs.begin(), bgs.end(), [](uint32_t a, uint32_t b) {
            const uint32_t pa = Reg(0x008 + 2 * a) & 3, pb = Reg(0x008 + 2 * b) & 3;
            return pa != pb ? pa > pb : a > b;
        });
        for (int slot = 0; slot < 4; ++slot) {
            const uint32_t n = bgs[slot];
            const bool drawn = (display & (0x100u << n)) &&
                               (mode == 0 || (mode == 1 && n != 3) || (mode == 2 && n >= 2));
            const Kind kind = (mode == 0 || (mode == 1 && n < 2)) ? Kind::Text : Kind::Affine;
            if (drawn) layers.push_back({kind, n, effectFor(n), static_cast<bool>(blend & (0x100u << n))});
            if (display & 0x1000) {
                const int e = effectFor(n);
                layers.push_back({Kind::Sprites, static_cast<uint32_t>(3 - slot), e == 1 ? 0 : e,
                                  static_cast<bool>(blend & 0x1000)});
            }
        }
    } else if (mode <= 5) {
        const int e = effectFor(2);
        if (display & 0x400) layers.push_back({Kind::Bitmap, mode, e == 1 ? 0 : e, static_cast<bool>(blend & 0x400)});
        if (display & 0x1000) {
            for (int p = static_cast<int>(Reg(0x00C) & 3); p >= 0; --p) {
                layers.push_back(
                    {Kind::Sprites, static_cast<uint32_t>(p), e == 1 ? 0 : e, static_cast<bool>(blend & 0x1000)});
            }
        }
    }

    // Sprites that can show at all, rear-most (highest number) first.
    std::vector<int> sprites;
    for (int s = 127; s >= 0; --s) {
        const uint32_t a0 = Peek16(SpriteRam + 8 * s);
        if ((a0 & 0x300) != 0x200 && ((a0 >> 10) & 3) < 2) sprites.push_back(s);
    }

    const uint32_t backdrop = Pal(0);
    const uint32_t shownBackdrop = (blend & 0x20) && effect >= 2 ? mixer.Apply(effect, backdrop, 0) : backdrop & 0x7FFF;
    std::vector<uint16_t> result(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        const int x = first + k;
        const uint32_t control = WindowControl(x, line);
        const bool effects = control & 0x20;
        uint32_t shown = effects ? shownBackdrop : backdrop & 0x7FFF;
        uint32_t below = (blend & 0x2000) ? backdrop : 0;
        auto paint = [&](uint32_t c, int e, bool target) {
            shown = effects ? mixer.Apply(e, c, below) : c & 0x7FFF;
            if (target) below = c;
        };
        for (const Layer& layer : layers) {
            const uint32_t layerBit = layer.kind == Kind::Sprites ? 0x10 : layer.kind == Kind::Bitmap ? 0x04 : 1u << layer.index;
            if (!(control & layerBit)) continue;
            if (layer.kind == Kind::Sprites) {
                for (const int s : sprites) {
                    if (const auto hit = SpriteTexel(s, layer.index, x, line)) {
                        paint(hit->colour, hit->semiTransparent ? 1 : layer.effect, layer.target);
                    }
                }
                continue;
            }
            std::optional<uint32_t> c;
            if (layer.kind == Kind::Text) c = TextTexel(layer.index, x, line);
            if (layer.kind == Kind::Affine) c = AffineTexel(layer.index, x);
            if (layer.kind == Kind::Bitmap) c = BitmapTexel(layer.index, x, line);
            if (c) paint(*c, layer.effect, layer.target);
        }
        result[static_cast<size_t>(k)] = static_cast<uint16_t>(shown);
    }
    return result;
}

}  // namespace koru::test
