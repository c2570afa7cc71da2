/* The heavy scene of the benchmarks: what a busy game asks of every frame.

   - Four text backgrounds, two of 16 and two of 256 colours, one of them a
     64 x 64 map, all scrolling, with transparent texels in the front three;
   - 128 sprites of every size, moving: some of 256 colours, some flipped,
     some semi-transparent, some rotated and scaled (two of them double
     size);
   - alpha blending, backgrounds 0 and 1 and the sprites over the rest;
   - a vertical-blank interrupt every frame that moves the scroll registers
     and copies the sprite table with DMA;
   - a program that never halts: between two interrupts it moves the sprites
     and then keeps working, in THUMB from the cartridge and in ARM from
     Internal Working RAM, until the frame counter moves.

   The picture changes every frame but the same frame always looks the same. */
#include "hw.h"

#define REG_BGCNT(n) REG16(0x008 + 2 * (n))
/* The handler pointer through a volatile lvalue: nothing this program runs
   reads it back, so a plain store could be dropped by the compiler. */
#define IRQ_VECTOR (*(void (*volatile*)(void))0x03007FFC)
#define OAM_WORDS (128 * 2)

typedef struct {
    u16 attr0, attr1, attr2, affine;
} Entry;

static volatile u32 FrameCount;
static Entry Shadow[128];  /* the sprite table, copied to OAM at each interrupt */
static s32 PosX[128], PosY[128], VelX[128], VelY[128];
static u16 Scroll[8];
static u32 Seed = 0x2545F491;
EWRAM_DATA static u32 Bodies[512];
static u32 Mixed[256];
u32 WorkDone;

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

static u32 Random(void) {
    Seed ^= Seed << 13;
    Seed ^= Seed >> 17;
    Seed ^= Seed << 5;
    return Seed;
}

/* 256 x sin of an angle in 1/256 of a turn, from a parabola: close enough
   to turn sprites. */
static s32 Sine(u32 angle) {
    const s32 a = (s32)(angle & 127);
    const s32 v = (a * (128 - a)) >> 4; /* 0 .. 256 */
    return (angle & 128) ? -v : v;
}

/* ---- Art ------------------------------------------------------------------ */

/* Colour index of texel (x, y) of tile t, 1-15; 0 where the tile's shape
   leaves a hole. `holes` of 0-3 makes shapes from solid to sparse. */
static u32 Texel(u32 t, u32 x, u32 y, u32 holes) {
    const u32 shade = (t * 3 + ((x + y) >> 2)) & 15;
    const u32 v = shade ? shade : 15;
    const s32 dx = 2 * (s32)x - 7, dy = 2 * (s32)y - 7;
    const s32 d = dx * dx + dy * dy;
    switch (holes) {
    case 0: return v;
    case 1: return ((x + y + t) & 7) == 0 ? 0 : v;
    case 2: return d > 40 + (s32)(t & 15) ? 0 : v;
    default: return (((x ^ y ^ t) & 3) == 0 || d > 30) ? 0 : v;
    }
}

static void Tile16(volatile u16* at, u32 t, u32 holes) {
    for (u32 y = 0; y < 8; ++y) {
        for (u32 half = 0; half < 2; ++half) {
            u32 v = 0;
            for (u32 k = 0; k < 4; ++k) v |= Texel(t, half * 4 + k, y, holes) << (4 * k);
            at[y * 2 + half] = (u16)v;
        }
    }
}

/* A 256-colour index for the texel: 0 stays a hole, anything else is one
   of many shades and never 0. */
static u32 Colour256(u32 t, u32 x, u32 y, u32 holes) {
    const u32 v = Texel(t, x, y, holes);
    const u32 c = (16 * v + t + x) & 255;
    return v ? (c ? c : 1) : 0;
}

static void Tile256(volatile u16* at, u32 t, u32 holes) {
    for (u32 y = 0; y < 8; ++y) {
        for (u32 x = 0; x < 8; x += 2) {
            at[y * 4 + x / 2] = (u16)(Colour256(t, x, y, holes) | Colour256(t, x + 1, y, holes) << 8);
        }
    }
}

/* A map of `blocks` screen blocks from block `first`: random tiles of
   [base, base + 128), random flips, and palette banks for 16 colours. */
static void Map(u32 first, u32 blocks, u32 base) {
    volatile u16* map = SCREEN_BLOCK(first);
    for (u32 i = 0; i < blocks * 1024; ++i) {
        const u32 r = Random();
        map[i] = (u16)((base + (r & 127)) | (r & 0x0C00) | (((r >> 12) & 15) << 12));
    }
}

