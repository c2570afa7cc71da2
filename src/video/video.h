// Line rendering into the host frame buffer and the hand-over of each frame.
//
// Every line is painted rear to front straight into its FrameBuffer row: the
// backdrop first, then each enabled layer, each drawn by a line renderer
// picked from RendererTable by layer kind and colour effect. Effects are
// applied as a pixel is written, blending against SecondTargetLine, which
// remembers the last second-target colour written at each position.
#pragma once
#include <cstdint>

namespace koru {

constexpr int FrameWidth = 500;   // pixels per FrameBuffer row
constexpr int FrameHeight = 160;
constexpr int ScreenLeft = 130;   // column of screen x = 0
constexpr int ScreenWidth = 240;

// 500 x 160 host pixels (red bits 10-14, blue bits 0-4), made by the host.
// Columns 0-129 and 370-499 are margins that renderers may write into
// freely, so that no renderer clips horizontally.
extern uint16_t* FrameBuffer;
// Console colour to host pixel, and to the spread form used for blending
// (red bits 0-4, green 10-14, blue 20-24, five spare bits above each).
extern uint16_t ColourToHost[65536];
extern uint32_t ColourSpread[65536];
// Layers the user has hidden: bits 0-3 backgrounds, bit 4 sprites.
extern uint32_t HiddenLayerMask;
// Raw console colour of the last second-target layer drawn at each column of
// the current line (laid out like a FrameBuffer row), 0 = nothing to blend.
extern uint16_t SecondTargetLine[FrameWidth];

// Lines without alpha blending can be drawn front to back, which gives the
// same pixels as rear to front and, where layers hide each other, for less
// work. The order is chosen frame by frame by what pays (the default), or
// kept to one of the two, which is how the two are compared.
enum class LineOrder { Chosen, RearToFront, FrontToBack };
extern LineOrder DrawOrder;

// The spread form of white, (31, 31, 31).
constexpr uint32_t SpreadWhite = 0x1F07C1F;

// A spread colour holding each channel's weighted sum (times 16) back to a
// console colour: each channel divided by 16 and saturated at 31.
inline uint32_t CombineSpread(uint32_t s) {
    // A set bit 9, 19 or 29 means that channel reached 32 or more: filling
    // its five result bits with ones saturates it at 31.
    s |= ((s & 0x20080200) >> 5) * 31;
    return ((s >> 4) & 0x001F) | ((s >> 9) & 0x03E0) | ((s >> 14) & 0x7C00);
}

// ColourSpread[c] worked out: the renderers blend colours from anywhere (the
// second-target line, bitmaps), for which three masks and two shifts are
// quicker than a look-up in a table of 256 KB.
inline uint32_t Spread(uint32_t c) { return (c & 0x001F) | ((c & 0x03E0) << 5) | ((c & 0x7C00) << 10); }

// ColourToHost[CombineSpread(s)] in one step: the saturated channels go
// straight to their host places (red to bits 10-14, blue to bits 0-4).
inline uint16_t SpreadToHost(uint32_t s) {
    s |= ((s & 0x20080200) >> 5) * 31;
    return static_cast<uint16_t>(((s << 6) & 0x7C00) | ((s >> 9) & 0x03E0) | ((s >> 24) & 0x001F));
}

// Fills both colour tables; hosts call it once at start-up.
void BuildColourTables();

// A line renderer: draws one layer of the given line (0-159). The argument
// is the layer's BgOrder word (backgrounds), the offset of the bitmap in
// VRAM (bitmap modes) or the sprite priority 0-3 (sprites).
using LineRenderer = void (*)(int line, uint32_t argument);

// Colour effect columns of the renderer table.
enum EffectColumn : int { EffectNone = 0, EffectAlpha = 1, EffectBrighten = 2, EffectDarken = 3 };
// Layer kind rows of the renderer table.
enum LayerRow : int {
    RowTextBg = 0,
    RowAffineBg = 1,
    RowBitmap3 = 2,
    RowBitmap4 = 3,
    RowBitmap5 = 4,
    RowSprites = 5,
};
extern const LineRenderer RendererTable[6][4];

// The renderers, one instance per effect column. Text backgrounds and
// sprites also draw front to back, for lines without alpha blending.
template <int Column, bool FrontToBack = false> void DrawTextBg(int line, uint32_t bgWord);
template <int Column> void DrawAffineBg(int line, uint32_t bgWord);
template <int Column> void DrawBitmapMode3(int line, uint32_t vramOffset);
template <int Column> void DrawBitmapMode4(int line, uint32_t vramOffset);
template <int Column> void DrawBitmapMode5(int line, uint32_t vramOffset);
template <int Column, bool FrontToBack = false> void DrawSprites(int line, uint32_t priority);
// Whether a semi-transparent sprite covers the line: it blends with what
// lies below it, so the line is drawn rear to front.
bool SemiTransparentSpriteOn(int line);

// Seeds the line with the backdrop colour (with its brightness effect) and
// SecondTargetLine with the backdrop or 0.
void FillBackdrop(int line);
// Draws the line held in the vertical counter into its FrameBuffer row.
void RenderScanline();
// Hands the visible part of the FrameBuffer to the host.
void PresentFrame();

}  // namespace koru
