/* Calls the BIOS services from THUMB code (this file is built as THUMB) and
   from ARM code (bioscalls.s: SWI 0x060000 and the like) and compares what
   they return with the values the services define. The last call is a
   SoftReset from THUMB code with nothing cleared: the cartridge starts over
   at 0x08000000 in ARM state, finds its marker in External Working RAM and
   reports.

   Verdict in registers (then the program loops):
   R12 = 0 when every check passed, else the number of the first failed one;
   R0 = 0x600D when the cartridge came back through SoftReset; R1 vertical
   blanks counted by the interrupt handler during the eight waits; R4 the
   quotient of the ARM Div (100 / 7), R5 that of the THUMB Div (-7 / 2),
   R6 ArcTan2(-1, 0), R7 the Huffman word. */
#include "gba.h"

typedef struct {
    u32 r[4];
} Regs;

#define CALLS(name) extern void name(Regs* regs);
CALLS(arm_div) CALLS(arm_div_low) CALLS(arm_sqrt) CALLS(arm_arctan2) CALLS(arm_cpufastset)
CALLS(arm_lz77_wram) CALLS(arm_intrwait) CALLS(arm_registerramreset) CALLS(arm_unknown)
CALLS(thumb_softreset) CALLS(thumb_halt) CALLS(thumb_vblankintrwait) CALLS(thumb_div) CALLS(thumb_divarm)
CALLS(thumb_sqrt) CALLS(thumb_arctan) CALLS(thumb_cpuset) CALLS(thumb_objaffineset) CALLS(thumb_huffman)
CALLS(thumb_rl_vram) CALLS(thumb_unknown) CALLS(arm_bitunpack) CALLS(arm_midikey2freq) CALLS(thumb_bgaffineset)
CALLS(thumb_diff8_wram) CALLS(thumb_diff8_vram) CALLS(thumb_diff16) CALLS(thumb_soundbiaschange)
extern void irq_handler(void);

volatile u32 vblank_count;

/* Kept across the SoftReset: External Working RAM is not cleared by it here
   nor by the start-up code. */
#define MARKER 0xB105C0DE
struct Report {
    u32 marker, failed, vblanks, armQuotient, thumbQuotient, arcTan2, huffman;
};
static volatile struct Report report __attribute__((section(".ewram")));

static u8 unpacked[64] __attribute__((section(".ewram"), aligned(4)));
static u32 copyFrom[8] __attribute__((section(".ewram")));
static u32 copyTo[8] __attribute__((section(".ewram")));
static u16 halves[8] __attribute__((section(".ewram")));
static s16 affineIn[8] __attribute__((section(".ewram"), aligned(4)));
static u16 affineOut[8] __attribute__((section(".ewram")));

static const u8 lz77Data[] __attribute__((aligned(4))) = {0x10, 0x06, 0x00, 0x00, 0x20, 0x41, 0x42, 0x10, 0x01};
static const u8 rlData[] __attribute__((aligned(4))) = {0x30, 0x07, 0x00, 0x00, 0x82, 0x41, 0x01, 0x42, 0x43};
static const u8 huffData[] __attribute__((aligned(4))) = {0x28, 0x04, 0x00, 0x00, 0x01, 0xC0, 0x61, 0x62,
                                                          0x00, 0x00, 0x00, 0x50};

static u32 failed;
static u32 check;

/* Records the first failure; every call of expect is one numbered check. */
static void expect(int ok) {
    ++check;
    if (!ok && !failed) failed = check;
}

static Regs call(void (*service)(Regs*), u32 r0, u32 r1, u32 r2, u32 r3) {
    Regs regs = {{r0, r1, r2, r3}};
    service(&regs);
    return regs;
}

static void arithmetic(void) {
    Regs r = call(thumb_div, (u32)-7, 2, 0, 0);                              /* 1 */
    expect(r.r[0] == (u32)-3 && r.r[1] == (u32)-1 && r.r[3] == 3);
    report.thumbQuotient = r.r[0];
    r = call(arm_div, 100, 7, 0, 0);                                         /* 2 */
    expect(r.r[0] == 14 && r.r[1] == 2 && r.r[3] == 14);
    report.armQuotient = r.r[0];
    r = call(arm_div_low, (u32)-100, 7, 0, 0);                               /* 3 */
    expect(r.r[0] == (u32)-14 && r.r[1] == (u32)-2 && r.r[3] == 14);
    r = call(thumb_divarm, 7, 100, 0, 0);                                    /* 4 */
    expect(r.r[0] == 14 && r.r[1] == 2 && r.r[3] == 14);
    r = call(thumb_div, 0x80000000, (u32)-1, 0, 0);                          /* 5 */
    expect(r.r[0] == 0x80000000 && r.r[1] == 0 && r.r[3] == 0x80000000);
    r = call(arm_div, 5, 0, 0, 0x33);                                        /* 6 */
    expect(r.r[0] == 5 && r.r[1] == 0 && r.r[3] == 0x33);
    expect(call(thumb_sqrt, 0xFFFFFFFF, 0, 0, 0).r[0] == 0xFFFF);           /* 7 */
    expect(call(arm_sqrt, 17, 0, 0, 0).r[0] == 4);                           /* 8 */
    expect(call(thumb_arctan, 0x4000, 0, 0, 0).r[0] == 0x1FFF);             /* 9 */
    expect(call(thumb_arctan, 0xC000, 0, 0, 0).r[0] == 0xE001);             /* 10 */
    r = call(arm_arctan2, 0xFF00, 0, 0, 0);                                  /* 11 */
    expect(r.r[0] == 0x7FFF);
    report.arcTan2 = r.r[0];
    expect(call(arm_arctan2, 0x0100, 0x0100, 0, 0).r[0] == 0x1FFF);         /* 12 */
}