static void BuildArt(void) {
    /* Palettes: backgrounds and sprites, every entry a different colour. */
    for (u32 i = 0; i < 256; ++i) {
        const u32 bank = i >> 4, shade = i & 15;
        PALETTE[i] = RGB15(bank + shade, bank * 2 & 31, 31 - bank - shade);
        OBJ_PALETTE[i] = RGB15(31 - shade, (bank * 5 + shade) & 31, bank * 2);
    }
    /* Character block 0: 16-colour tiles, 0-127 sparse (for background 0),
       128-255 with a few holes (background 1). */
    for (u32 t = 0; t < 256; ++t) Tile16(CHAR_BLOCK(0) + t * 16, t, t < 128 ? 3 : 1);
    /* Character block 1: 256-colour tiles, 0-127 round (background 2),
       128-255 solid (background 3, the rear-most). */
    for (u32 t = 0; t < 256; ++t) Tile256(CHAR_BLOCK(1) + t * 32, t, t < 128 ? 2 : 0);
    /* Screen blocks: 28 and 29 for backgrounds 0 and 1, 30-31 (64 x 32) for
       background 2, 24-27 (64 x 64) for background 3. */
    Map(28, 1, 0);
    Map(29, 1, 128);
    Map(30, 2, 0);
    Map(24, 4, 128);
    /* Sprite tiles: 256 round shapes, repeated over all 1024 slots of the
       sprite area. */
    volatile u16* const sprites = (volatile u16*)0x06010000;
    for (u32 t = 0; t < 256; ++t) Tile16(sprites + t * 16, t, 2);
    for (u32 copy = 1; copy < 4; ++copy) Dma3Copy(sprites, sprites + copy * 4096, 2048, DMA_32);
}

/* ---- Sprites --------------------------------------------------------------- */

/* Shape and size by sprite kind (k mod 16): mostly 16 x 16 and 32 x 32, a
   few small ones and a few large ones. */
static const u8 Shapes[16][2] = {
    {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 2}, {0, 2},
    {0, 2}, {0, 0}, {1, 2}, {2, 2}, {1, 3}, {2, 0}, {1, 0}, {0, 3},
};

static void PlaceSprites(void) {
    for (u32 k = 0; k < 128; ++k) {
        const u32 kind = k & 15;
        const u32 shape = Shapes[kind][0], size = Shapes[kind][1];
        const int affine = kind == 15;
        const int doubled = affine && (k & 16);
        const int colours256 = (k & 3) == 1;
        const int semi = (k & 7) == 3;
        u32 attr0 = (shape << 14) | (colours256 ? 0x2000 : 0) | (semi ? 0x0400 : 0);
        u32 attr1 = size << 14;
        if (affine) {
            attr0 |= doubled ? 0x0300 : 0x0100;
            attr1 |= (k >> 4) << 9;
        } else {
            attr1 |= (k & 6) << 11; /* flips */
        }
        const u32 tile = (k * 24) & 1023;
        Shadow[k].attr0 = (u16)((PosY[k] & 0xFF) | attr0);
        Shadow[k].attr1 = (u16)((PosX[k] & 0x1FF) | attr1);
        Shadow[k].attr2 = (u16)(tile | ((k & 3) << 10) | ((k & 15) << 12));
    }
}

/* One step of every sprite: move, bounce at the edges, turn the rotation
   groups. */
static void StepSprites(u32 frame) {
    for (u32 k = 0; k < 128; ++k) {
        PosX[k] += VelX[k];
        PosY[k] += VelY[k];
        if (PosX[k] < -32 || PosX[k] > 232) VelX[k] = -VelX[k];
        if (PosY[k] < -32 || PosY[k] > 152) VelY[k] = -VelY[k];
    }
    PlaceSprites();
    for (u32 g = 0; g < 8; ++g) {
        const u32 angle = frame * (g + 1) + g * 32;
        const s32 scale = 256 + Sine(frame * 2 + g * 16) / 2;
        const s32 c = Sine(angle + 64) * scale >> 8, s = Sine(angle) * scale >> 8;
        Shadow[4 * g + 0].affine = (u16)c;
        Shadow[4 * g + 1].affine = (u16)-s;
        Shadow[4 * g + 2].affine = (u16)s;
        Shadow[4 * g + 3].affine = (u16)c;
    }
    Scroll[0] = (u16)(frame);             /* background 0 right */
    Scroll[1] = (u16)(frame / 2);
    Scroll[2] = (u16)(-frame);            /* background 1 left and down */
    Scroll[3] = (u16)(-frame);
    Scroll[4] = (u16)(frame * 3);         /* background 2 fast */
    Scroll[5] = (u16)(Sine(frame) / 8);
    Scroll[6] = (u16)(frame / 3);         /* background 3 slow */
    Scroll[7] = (u16)(0 - frame / 2);
}

/* ---- Interrupt --------------------------------------------------------------- */

