/* Scenes for the golden pictures of the video tests.

   Each scene writes registers, palette, VRAM and sprite memory through a
   SceneOut and nothing else, so the same code runs in two places: in a test
   cartridge, where the writes go to the console's memories, and in the test
   that works the expected picture out from the same memory contents with
   its own pixel model. Scenes only use halfword writes (the console drops
   byte writes to VRAM) and start from the state after reset: memories
   zero, rotation parameters the identity.

   Plain C, so that it compiles freestanding for the cartridge and as C++ in
   the tests. */
#ifndef KORU_VIDEO_SCENES_H
#define KORU_VIDEO_SCENES_H

#include <stdint.h>

struct SceneOut {
    void (*reg)(uint32_t offset, uint16_t value);    /* I/O register */
    void (*vram)(uint32_t offset, uint16_t value);   /* halfword at a byte offset */
    void (*palette)(uint32_t index, uint16_t colour); /* halfwords 0-511 */
    void (*oam)(uint32_t offset, uint16_t value);    /* halfword at a byte offset */
};

#define SC_RGB(r, g, b) ((uint16_t)(((r) & 31) | (((g) & 31) << 5) | (((b) & 31) << 10)))

/* ---- Building blocks ------------------------------------------------------ */

/* Colour index 0-15 of texel (px, py) of an 8x8 pattern; 0 is transparent.
   Patterns 4 and 7 are asymmetric so that flips show. */
static uint32_t sc_texel(uint32_t pattern, uint32_t px, uint32_t py) {
    switch (pattern & 7) {
    case 0: return 1;
    case 1: return (px == 0 || py == 0 || px == 7 || py == 7) ? 2 : 1;
    case 2: return ((px + py) & 3) < 2 ? 3 : 0;
    case 3: return (((px >> 1) + (py >> 1)) & 1) ? 4 : 5;
    case 4: return (px == 0 || py == 0) ? 6 : (px < 3 && py < 3) ? 7 : 0;
    case 5: return 1 + px + py;
    case 6: {
        const int32_t dx = 2 * (int32_t)px - 7, dy = 2 * (int32_t)py - 7;
        const int32_t d = dx * dx + dy * dy;
        return d < 16 ? 9 : (d <= 40 ? 8 : 0);
    }
    default: return px < 4 ? 10 : (py < 4 ? 11 : 0);
    }
}

/* 256-colour index of a texel: 0 where the pattern is transparent, else one
   of 16 shades of the pattern's colour. */
static uint32_t sc_texel256(uint32_t pattern, uint32_t px, uint32_t py, uint32_t shade) {
    const uint32_t t = sc_texel(pattern, px, py);
    return t ? ((16 * t + ((px + py + shade) & 15)) & 255) : 0;
}

static void sc_tile16(const struct SceneOut* o, uint32_t at, uint32_t pattern) {
    for (uint32_t py = 0; py < 8; ++py) {
        for (uint32_t half = 0; half < 2; ++half) {
            uint32_t v = 0;
            for (uint32_t k = 0; k < 4; ++k) v |= sc_texel(pattern, half * 4 + k, py) << (4 * k);
            o->vram(at + py * 4 + half * 2, (uint16_t)v);
        }
    }
}

static void sc_tile256(const struct SceneOut* o, uint32_t at, uint32_t pattern, uint32_t shade) {
    for (uint32_t py = 0; py < 8; ++py) {
        for (uint32_t px = 0; px < 8; px += 2) {
            o->vram(at + py * 8 + px,
                    (uint16_t)(sc_texel256(pattern, px, py, shade) | (sc_texel256(pattern, px + 1, py, shade) << 8)));
        }
    }
}

/* Sixteen banks of 15 colours each from `first` (0 backgrounds, 256 sprites). */
static void sc_banks(const struct SceneOut* o, uint32_t first, uint32_t hue) {
    for (uint32_t bank = 0; bank < 16; ++bank) {
        for (uint32_t i = 1; i < 16; ++i) {
            o->palette(first + bank * 16 + i,
                       SC_RGB(bank * 5 + i * 2 + hue, bank * 3 + 31 - i * 2 + hue * 2, bank * 7 + i + hue * 3));
        }
    }
}

/* A 256-colour palette from `first`: index v has a colour of its own. */
static void sc_palette256(const struct SceneOut* o, uint32_t first, uint32_t hue) {
    for (uint32_t v = 1; v < 256; ++v) {
        o->palette(first + v, SC_RGB((v >> 3) + hue, (v * 5) >> 3, 31 - (v >> 3) + hue));
    }
}

/* Map entry (col, row) of a 32x32 screen block. */
static void sc_entry(const struct SceneOut* o, uint32_t block, uint32_t col, uint32_t row, uint16_t entry) {
    o->vram(block * 0x800 + (row * 32 + col) * 2, entry);
}

