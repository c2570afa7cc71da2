// Display windows: the runs of a line and the layers drawn through them.
#include "video/windows.h"

#include <algorithm>
#include <cstring>

#include "video/output.h"

namespace koru::video {

namespace {

struct Run {
    int start, end;    // screen x, end exclusive
    uint32_t control;  // layer enables and effects bit
};

// The line being drawn: each pixel's control, the runs made of them, and
// the layers and effects allowed in some run (Any) and in all of them (All).
uint8_t Controls[ScreenWidth];
Run Runs[ScreenWidth];
int RunCount;
uint32_t Any, All;

// What a layer left below it before it was drawn, to be put back where the
// windows hide it.
uint16_t SavedOut[ScreenWidth];
uint16_t SavedSecond[ScreenWidth];

constexpr uint32_t ControlBits = 0x3F;

// Marks the part of the line inside a window rectangle. The console compares
// its counters with the edges and switches the window on at the first edge
// and off at the second, and the state carries over to the next line (or
// frame): so an edge pair with the first past the second covers both ends,
// and an edge beyond the screen (right edge above 240, bottom above 160)
// reaches the screen's edge.
void MarkRectangle(int line, uint32_t horizontal, uint32_t vertical, uint8_t value) {
    const uint32_t h = IoRead16(horizontal), v = IoRead16(vertical);
    const uint32_t top = v >> 8, bottom = v & 0xFF;
    const uint32_t y = static_cast<uint32_t>(line);
    const bool inside = top <= bottom ? (y >= top && y < bottom) : (y >= top || y < bottom);
    if (!inside) return;
    const uint32_t left = h >> 8, right = h & 0xFF;
    const uint32_t l = std::min<uint32_t>(left, ScreenWidth), r = std::min<uint32_t>(right, ScreenWidth);
    if (left <= right) {
        std::memset(Controls + l, value, r - l);
    } else {
        std::memset(Controls, value, r);
        std::memset(Controls + l, value, ScreenWidth - l);
    }
}

// Draws with `renderer` and puts back the frame row where the control,
// masked, is not `want`, and the second-target line everywhere except where
// the layer is shown with effects (when keepSecond) or everywhere.
void DrawMasked(LineRenderer renderer, int line, uint32_t argument, uint32_t mask, uint32_t want,
                uint32_t layerBit, bool keepSecond) {
    uint16_t* const out = FrameBuffer + line * FrameWidth + ScreenLeft;
    uint16_t* const second = SecondTargetLine + ScreenLeft;
    std::memcpy(SavedOut, out, sizeof SavedOut);
    std::memcpy(SavedSecond, second, sizeof SavedSecond);
    renderer(line, argument);
    const uint32_t shown = layerBit | WindowEffectsBit;
    for (int i = 0; i < RunCount; ++i) {
        const Run& run = Runs[i];
        const size_t bytes = static_cast<size_t>(run.end - run.start) * 2;
        if ((run.control & mask) != want) std::memcpy(out + run.start, SavedOut + run.start, bytes);
        if (keepSecond && (run.control & shown) != shown) {
            std::memcpy(second + run.start, SavedSecond + run.start, bytes);
        }
    }
    if (!keepSecond) std::memcpy(second, SavedSecond, sizeof SavedSecond);
}

}  // namespace

bool PrepareWindows(int line, uint32_t display) {
    const uint32_t inside = IoRead16(IoWININ), outside = IoRead16(IoWINOUT);
    std::memset(Controls, static_cast<int>(outside & ControlBits), sizeof Controls);
    // The sprite window is made by the sprites, and so needs them switched on.
    if ((display & DispCntSpriteWindow) && (IoRead16(IoDISPCNT) & DispCntSprites)) {
        MarkSpriteWindow(line, Controls, static_cast<uint8_t>((outside >> 8) & ControlBits));
    }
    // Window 0 goes over window 1, both over the sprite window.
    if (display & DispCntWindow1) {
        MarkRectangle(line, IoWIN1H, IoWIN1V, static_cast<uint8_t>((inside >> 8) & ControlBits));
    }
    if (display & DispCntWindow0) MarkRectangle(line, IoWIN0H, IoWIN0V, static_cast<uint8_t>(inside & ControlBits));

    RunCount = 0;
    Any = 0;
    All = ControlBits;
    for (int x = 0; x < ScreenWidth;) {
        const int start = x;
        const uint8_t control = Controls[x];
        while (++x < ScreenWidth && Controls[x] == control) {
        }
        Runs[RunCount++] = Run{start, x, control};
        Any |= control;
        All &= control;
    }
    if (All == ControlBits) return false;

    // Where effects are not allowed the backdrop is its own colour and
    // nothing is left to blend with; the layers keep it so (DrawMasked puts
    // the second-target line back there), which also keeps semi-transparent
    // sprites from blending there.
    if (!(All & WindowEffectsBit)) {
        const uint16_t backdrop = ColourToHost[PaletteColour(0)];
        uint16_t* const out = FrameBuffer + line * FrameWidth + ScreenLeft;
        for (int i = 0; i < RunCount; ++i) {
            const Run& run = Runs[i];
            if (run.control & WindowEffectsBit) continue;
            std::fill(out + run.start, out + run.end, backdrop);
            std::fill(SecondTargetLine + ScreenLeft + run.start, SecondTargetLine + ScreenLeft + run.end, 0);
        }
    }
    return true;
}

void DrawThroughWindows(LineRenderer withEffect, LineRenderer plain, int line, uint32_t argument,
                        uint32_t layerBit) {
    if (!(Any & layerBit)) return;
    const uint32_t shown = layerBit | WindowEffectsBit;
    if ((All & shown) == shown) {
        withEffect(line, argument);
        return;
    }
    // Sprites of one priority overlap each other: a semi-transparent one
    // blends with a sprite drawn before it in the same call, so where
    // effects are off the sprites must leave no second-target colour at all
    // and are drawn on their own. For a background one drawing serves every
    // run that shows it.
    const bool sprites = layerBit == WindowSpritesBit;
    if (withEffect == plain && !sprites) {
        DrawMasked(plain, line, argument, layerBit, layerBit, layerBit, true);
        return;
    }
    bool withEffects = false, withoutEffects = false;
    for (int i = 0; i < RunCount; ++i) {
        const uint32_t control = Runs[i].control & shown;
        withEffects |= control == shown;
        withoutEffects |= control == layerBit;
    }
    if (withEffects) DrawMasked(withEffect, line, argument, shown, shown, layerBit, true);
    if (withoutEffects) {
        const uint16_t blend = IoRead16(IoBLDCNT);
        if (sprites) IoStore16(IoBLDCNT, static_cast<uint16_t>(blend & ~BldCntSecondSprites));
        DrawMasked(plain, line, argument, shown, layerBit, layerBit, false);
        if (sprites) IoStore16(IoBLDCNT, blend);
    }
}

}  // namespace koru::video
