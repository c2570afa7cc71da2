/* Scrolls background 0 line by line from a horizontal-blank interrupt
   handler, the way a program draws a floor in perspective, and never writes
   the status register: its start-up code (built with KEEP_HANDOVER) keeps
   the mode, the interrupt enable bits and the stacks the machine handed it.
   The background shows vertical stripes, which the handler's scroll turns
   into diagonals.

   Verdict in registers (then the program loops):
   R12 = 0 when the handler ran on every visible line of one whole frame,
   1 when it never ran, 2 when it missed lines; R1 the visible lines it ran
   on in that frame; R2 the status register as the program was handed it. */
#include "gba.h"

#define REG_BG0HOFS_ REG16(0x010)

u32 handover_cpsr;
static volatile u32 seen[5];  /* one bit per visible line */
static volatile u32 calls;

static void hblank(void) {
    const u32 line = REG_VCOUNT;
    if (line < 160) {
        seen[line >> 5] |= 1u << (line & 31);
        REG_BG0HOFS_ = (u16)line;
    }
    ++calls;
    REG_IF = 0x0002;
}

static u32 bits(u32 v) {
    u32 n = 0;
    for (; v; v &= v - 1) ++n;
    return n;
}

int main(void) {
    /* One 4-bit tile whose left column is white, over the whole map. */
    PALETTE[1] = RGB15(31, 31, 31);
    volatile u32* tile = (volatile u32*)(0x06000000 + 32);
    for (int row = 0; row < 8; ++row) tile[row] = 0x00000001;
    for (int i = 0; i < 32 * 32; ++i) VRAM[0xF800 / 2 + i] = 1;
    REG_BG0CNT = 31 << 8;
    REG_DISPCNT = 0x0100;

    IRQ_HANDLER = hblank;
    REG_DISPSTAT = 0x0010;  /* horizontal-blank interrupt */
    REG_IE = 0x0002;
    REG_IME = 1;

    wait_vblank();
    for (int i = 0; i < 5; ++i) seen[i] = 0;
    calls = 0;
    wait_vblank();
    u32 lines = 0;
    for (int i = 0; i < 5; ++i) lines += bits(seen[i]);

    register u32 r1 asm("r1") = lines;
    register u32 r2 asm("r2") = handover_cpsr;
    register u32 r12 asm("r12") = calls == 0 ? 1 : lines == 160 ? 0 : 2;
    asm volatile("1: b 1b" : : "r"(r1), "r"(r2), "r"(r12));
    return 0;
}
