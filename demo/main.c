/* Koru's demo cartridge: start-up, interrupts, the frame loop, keys,
   sprites and the start counter kept in battery SRAM. The scenes themselves
   are in scenes.c. */
#include "demo.h"

volatile u32 FrameCount;
u32 KeysHeld, KeysPressed;
u32 StartCount;
s16 SineTable[256];
ObjEntry Oam[128];
const u16* volatile HblankSky;
const u16* volatile HblankRipple;
static volatile u32 RipplePhase;

/* The compiler may call these for structure copies and clears. */
void* memcpy(void* dst, const void* src, unsigned n) {
    u8* d = dst;
    const u8* s = src;
    while (n--) *d++ = *s++;
    return dst;
}
void* memset(void* dst, int c, unsigned n) {
    u8* d = dst;
    while (n--) *d++ = (u8)c;
    return dst;
}

/* A quarter wave of 4096 * sin, unfolded into the whole table at start. */
static const u16 QuarterSine[65] = {
    0,    101,  201,  301,  401,  501,  601,  700,  799,  897,  995,  1092, 1189, 1285, 1380, 1474, 1567,
    1660, 1751, 1842, 1931, 2019, 2106, 2191, 2276, 2359, 2440, 2520, 2598, 2675, 2751, 2824, 2896, 2967,
    3035, 3102, 3166, 3229, 3290, 3349, 3406, 3461, 3513, 3564, 3612, 3659, 3703, 3745, 3784, 3822, 3857,
    3889, 3920, 3948, 3973, 3996, 4017, 4036, 4052, 4065, 4076, 4085, 4091, 4095, 4096};

static void BuildSine(void) {
    for (int i = 0; i < 64; ++i) {
        SineTable[i] = (s16)QuarterSine[i];
        SineTable[64 + i] = (s16)QuarterSine[64 - i];
        SineTable[128 + i] = (s16)-QuarterSine[i];
        SineTable[192 + i] = (s16)-QuarterSine[64 - i];
    }
}

/* ---- Interrupts --------------------------------------------------------- */

void IrqEntry(void);

/* Restarts the horizontal-blank transfers for the coming frame: each copies
   one halfword at the end of every visible line, so line n + 1 gets entry
   n + 1 of its table; the entry for line 0 is written here. */
static void RestartHblankEffects(void) {
    REG_DMACNT_H(0) = 0;
    const u16* sky = HblankSky;
    if (sky) {
        PALETTE[0] = sky[0];
        REG_DMASAD(0) = (u32)(sky + 1);
        REG_DMADAD(0) = (u32)PALETTE;
        REG_DMACNT_L(0) = 1;
        REG_DMACNT_H(0) = DMA_ENABLE | DMA_AT_HBLANK | DMA_REPEAT | DMA_DEST_FIXED;
    }
    REG_DMACNT_H(2) = 0;
    const u16* ripple = HblankRipple;
    if (ripple) {
        const u16* start = ripple + (RipplePhase & 255);
        REG_BGHOFS(1) = start[0];
        REG_DMASAD(2) = (u32)(start + 1);
        REG_DMADAD(2) = (u32)&REG_BGHOFS(1);
        REG_DMACNT_L(2) = 1;
        REG_DMACNT_H(2) = DMA_ENABLE | DMA_AT_HBLANK | DMA_REPEAT | DMA_DEST_FIXED;
        ++RipplePhase;
    }
}

void IrqDispatch(u32 flags) {
    if (flags & IRQ_VBLANK) {
        ++FrameCount;
        RestartHblankEffects();
    }
    if (flags & IRQ_TIMER(1)) MusicStep();
}

static void StartInterrupts(void) {
    IRQ_HANDLER = IrqEntry;
    REG_DISPSTAT = DISPSTAT_VBLANK_IRQ;
    REG_IE = IRQ_VBLANK | IRQ_TIMER(1);
    REG_IF = 0xFFFF;
    REG_IME = 1;
}

/* Sleeps in the BIOS until the next vertical blank: the interrupt wait
   also returns for the music's timer, so wait until the frame count moves. */
void WaitFrame(void) {
    const u32 frame = FrameCount;
    while (FrameCount == frame) BiosVBlankIntrWait();
}

/* ---- Sprites ------------------------------------------------------------ */

void HideSprites(int first, int last) {
    for (int i = first; i <= last; ++i) Oam[i].attr0 = OBJ_HIDE;
}

void PlaceSprite(int n, s32 x, s32 y, u16 attr0, u16 attr1, u16 attr2) {
    Oam[n].attr0 = (u16)((y & 0xFF) | attr0);
    Oam[n].attr1 = (u16)((x & 0x1FF) | attr1);
    Oam[n].attr2 = attr2;
}

/* ---- Battery SRAM --------------------------------------------------------- */

/* Reads how many times the demo has been started, counts this start and
   writes it back, byte by byte as the 8-bit SRAM bus wants. */
static void CountStart(void) {
    volatile u8* save = SRAM;
    const char* magic = SAVE_MAGIC;
    u32 count = 0;
    int valid = SaveCheck(save) == save[SAVE_CHECK_OFFSET];
    for (int i = 0; i < 4; ++i)
        if (save[i] != (u8)magic[i]) valid = 0;
    if (valid)
        for (int i = 0; i < 4; ++i) count |= (u32)save[SAVE_COUNT_OFFSET + i] << (8 * i);
    ++count;
    for (int i = 0; i < 4; ++i) save[i] = (u8)magic[i];
    for (int i = 0; i < 4; ++i) save[SAVE_COUNT_OFFSET + i] = (u8)(count >> (8 * i));
    save[SAVE_CHECK_OFFSET] = SaveCheck(save);
    StartCount = count;
}

/* ---- The frame loop -------------------------------------------------------- */

static void ReadKeys(void) {
    const u32 held = ~REG_KEYINPUT & 0x3FF;
    KeysPressed = held & ~KeysHeld;
    KeysHeld = held;
}

int main(void) {
    REG_WAITCNT = 0x4317; /* faster cartridge ROM access, prefetch on */
    REG_DISPCNT = 0;
    /* Black until the first scene fades in. */
    REG_BLDCNT = BLEND_DARKEN | LAYERS_ALL;
    REG_BLDY = 16;
    BuildSine();
    CountStart();
    HideSprites(0, 127);
    BuildArt();
    StartInterrupts();
    MusicStart();
    ScenesStart();
    for (;;) {
        WaitFrame();
        Dma3Copy(Oam, OAM, sizeof Oam / 4, DMA_32);
        ReadKeys();
        ScenesStep();
    }
}