static void sc_sprite(const struct SceneOut* o, uint32_t k, uint16_t a0, uint16_t a1, uint16_t a2) {
    o->oam(8 * k, a0);
    o->oam(8 * k + 2, a1);
    o->oam(8 * k + 4, a2);
}

static void sc_group(const struct SceneOut* o, uint32_t g, int16_t pa, int16_t pb, int16_t pc, int16_t pd) {
    o->oam(32 * g + 6, (uint16_t)pa);
    o->oam(32 * g + 14, (uint16_t)pb);
    o->oam(32 * g + 22, (uint16_t)pc);
    o->oam(32 * g + 30, (uint16_t)pd);
}

static void sc_hide_sprites(const struct SceneOut* o) {
    for (uint32_t k = 0; k < 128; ++k) sc_sprite(o, k, 0x0200, 0, 0);
}

/* Rotation/scaling registers of background 2 (n = 2) or 3; reference point
   in 20.8 fixed point, written as two halfwords each. */
static void sc_bg_affine(const struct SceneOut* o, uint32_t n, int16_t pa, int16_t pb, int16_t pc, int16_t pd,
                         int32_t refX, int32_t refY) {
    const uint32_t base = n == 2 ? 0x020 : 0x030;
    o->reg(base + 0, (uint16_t)pa);
    o->reg(base + 2, (uint16_t)pb);
    o->reg(base + 4, (uint16_t)pc);
    o->reg(base + 6, (uint16_t)pd);
    o->reg(base + 8, (uint16_t)((uint32_t)refX & 0xFFFF));
    o->reg(base + 10, (uint16_t)(((uint32_t)refX >> 16) & 0x0FFF));
    o->reg(base + 12, (uint16_t)((uint32_t)refY & 0xFFFF));
    o->reg(base + 14, (uint16_t)(((uint32_t)refY >> 16) & 0x0FFF));
}

/* A rotation map of (16 << size) tiles square at a screen block, entry
   (tx, ty) = f, written two bytes at a time. */
static void sc_affine_map(const struct SceneOut* o, uint32_t block, uint32_t size, uint32_t mul, uint32_t add,
                          uint32_t modulo) {
    const uint32_t tiles = 16u << size;
    for (uint32_t ty = 0; ty < tiles; ++ty) {
        for (uint32_t tx = 0; tx < tiles; tx += 2) {
            uint32_t a = (tx * mul + ty * add) & 255, b = ((tx + 1) * mul + ty * add) & 255;
            while (a >= modulo) a -= modulo;
            while (b >= modulo) b -= modulo;
            o->vram(block * 0x800 + ty * tiles + tx, (uint16_t)(a | (b << 8)));
        }
    }
}

/* ---- The scenes ------------------------------------------------------------- */

/* Mode 0: four 16-colour backgrounds with banks, flips, scroll and all four
   priorities; the rear one opaque. */
static void scene_text16(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(4, 4, 6));
    sc_banks(o, 0, 0);
    for (uint32_t t = 0; t < 8; ++t) sc_tile16(o, 32 * (t + 1), t);
    for (uint32_t row = 0; row < 32; ++row) {
        for (uint32_t col = 0; col < 32; ++col) {
            const uint32_t flips = (col + row) & 3, bank = (col * 3 + row) & 15;
            if (((col + row) & 1) == 0) sc_entry(o, 28, col, row, (uint16_t)(5 | (flips << 10) | (bank << 12)));
            if ((col % 3) == 0) sc_entry(o, 29, col, row, (uint16_t)(7 | (((row >> 1) & 15) << 12)));
            sc_entry(o, 30, col, row, (uint16_t)(((row & 4) ? 3 : 8) | (flips << 10) | (((col >> 2) & 15) << 12)));
            sc_entry(o, 31, col, row, (uint16_t)((((col ^ row) & 1) ? 4 : 2) | (((row >> 2) & 15) << 12)));
        }
    }
    o->reg(0x008, 0x1C00);  /* screen 28, priority 0 */
    o->reg(0x00A, 0x1D01);  /* screen 29, priority 1 */
    o->reg(0x00C, 0x1E02);
    o->reg(0x00E, 0x1F03);
    o->reg(0x010, 13);
    o->reg(0x012, 5);
    o->reg(0x014, 100);
    o->reg(0x016, 200);
    o->reg(0x018, 3);
    o->reg(0x01A, 250);
    o->reg(0x01C, 0xFFF9);
    o->reg(0x01E, 0x0107);
    o->reg(0x000, 0x0F00);
}

/* Mode 0: 256-colour backgrounds. Background 0 is a 512x512 map scrolled
   across both wrap points; background 1 uses character base 3, where tiles
   768 and up lie past the end of VRAM and show nothing. */
