/* Shows one scene of scenes.h, chosen when the cartridge is built (SCENE),
   and then idles: the picture stays the same from frame to frame. */
#include "gba.h"
#include "scenes.h"

static void write_reg(uint32_t offset, uint16_t value) { REG16(offset) = value; }
static void write_vram(uint32_t offset, uint16_t value) { VRAM[offset >> 1] = value; }
static void write_palette(uint32_t index, uint16_t colour) { PALETTE[index] = colour; }
static void write_oam(uint32_t offset, uint16_t value) { OAM[offset >> 1] = value; }

int main(void) {
    static const struct SceneOut out = {write_reg, write_vram, write_palette, write_oam};
    REG_DISPCNT = 0x0080;
    Scenes[SCENE](&out);
    for (;;) wait_vblank();
}
