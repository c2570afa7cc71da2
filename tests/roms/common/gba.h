/* Registers and memories of the console for the test cartridges. */
#ifndef KORU_TEST_GBA_H
#define KORU_TEST_GBA_H

typedef unsigned char u8;
typedef unsigned short u16;
typedef unsigned int u32;
typedef signed char s8;
typedef signed short s16;
typedef signed int s32;

#define REG16(offset) (*(volatile u16*)(0x04000000 + (offset)))
#define REG32(offset) (*(volatile u32*)(0x04000000 + (offset)))

#define REG_DISPCNT   REG16(0x000)
#define REG_DISPSTAT  REG16(0x004)
#define REG_VCOUNT    REG16(0x006)
#define REG_BG0CNT    REG16(0x008)
#define REG_BG1CNT    REG16(0x00A)
#define REG_BG2CNT    REG16(0x00C)
#define REG_BG3CNT    REG16(0x00E)
#define REG_BG0HOFS   REG16(0x010)
#define REG_BG0VOFS   REG16(0x012)
#define REG_MOSAIC    REG16(0x04C)
#define REG_BLDCNT    REG16(0x050)
#define REG_BLDALPHA  REG16(0x052)
#define REG_BLDY      REG16(0x054)
#define REG_KEYINPUT  REG16(0x130)
#define REG_KEYCNT    REG16(0x132)
#define REG_IE        REG16(0x200)
#define REG_IF        REG16(0x202)
#define REG_WAITCNT   REG16(0x204)
#define REG_IME       REG16(0x208)

/* Sound: the four tone generators and the master controls. */
#define REG_SOUND1CNT_L REG16(0x060)
#define REG_SOUND1CNT_H REG16(0x062)
#define REG_SOUND1CNT_X REG16(0x064)
#define REG_SOUND2CNT_L REG16(0x068)
#define REG_SOUND2CNT_H REG16(0x06C)
#define REG_SOUND3CNT_L REG16(0x070)
#define REG_SOUND3CNT_H REG16(0x072)
#define REG_SOUND3CNT_X REG16(0x074)
#define REG_SOUND4CNT_L REG16(0x078)
#define REG_SOUND4CNT_H REG16(0x07C)
#define REG_SOUNDCNT_L REG16(0x080)
#define REG_SOUNDCNT_H REG16(0x082)
#define REG_SOUNDCNT_X REG16(0x084)
#define WAVE_RAM ((volatile u16*)0x04000090)

#define PALETTE ((volatile u16*)0x05000000)
#define VRAM    ((volatile u16*)0x06000000)
#define OAM     ((volatile u16*)0x07000000)
#define SRAM    ((volatile u8*)0x0E000000)

/* The interrupt handler pointer that the BIOS's IRQ vector calls. */
#define IRQ_HANDLER (*(void (**)(void))0x03007FFC)

#define RGB15(r, g, b) ((u16)((r) | ((g) << 5) | ((b) << 10)))

static inline void wait_vblank(void) {
    while (REG_VCOUNT >= 160) {}
    while (REG_VCOUNT < 160) {}
}

#endif
