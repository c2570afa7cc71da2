/* Shows the keys it reads, for the desktop program's tests: the whole screen
   is the backdrop colour, grey (or yellow after Select was pressed an odd
   number of times), with red full while A is held, green while Right is held
   and blue while Start is held. The Select count is kept in working RAM (so a
   state file brings it back) and in the battery save. */
#include "gba.h"

#define KEY_A 0x001
#define KEY_SELECT 0x004
#define KEY_START 0x008
#define KEY_RIGHT 0x010

static u16 mode;
static u16 previous;

/* Makes the cartridge longer than its header block, as real ones are. */
static const u8 filler[1024] __attribute__((used)) = {1};

int main(void) {
    REG_DISPCNT = 0; /* mode 0, no layer: the backdrop fills the screen */
    for (;;) {
        wait_vblank();
        u16 keys = ~REG_KEYINPUT & 0x3FF;
        if ((keys & KEY_SELECT) && !(previous & KEY_SELECT)) mode ^= 1;
        previous = keys;
        u16 colour = mode ? RGB15(24, 24, 0) : RGB15(12, 12, 12);
        if (keys & KEY_A) colour = (colour & ~0x001F) | 31;
        if (keys & KEY_RIGHT) colour = (colour & ~0x03E0) | (31 << 5);
        if (keys & KEY_START) colour = (colour & ~0x7C00) | (31 << 10);
        PALETTE[0] = colour;
        SRAM[0] = 'K';
        SRAM[1] = (u8)('0' + mode);
    }
}
