/* End-to-end check of the timed hardware: a vertical-blank interrupt counts
   frames while the program halts between them, a counter-match interrupt
   notes the line it arrives on, a timer interrupt counts overflows, an
   immediate DMA copies a table with an end-of-transfer interrupt, a
   horizontal-blank DMA feeds one value per visible line, and a DMA into the
   I/O area starts a timer. The keypad interrupt counts frames with A held.

   Verdict at the end, in registers (then the program loops):
   R12 = 0 when every check passed, else the number of the first failed one;
   R0 frames, R1 timer interrupts, R2 DMA interrupts, R3 line of the match
   interrupt, R4 horizontal-blank DMA transfers in the last frame,
   R5 keypad interrupts, R6 timer 1 interrupts. */
#include "gba.h"

#define REG8(offset) (*(volatile u8*)(0x04000000 + (offset)))
#define REG_TM0CNT  REG32(0x100)
#define REG_TM1CNT  REG32(0x104)
#define DMA_SAD(c)  REG32(0x0B0 + 12 * (c))
#define DMA_DAD(c)  REG32(0x0B4 + 12 * (c))
#define DMA_CNT(c)  REG32(0x0B8 + 12 * (c))

#define FRAMES 30
#define MATCH_LINE 100

static volatile u32 frames, timerIrqs, timer1Irqs, dmaIrqs, matchLine, keypadIrqs;
static volatile u32 lastFeed;
static volatile u16 feed;  /* the horizontal-blank DMA's fixed destination */

#define FEED_TABLE ((volatile u16*)0x02001000)
#define COPY_TABLE ((volatile u32*)0x02000000)

static const u32 source[64] = {
    0x01234567, 0x89ABCDEF, 0xDEADBEEF, 0x00000000, 0xFFFFFFFF, 0x55555555, 0xAAAAAAAA, 0x13579BDF,
    0x2468ACE0, 0x0F0F0F0F, 0xF0F0F0F0, 0x11111111, 0x22222222, 0x33333333, 0x44444444, 0x66666666,
    0x77777777, 0x88888888, 0x99999999, 0xBBBBBBBB, 0xCCCCCCCC, 0xDDDDDDDD, 0xEEEEEEEE, 0x12121212,
    0x34343434, 0x56565656, 0x78787878, 0x9A9A9A9A, 0xBCBCBCBC, 0xDEDEDEDE, 0xF1F1F1F1, 0x1F1F1F1F,
    0x00000001, 0x00000002, 0x00000004, 0x00000008, 0x00000010, 0x00000020, 0x00000040, 0x00000080,
    0x00000100, 0x00000200, 0x00000400, 0x00000800, 0x00001000, 0x00002000, 0x00004000, 0x00008000,
    0x00010000, 0x00020000, 0x00040000, 0x00080000, 0x00100000, 0x00200000, 0x00400000, 0x00800000,
    0x01000000, 0x02000000, 0x04000000, 0x08000000, 0x10000000, 0x20000000, 0x40000000, 0x80000000,
};

/* Timer 1 reload 0xFFC0, enabled with interrupt, prescale 1024: copied into
   its registers by DMA. */
static const u32 timer1Setup[1] = {0x00C3FFC0};

/* Channel 0 starts over at every vertical blank, so that by the next one it
   has run exactly once per visible line. */
static void arm_feed(void) {
    DMA_CNT(0) = 0;
    DMA_SAD(0) = (u32)FEED_TABLE;
    DMA_DAD(0) = (u32)&feed;
    DMA_CNT(0) = 1 | ((0x8000 | 0x2000 | 0x0200 | 0x0040) << 16);  /* on, h-blank, repeat, fixed */
}

static void irq_handler(void) {
    const u16 flags = REG_IF & REG_IE;
    if (flags & 0x0001) {
        ++frames;
        lastFeed = feed;
        arm_feed();
    }
    if (flags & 0x0004) matchLine = REG_VCOUNT;
    if (flags & 0x0008) ++timerIrqs;
    if (flags & 0x0010) ++timer1Irqs;
    if (flags & 0x0800) ++dmaIrqs;
    if (flags & 0x1000) ++keypadIrqs;
    REG_IF = flags;
}

static void halt(void) { REG8(0x301) = 0; }

int main(void) {
    for (u32 i = 0; i < 400; ++i) FEED_TABLE[i] = (u16)(i + 1);

    IRQ_HANDLER = irq_handler;
    REG_DISPSTAT = (MATCH_LINE << 8) | 0x0008 | 0x0020;  /* v-blank and match interrupts */
    REG_TM0CNT = 0xFF00 | (0x00C3 << 16);  /* 256 ticks of 1024 cycles, interrupt */
    REG_KEYCNT = 0x4000 | 0x0001;           /* A, any mode */
    REG_IE = 0x0001 | 0x0004 | 0x0008 | 0x0010 | 0x0800 | 0x1000;
    REG_IME = 1;

    /* Immediate word copy with the end interrupt (channel 3). */
    DMA_SAD(3) = (u32)source;
    DMA_DAD(3) = (u32)COPY_TABLE;
    DMA_CNT(3) = 64 | ((0x8000 | 0x4000 | 0x0400) << 16);
    /* And one word into the timer registers. */
    DMA_SAD(3) = (u32)timer1Setup;
    DMA_DAD(3) = 0x04000104;
    DMA_CNT(3) = 1 | ((0x8000 | 0x0400) << 16);

    while (frames < FRAMES) halt();
    REG_IME = 0;

    u32 failed = 0;
    for (u32 i = 0; i < 64 && !failed; ++i) {
        if (COPY_TABLE[i] != source[i]) failed = 1;
    }
    if (!failed && dmaIrqs != 1) failed = 2;
    /* 256 x 1024 cycles a period: from the start to the 30th vertical blank
       (160 + 29 x 228 lines of 1,232 cycles) that is about 31.8 periods. */
    if (!failed && (timerIrqs < 30 || timerIrqs > 33)) failed = 3;
    if (!failed && matchLine != MATCH_LINE) failed = 4;
    if (!failed && lastFeed != 160) failed = 5;
    if (!failed && timer1Irqs == 0) failed = 6;
    if (!failed && REG_VCOUNT < 160) failed = 7;  /* still in the blank after the last frame */

    register u32 r0 asm("r0") = frames;
    register u32 r1 asm("r1") = timerIrqs;
    register u32 r2 asm("r2") = dmaIrqs;
    register u32 r3 asm("r3") = matchLine;
    register u32 r4 asm("r4") = lastFeed;
    register u32 r5 asm("r5") = keypadIrqs;
    register u32 r6 asm("r6") = timer1Irqs;
    register u32 r12 asm("r12") = failed;
    asm volatile("1: b 1b" : : "r"(r0), "r"(r1), "r"(r2), "r"(r3), "r"(r4), "r"(r5), "r"(r6), "r"(r12));
    return 0;
}