/* Called by the BIOS's interrupt vector in IRQ mode: acknowledges the
   vertical blank, counts the frame, scrolls and copies the sprite table. */
IWRAM_CODE void Interrupt(void) {
    const u32 flags = REG_IE & REG_IF;
    REG_IF = (u16)flags;
    BIOS_IRQ_FLAGS |= (u16)flags;
    if (!(flags & IRQ_VBLANK)) return;
    ++FrameCount;
    for (u32 n = 0; n < 4; ++n) {
        REG_BGHOFS(n) = Scroll[2 * n];
        REG_BGVOFS(n) = Scroll[2 * n + 1];
    }
    REG_DMASAD(3) = (u32)Shadow;
    REG_DMADAD(3) = 0x07000000;
    REG_DMACNT_L(3) = OAM_WORDS;
    REG_DMACNT_H(3) = DMA_ENABLE | DMA_32;
}

/* ---- Work ---------------------------------------------------------------------- */

/* ARM from Internal Working RAM: mixes a block of samples the way a game's
   sound engine would, with multiplies, shifts, saturation and a table. */
IWRAM_CODE u32 MixBlock(u32* out, const u32* in, u32 count, u32 volume) {
    u32 sum = 0;
    for (u32 i = 0; i < count; ++i) {
        s32 v = (s32)((in[i] * volume) >> 8) + (s32)(out[i] >> 1);
        if (v > 0x7FFF) v = 0x7FFF;
        if (v < -0x8000) v = -0x8000;
        out[i] = (u32)v;
        sum += (u32)v ^ (sum << 1);
    }
    return sum;
}

/* THUMB from the cartridge: a pass of game logic over bodies in External
   Working RAM, with branches, byte and halfword loads and stores. */
static u32 ThinkBodies(u32 round) {
    u32 acc = round;
    for (u32 i = 0; i < 64; ++i) {
        u32 b = Bodies[(i + round) & 511];
        const u8 kind = (u8)b;
        if (kind & 1) b += 0x100;
        else if (kind & 2) b ^= acc;
        else b -= acc >> 3;
        if ((b >> 16) > 0x8000) b &= 0xFFFF;
        Bodies[(i + round) & 511] = b;
        acc = acc * 5 + ((u16)b >> 4);
    }
    return acc;
}

int main(void) {
    REG_WAITCNT = 0x4317;
    REG_DISPCNT = 0x0080; /* forced blank while the art is made */
    BuildArt();
    for (u32 k = 0; k < 128; ++k) {
        PosX[k] = (s32)((k * 37) % 240) - 16;
        PosY[k] = (s32)((k * 53) % 160) - 16;
        VelX[k] = (s32)(k % 7) - 3;
        VelY[k] = (s32)(k % 5) - 2;
        if (VelX[k] == 0) VelX[k] = 1;
    }
    for (u32 i = 0; i < 512; ++i) Bodies[i] = Random();
    for (u32 i = 0; i < 256; ++i) Mixed[i] = Random() & 0xFFFF;
    StepSprites(0);

    REG_BGCNT(0) = BG_PRIO(0) | BG_CHAR(0) | BG_SCREEN(28);
    REG_BGCNT(1) = BG_PRIO(1) | BG_CHAR(0) | BG_SCREEN(29);
    REG_BGCNT(2) = BG_PRIO(2) | BG_CHAR(1) | BG_256 | BG_SCREEN(30) | 0x4000; /* 64 x 32 */
    REG_BGCNT(3) = BG_PRIO(3) | BG_CHAR(1) | BG_256 | BG_SCREEN(24) | 0xC000; /* 64 x 64 */
    REG_BLDCNT = BLEND_TOP(LAYER_BG(0) | LAYER_BG(1) | LAYER_OBJ) | BLEND_ALPHA |
                 BLEND_BOTTOM(LAYER_BG(2) | LAYER_BG(3) | LAYER_OBJ | LAYER_BACKDROP);
    REG_BLDALPHA = 10 | (6 << 8);

    IRQ_VECTOR = Interrupt;
    REG_DISPSTAT = DISPSTAT_VBLANK_IRQ;
    REG_IE = IRQ_VBLANK;
    REG_IF = 0xFFFF;
    REG_IME = 1;
    REG_DISPCNT = DISP_MODE(0) | DISP_OBJ_1D | DISP_BG(0) | DISP_BG(1) | DISP_BG(2) | DISP_BG(3) | DISP_OBJ;

    u32 round = 0;
    for (;;) {
        const u32 frame = FrameCount;
        StepSprites(frame);
        /* Busy until the next interrupt, never halted. */
        while (FrameCount == frame) {
            WorkDone += ThinkBodies(round++);
            WorkDone += MixBlock(Mixed, Bodies + (round & 255), 64, 200);
        }
    }
}
