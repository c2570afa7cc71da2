// The four ways a renderer writes an opaque pixel, shared by every renderer.
//
// A renderer builds one Pen per call (per layer and line) and instantiates
// its pixel loop for one output rule and one second-target choice, so the
// effect is chosen once per layer and line and never tested per pixel.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "hardware/registers.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "video/video.h"
#include "video/video_registers.h"

namespace koru::video {

enum Rule : int { RulePlain = 0, RuleAlpha = 1, RuleBrighten = 2, RuleDarken = 3 };

// Bitmaps and sprites have no alpha column: column 1 draws plainly.
constexpr int NoAlphaRule(int column) { return column == EffectAlpha ? RulePlain : column; }

struct Pen {
    uint16_t* out;     // FrameBuffer row, at screen x 0
    uint16_t* second;  // SecondTargetLine, at screen x 0
    uint32_t firstWeight;
    uint32_t secondWeight;
    uint32_t keep;  // 16 - brightness weight
    uint32_t lift;  // white spread times the brightness weight
};

inline Pen MakePen(int line) {
    // The weights come from the register writes and are 0-16 there; clamping
    // keeps any other value (a loaded state, say) from carrying between the
    // channels of the spread form.
    const uint32_t first = static_cast<uint32_t>(std::clamp(BlendCoefficients.firstWeight, 0, 16));
    const uint32_t second = static_cast<uint32_t>(std::clamp(BlendCoefficients.secondWeight, 0, 16));
    const uint32_t bright = static_cast<uint32_t>(std::clamp(BlendCoefficients.brightWeight, 0, 16));
    return Pen{FrameBuffer + line * FrameWidth + ScreenLeft, SecondTargetLine + ScreenLeft, first, second,
               16 - bright, SpreadWhite * bright};
}

// Brighten: c x 16 + (white - c) x w, which per channel is c x (16 - w) +
// 31 x w; darken: c x (16 - w). Neither can leave a channel's field.
inline uint32_t Brighten(const Pen& pen, uint32_t c) {
    return CombineSpread(ColourSpread[c] * pen.keep + pen.lift);
}
inline uint32_t Darken(const Pen& pen, uint32_t c) { return CombineSpread(ColourSpread[c] * pen.keep); }

// Writes raw colour c at screen x by the rule; a second-target layer also
// leaves the raw colour for later alpha layers.
template <int R, bool Target>
inline void Put(const Pen& pen, int x, uint32_t c) {
    if constexpr (R == RulePlain) {
        pen.out[x] = ColourToHost[c];
    } else if constexpr (R == RuleAlpha) {
        const uint32_t b = pen.second[x];
        const uint32_t written =
            b ? CombineSpread(ColourSpread[c] * pen.firstWeight + ColourSpread[b] * pen.secondWeight) : c;
        pen.out[x] = ColourToHost[written];
    } else if constexpr (R == RuleBrighten) {
        pen.out[x] = ColourToHost[Brighten(pen, c)];
    } else {
        pen.out[x] = ColourToHost[Darken(pen, c)];
    }
    if constexpr (Target) pen.second[x] = static_cast<uint16_t>(c);
}

inline uint32_t PaletteColour(uint32_t index) { return Peek16(PaletteRam + 2 * index); }

inline uint64_t Peek64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Snaps a texture coordinate to its mosaic block; the remainder takes the
// sign of the coordinate, so negative coordinates move toward zero.
inline int32_t MosaicSnap(int32_t v, int32_t block) { return v - v % block; }

}  // namespace koru::video
