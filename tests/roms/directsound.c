/* Streams known waveforms through the direct-sound FIFOs, in phases of
   whole frames (frame n is the n-th vertical blank after start):
     frames  10-69   FIFO A alone, both sides, 100 %: a square of 64 samples
                     a period (+64 and -64), timer 0 at 596 cycles a sample
                     (28149.7 Hz, so 439.8 Hz), refilled by DMA 1
     frames  80-139  FIFO A on the left only, 100 %, as above; FIFO B on the
                     right only, 50 %, the same square but on timer 1 at 298
                     cycles a sample (879.7 Hz), refilled by DMA 2
     frames 150-209  FIFO A, both sides, 100 %, written by the processor
                     alone, 16 bytes each frame by word, halfword and byte
                     stores: a saw of 16 steps from -120 to +120, timer 0 at
                     17556 cycles a sample (16 a frame, so 59.7 Hz)
     frames 220-239  FIFO A filled with 32 bytes of +100, then reset with
                     SOUNDCNT_H while timer 0 runs: silence
     frames 240-259  16 bytes of +100 without the reset: +100, held after
                     the FIFO runs dry
   and silence between and after. R12 = 0 when SOUNDCNT_H read back without
   its reset bits, 1 otherwise. */
#include "gba.h"

#define REG_FIFO_A     REG32(0x0A0)
#define REG_FIFO_A_L   REG16(0x0A0)
#define REG_FIFO_A_H   REG16(0x0A2)
#define FIFO_A_BYTES   ((volatile u8*)0x040000A0)
#define REG_DMA1SAD    REG32(0x0BC)
#define REG_DMA1DAD    REG32(0x0C0)
#define REG_DMA1CNT_H  REG16(0x0C6)
#define REG_DMA2SAD    REG32(0x0C8)
#define REG_DMA2DAD    REG32(0x0CC)
#define REG_DMA2CNT_H  REG16(0x0D2)
#define REG_TM0CNT_L   REG16(0x100)
#define REG_TM0CNT_H   REG16(0x102)
#define REG_TM1CNT_L   REG16(0x104)
#define REG_TM1CNT_H   REG16(0x106)

/* Enabled, sound start timing, repeat, words, destination fixed. */
#define DMA_SOUND 0xB640

#define A_FULL  0x0004
#define B_FULL  0x0008
#define A_RIGHT 0x0100
#define A_LEFT  0x0200
#define A_RESET 0x0800
#define B_RIGHT 0x1000
#define B_LEFT  0x2000
#define B_TIMER1 0x4000
#define B_RESET 0x8000

/* The square, repeated for longer than a phase plays it. */
#define TABLE_BYTES 0x18000
static u32 table[TABLE_BYTES / 4] __attribute__((section(".ewram")));

static int frame = 0;

static void wait_until(int n) {
    while (frame < n) {
        wait_vblank();
        ++frame;
    }
}

static void stop_all(void) {
    REG_TM0CNT_H = 0;
    REG_TM1CNT_H = 0;
    REG_DMA1CNT_H = 0;
    REG_DMA2CNT_H = 0;
    REG_SOUNDCNT_H = A_RESET | B_RESET;
}

static void start_dma(volatile u32* sad, volatile u32* dad, volatile u16* cnt, u32 fifo) {
    *sad = (u32)table;
    *dad = fifo;
    *cnt = DMA_SOUND;
}

/* The saw's step k (0-15) as an unsigned byte. */
static u8 saw(int k) { return (u8)(s8)(-120 + 16 * k); }

/* One frame of the saw: 4 bytes by a word, 4 by two halfwords, 8 by bytes
   into alternating lanes. */
static void push_saw_frame(void) {
    REG_FIFO_A = saw(0) | saw(1) << 8 | saw(2) << 16 | (u32)saw(3) << 24;
    REG_FIFO_A_L = saw(4) | saw(5) << 8;
    REG_FIFO_A_H = saw(6) | saw(7) << 8;
    for (int k = 8; k < 16; ++k) FIFO_A_BYTES[k & 3] = saw(k);
}

int main(void) {
    REG_DISPCNT = 0x0080;
    REG_SOUNDCNT_X = 0x0080; /* sound on */
    /* By words, so that the filling is over well before frame 10. */
    for (int i = 0; i < TABLE_BYTES / 4; ++i) table[i] = (i & 8) ? 0xC0C0C0C0 : 0x40404040;
    u32 verdict = 0;

    wait_until(10);
    REG_SOUNDCNT_H = A_FULL | A_LEFT | A_RIGHT | A_RESET;
    if (REG_SOUNDCNT_H & (A_RESET | B_RESET)) verdict = 1;
    start_dma(&REG_DMA1SAD, &REG_DMA1DAD, &REG_DMA1CNT_H, 0x040000A0);
    REG_TM0CNT_L = 0x10000 - 596;
    REG_TM0CNT_H = 0x0080;
    wait_until(70);
    stop_all();

    wait_until(80);
    REG_SOUNDCNT_H = A_FULL | A_LEFT | B_RIGHT | B_TIMER1 | A_RESET | B_RESET;
    start_dma(&REG_DMA1SAD, &REG_DMA1DAD, &REG_DMA1CNT_H, 0x040000A0);
    start_dma(&REG_DMA2SAD, &REG_DMA2DAD, &REG_DMA2CNT_H, 0x040000A4);
    REG_TM0CNT_L = 0x10000 - 596;
    REG_TM1CNT_L = 0x10000 - 298;
    REG_TM0CNT_H = 0x0080;
    REG_TM1CNT_H = 0x0080;
    wait_until(140);
    stop_all();

    wait_until(150);
    REG_SOUNDCNT_H = A_FULL | A_LEFT | A_RIGHT | A_RESET;
    /* Half a frame ahead, so that the FIFO never runs dry nor overflows
       however the vertical blank falls against the timer. */
    for (int k = 0; k < 8; ++k) FIFO_A_BYTES[k & 3] = saw(0);
    push_saw_frame();
    REG_TM0CNT_L = 0x10000 - 17556;
    REG_TM0CNT_H = 0x0080;
    while (frame < 209) {
        wait_until(frame + 1);
        push_saw_frame();
    }
    wait_until(210);
    stop_all();

    wait_until(220);
    for (int i = 0; i < 8; ++i) REG_FIFO_A = 0x64646464;
    REG_SOUNDCNT_H = A_FULL | A_LEFT | A_RIGHT | A_RESET;
    REG_TM0CNT_L = 0x10000 - 17556;
    REG_TM0CNT_H = 0x0080;
    wait_until(240);
    for (int i = 0; i < 4; ++i) REG_FIFO_A = 0x64646464;
    wait_until(260);
    stop_all();

    register u32 r12 asm("r12") = verdict;
    asm volatile("1: b 1b" : : "r"(r12));
    return 0;
}
