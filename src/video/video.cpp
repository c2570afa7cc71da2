// The line driver: backdrop, then the layers rear to front in the order of
// BgOrder with the sprites of each priority slotted in between, and the
// hand-over of each drawn frame to the host.
#include "video/video.h"

#include <cstring>

#include "machine/host.h"
#include "machine/settings.h"
#include "video/output.h"
#include "video/windows.h"

namespace koru {

uint16_t* FrameBuffer;
uint16_t ColourToHost[65536];
uint32_t ColourSpread[65536];
uint32_t HiddenLayerMask;
uint16_t SecondTargetLine[FrameWidth];
LineOrder DrawOrder = LineOrder::Chosen;

void BuildColourTables() {
    for (uint32_t c = 0; c < 65536; ++c) {
        ColourToHost[c] = static_cast<uint16_t>((c & 0x03E0) | ((c & 0x001F) << 10) | ((c & 0x7C00) >> 10));
        ColourSpread[c] = (c & 0x001F) | ((c & 0x03E0) << 5) | ((c & 0x7C00) << 10);
    }
}

namespace video {

uint16_t HostPalette[512];
uint32_t SpreadPalette[512];
uint32_t LineSerial;
uint8_t CoveredLine[FrameWidth];
uint8_t TargetCoveredLine[FrameWidth];
uint32_t CoverChecks;
uint32_t CoverHidden;

namespace {
// Palette RAM as HostPalette was last made from it.
uint8_t PaletteCopy[1024];
bool PaletteCopyValid = false;
}  // namespace

void RefreshPalette() {
    if (PaletteCopyValid && std::memcmp(PaletteCopy, PaletteRam, sizeof PaletteCopy) == 0) return;
    // Only the changed words are converted: a program that changes a few
    // colours between lines (a sky gradient, say) costs a few look-ups.
    for (uint32_t i = 0; i < sizeof PaletteCopy; i += 8) {
        const uint64_t now = Peek64(PaletteRam + i);
        if (PaletteCopyValid && now == Peek64(PaletteCopy + i)) continue;
        std::memcpy(PaletteCopy + i, &now, 8);
        for (uint32_t k = 0; k < 4; ++k) {
            const uint32_t index = i / 2 + k;
            HostPalette[index] = ColourToHost[PaletteColour(index)];
            SpreadPalette[index] = ColourSpread[PaletteColour(index)];
        }
    }
    PaletteCopyValid = true;
}

}  // namespace video

const LineRenderer RendererTable[6][4] = {
    {DrawTextBg<0>, DrawTextBg<1>, DrawTextBg<2>, DrawTextBg<3>},
    {DrawAffineBg<0>, DrawAffineBg<1>, DrawAffineBg<2>, DrawAffineBg<3>},
    {DrawBitmapMode3<0>, DrawBitmapMode3<0>, DrawBitmapMode3<2>, DrawBitmapMode3<3>},
    {DrawBitmapMode4<0>, DrawBitmapMode4<0>, DrawBitmapMode4<2>, DrawBitmapMode4<3>},
    {DrawBitmapMode5<0>, DrawBitmapMode5<0>, DrawBitmapMode5<2>, DrawBitmapMode5<3>},
    {DrawSprites<0>, DrawSprites<0>, DrawSprites<2>, DrawSprites<3>},
};

namespace {
// The front-to-back renderers: text backgrounds and sprites. Column 1 is
// never asked for, since a line with alpha blending is drawn rear to front.
const LineRenderer FrontToBackText[4] = {DrawTextBg<0, true>, DrawTextBg<0, true>, DrawTextBg<2, true>,
                                         DrawTextBg<3, true>};
const LineRenderer FrontToBackSprites[4] = {DrawSprites<0, true>, DrawSprites<0, true>, DrawSprites<2, true>,
                                            DrawSprites<3, true>};
}  // namespace

void FillBackdrop(int line) {
    const uint32_t blend = IoRead16(IoBLDCNT);
    const uint32_t effect = (blend >> BldCntEffectShift) & 3;
    const uint32_t stored = video::PaletteColour(0);
    uint32_t c = stored;
    if (blend & BldCntBackdrop) {
        const video::Pen pen = video::MakePen(line);
        if (effect == EffectBrighten) c = video::Brighten(pen, c);
        if (effect == EffectDarken) c = video::Darken(pen, c);
    }
    const uint16_t pixel = ColourToHost[c];
    const uint16_t seed = (blend & BldCntSecondBackdrop) ? static_cast<uint16_t>(stored) : 0;
    uint16_t* row = FrameBuffer + line * FrameWidth + ScreenLeft;
    for (int x = 0; x < ScreenWidth; ++x) {
        row[x] = pixel;
        SecondTargetLine[ScreenLeft + x] = seed;
    }
}

namespace {

// Which renderer row draws background n in display modes 0-2; -1 = never.
constexpr int TiledRows[3][4] = {
    {RowTextBg, RowTextBg, RowTextBg, RowTextBg},
    {RowTextBg, RowTextBg, RowAffineBg, -1},
    {-1, -1, RowAffineBg, RowAffineBg},
};

// Sets or clears the second-target flag of the background in a BgOrder
// slot from the blend control, before it is drawn.
void MarkSecondTarget(int slot, uint32_t blend) {
    const uint32_t word = BgOrder[slot];
    const uint32_t n = BgOrderNumber(word);
    BgOrder[slot] = (blend & (BldCntSecondBg0 << n)) ? word | BgOrderSecondTarget : word & ~BgOrderSecondTarget;
}

// Calls each layer's renderer over the whole line: the line driver as it
// is without display windows.
struct WholeLine {
    static void Draw(int row, int column, int line, uint32_t argument, uint32_t) {
        RendererTable[row][column](line, argument);
    }
};

// Calls each layer's renderer through the line's window runs, with the
// layer's bit of the window controls (0-3 backgrounds, 4 sprites).
struct ThroughWindows {
    static void Draw(int row, int column, int line, uint32_t argument, uint32_t layerBit) {
        video::DrawThroughWindows(RendererTable[row][column], RendererTable[row][EffectNone], line, argument,
                                  layerBit);
    }
};

// The layers rear to front; Painter decides where each one is drawn.
template <typename Painter>
void DrawLayers(int line, uint32_t display, uint32_t blend, int effect) {
    const uint32_t mode = display & DispCntMode;
    if (mode <= 2) {
        for (int slot = 0; slot < 4; ++slot) {
            const uint32_t word = BgOrder[slot];
            const uint32_t n = BgOrderNumber(word);
            const int column = (blend >> n) & 1 ? effect : EffectNone;
            const int row = TiledRows[mode][n];
            if (row >= 0 && (display & (DispCntBg0 << n))) {
                MarkSecondTarget(slot, blend);
                Painter::Draw(row, column, line, BgOrder[slot], 1u << n);
            }
            // Sprites of priority 3 follow the rear-most slot, priority 0
            // the front-most, whatever the backgrounds' own priorities.
            if (display & DispCntSprites) {
                Painter::Draw(RowSprites, column, line, static_cast<uint32_t>(3 - slot), video::WindowSpritesBit);
            }
        }
    } else if (mode <= 5) {
        const int column = (blend & (BldCntFirstBg0 << 2)) ? effect : EffectNone;
        if (display & (DispCntBg0 << 2)) {
            const uint32_t page = (mode != 3 && (display & DispCntFrame)) ? 0xA000 : 0;
            Painter::Draw(RowBitmap3 + static_cast<int>(mode - 3), column, line, page, 1u << 2);
        }
        if (display & DispCntSprites) {
            // Sprites behind background 2 have nothing to be drawn behind in
            // a bitmap mode and are left out.
            for (int p = static_cast<int>(IoRead16(IoBGCNT(2)) & 3); p >= 0; --p) {
                Painter::Draw(RowSprites, column, line, static_cast<uint32_t>(p), video::WindowSpritesBit);
            }
        }
    }
    // Modes 6 and 7 show the backdrop alone.
}

// Display mode 0 front to back, for a line without alpha blending: the same
// layers as DrawLayers draws, in the opposite order, each writing only where
// nothing in front of it drew (and leaving a second-target colour only where
// no second target in front left one), so every pixel ends as rear to front:
// the front-most opaque layer's colour by its layer's rule. A picture whose
// front layers are opaque then costs little more than those layers.
void DrawLayersFrontToBack(int line, uint32_t display, uint32_t blend, int effect) {
    std::memset(video::CoveredLine, 0, sizeof video::CoveredLine);
    std::memset(video::TargetCoveredLine, 0, sizeof video::TargetCoveredLine);
    for (int slot = 3; slot >= 0; --slot) {
        const uint32_t word = BgOrder[slot];
        const uint32_t n = BgOrderNumber(word);
        const int column = (blend >> n) & 1 ? effect : EffectNone;
        if (display & DispCntSprites) FrontToBackSprites[column](line, static_cast<uint32_t>(3 - slot));
        if (display & (DispCntBg0 << n)) {
            MarkSecondTarget(slot, blend);
            FrontToBackText[column](line, BgOrder[slot]);
        }
    }
}

// Front to back costs a little more per tile row drawn and saves the rows
// hidden behind opaque layers: on a picture of layers mostly transparent
// (text over a backdrop, say) it is the dearer order. So each frame that is
// drawn front to back counts the rows it passed over; when fewer than one
// in five were hidden, the frames after it are drawn rear to front, and one
// frame in 16 tries front to back again, to follow the picture as it
// changes. Either order makes the same pixels.
struct OrderChoice {
    bool frontToBack = true;  // this frame's order where a line allows it
    uint32_t untilTrial = 0;  // frames drawn rear to front before the next try
};
OrderChoice Order;

void ChooseOrder() {
    if (Order.frontToBack) {
        const uint32_t checks = video::CoverChecks, hidden = video::CoverHidden;
        // A frame with nothing drawn front to back gains nothing by it.
        if (checks == 0 || hidden * 5 < checks) {
            Order.frontToBack = false;
            Order.untilTrial = 15;
        }
    } else if (--Order.untilTrial == 0) {
        Order.frontToBack = true;
    }
    video::CoverChecks = 0;
    video::CoverHidden = 0;
}

// Whether a line can be drawn front to back: display mode 0 (text
// backgrounds and sprites only), no background blended by alpha, and no
// semi-transparent sprite, the two things that blend with what lies below.
bool FrontToBackLine(int line, uint32_t display, uint32_t blend, int effect) {
    if (DrawOrder == LineOrder::RearToFront || (display & DispCntMode) != 0) return false;
    if (DrawOrder == LineOrder::Chosen && !Order.frontToBack) return false;
    if (effect == EffectAlpha && (blend & (display >> 8) & 0x0F)) return false;
    return !(display & DispCntSprites) || !SemiTransparentSpriteOn(line);
}

}  // namespace

void RenderScanline() {
    const int line = IoRam[IoVCOUNT];
    // The scanline routine only renders visible lines; anything else would
    // be a row outside the frame buffer.
    if (line >= FrameHeight) return;
    ++video::LineSerial;
    if (line == 0) ChooseOrder();
    video::RefreshPalette();
    const uint32_t display = IoRead16(IoDISPCNT) & (((~HiddenLayerMask) << 8) | 0xE0FF);
    const uint32_t blend = IoRead16(IoBLDCNT);
    const int effect = static_cast<int>((blend >> BldCntEffectShift) & 3);

    FillBackdrop(line);
    // The windows are an extension: without the setting, or with no window
    // switched on, every layer is drawn over the whole line by the same code
    // as ever, and the only cost of the extension is this one test a line.
    if (DisplayWindows && (display & DispCntWindows) && video::PrepareWindows(line, display)) {
        DrawLayers<ThroughWindows>(line, display, blend, effect);
    } else if (FrontToBackLine(line, display, blend, effect)) {
        DrawLayersFrontToBack(line, display, blend, effect);
    } else {
        DrawLayers<WholeLine>(line, display, blend, effect);
    }
}

void PresentFrame() { ShowFrame(ScreenLeft, 0, ScreenWidth, FrameHeight); }

}  // namespace koru
