// The four ways a renderer writes an opaque pixel, shared by every renderer.
//
// A renderer builds one Pen per call (per layer and line) and instantiates
// its pixel loop for one output rule and one second-target choice, so the
// effect is chosen once per layer and line and never tested per pixel.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "hardware/registers.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "video/video.h"
#include "video/video_registers.h"

namespace koru::video {

enum Rule : int { RulePlain = 0, RuleAlpha = 1, RuleBrighten = 2, RuleDarken = 3 };

// Bitmaps and sprites have no alpha column: column 1 draws plainly.
constexpr int NoAlphaRule(int column) { return column == EffectAlpha ? RulePlain : column; }

// The 512 Palette RAM colours as host pixels and in spread form, kept by
// RefreshPalette, which RenderScanline calls before every line: a paletted
// pixel then costs one look-up in a small table instead of two, the second
// in a table of 128 or 256 KB.
extern uint16_t HostPalette[512];
extern uint32_t SpreadPalette[512];
// Brings both up to date with Palette RAM.
void RefreshPalette();
// Counts RenderScanline's lines, so that what a renderer works out once per
// line (the sprites covering it) is known to belong to the line being drawn.
extern uint32_t LineSerial;

// Lines without alpha blending are drawn front to back (see RenderScanline):
// a layer then writes only where no layer in front of it was opaque, which
// these two lines, laid out like a FrameBuffer row, remember: 0xFF where some
// layer already drew, and where some second-target layer already left its
// colour in SecondTargetLine. What lies wholly behind the layers drawn so far
// is then not even read.
extern uint8_t CoveredLine[FrameWidth];
extern uint8_t TargetCoveredLine[FrameWidth];
// Tile rows looked at front to back, and those of them passed over as
// hidden, since the frame began: what tells RenderScanline whether drawing
// front to back pays on this picture.
extern uint32_t CoverChecks;
extern uint32_t CoverHidden;

struct Pen {
    uint16_t* out;     // FrameBuffer row, at screen x 0
    uint16_t* second;  // SecondTargetLine, at screen x 0
    uint32_t firstWeight;
    uint32_t secondWeight;
    uint32_t keep;  // 16 - brightness weight
    uint32_t lift;  // white spread times the brightness weight
    uint8_t* covered;        // CoveredLine, at screen x 0
    uint8_t* targetCovered;  // TargetCoveredLine, at screen x 0
};

inline Pen MakePen(int line) {
    // The weights come from the register writes and are 0-16 there; clamping
    // keeps any other value (a loaded state, say) from carrying between the
    // channels of the spread form.
    const uint32_t first = static_cast<uint32_t>(std::clamp(BlendCoefficients.firstWeight, 0, 16));
    const uint32_t second = static_cast<uint32_t>(std::clamp(BlendCoefficients.secondWeight, 0, 16));
    const uint32_t bright = static_cast<uint32_t>(std::clamp(BlendCoefficients.brightWeight, 0, 16));
    return Pen{FrameBuffer + line * FrameWidth + ScreenLeft,
               SecondTargetLine + ScreenLeft,
               first,
               second,
               16 - bright,
               SpreadWhite * bright,
               CoveredLine + ScreenLeft,
               TargetCoveredLine + ScreenLeft};
}

// Brighten: c x 16 + (white - c) x w, which per channel is c x (16 - w) +
// 31 x w; darken: c x (16 - w). Neither can leave a channel's field.
inline uint32_t Brighten(const Pen& pen, uint32_t c) {
    return CombineSpread(ColourSpread[c] * pen.keep + pen.lift);
}
inline uint32_t Darken(const Pen& pen, uint32_t c) { return CombineSpread(ColourSpread[c] * pen.keep); }

// Writes raw colour c, given also as its spread form and its host pixel, at
// screen x by the rule; a second-target layer also leaves the raw colour for
// later alpha layers.
template <int R, bool Target>
inline void PutColour(const Pen& pen, int x, uint32_t c, uint32_t spread, uint16_t host) {
    if constexpr (R == RulePlain) {
        pen.out[x] = host;
    } else if constexpr (R == RuleAlpha) {
        const uint32_t b = pen.second[x];
        pen.out[x] = b ? SpreadToHost(spread * pen.firstWeight + Spread(b) * pen.secondWeight) : host;
    } else if constexpr (R == RuleBrighten) {
        pen.out[x] = SpreadToHost(spread * pen.keep + pen.lift);
    } else {
        pen.out[x] = SpreadToHost(spread * pen.keep);
    }
    if constexpr (Target) pen.second[x] = static_cast<uint16_t>(c);
}

// PutColour for a layer drawn front to back (Cover): the pixel only where no
// layer in front drew, the second target only where no second-target layer
// in front left its colour; drawn rear to front, every pixel.
template <int R, bool Target, bool Cover>
inline void PutColourOver(const Pen& pen, int x, uint32_t c, uint32_t spread, uint16_t host) {
    if constexpr (!Cover) {
        PutColour<R, Target>(pen, x, c, spread, host);
    } else {
        if (!pen.covered[x]) {
            PutColour<R, false>(pen, x, c, spread, host);
            pen.covered[x] = 0xFF;
        }
        if constexpr (Target) {
            if (!pen.targetCovered[x]) {
                pen.second[x] = static_cast<uint16_t>(c);
                pen.targetCovered[x] = 0xFF;
            }
        }
    }
}

// Whether, front to back, the eight pixels from screen x on are all drawn
// already (and, for a second target, all hold a second-target colour), so
// that a tile row there can be passed over unread.
template <bool Target>
inline bool Hidden8(const Pen& pen, int x) {
    uint64_t covered;
    std::memcpy(&covered, pen.covered + x, 8);
    if constexpr (Target) {
        uint64_t target;
        std::memcpy(&target, pen.targetCovered + x, 8);
        covered &= target;
    }
    return covered == ~uint64_t{0};
}

// Writes raw colour c (a direct colour: a bitmap's) at screen x by the rule.
template <int R, bool Target>
inline void Put(const Pen& pen, int x, uint32_t c) {
    PutColour<R, Target>(pen, x, c, Spread(c), ColourToHost[c]);
}

inline uint32_t PaletteColour(uint32_t index) { return Peek16(PaletteRam + 2 * index); }

inline uint64_t Peek64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Writes Palette RAM colour `index` at screen x by the rule.
template <int R, bool Target, bool Cover = false>
inline void PutIndex(const Pen& pen, int x, uint32_t index) {
    PutColourOver<R, Target, Cover>(pen, x, PaletteColour(index), SpreadPalette[index], HostPalette[index]);
}

// Tile rows: eight texels of 4 bits (a 16-colour row, the left texel in the
// low bits) or of 8 bits (a 256-colour row), index 0 transparent.
template <int Bits> struct TileRowTraits;
template <> struct TileRowTraits<4> {
    using Row = uint32_t;
    static constexpr Row Low = 0x11111111u;  // the low bit of every texel
};
template <> struct TileRowTraits<8> {
    using Row = uint64_t;
    static constexpr Row Low = 0x0101010101010101u;
};

// The same row mirrored: texel 7 first.
inline uint32_t Mirror(uint32_t row) {
    row = ((row >> 4) & 0x0F0F0F0Fu) | ((row & 0x0F0F0F0Fu) << 4);
    return __builtin_bswap32(row);
}
inline uint64_t Mirror(uint64_t row) { return __builtin_bswap64(row); }

// Whether no texel of the row is transparent: each texel's bits folded into
// its lowest bit, every one of which must then be set.
template <int Bits>
inline bool AllOpaque(typename TileRowTraits<Bits>::Row row) {
    using Traits = TileRowTraits<Bits>;
    if constexpr (Bits == 8) row |= row >> 4;
    row |= row >> 2;
    row |= row >> 1;
    return (row & Traits::Low) == Traits::Low;
}

#if defined(__SSE2__)
// The colour effects on eight pixels at once, one per 16-bit lane: each
// channel in a lane of its own, weighted, summed, divided by 16 and
// saturated at 31, which is what CombineSpread does to the spread form (a
// channel's sum is at most 992, well inside a lane), then put together in
// the host's order. `c` holds the raw colours, `b` the second-target line.
template <int R>
inline __m128i EffectHost8(const Pen& pen, __m128i c, __m128i b) {
    const __m128i five = _mm_set1_epi16(0x1F);
    const __m128i top = _mm_set1_epi16(31);
    const __m128i red = _mm_and_si128(c, five);
    const __m128i green = _mm_and_si128(_mm_srli_epi16(c, 5), five);
    const __m128i blue = _mm_and_si128(_mm_srli_epi16(c, 10), five);
    __m128i r, g, bl;
    if constexpr (R == RuleAlpha) {
        const __m128i w1 = _mm_set1_epi16(static_cast<int16_t>(pen.firstWeight));
        const __m128i w2 = _mm_set1_epi16(static_cast<int16_t>(pen.secondWeight));
        const auto mix = [&](__m128i a, __m128i under) {
            const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(a, w1), _mm_mullo_epi16(under, w2));
            return _mm_min_epi16(_mm_srli_epi16(sum, 4), top);
        };
        r = mix(red, _mm_and_si128(b, five));
        g = mix(green, _mm_and_si128(_mm_srli_epi16(b, 5), five));
        bl = mix(blue, _mm_and_si128(_mm_srli_epi16(b, 10), five));
        // Where there is nothing to blend with (0), the colour is drawn as it is.
        const __m128i none = _mm_cmpeq_epi16(b, _mm_setzero_si128());
        r = _mm_or_si128(_mm_and_si128(none, red), _mm_andnot_si128(none, r));
        g = _mm_or_si128(_mm_and_si128(none, green), _mm_andnot_si128(none, g));
        bl = _mm_or_si128(_mm_and_si128(none, blue), _mm_andnot_si128(none, bl));
    } else {
        // Brighten adds 31 x w per channel (the white spread times w), darken
        // nothing; neither can pass 31.
        const __m128i keep = _mm_set1_epi16(static_cast<int16_t>(pen.keep));
        const __m128i lift = _mm_set1_epi16(R == RuleBrighten ? static_cast<int16_t>(pen.lift & 0x3FF) : 0);
        r = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(red, keep), lift), 4);
        g = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(green, keep), lift), 4);
        bl = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(blue, keep), lift), 4);
    }
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 10), _mm_slli_epi16(g, 5)), bl);
}

