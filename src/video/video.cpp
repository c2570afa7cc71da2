// Placeholder renderer: lines are not drawn. The line driver and the
// renderers replace this file.
#include "video/video.h"

#include "machine/host.h"

namespace koru {

uint16_t* FrameBuffer;
uint16_t ColourToHost[65536];
uint32_t ColourSpread[65536];
uint32_t HiddenLayerMask;

void BuildColourTables() {
    for (uint32_t c = 0; c < 65536; ++c) {
        ColourToHost[c] = static_cast<uint16_t>((c & 0x03E0) | ((c & 0x001F) << 10) | ((c & 0x7C00) >> 10));
        ColourSpread[c] = (c & 0x001F) | ((c & 0x03E0) << 5) | ((c & 0x7C00) << 10);
    }
}

void RenderScanline() {}

void PresentFrame() { ShowFrame(ScreenLeft, 0, ScreenWidth, FrameHeight); }

}  // namespace koru