static void copies(void) {
    for (u32 i = 0; i < 8; ++i) {
        copyFrom[i] = 0x11111111 * (i + 1);
        copyTo[i] = 0;
        halves[i] = 0;
    }
    call(thumb_cpuset, (u32)copyFrom, (u32)halves, 0x01000004, 0);          /* 13 */
    expect(halves[0] == 0x1111 && halves[3] == 0x1111 && halves[4] == 0);
    call(arm_cpufastset, (u32)copyFrom, (u32)copyTo, 5, 0);                  /* 14 */
    expect(copyTo[0] == 0x11111111 && copyTo[4] == 0x55555555 && copyTo[5] == 0);

    affineIn[0] = 0x0100;
    affineIn[1] = 0;  /* a scale of 0 counts as 1.0 */
    affineIn[2] = 0;
    call(thumb_objaffineset, (u32)affineIn, (u32)affineOut, 1, 2);           /* 15 */
    expect(affineOut[0] == 0x0100 && affineOut[1] == 0 && affineOut[2] == 0 && affineOut[3] == 0x0100);
}

static void unpacking(void) {
    for (u32 i = 0; i < 64; ++i) unpacked[i] = 0;
    call(arm_lz77_wram, (u32)lz77Data, (u32)unpacked, 0, 0);                 /* 16 */
    expect(unpacked[0] == 0x41 && unpacked[1] == 0x42 && unpacked[4] == 0x41 && unpacked[5] == 0x42 &&
           unpacked[6] == 0);
    volatile u8* video = (volatile u8*)0x06000001;
    call(thumb_rl_vram, (u32)rlData, (u32)video, 0, 0);                      /* 17 */
    expect(video[-1] == 0 && video[0] == 0x41 && video[4] == 0x41 && video[5] == 0x42 && video[6] == 0x43 &&
           video[7] == 0);
    call(thumb_huffman, (u32)huffData, (u32)(unpacked + 16), 0, 0);          /* 18 */
    report.huffman = *(u32*)(unpacked + 16);
    expect(report.huffman == 0x62616261 && *(u32*)(unpacked + 20) == 0);
}

static void others(void) {
    Regs r = call(arm_unknown, 1, 2, 3, 4);                                   /* 19 */
    expect(r.r[0] == 1 && r.r[1] == 2 && r.r[2] == 3 && r.r[3] == 4);
    r = call(thumb_unknown, 5, 6, 7, 8);                                      /* 20 */
    expect(r.r[0] == 5 && r.r[1] == 6 && r.r[2] == 7 && r.r[3] == 8);

    PALETTE[255] = 0x7FFF;
    call(arm_registerramreset, 0x04, 0, 0, 0);                               /* 21 */
    expect(PALETTE[255] == 0);
}

/* The services that compute, with results worked out by hand from the
   console's documentation. */
static s32 bgAffineIn[5] __attribute__((section(".ewram")));
static u32 computed[8] __attribute__((section(".ewram")));
static const u8 packedUnits[2] = {0x1B, 0xE4};
static const u32 unpackInfo[2] __attribute__((aligned(4))) = {2 | (2 << 16) | (8 << 24), 0x10};
static const u8 diff8Data[] __attribute__((aligned(4))) = {0x81, 0x04, 0x00, 0x00, 0x10, 0x05, 0xFF, 0x02};
static const u16 diff16Data[] __attribute__((aligned(4))) = {0x0682, 0x0000, 0x1000, 0x0234, 0xFFFF};
static const u32 waveHeader[2] __attribute__((aligned(4))) = {0, 13379 * 1024};