// Eight raw colours as host pixels, what ColourToHost does to each: green
// stays, red and blue change places, bit 15 is dropped.
inline __m128i Host8(__m128i c) {
    const __m128i five = _mm_set1_epi16(0x1F);
    const __m128i green = _mm_and_si128(c, _mm_set1_epi16(0x03E0));
    const __m128i red = _mm_slli_epi16(_mm_and_si128(c, five), 10);
    const __m128i blue = _mm_and_si128(_mm_srli_epi16(c, 10), five);
    return _mm_or_si128(_mm_or_si128(red, green), blue);
}

// The eight texel values of a tile row, one per 16-bit lane.
template <int Bits>
inline __m128i Texels8(typename TileRowTraits<Bits>::Row row) {
    __m128i bytes;
    if constexpr (Bits == 8) {
        bytes = _mm_cvtsi32_si128(static_cast<int>(row));
        bytes = _mm_unpacklo_epi32(bytes, _mm_cvtsi32_si128(static_cast<int>(row >> 32)));
    } else {
        // Texels 0, 2, 4, 6 are the low nibbles, 1, 3, 5, 7 the high ones.
        const __m128i even = _mm_cvtsi32_si128(static_cast<int>(row & 0x0F0F0F0Fu));
        const __m128i odd = _mm_cvtsi32_si128(static_cast<int>((row >> 4) & 0x0F0F0F0Fu));
        bytes = _mm_unpacklo_epi8(even, odd);
    }
    return _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
}
#endif