static void scene_text256(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(0, 6, 10));
    sc_palette256(o, 0, 0);
    for (uint32_t t = 1; t < 12; ++t) sc_tile256(o, 0x4000 + 64 * t, t, t * 3);
    for (uint32_t block = 0; block < 4; ++block) {
        for (uint32_t row = 0; row < 32; ++row) {
            for (uint32_t col = 0; col < 32; ++col) {
                const uint32_t tile = 1 + ((col + row * 3 + block * 5) % 11);
                sc_entry(o, 24 + block, col, row, (uint16_t)(tile | (((col + block) & 3) << 10) | 0xF000));
            }
        }
    }
    /* Character base 3: tiles 760-767 end exactly at the end of VRAM. */
    for (uint32_t t = 760; t < 768; ++t) sc_tile256(o, 0xC000 + 64 * t, t - 760, t);
    for (uint32_t row = 0; row < 32; ++row) {
        for (uint32_t col = 0; col < 32; ++col) {
            sc_entry(o, 20, col, row, (uint16_t)(((row & 1) ? 0 : 760 + ((col + row) & 15)) | ((col & 1) << 10)));
        }
    }
    o->reg(0x008, 0xD885);  /* 512x512, screen 24, 256 colours, character base 1, priority 1 */
    o->reg(0x00A, 0x148C);  /* screen 20, 256 colours, character base 3, priority 0 */
    o->reg(0x010, 400);
    o->reg(0x012, 430);
    o->reg(0x014, 0x0004);
    o->reg(0x016, 0x0003);
    o->reg(0x000, 0x0300);
}

/* Mode 1: text backgrounds 0 and 1 over a rotated, wrapping 256x256 map on
   background 2 whose reference point is negative. */
static void scene_affine1(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(10, 0, 10));
    sc_banks(o, 0, 9);
    for (uint32_t t = 1; t < 16; ++t) sc_tile256(o, 0x8000 + 64 * t, t, t);
    sc_affine_map(o, 8, 1, 3, 7, 16);
    for (uint32_t t = 0; t < 8; ++t) sc_tile16(o, 32 * (t + 1), t);
    for (uint32_t row = 0; row < 32; ++row) {
        for (uint32_t col = 0; col < 32; ++col) {
            if (row == 2 || row == 17) sc_entry(o, 28, col, row, (uint16_t)(5 | ((col & 3) << 10) | 0x1000));
            if ((col & 7) == 5) sc_entry(o, 29, col, row, (uint16_t)(7 | 0x2000));
        }
    }
    o->reg(0x008, 0x1C00);
    o->reg(0x00A, 0x1D02);
    o->reg(0x00C, 0x6809);  /* 256x256, wrap, screen 8, character base 2, priority 1 */
    sc_bg_affine(o, 2, 222, -128, 128, 222, 0x4000, -0x2300);
    o->reg(0x000, 0x0701);
}

/* Mode 2: background 2 a zoomed 128x128 map without wrap, background 3 a
   512x512 map rotated the other way with wrap, behind it. */
static void scene_affine2(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(2, 12, 2));
    sc_palette256(o, 0, 12);
    for (uint32_t t = 1; t < 16; ++t) sc_tile256(o, 0x4000 * 1 + 64 * t, t, t * 5);
    sc_affine_map(o, 4, 0, 5, 3, 16);   /* 128x128 at 0x2000 */
    sc_affine_map(o, 16, 2, 1, 9, 16);  /* 512x512 at 0x8000, 4 KB of entries */
    o->reg(0x00C, 0x0404);  /* 128x128, no wrap, screen 4, character base 1, priority 0 */
    o->reg(0x00E, 0xB005);  /* 512x512, wrap, screen 16, character base 1, priority 1 */
    sc_bg_affine(o, 2, 160, 0, 0, 160, -20 * 256, -10 * 256);
    sc_bg_affine(o, 3, 300, 40, -40, 300, 100 * 256 + 77, 30 * 256);
    o->reg(0x000, 0x0C02);
}

/* Mode 0, one-dimensional mapping: every shape and size in 16 colours with
   banks and flips, some in 256 colours, sprites entering at the edges and
   ones that are never drawn. */
