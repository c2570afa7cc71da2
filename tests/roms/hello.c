/* The smallest picture: a mode 3 screen with a blue background and a white
   frame, drawn with plain stores. Used by `make run` until the demo exists,
   and as a quick check that the build makes cartridges. */
#include "gba.h"

int main(void) {
    volatile u16* screen = VRAM;
    const u16 blue = RGB15(4, 8, 20), white = RGB15(31, 31, 31);
    for (int y = 0; y < 160; ++y) {
        for (int x = 0; x < 240; ++x) {
            int edge = x < 8 || x >= 232 || y < 8 || y >= 152;
            screen[y * 240 + x] = edge ? white : blue;
        }
    }
    REG_DISPCNT = 3 | (1 << 10);  /* mode 3, background 2 on */
    for (;;) wait_vblank();
}