// Draws the eight texels of a tile row from screen x on, each a Palette RAM
// colour from `palette` on, with no branch on the texels: they come from
// anywhere in VRAM, often not cached yet, and a guessed branch on them is the
// dearest thing here. Where the compiler targets SSE2 the eight pixels are
// gathered into one vector, the effect worked on all of them at once, and
// merged with what lies below in one store; otherwise a plain pixel is
// written with a select, and with an effect a wholly opaque row goes without
// a test per texel. Front to back (Cover), the pixels already drawn are kept
// like transparent ones and the row's opaque texels added to the cover.
template <int R, bool Target, int Bits, bool Cover = false>
inline void DrawTileRow(const Pen& pen, int x, typename TileRowTraits<Bits>::Row row, uint32_t palette) {
    constexpr uint32_t mask = (1u << Bits) - 1;
    // The pen moved to x, and the palette to the row's bank: every texel is
    // then at a constant offset.
    Pen at = pen;
    at.out += x;
    at.second += x;
    at.covered += x;
    at.targetCovered += x;
    const uint16_t* host = HostPalette + palette;
    const uint32_t* spread = SpreadPalette + palette;
    const uint8_t* raw = PaletteRam + 2 * palette;
#if defined(__SSE2__)
    const auto texel = [&](int i) { return static_cast<uint32_t>(row >> (Bits * i)) & mask; };
    const auto rawColours = [&] {
        return _mm_setr_epi16(
            static_cast<int16_t>(Peek16(raw + 2 * texel(0))), static_cast<int16_t>(Peek16(raw + 2 * texel(1))),
            static_cast<int16_t>(Peek16(raw + 2 * texel(2))), static_cast<int16_t>(Peek16(raw + 2 * texel(3))),
            static_cast<int16_t>(Peek16(raw + 2 * texel(4))), static_cast<int16_t>(Peek16(raw + 2 * texel(5))),
            static_cast<int16_t>(Peek16(raw + 2 * texel(6))), static_cast<int16_t>(Peek16(raw + 2 * texel(7))));
    };
    __m128i* const out = reinterpret_cast<__m128i*>(at.out);
    __m128i* const second = reinterpret_cast<__m128i*>(at.second);
    __m128i drawn, c = _mm_setzero_si128(), under = _mm_setzero_si128();
    if constexpr (R == RulePlain && Target) {
        // The raw colours are needed for the second-target line anyway; the
        // host pixels are worked out from them rather than gathered again.
        c = rawColours();
        under = _mm_loadu_si128(second);
        drawn = Host8(c);
    } else if constexpr (R == RulePlain) {
        // The eight host pixels gathered: no branch on the texels, no store
        // per pixel.
        drawn = _mm_setr_epi16(
            static_cast<int16_t>(host[texel(0)]), static_cast<int16_t>(host[texel(1)]),
            static_cast<int16_t>(host[texel(2)]), static_cast<int16_t>(host[texel(3)]),
            static_cast<int16_t>(host[texel(4)]), static_cast<int16_t>(host[texel(5)]),
            static_cast<int16_t>(host[texel(6)]), static_cast<int16_t>(host[texel(7)]));
    } else {
        c = rawColours();
        under = _mm_loadu_si128(second);
        drawn = EffectHost8<R>(pen, c, under);
    }
    const __m128i transparent = _mm_cmpeq_epi16(Texels8<Bits>(row), _mm_setzero_si128());
    __m128i keep = transparent, keepSecond = transparent;
    if constexpr (Cover) {
        // The cover bytes widened to lanes, and the row's opaque texels added.
        const __m128i ones = _mm_set1_epi8(-1);
        const __m128i opaque = _mm_xor_si128(_mm_packs_epi16(transparent, transparent), ones);
        __m128i* const covered = reinterpret_cast<__m128i*>(at.covered);
        const __m128i was = _mm_loadl_epi64(covered);
        keep = _mm_or_si128(keep, _mm_unpacklo_epi8(was, was));
        _mm_storel_epi64(covered, _mm_or_si128(was, opaque));
        if constexpr (Target) {
            __m128i* const targetCovered = reinterpret_cast<__m128i*>(at.targetCovered);
            const __m128i held = _mm_loadl_epi64(targetCovered);
            keepSecond = _mm_or_si128(keepSecond, _mm_unpacklo_epi8(held, held));
            _mm_storel_epi64(targetCovered, _mm_or_si128(held, opaque));
        }
    }
    const __m128i old = _mm_loadu_si128(out);
    _mm_storeu_si128(out, _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, drawn)));
    if constexpr (Target) {
        _mm_storeu_si128(second, _mm_or_si128(_mm_and_si128(keepSecond, under), _mm_andnot_si128(keepSecond, c)));
    }
    return;