static void scene_sprites(const struct SceneOut* o) {
    static const uint8_t tilesW[3][4] = {{1, 2, 4, 8}, {2, 4, 4, 8}, {1, 1, 2, 4}};
    static const uint8_t tilesH[3][4] = {{1, 2, 4, 8}, {1, 1, 2, 4}, {2, 4, 4, 8}};
    static const uint8_t posX[12] = {2, 14, 34, 70, 140, 160, 196, 4, 60, 90, 104, 196};
    static const uint8_t posY[12] = {2, 2, 2, 2, 2, 20, 20, 72, 72, 72, 72, 56};
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(8, 8, 8));
    sc_banks(o, 256, 3);
    uint32_t slot = 0;
    uint32_t k = 0;
    for (uint32_t shape = 0; shape < 3; ++shape) {
        for (uint32_t size = 0; size < 4; ++size, ++k) {
            const uint32_t count = tilesW[shape][size] * tilesH[shape][size];
            for (uint32_t t = 0; t < count; ++t) sc_tile16(o, 0x10000 + 32 * (slot + t), (t + k) & 7);
            sc_sprite(o, k, (uint16_t)((shape << 14) | posY[k]),
                      (uint16_t)((size << 14) | ((k & 3) << 12) | posX[k]), (uint16_t)((k << 12) | slot));
            slot += count;
        }
    }
    /* 256 colours: a 32x16 and a flipped 16x32. */
    sc_palette256(o, 256, 20);
    for (uint32_t t = 0; t < 16; ++t) sc_tile256(o, 0x10000 + 32 * (slot + 2 * t), t + 1, t);
    sc_sprite(o, 12, (uint16_t)(0x6000 | 130), (uint16_t)(0x8000 | 10), (uint16_t)slot);
    sc_sprite(o, 13, (uint16_t)(0xA000 | 112), (uint16_t)(0x8000 | 0x3000 | 60), (uint16_t)slot);
    /* Entering at the left (x = 500) and at the top (y = 230), a 64x64 one
       leaving at the right, and two that show nothing: x = 300 and the
       hidden bit. */
    sc_sprite(o, 14, (uint16_t)(0x0000 | 120), (uint16_t)(0x8000 | 500), 0x3000);
    sc_sprite(o, 15, (uint16_t)(0x0000 | 230), (uint16_t)(0x8000 | 120), 0x4000);
    sc_sprite(o, 16, (uint16_t)(0x0000 | 100), (uint16_t)(0xC000 | 200), (uint16_t)(0x5000 | 21));
    sc_sprite(o, 17, (uint16_t)(0x0000 | 100), (uint16_t)(0xC000 | 300), 21);
    sc_sprite(o, 18, (uint16_t)(0x0200 | 100), (uint16_t)(0xC000 | 0), 21);
    /* The object window and mode 3 are invisible. */
    sc_sprite(o, 19, (uint16_t)(0x0800 | 130), (uint16_t)(0x8000 | 150), 21);
    sc_sprite(o, 20, (uint16_t)(0x0C00 | 130), (uint16_t)(0x8000 | 180), 21);
    o->reg(0x000, 0x1040);
}

/* Mode 0, two-dimensional mapping: rotation/scaling sprites (identity,
   rotated, scaled, sheared, double size, 256 colours, mosaic) next to plain
   ones. */
static void scene_sprites_affine(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(0, 0, 8));
    sc_palette256(o, 256, 1);  /* the 16-colour sprites use banks of the same colours */
    /* A 32x32 16-colour picture at tile 0 (rows of the sheet 32 apart) and a
       32x32 256-colour one at tile 8. */
    for (uint32_t ty = 0; ty < 4; ++ty) {
        for (uint32_t tx = 0; tx < 4; ++tx) {
            sc_tile16(o, 0x10000 + 32 * (ty * 32 + tx), tx + ty * 3);
            sc_tile256(o, 0x10000 + 32 * (ty * 32 + 8 + 2 * tx), 1 + ((tx + ty) & 7), tx * 4 + ty);
        }
    }
    sc_group(o, 0, 256, 0, 0, 256);
    sc_group(o, 1, 181, -181, 181, 181);  /* 45 degrees */
    sc_group(o, 2, 128, 0, 0, 96);        /* magnified */
    sc_group(o, 3, 256, 100, 0, 256);     /* sheared */
    sc_group(o, 4, -256, 0, 0, 300);      /* mirrored and squashed */
    /* Plain 32x32 for comparison with the identity one beside it. */
    sc_sprite(o, 0, 0x0000 | 8, (uint16_t)(0x8000 | 8), 0x1000);
    sc_sprite(o, 1, 0x0100 | 8, (uint16_t)(0x8000 | (0 << 9) | 48), 0x1000);
    sc_sprite(o, 2, 0x0300 | 0, (uint16_t)(0x8000 | (1 << 9) | 80), 0x1000);
    sc_sprite(o, 3, 0x0300 | 0, (uint16_t)(0x8000 | (2 << 9) | 150), 0x2000);
    sc_sprite(o, 4, 0x0100 | 80, (uint16_t)(0x8000 | (3 << 9) | 8), 0x1000);
    sc_sprite(o, 5, 0x2100 | 80, (uint16_t)(0x8000 | (1 << 9) | 60), 9);  /* 256 colours, odd tile read as 8 */
    sc_sprite(o, 6, 0x2300 | 70, (uint16_t)(0x8000 | (4 << 9) | 100), 8);
    sc_sprite(o, 7, 0x1100 | 110, (uint16_t)(0x8000 | (0 << 9) | 180), 0x3000);  /* mosaic */
    sc_sprite(o, 8, 0x1000 | 110, (uint16_t)(0x8000 | 200), 0x3000);            /* mosaic ignored */
    sc_sprite(o, 9, 0x2000 | 120, (uint16_t)(0x8000 | 0x1000 | 8), 9);           /* 256, flipped, 2D */
    o->reg(0x04C, 0x0023);
    o->reg(0x000, 0x1000);
}

