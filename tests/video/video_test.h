// A prepared machine with blank video memories, helpers to set registers,
// palette, VRAM and sprites, and to render lines and read them back.
#pragma once
#include <cstdint>
#include <vector>

#include "support/test_machine.h"

namespace koru::test {

// Host pixel of a console colour, written out independently of the tables.
uint16_t HostPixel(uint32_t colour);

class VideoTest : public MachineTest {
protected:
    void SetUp() override;

    // Stores a register and keeps what the register writes keep beside the
    // I/O area: the background order, the blend weights, the rotation
    // parameters and reference points.
    void Io(uint32_t offset, uint16_t value);
    void Palette(uint32_t index, uint16_t colour);  // halfwords 0-511
    void Vram8(uint32_t offset, uint8_t value);
    void Vram16(uint32_t offset, uint16_t value);
    // Sprite entry k's three attribute words.
    void Sprite(int k, uint16_t attr0, uint16_t attr1, uint16_t attr2);
    // Rotation/scaling parameter group g of the sprites.
    void SpriteGroup(int g, int16_t pa, int16_t pb, int16_t pc, int16_t pd);
    // Rotation/scaling registers of background 2 or 3.
    void BgAffine(int n, int16_t pa, int16_t pb, int16_t pc, int16_t pd, int32_t refX, int32_t refY);

    // Renders one line with the affine current points as they stand.
    void Render(int line);
    // Renders lines 0-159 with the current points reloaded and stepped the
    // way the scanline routine does it.
    void RenderFrame();

    // FrameBuffer pixel at screen x (negative and >= 240 reach the margins).
    uint16_t Pixel(int line, int x) const;
    // Host pixel expected for console colour c.
    static uint16_t Host(uint32_t c) { return HostPixel(c); }
    // Marks a row's pixels with a value no renderer writes in these tests, so
    // that untouched pixels can be told apart.
    void MarkRow(int line, uint16_t value = 0xFFFF);
};

// The colour of every screen x of a line, worked out pixel by pixel from the
// registers and memories without the renderers: each layer is sampled at
// the pixel from its own formulas and the effects are done per channel.
// Returns console colours for screen x = first .. first + count - 1.
std::vector<uint16_t> ReferenceLine(int line, int first = 0, int count = 240);

}  // namespace koru::test
