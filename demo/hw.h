/* The console's registers, memories and BIOS calls as the demo uses them.
   Extends the common cartridge header with the registers that the test
   cartridges never needed: scrolling and rotation, DMA and timers. */
#ifndef KORU_DEMO_HW_H
#define KORU_DEMO_HW_H

#include "gba.h"

/* Display. */
#define REG_BGHOFS(n) REG16(0x010 + 4 * (n))
#define REG_BGVOFS(n) REG16(0x012 + 4 * (n))
#define REG_BG2PA REG16(0x020)
#define REG_BG2PB REG16(0x022)
#define REG_BG2PC REG16(0x024)
#define REG_BG2PD REG16(0x026)
#define REG_BG2X REG32(0x028)
#define REG_BG2Y REG32(0x02C)

#define DISP_MODE(m) (m)
#define DISP_OBJ_1D 0x0040
#define DISP_BG(n) (0x0100 << (n))
#define DISP_OBJ 0x1000

#define BG_PRIO(p) (p)
#define BG_CHAR(c) ((c) << 2)
#define BG_MOSAIC 0x0040
#define BG_256 0x0080
#define BG_SCREEN(s) ((s) << 8)
#define BG_WRAP 0x2000
#define BG_AFF_256 0x4000 /* a 256x256 rotation map */

#define DISPSTAT_VBLANK_IRQ 0x0008

/* Colour effects. */
#define BLEND_TOP(layers) (layers)          /* bit 0-3 backgrounds, 4 sprites, 5 backdrop */
#define BLEND_BOTTOM(layers) ((layers) << 8)
#define BLEND_ALPHA 0x0040
#define BLEND_BRIGHTEN 0x0080
#define BLEND_DARKEN 0x00C0
#define LAYER_BG(n) (1 << (n))
#define LAYER_OBJ 0x10
#define LAYER_BACKDROP 0x20
#define LAYERS_ALL 0x3F

/* DMA channel n: source, destination, count and control. */
#define REG_DMASAD(n) REG32(0x0B0 + 12 * (n))
#define REG_DMADAD(n) REG32(0x0B4 + 12 * (n))
#define REG_DMACNT_L(n) REG16(0x0B8 + 12 * (n))
#define REG_DMACNT_H(n) REG16(0x0BA + 12 * (n))
#define DMA_DEST_FIXED 0x0040
#define DMA_DEST_RELOAD 0x0060
#define DMA_REPEAT 0x0200
#define DMA_32 0x0400
#define DMA_AT_HBLANK 0x2000
#define DMA_ENABLE 0x8000

/* Timers. */
#define REG_TMCNT_L(n) REG16(0x100 + 4 * (n))
#define REG_TMCNT_H(n) REG16(0x102 + 4 * (n))
#define TIMER_1024 0x0003
#define TIMER_IRQ 0x0040
#define TIMER_ON 0x0080

/* Interrupt flags. */
#define IRQ_VBLANK 0x0001
#define IRQ_TIMER(n) (0x0008 << (n))

/* Keys as the key register shows them inverted (1 = pressed here). */
#define KEY_A 0x001
#define KEY_B 0x002
#define KEY_SELECT 0x004
#define KEY_START 0x008
#define KEY_RIGHT 0x010
#define KEY_LEFT 0x020
#define KEY_UP 0x040
#define KEY_DOWN 0x080
#define KEY_R 0x100
#define KEY_L 0x200

/* Memories. */
#define OBJ_PALETTE (PALETTE + 256)
#define OBJ_TILES ((volatile u16*)0x06014000) /* usable in every display mode */
#define OBJ_FIRST_TILE 512
#define CHAR_BLOCK(n) ((volatile u16*)(0x06000000 + 0x4000 * (n)))
#define SCREEN_BLOCK(n) ((volatile u16*)(0x06000000 + 0x800 * (n)))
/* What a real BIOS's interrupt wait reads; our handler keeps it up to date. */
#define BIOS_IRQ_FLAGS (*(volatile u16*)0x03007FF8)

#define EWRAM_DATA __attribute__((section(".ewram")))
/* ARM code in Internal Working RAM (32-bit bus, no wait states): for the
   loops that must be fast. Called from anywhere through a long call. */
#define IWRAM_CODE __attribute__((section(".iwram"), target("arm"), noinline, long_call))

/* BIOS calls from THUMB code: the call number is the instruction's comment. */
static inline void BiosVBlankIntrWait(void) {
    __asm__ volatile("swi 0x05" ::: "r0", "r1", "r2", "r3", "r12", "memory");
}

/* Signed division by the BIOS: quotient, and the remainder through *rem. */
static inline s32 BiosDiv(s32 num, s32 den, s32* rem) {
    register s32 r0 __asm__("r0") = num;
    register s32 r1 __asm__("r1") = den;
    __asm__ volatile("swi 0x06" : "+r"(r0), "+r"(r1) : : "r2", "r3", "r12");
    if (rem) *rem = r1;
    return r0;
}

/* Copies or fills (bit 24 of mode) words, eight at a time. */
static inline void BiosCpuFastSet(const void* src, volatile void* dst, u32 mode) {
    register const void* r0 __asm__("r0") = src;
    register volatile void* r1 __asm__("r1") = dst;
    register u32 r2 __asm__("r2") = mode;
    __asm__ volatile("swi 0x0C" : "+r"(r0), "+r"(r1), "+r"(r2) : : "r3", "r12", "memory");
}
#define FASTSET_FILL (1u << 24)

/* Source of one sprite rotation: scales in 8.8 (256 = 1, larger shrinks) and
   the angle in 1/65536 of a turn. */
typedef struct {
    s16 sx, sy;
    u16 angle;
    u16 pad;
} ObjAffineSource;

static inline void BiosObjAffineSet(const ObjAffineSource* src, volatile void* dst, u32 count, u32 stride) {
    register const void* r0 __asm__("r0") = src;
    register volatile void* r1 __asm__("r1") = dst;
    register u32 r2 __asm__("r2") = count;
    register u32 r3 __asm__("r3") = stride;
    __asm__ volatile("swi 0x0F" : "+r"(r0), "+r"(r1), "+r"(r2), "+r"(r3) : : "r12", "memory");
}

/* Immediate copy with DMA channel 3 (halfwords or words). */
static inline void Dma3Copy(const volatile void* src, volatile void* dst, u32 units, u32 flags) {
    REG_DMASAD(3) = (u32)src;
    REG_DMADAD(3) = (u32)dst;
    REG_DMACNT_L(3) = (u16)units;
    REG_DMACNT_H(3) = (u16)(DMA_ENABLE | flags);
}

#endif