/* Mode 0: backgrounds of mixed priorities with partial cover, and sprites
   of every priority over and under them. */
static void scene_priority(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(12, 12, 12));
    sc_banks(o, 0, 0);
    sc_banks(o, 256, 15);
    sc_tile16(o, 32, 0);
    sc_tile16(o, 64, 1);
    for (uint32_t row = 0; row < 32; ++row) {
        for (uint32_t col = 0; col < 32; ++col) {
            /* Background n covers a band of columns / rows of its own. */
            if (col >= 2 && col < 12) sc_entry(o, 28, col, row, 0x1000 | 2);
            if (row >= 4 && row < 12) sc_entry(o, 29, col, row, 0x5000 | 2);
            if (col >= 8 && col < 20) sc_entry(o, 30, col, row, 0x9000 | 1);
            if (row >= 8 && row < 16) sc_entry(o, 31, col, row, 0xD000 | 2);
        }
    }
    o->reg(0x008, 0x1C02);  /* background 0 priority 2 */
    o->reg(0x00A, 0x1D00);  /* background 1 priority 0 */
    o->reg(0x00C, 0x1E03);  /* background 2 priority 3 */
    o->reg(0x00E, 0x1F01);  /* background 3 priority 1 */
    /* 64x64 sprites of each priority, overlapping the bands and each other. */
    for (uint32_t t = 0; t < 64; ++t) sc_tile16(o, 0x10000 + 32 * t, (t & 1) ? 6 : 1);
    for (uint32_t p = 0; p < 4; ++p) {
        sc_sprite(o, p, (uint16_t)(20 + p * 20), (uint16_t)(0xC000 | (20 + p * 44)), (uint16_t)(((p * 4 + 1) << 12) | (p << 10)));
        sc_sprite(o, 4 + p, (uint16_t)(100 + p * 4), (uint16_t)(0x8000 | (10 + p * 12)), (uint16_t)(((p * 4 + 2) << 12) | ((3 - p) << 10)));
    }
    o->reg(0x000, 0x1F40);
}

/* Mode 0: alpha blending. Background 0 (first target) over background 1
   and the backdrop (second targets); semi-transparent sprites over them;
   the weights add up past 16 so bright channels saturate. */
static void scene_alpha(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(0, 10, 20));
    sc_banks(o, 0, 2);
    sc_banks(o, 256, 11);
    for (uint32_t t = 0; t < 8; ++t) sc_tile16(o, 32 * (t + 1), t);
    for (uint32_t row = 0; row < 32; ++row) {
        for (uint32_t col = 0; col < 32; ++col) {
            sc_entry(o, 28, col, row, (uint16_t)(((col + row) % 3 == 0 ? 7 : 0) | (((col >> 1) & 15) << 12)));
            if (col < 20) sc_entry(o, 29, col, row, (uint16_t)(6 | (((row >> 1) & 15) << 12)));
            if (row >= 10) sc_entry(o, 30, col, row, (uint16_t)(2 | 0x7000));
        }
    }
    for (uint32_t t = 0; t < 64; ++t) sc_tile16(o, 0x10000 + 32 * t, (t & 3) ? 0 : 6);
    sc_sprite(o, 0, 0x0400 | 40, 0xC000 | 120, 0x3000);  /* semi-transparent, priority 0 */
    sc_sprite(o, 1, 0x0400 | 90, 0xC000 | 20, 0x5C00);   /* semi-transparent, priority 3 */
    sc_sprite(o, 2, 0x0000 | 8, 0xC000 | 170, 0x6000);   /* normal: drawn plainly */
    o->reg(0x008, 0x1C00);
    o->reg(0x00A, 0x1D01);
    o->reg(0x00C, 0x1E02);
    o->reg(0x050, 0x3241);  /* bg0 first; alpha; bg1, sprites, backdrop second */
    o->reg(0x052, 0x090C);  /* 12/16 and 9/16 */
    o->reg(0x000, 0x1700);
}

