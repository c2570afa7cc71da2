/* Writes its backup memories once, right after start, then waits for
   vertical blanks forever: the text "KORU SAVE" into the SRAM at offset
   0x100 (byte writes, as battery SRAM is written) and the value
   0x0123456789ABCDEF into EEPROM block 2. Used to check that a run killed
   while it plays keeps what the cartridge saved. */
#include "gba.h"

#define EEPROM ((volatile u16*)0x0D000000)

static void eeprom_send(u32 high, u32 low, int count) {
    for (int i = count - 1; i >= 0; --i) {
        u32 bit = i >= 32 ? (high >> (i - 32)) & 1 : (low >> i) & 1;
        *EEPROM = (u16)bit;
    }
}

int main(void) {
    static const char text[] = "KORU SAVE";
    for (int i = 0; text[i]; ++i) SRAM[0x100 + i] = (u8)text[i];

    eeprom_send(0, 0x2, 2);  /* 1, 0: write */
    eeprom_send(0, 2, 6);    /* block 2 */
    eeprom_send(0x01234567, 0x89ABCDEF, 64);
    eeprom_send(0, 0, 1);    /* stop bit */

    for (;;) wait_vblank();
}
