/* Counts the frames it runs and keeps the count in the battery SRAM, bytes
   0-3, low byte first, for the desktop program's tests of its pacing: the
   save written when the program ends tells how many frames ran. */
#include "gba.h"

int main(void) {
    REG_DISPCNT = 0; /* the backdrop alone */
    PALETTE[0] = RGB15(0, 12, 24);
    for (u32 frames = 1;; ++frames) {
        wait_vblank();
        SRAM[0] = (u8)frames;
        SRAM[1] = (u8)(frames >> 8);
        SRAM[2] = (u8)(frames >> 16);
        SRAM[3] = (u8)(frames >> 24);
    }
}