/* Mode 1: brighten background 0, the rotation background and the backdrop;
   sprites over background 1 (not a first target) stay as they are. */
static void scene_brighten(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(4, 8, 12));
    sc_banks(o, 0, 5);
    sc_banks(o, 256, 9);
    sc_palette256(o, 0, 3);  /* the rotation background's colours, over the banks */
    for (uint32_t t = 0; t < 8; ++t) sc_tile16(o, 32 * (t + 1), t);
    for (uint32_t t = 1; t < 16; ++t) sc_tile256(o, 0x8000 + 64 * t, t, t);
    sc_affine_map(o, 8, 0, 1, 4, 16);
    for (uint32_t row = 0; row < 32; ++row) {
        for (uint32_t col = 0; col < 32; ++col) {
            if (col < 12) sc_entry(o, 28, col, row, (uint16_t)(6 | ((row & 15) << 12)));
            if (row > 14) sc_entry(o, 29, col, row, (uint16_t)(4 | ((col & 15) << 12)));
        }
    }
    for (uint32_t t = 0; t < 64; ++t) sc_tile16(o, 0x10000 + 32 * t, t & 7);
    /* Slots rear to front: backgrounds 2, 1, 3 (not drawn in mode 1), 0. */
    sc_sprite(o, 0, 0x0000 | 30, 0xC000 | 60, 0x2400);  /* priority 1: slot of background 3, plain */
    sc_sprite(o, 1, 0x0000 | 50, 0xC000 | 150, 0x4000); /* priority 0: slot of background 0, brightened */
    o->reg(0x008, 0x1C00);
    o->reg(0x00A, 0x1D01);
    o->reg(0x00C, 0x0809);  /* 128x128 rotation, screen 8, character base 2 */
    sc_bg_affine(o, 2, 200, 60, -60, 200, -30 * 256, 10 * 256);
    o->reg(0x050, 0x00A5);  /* bg0, bg2, backdrop first; brighten */
    o->reg(0x054, 0x0009);
    o->reg(0x000, 0x1701);
}

/* Mode 0: darken backgrounds 1 and 3 and the backdrop, a semi-transparent
   sprite blending over the darkened background 3 (second target). */
static void scene_darken(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(31, 20, 10));
    sc_banks(o, 0, 1);
    sc_banks(o, 256, 4);
    for (uint32_t t = 0; t < 8; ++t) sc_tile16(o, 32 * (t + 1), t);
    for (uint32_t row = 0; row < 32; ++row) {
        for (uint32_t col = 0; col < 32; ++col) {
            sc_entry(o, 31, col, row, (uint16_t)(((col + row) & 1 ? 4 : 2) | ((row & 15) << 12)));
            if (row >= 6 && row < 14) sc_entry(o, 29, col, row, (uint16_t)(8 | ((col & 15) << 12)));
            if (col >= 16) sc_entry(o, 28, col, row, (uint16_t)(3 | 0x3000));
        }
    }
    for (uint32_t t = 0; t < 64; ++t) sc_tile16(o, 0x10000 + 32 * t, (t & 1) ? 6 : 0);
    sc_sprite(o, 0, 0x0400 | 40, 0xC000 | 30, 0x8C00);  /* semi-transparent, priority 3 */
    sc_sprite(o, 1, 0x0000 | 80, 0xC000 | 90, 0x9C00);  /* normal, priority 3: darkened */
    o->reg(0x008, 0x1C00);
    o->reg(0x00A, 0x1D01);
    o->reg(0x00E, 0x1F03);
    o->reg(0x050, 0x08EA);  /* bg1, bg3, backdrop first; darken; bg3 second */
    o->reg(0x052, 0x0808);
    o->reg(0x054, 0x000B);
    o->reg(0x000, 0x1B00);
}

/* Mode 1: mosaic on a scrolled text background, the rotation background and
   a rotation sprite; a plain sprite ignores its mosaic bit. */
