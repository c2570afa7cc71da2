/* A game with the 8 KB EEPROM, as its save library drives it: every request
   goes by DMA 3, 17 halfwords for a read request and 81 for a write (two
   request bits, 14 block bits, the 64 data bits of a write, a stop bit),
   and the 68 bits of a read come back by DMA 3 as well. Writes block 1023
   (0x0123456789ABCDEF) and block 1 (0xFEDCBA9876543210) and reads both
   back, leaving them in the battery save.

   Verdict in registers (then the program loops):
   R12 = 0 when every check passed, else the number of the first failed
   one; R1, R2 the high and low words read back from block 1023. */
#include "gba.h"

const char saveLibrary[] __attribute__((aligned(4))) = "EEPROM_V124";

#define EEPROM ((volatile u16*)0x0D000000)
#define REG_DMA3SAD REG32(0x0D4)
#define REG_DMA3DAD REG32(0x0D8)
#define REG_DMA3CNT_L REG16(0x0DC)
#define REG_DMA3CNT_H REG16(0x0DE)

static u16 bits[81] __attribute__((section(".ewram")));
static u16 answer[68] __attribute__((section(".ewram")));
static u32 failed;
static u32 check;

static void expect(int ok) {
    ++check;
    if (!ok && !failed) failed = check;
}

static void dma3(const volatile void* from, volatile void* to, u16 count) {
    REG_DMA3SAD = (u32)from;
    REG_DMA3DAD = (u32)to;
    REG_DMA3CNT_L = count;
    REG_DMA3CNT_H = 0x8000;
}

static int put(int at, u32 value, int count) {
    for (int i = count - 1; i >= 0; --i) bits[at++] = (value >> i) & 1;
    return at;
}

static void write_block(u32 block, u32 high, u32 low) {
    int at = put(0, 0x2, 2);
    at = put(at, block, 14);
    at = put(at, high, 32);
    at = put(at, low, 32);
    put(at, 0, 1);
    dma3(bits, EEPROM, 81);
    /* The chip reads 1 once the write is done. */
    for (int i = 0; i < 100000 && !(*EEPROM & 1); ++i) {}
}

static void read_block(u32 block, u32* high, u32* low) {
    int at = put(0, 0x3, 2);
    at = put(at, block, 14);
    put(at, 0, 1);
    dma3(bits, EEPROM, 17);
    dma3(EEPROM, answer, 68);
    u32 h = 0, l = 0;
    for (int i = 4; i < 36; ++i) h = (h << 1) | (answer[i] & 1);
    for (int i = 36; i < 68; ++i) l = (l << 1) | (answer[i] & 1);
    *high = h;
    *low = l;
}

int main(void) {
    (void)*(volatile const char*)saveLibrary;

    write_block(1023, 0x01234567, 0x89ABCDEF);
    write_block(1, 0xFEDCBA98, 0x76543210);
    u32 high, low, high1, low1;
    read_block(1023, &high, &low);
    expect(high == 0x01234567 && low == 0x89ABCDEF);  /* 1 */
    read_block(1, &high1, &low1);
    expect(high1 == 0xFEDCBA98 && low1 == 0x76543210); /* 2 */
    expect((answer[0] | answer[1] | answer[2] | answer[3]) == 0);  /* 3: the dummy bits */

    register u32 r1 asm("r1") = high;
    register u32 r2 asm("r2") = low;
    register u32 r12 asm("r12") = failed;
    asm volatile("1: b 1b" : : "r"(r1), "r"(r2), "r"(r12));
    return 0;
}