static void computing(void) {
    /* A quarter turn of a picture centred on (64.0, 32.0), scaled 1 across
       and 2 down, shown at (120, 80): sin 1.0, cos 0, so pa = 0,
       pb = -1.0, pc = 2.0, pd = 0, and the start point is the centre less
       the matrix times (120, 80). The angle's low byte is below the table's
       step. Aimed at background 2's registers, as programs do. */
    bgAffineIn[0] = 64 << 8;
    bgAffineIn[1] = 32 << 8;
    bgAffineIn[2] = 120 | (80 << 16);
    bgAffineIn[3] = 0x0100 | (0x0200 << 16);
    bgAffineIn[4] = 0x4080;
    call(thumb_bgaffineset, (u32)bgAffineIn, (u32)computed, 1, 0);           /* 26 */
    expect(computed[0] == 0xFF000000 && computed[1] == 0x00000200 && computed[2] == 0x9000 &&
           computed[3] == 0xFFFF3000);

    /* Two-bit units to bytes, low units first, 0x10 added to all but zero. */
    call(arm_bitunpack, (u32)packedUnits, (u32)computed, (u32)unpackInfo, 0); /* 27 */
    expect(computed[0] == 0x00111213 && computed[1] == 0x13121100);

    computed[0] = computed[1] = 0;
    call(thumb_diff8_wram, (u32)diff8Data, (u32)computed, 0, 0);             /* 28 */
    expect(computed[0] == 0x16141510);
    volatile u16* video = (volatile u16*)0x06000100;
    call(thumb_diff8_vram, (u32)diff8Data, (u32)video, 0, 0);                /* 29 */
    expect(video[0] == 0x1510 && video[1] == 0x1614);
    call(thumb_diff16, (u32)diff16Data, (u32)computed, 0, 0);                /* 30 */
    expect(computed[0] == 0x12341000 && (computed[1] & 0xFFFF) == 0x1233);

    /* A sample recorded at 13379 Hz plays at that rate at key 60, twice it an
       octave up; key 48 halves it, truncated. */
    expect(call(arm_midikey2freq, (u32)waveHeader, 60, 0, 0).r[0] == 13379);  /* 31 */
    expect(call(arm_midikey2freq, (u32)waveHeader, 72, 0, 0).r[0] == 26758 &&
           call(arm_midikey2freq, (u32)waveHeader, 47, 0, 0).r[0] == 6314);   /* 32 */

    REG16(0x088) = 0xC155;
    call(thumb_soundbiaschange, 1, 0, 0, 0);                                  /* 33 */
    expect(REG16(0x088) == 0xC200);
    call(thumb_soundbiaschange, 0, 0, 0, 0);                                  /* 34 */
    expect(REG16(0x088) == 0xC000);
}

static void waits(void) {
    /* No interrupt enabled: the halt cannot be ended, so it is not entered. */
    REG_IE = 0;
    REG_IME = 1;
    call(thumb_halt, 0, 0, 0, 0);
    expect(1);                                                                /* 22: came back */

    IRQ_HANDLER = irq_handler;
    REG_DISPSTAT = 0x0008;  /* vertical blank interrupt */
    REG_IME = 0;
    vblank_count = 0;
    call(thumb_vblankintrwait, 0, 0, 0, 0);
    expect(REG_IME == 1 && (REG_IE & 1) && vblank_count == 1);               /* 23 */
    for (int i = 0; i < 4; ++i) call(thumb_vblankintrwait, 0, 0, 0, 0);
    expect(vblank_count == 5);                                                /* 24 */
    for (int i = 0; i < 3; ++i) call(arm_intrwait, 1, 1, 0, 0);
    expect(vblank_count == 8);                                                /* 25 */
    report.vblanks = vblank_count;
    REG_IME = 0;
}

int main(void) {
    if (report.marker == MARKER) {
        report.marker = 0;
        register u32 r0 asm("r0") = 0x600D;
        register u32 r1 asm("r1") = report.vblanks;
        register u32 r4 asm("r4") = report.armQuotient;
        register u32 r5 asm("r5") = report.thumbQuotient;
        register u32 r6 asm("r6") = report.arcTan2;
        register u32 r7 asm("r7") = report.huffman;
        register u32 r12 asm("r12") = report.failed;
        asm volatile("1: b 1b" : : "r"(r0), "r"(r1), "r"(r4), "r"(r5), "r"(r6), "r"(r7), "r"(r12));
    }

    arithmetic();
    copies();
    unpacking();
    others();
    waits();
    computing();

    report.failed = failed;
    report.marker = MARKER;
    *(volatile u8*)0x03007FFA = 0;  /* start over in the cartridge */
    call(thumb_softreset, 0, 0, 0, 0);
    /* Never reached: the reset does not return. */
    register u32 r12 asm("r12") = 99;
    asm volatile("1: b 1b" : : "r"(r12));
    return 0;
}