static void scene_mosaic(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(6, 0, 0));
    sc_banks(o, 0, 6);
    sc_banks(o, 256, 13);
    sc_palette256(o, 0, 8);
    for (uint32_t t = 0; t < 8; ++t) sc_tile16(o, 32 * (t + 1), t);
    for (uint32_t t = 1; t < 16; ++t) sc_tile256(o, 0x8000 + 64 * t, t, t * 2);
    sc_affine_map(o, 8, 1, 7, 3, 16);
    for (uint32_t row = 0; row < 32; ++row) {
        for (uint32_t col = 0; col < 32; ++col) {
            if (col < 14) sc_entry(o, 28, col, row, (uint16_t)((1 + ((col + row) & 7)) | (((col + row) & 15) << 12)));
        }
    }
    for (uint32_t ty = 0; ty < 4; ++ty) {
        for (uint32_t tx = 0; tx < 4; ++tx) sc_tile16(o, 0x10000 + 32 * (ty * 32 + tx), tx + ty);
    }
    sc_group(o, 0, 200, 50, -50, 200);
    sc_sprite(o, 0, 0x1300 | 60, (uint16_t)(0x8000 | 150), 0x1000);  /* mosaic, rotated, double */
    sc_sprite(o, 1, 0x1000 | 110, (uint16_t)(0x8000 | 20), 0x2000);  /* mosaic bit, plain */
    o->reg(0x008, 0x1C40);  /* mosaic */
    o->reg(0x010, 5);
    o->reg(0x012, 3);
    o->reg(0x00C, 0x6849);  /* 256x256 rotation, wrap, mosaic, screen 8, character base 2, priority 1 */
    sc_bg_affine(o, 2, 256, 0, 0, 256, 7 * 256, -5 * 256);
    o->reg(0x04C, 0x0032);  /* 3 wide, 4 tall */
    o->reg(0x000, 0x1501);
}

/* Mode 3: a direct-colour picture with black, and sprites from the upper
   tile area (numbers 512 and up), priorities against background 2. */
static void scene_mode3(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(31, 0, 31));
    for (uint32_t y = 0; y < 160; ++y) {
        for (uint32_t x = 0; x < 240; ++x) {
            const uint32_t inRing = ((x - 120) * (x - 120) + (y - 80) * (y - 80)) < 2500 &&
                                    ((x - 120) * (x - 120) + (y - 80) * (y - 80)) > 1600;
            o->vram(2 * (y * 240 + x), inRing ? 0 : SC_RGB(x >> 3, y >> 3, (x + y) >> 4));
        }
    }
    sc_banks(o, 256, 2);
    for (uint32_t t = 0; t < 16; ++t) sc_tile16(o, 0x14000 + 32 * t, t);
    sc_sprite(o, 0, 0x0000 | 20, 0x4000 | 20, 0x0000 | 512);   /* priority 0 */
    sc_sprite(o, 1, 0x0000 | 30, 0x4000 | 30, 0x0400 | 516);   /* priority 1 */
    sc_sprite(o, 2, 0x0000 | 40, 0x4000 | 40, 0x0800 | 520);   /* priority 2: behind, not drawn */
    sc_sprite(o, 3, 0x4000 | 60, 0x8000 | 150, 0x1000 | 4);
    o->reg(0x00C, 0x0001);  /* background 2 priority 1 */
    o->reg(0x000, 0x1453);  /* mode 3, frame select (ignored), one-dimensional, bg2, sprites */
}

/* Mode 4: page 1 shown, rotated and scaled. */
static void scene_mode4(const struct SceneOut* o) {
    sc_hide_sprites(o);
    sc_palette256(o, 0, 6);
    o->palette(0, SC_RGB(0, 31, 0));
    for (uint32_t y = 0; y < 160; ++y) {
        for (uint32_t x = 0; x < 240; x += 2) {
            const uint32_t a = ((x >> 2) ^ (y >> 2)) & 31, b = (((x + 1) >> 2) ^ (y >> 2)) & 31;
            o->vram(0xA000 + y * 240 + x, (uint16_t)((a * 8) | ((b * 8) << 8)));
            o->vram(y * 240 + x, 0x0101);  /* page 0: not shown */
        }
    }
    sc_bg_affine(o, 2, 230, 90, -90, 230, 40 * 256, -30 * 256);
    o->reg(0x000, 0x0414);
}

/* Mode 5: the small bitmap in its window, page 0, with a sprite across the
   window's edge and mosaic. */
static void scene_mode5(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(20, 20, 31));
    for (uint32_t y = 0; y < 128; ++y) {
        for (uint32_t x = 0; x < 160; ++x) {
            o->vram(2 * (y * 160 + x), SC_RGB(x >> 2, y >> 2, (x ^ y) >> 3));
            o->vram(0xA000 + 2 * (y * 160 + x), 0x7FFF);
        }
    }
    sc_banks(o, 256, 0);
    for (uint32_t t = 0; t < 16; ++t) sc_tile16(o, 0x14000 + 32 * t, t + 3);
    sc_sprite(o, 0, 0x0000 | 8, 0x8000 | 24, 0x2000);
    o->reg(0x00C, 0x0040);
    o->reg(0x04C, 0x0011);
    o->reg(0x000, 0x1445);
}

/* ---- Display windows (drawn only with the "DisplayWindows" setting) -------- */

/* Two text backgrounds covering the screen (background 0 in front) and four
   sprites across the screen, for the window scenes. */
