// Display windows, an extension behind the "DisplayWindows" setting.
//
// Windows 0 and 1 (rectangles), the sprite window (the opaque pixels of
// sprites in window mode) and the outside each carry a control byte: one
// enable bit per layer (0-3 backgrounds, 4 sprites) and bit 5, colour
// effects allowed. At each pixel the first of window 0, window 1, the
// sprite window and the outside that covers it decides.
//
// A line is cut into runs of equal control. Each layer is then drawn by its
// ordinary renderer over the whole line and what it wrote outside the runs
// that show it is put back, so the renderers themselves know nothing of
// windows; a layer shown over the whole line is drawn as without windows.
#pragma once
#include <cstdint>

#include "video/video.h"

namespace koru::video {

constexpr uint32_t WindowSpritesBit = 0x10;  // the sprites' bit in a control byte
constexpr uint32_t WindowEffectsBit = 0x20;

// Works out the runs of the line from the window registers and DISPCNT
// bits 13-15, and takes the colour effects off the backdrop where they are
// not allowed. Returns false when every layer and the effects are allowed
// over the whole line: the line is then drawn as without windows.
bool PrepareWindows(int line, uint32_t display);

// Draws one layer through the runs: `withEffect` (the renderer the line
// driver chose) where the layer is shown and effects are allowed, `plain`
// (the same layer's renderer without effect) where it is shown and effects
// are not, nothing elsewhere.
void DrawThroughWindows(LineRenderer withEffect, LineRenderer plain, int line, uint32_t argument,
                        uint32_t layerBit);

// Sets marks[x] = value for each screen x of the line where a sprite in
// window mode has an opaque texel (marks has 240 entries).
void MarkSpriteWindow(int line, uint8_t* marks, uint8_t value);

}  // namespace koru::video
