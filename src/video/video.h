// Line rendering into the host frame buffer and the hand-over of each frame.
#pragma once
#include <cstdint>

namespace koru {

constexpr int FrameWidth = 500;   // pixels per FrameBuffer row
constexpr int FrameHeight = 160;
constexpr int ScreenLeft = 130;   // column of screen x = 0
constexpr int ScreenWidth = 240;

// 500 x 160 host pixels (red bits 10-14, blue bits 0-4), made by the host.
extern uint16_t* FrameBuffer;
// Console colour to host pixel, and to the spread form used for blending.
extern uint16_t ColourToHost[65536];
extern uint32_t ColourSpread[65536];
// Layers the user has hidden: bits 0-3 backgrounds, bit 4 sprites.
extern uint32_t HiddenLayerMask;

// Fills both colour tables; hosts call it once at start-up.
void BuildColourTables();

// Draws the line held in the vertical counter into its FrameBuffer row.
void RenderScanline();
// Hands the visible part of the FrameBuffer to the host.
void PresentFrame();

}  // namespace koru