static void sc_window_layers(const struct SceneOut* o) {
    sc_hide_sprites(o);
    o->palette(0, SC_RGB(3, 3, 9));
    sc_banks(o, 0, 4);
    sc_banks(o, 256, 12);
    for (uint32_t t = 0; t < 8; ++t) sc_tile16(o, 32 * (t + 1), t);
    for (uint32_t row = 0; row < 32; ++row) {
        for (uint32_t col = 0; col < 32; ++col) {
            sc_entry(o, 28, col, row, (uint16_t)((((col + row) & 3) ? 3 : 5) | (((col >> 1) & 15) << 12)));
            sc_entry(o, 29, col, row, (uint16_t)(1 | (((row >> 1) & 15) << 12)));
        }
    }
    for (uint32_t t = 0; t < 64; ++t) sc_tile16(o, 0x10000 + 32 * t, (t & 1) ? 6 : 4);
    for (uint32_t k = 0; k < 4; ++k) {
        sc_sprite(o, k, (uint16_t)(10 + 36 * k), (uint16_t)(0xC000 | (16 + 56 * k)), (uint16_t)((k << 12) | (8 * k)));
    }
    o->reg(0x008, 0x1C00);
    o->reg(0x00A, 0x1D01);
}

/* Window 0 (background 0 only) overlapping window 1 (background 1 and the
   sprites): window 0 wins where they overlap; outside shows everything. */
static void scene_win_overlap(const struct SceneOut* o) {
    sc_window_layers(o);
    o->reg(0x040, (40 << 8) | 130);
    o->reg(0x044, (30 << 8) | 100);
    o->reg(0x042, (90 << 8) | 210);
    o->reg(0x046, (60 << 8) | 140);
    o->reg(0x048, 0x1201);
    o->reg(0x04A, 0x0013);
    o->reg(0x000, 0x7340);
}

/* Window 0 with its left edge right of its right edge and its top below its
   bottom (it covers the four corners), window 1 with edges past the screen
   (it reaches the right and bottom edges). */
static void scene_win_inverted(const struct SceneOut* o) {
    sc_window_layers(o);
    o->reg(0x040, (200 << 8) | 50);
    o->reg(0x044, (120 << 8) | 40);
    o->reg(0x042, (100 << 8) | 250);
    o->reg(0x046, (70 << 8) | 200);
    o->reg(0x048, 0x1102);
    o->reg(0x04A, 0x0010);
    o->reg(0x000, 0x7340);
}

/* The sprite window: a plain and a rotated window-mode sprite show
   background 1 alone through it; outside, background 0 and the sprites. */
static void scene_win_sprite(const struct SceneOut* o) {
    sc_window_layers(o);
    for (uint32_t t = 0; t < 16; ++t) sc_tile16(o, 0x10000 + 32 * (64 + t), (t & 3) == 1 ? 2 : 6);
    sc_group(o, 0, 181, -181, 181, 181);
    sc_sprite(o, 10, (uint16_t)(0x0800 | 60), (uint16_t)(0x8000 | 30), 64);
    sc_sprite(o, 11, (uint16_t)(0x0B00 | 50), (uint16_t)(0x8000 | 140), 64);
    o->reg(0x04A, 0x0211);
    o->reg(0x000, 0x9340);
}

/* Alpha blending of background 0 over background 1 and a semi-transparent
   sprite, with the effects switched off inside window 0 (all layers shown)
   and background 1 hidden inside window 1 (effects on). */
static void scene_win_effects(const struct SceneOut* o) {
    sc_window_layers(o);
    sc_sprite(o, 4, (uint16_t)(0x0400 | 50), (uint16_t)(0xC000 | 60), 0x5000);
    o->reg(0x040, (20 << 8) | 100);
    o->reg(0x044, (20 << 8) | 120);
    o->reg(0x042, (140 << 8) | 230);
    o->reg(0x046, (10 << 8) | 150);
    o->reg(0x048, 0x3D1F);
    o->reg(0x04A, 0x003F);
    o->reg(0x050, 0x3261);  /* bg0, backdrop first; alpha; bg1, sprites, backdrop second */
    o->reg(0x052, 0x0A08);
    o->reg(0x000, 0x7340);
}

typedef void (*SceneFunction)(const struct SceneOut*);
static const SceneFunction Scenes[] = {
    scene_text16,   scene_text256, scene_affine1, scene_affine2, scene_sprites, scene_sprites_affine, scene_priority,
    scene_alpha,    scene_brighten, scene_darken, scene_mosaic,  scene_mode3,   scene_mode4,          scene_mode5,
    scene_win_overlap, scene_win_inverted, scene_win_sprite, scene_win_effects,
};
#define SCENE_COUNT 18
/* The scenes from here on show display windows. */
#define SCENE_FIRST_WINDOWS 14

#endif
