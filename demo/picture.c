/* The picture of the bitmap scene: a plasma of four sine waves, one of them
   in rings around a point, as 8-bit palette indices. It is drawn once, by
   ARM code running from Internal Working RAM, which asks the BIOS for the
   square root of each pixel's distance (an ARM-state software interrupt).
   The palette then cycles through the colours, so the picture moves without
   being drawn again. */
#include "demo.h"

EWRAM_DATA u8 Picture[PICTURE_WIDTH * PICTURE_HEIGHT];

IWRAM_CODE void DrawPicture(u8* dst) {
    for (int y = 0; y < PICTURE_HEIGHT; ++y) {
        const int dy = y - 70;
        const s32 row_wave = SineTable[(y * 3) & 255] + SineTable[(y * 2 + 100) & 255];
        for (int x = 0; x < PICTURE_WIDTH; ++x) {
            const int dx = x - 150;
            const u32 distance = ArmSqrt((u32)(dx * dx + dy * dy) << 4); /* in quarter pixels */
            const s32 v = SineTable[(x * 2) & 255] + SineTable[(x + y + 30) & 255] + row_wave +
                          SineTable[(distance * 2) & 255] * 2;
            *dst++ = (u8)((v >> 7) & (CYCLE_COLOURS - 1));
        }
    }
}