#endif
    const auto put = [&](int i, uint32_t value) {
        PutColourOver<R, Target, Cover>(at, i, Peek16(raw + 2 * value), spread[value], host[value]);
    };
    if constexpr (Cover) {
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            const uint32_t value = static_cast<uint32_t>(row >> (Bits * i)) & mask;
            if (value) put(i, value);
        }
    } else if constexpr (R == RulePlain) {
        // Every pixel is written, with what lies below where the texel is
        // transparent: no branch depends on the texels, which come from
        // anywhere in VRAM and are often not in the cache yet.
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            const uint32_t value = static_cast<uint32_t>(row >> (Bits * i)) & mask;
            const uint16_t below = at.out[i];
            at.out[i] = value ? host[value] : below;
            if constexpr (Target) {
                const uint16_t under = at.second[i];
                at.second[i] = value ? static_cast<uint16_t>(Peek16(raw + 2 * value)) : under;
            }
        }
    } else if (AllOpaque<Bits>(row)) {
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) put(i, static_cast<uint32_t>(row >> (Bits * i)) & mask);
    } else {
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            const uint32_t value = static_cast<uint32_t>(row >> (Bits * i)) & mask;
            if (value) put(i, value);
        }
    }
}

// Snaps a texture coordinate to its mosaic block; the remainder takes the
// sign of the coordinate, so negative coordinates move toward zero.
inline int32_t MosaicSnap(int32_t v, int32_t block) { return v - v % block; }

}  // namespace koru::video
