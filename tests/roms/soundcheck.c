/* Plays one known note on each of the four tone generators in turn, each
   for 30 frames with 10 silent frames after it:
     frames  10-39  channel 1, square, x = 1750 (439 Hz, MIDI note 69)
     frames  50-79  channel 2, square, x = 1797 (522 Hz, note 72)
     frames  90-119 channel 3, wave pattern half high, half low,
                    x = 1651 (330 Hz, note 64)
     frames 130-159 channel 4, noise (8192 Hz, note 120)
   then stays silent. Frame n is the n-th vertical blank after start. */
#include "gba.h"

static void wait_frames(int n) {
    while (n-- > 0) wait_vblank();
}

int main(void) {
    REG_DISPCNT = 0x0080;
    REG_SOUNDCNT_X = 0x0080;  /* sound on */
    REG_SOUNDCNT_L = 0xFF77;  /* both sides at level 7, every channel to both */

    wait_frames(10);
    REG_SOUND1CNT_L = 0x0000;          /* no sweep */
    REG_SOUND1CNT_H = 0xF000;          /* volume 15, no envelope */
    REG_SOUND1CNT_X = 0x8000 | 1750;   /* trigger */
    wait_frames(30);
    REG_SOUND1CNT_H = 0x0000;          /* volume 0 */

    wait_frames(10);
    REG_SOUND2CNT_L = 0xF000;
    REG_SOUND2CNT_H = 0x8000 | 1797;
    wait_frames(30);
    REG_SOUND2CNT_L = 0x0000;

    wait_frames(10);
    for (int i = 0; i < 4; ++i) WAVE_RAM[i] = 0xFFFF;  /* sixteen samples at 15 */
    for (int i = 4; i < 8; ++i) WAVE_RAM[i] = 0x0000;  /* sixteen at 0 */
    REG_SOUND3CNT_L = 0x0080;          /* channel on */
    REG_SOUND3CNT_H = 0x2000;          /* full output level */
    REG_SOUND3CNT_X = 0x8000 | 1651;
    wait_frames(30);
    REG_SOUND3CNT_L = 0x0000;          /* channel off */

    wait_frames(10);
    REG_SOUND4CNT_L = 0xF000;
    REG_SOUND4CNT_H = 0x8000;
    wait_frames(30);
    REG_SOUND4CNT_L = 0x0000;

    for (;;) wait_vblank();
}
