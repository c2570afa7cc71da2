/* A game with a 128 KB FLASH chip, as its save library drives it: checks the
   chip's identification, erases it, then writes a byte into each of the two
   banks through the bank switch (AA 55 B0, then the bank at 0x0E000000),
   erases a sector of bank 1, and leaves 0x5A at bank 0 offset 0 and 0x42 at
   bank 1 offset 0x1234 for the battery save.

   Verdict in registers (then the program loops):
   R12 = 0 when every check passed, else the number of the first failed
   one; R1 the identification bytes read (maker in bits 0-7). */
#include "gba.h"

/* The save library leaves its name and version in the image. */
const char saveLibrary[] __attribute__((aligned(4))) = "FLASH1M_V103";

static u32 failed;
static u32 check;

static void expect(int ok) {
    ++check;
    if (!ok && !failed) failed = check;
}

static void command(u8 c) {
    SRAM[0x5555] = 0xAA;
    SRAM[0x2AAA] = 0x55;
    SRAM[0x5555] = c;
}

static void bank(u8 n) {
    command(0xB0);
    SRAM[0] = n;
}

static void program(u32 offset, u8 value) {
    command(0xA0);
    SRAM[offset] = value;
}

static void erase(u32 sector) {
    command(0x80);
    SRAM[0x5555] = 0xAA;
    SRAM[0x2AAA] = 0x55;
    if (sector == 0xFFFFFFFF) {
        SRAM[0x5555] = 0x10;
    } else {
        SRAM[sector] = 0x30;
    }
    /* The chip reads 0xFF once the erase is done. */
    for (int i = 0; i < 100000 && SRAM[sector == 0xFFFFFFFF ? 0 : sector] != 0xFF; ++i) {}
}

int main(void) {
    (void)*(volatile const char*)saveLibrary;

    command(0x90);
    const u32 id = SRAM[0] | (SRAM[1] << 8);
    command(0xF0);
    expect(id == 0x09C2);                            /* 1: Macronix MX29L010 */

    erase(0xFFFFFFFF);
    expect(SRAM[0] == 0xFF && SRAM[0xFFFF] == 0xFF); /* 2 */
    program(0, 0x5A);
    bank(1);
    expect(SRAM[0] == 0xFF);                         /* 3: bank 1, erased too */
    program(0, 0xA5);
    bank(0);
    expect(SRAM[0] == 0x5A);                         /* 4 */
    bank(1);
    expect(SRAM[0] == 0xA5);                         /* 5 */

    erase(0x0000);
    expect(SRAM[0] == 0xFF);                         /* 6: sector 0 of bank 1 */
    program(0x1234, 0x42);
    bank(0);
    expect(SRAM[0] == 0x5A && SRAM[0x1234] == 0xFF); /* 7 */

    register u32 r1 asm("r1") = id;
    register u32 r12 asm("r12") = failed;
    asm volatile("1: b 1b" : : "r"(r1), "r"(r12));
    return 0;
}
