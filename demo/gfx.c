/* The demo's art, all of it made at start-up: the font's tiles, the big
   logo, two landscapes for the parallax, the sprites from small pixel
   pictures, and the logo's ripple table. Everything that a scene may have to
   load again is kept in External Working RAM and copied by DMA. */
#include "demo.h"

/* ---- Sprites ---------------------------------------------------------- */

/* The bird in three wing positions, and a star for the rotating sprites.
   Letters are palette entries (see PalBird and PalStar). */
static const char BirdArt[3][16][17] = {
    {"................", "..kk............", ".kmdk...........", ".kmddk..kkkk....",
     "..kmddkkllllk...", "..kmdddkllwwlk..", "...kmddkllwpwk..", "kk..kmdrrrrwwkkk",
     "kdk..kkrrrrrkyyk", "kddkkrrrrrrrrkkk", ".kdrrrrrrrrrrk..", "..kkrrrccccrrk..",
     "....krcccccrk...", ".....kkccckk....", ".......kkkk.....", "................"},
    {"................", "................", "................", "........kkkk....",
     "......kkllllk...", ".....kllllwwlk..", "....krlllwpwk...", "kk..krrrrrwwkkk.",
     "kdkkkkkrrrrrkyyk", "kdkmmmmdkrrrrkkk", ".kkdddddkrrrrk..", "..kkkkkkrccrrk..",
     "....krcccccrk...", ".....kkccckk....", ".......kkkk.....", "................"},
    {"................", "................", "................", "........kkkk....",
     "......kkllllk...", ".....kllllwwlk..", "....krlllwpwk...", "kk..krrrrrwwkkk.",
     "kdk.krrrrrrrkyyk", "kddkkrrrrrrrrkkk", ".kdkmmmkrrrrrk..", "..kmdddkcccrrk..",
     "..kmddkcccccrk..", "...kmdkkccckk...", "....kkk.kkkk....", "................"},
};
static const char BirdLetters[] = ".krlcywpdm";

/* The left half of the star; the right half mirrors it. */
static const char StarArt[16][9] = {
    ".......o", "......og", "......og", ".....ogg", ".....ogs", "ooooogss", "oggggsss", ".ogggsWW",
    "..oggsWW", "...oggss", "...ogggg", "..ogggog", "..oggo.o", ".oggo...", ".ogo....", ".oo.....",
};
static const char StarLetters[] = ".ogsW";

static int LetterIndex(const char* letters, char c) {
    for (int i = 0; letters[i]; ++i)
        if (letters[i] == c) return i;
    return 0;
}

/* Writes one 4-bit pixel of a sprite laid out as one-dimensional tiles. */
static void PutObjPixel(u32* tiles, int width, int x, int y, int colour) {
    const int tile = (y >> 3) * (width >> 3) + (x >> 3);
    u32* row = &tiles[tile * 8 + (y & 7)];
    const int shift = (x & 7) * 4;
    *row = (*row & ~(15u << shift)) | ((u32)colour << shift);
}

static u32 SpriteScratch[32 * 8];

static void ClearScratch(void) { BiosCpuFastSet(&(u32){0}, SpriteScratch, FASTSET_FILL | (32 * 8)); }

/* A cloud: a few overlapping round puffs on a flat base, white on top and
   shaded below. */
static int CloudColour(int x, int y) {
    static const s8 puff[5][3] = {{13, 20, 9}, {25, 14, 11}, {38, 12, 10}, {49, 18, 9}, {57, 23, 6}};
    if (y > 29) return 0;
    int inside = 0;
    for (int i = 0; i < 5; ++i) {
        const int dx = x - puff[i][0], dy = y - puff[i][1];
        if (dx * dx + dy * dy <= puff[i][2] * puff[i][2]) inside = 1;
    }
    if (!inside) return 0;
    if (y > 24) return 3;
    if (y > 19 && ((x + y) & 1)) return 3;
    return y > 17 ? 2 : 1;
}

static void BuildSprites(void) {
    for (int f = 0; f < 3; ++f) {
        ClearScratch();
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) PutObjPixel(SpriteScratch, 16, x, y, LetterIndex(BirdLetters, BirdArt[f][y][x]));
        Dma3Copy(SpriteScratch, OBJ_TILES + (OBJ_TILE_BIRD - OBJ_FIRST_TILE + 4 * f) * 16, 32, DMA_32);
    }
    ClearScratch();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const char c = x < 8 ? StarArt[y][x] : StarArt[y][15 - x];
            PutObjPixel(SpriteScratch, 16, x, y, LetterIndex(StarLetters, c));
        }
    Dma3Copy(SpriteScratch, OBJ_TILES + (OBJ_TILE_STAR - OBJ_FIRST_TILE) * 16, 32, DMA_32);
    ClearScratch();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) PutObjPixel(SpriteScratch, 64, x, y, CloudColour(x, y));
    Dma3Copy(SpriteScratch, OBJ_TILES + (OBJ_TILE_CLOUD - OBJ_FIRST_TILE) * 16, 32 * 8, DMA_32);

    LoadPalette(OBJ_PALETTE + 16 * OBANK_BIRD, PalBird, 16);
    LoadPalette(OBJ_PALETTE + 16 * OBANK_STAR, PalStar, 16);
    LoadPalette(OBJ_PALETTE + 16 * OBANK_CLOUD, PalCloud, 16);
}

/* ---- Font and text ---------------------------------------------------- */

EWRAM_DATA static u32 FontTiles[(FONT_TILE_PANEL + 1) * 8];

/* Ink in colour 1, a drop shadow one pixel down and right in colour 2. */
static void BuildFont(void) {
    for (int g = 0; g < FONT_GLYPHS; ++g)
        for (int y = 0; y < 8; ++y) {
            u32 row = 0;
            for (int x = 0; x < 8; ++x) {
                const int c = FontInk(g, x, y) ? 1 : FontInk(g, x - 1, y - 1) ? 2 : 0;
                row |= (u32)c << (4 * x);
            }
            FontTiles[g * 8 + y] = row;
        }
    for (int y = 0; y < 8; ++y) FontTiles[FONT_TILE_PANEL * 8 + y] = 0x11111111;
}

void LoadPalette(volatile u16* dst, const u16* colours, int count) { Dma3Copy(colours, dst, count, 0); }

void LoadFont(void) {
    Dma3Copy(FontTiles, CHAR_BLOCK(0), (FONT_TILE_PANEL + 1) * 8, DMA_32);
    LoadPalette(PALETTE + 16 * BANK_TEXT, PalText, 16);
    LoadPalette(PALETTE + 16 * BANK_TEXT_HI, PalTextHi, 16);
}

void ClearMap(int screen_block) { BiosCpuFastSet(&(u32){0}, SCREEN_BLOCK(screen_block), FASTSET_FILL | 512); }

void DrawText(int screen_block, int col, int row, const char* text, int bank) {
    volatile u16* map = SCREEN_BLOCK(screen_block) + row * 32 + col;
    for (; *text; ++text) *map++ = (u16)(FontGlyph(*text) | (bank << 12));
}

/* Decimal digits by the BIOS's division, called from THUMB code. */
int FormatNumber(char* out, u32 value) {
    char digits[10];
    int n = 0;
    do {
        s32 rem;
        value = (u32)BiosDiv((s32)value, 10, &rem);
        digits[n++] = (char)('0' + rem);
    } while (value && n < 10);
    for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    out[n] = 0;
    return n;
}

void DrawNumber(int screen_block, int col, int row, u32 value, int bank) {
    char text[11];
    FormatNumber(text, value);
    DrawText(screen_block, col, row, text, bank);
}

/* ---- The logo ---------------------------------------------------------- */

/* "KORU" from the font at four times its size: letters 20x28 pixels, 24
   apart, inside a 104x40 area of 13x5 tiles. */
#define LOGO_TILES_WIDE 13
#define LOGO_TILES_HIGH 5
#define LOGO_LEFT 4
#define LOGO_TOP 2
EWRAM_DATA static u32 LogoTiles[(1 + LOGO_TILES_WIDE * LOGO_TILES_HIGH) * 8];

/* The letters' ink as one byte a pixel, worked out once: the colouring
   below looks at every pixel's neighbours. */
#define LOGO_WIDTH (LOGO_TILES_WIDE * 8)
#define LOGO_HEIGHT (LOGO_TILES_HIGH * 8)
static u8 LogoMask[LOGO_HEIGHT][LOGO_WIDTH];

static void BuildLogoMask(void) {
    static const char word[] = "KORU";
    for (int letter = 0; letter < 4; ++letter) {
        const int g = FontGlyph(word[letter]);
        for (int y = 0; y < 28; ++y)
            for (int x = 0; x < 20; ++x)
                LogoMask[LOGO_TOP + y][LOGO_LEFT + letter * 24 + x] = (u8)FontInk(g, FONT_LEFT + x / 4, y / 4);
    }
}

IWRAM_CODE static int LogoInk(int x, int y) {
    if (x < 0 || y < 0 || x >= LOGO_WIDTH || y >= LOGO_HEIGHT) return 0;
    return LogoMask[y][x];
}

IWRAM_CODE static int LogoColour(int x, int y) {
    if (LogoInk(x, y)) {
        if (!LogoInk(x, y - 1)) return 7;
        const int shade = 1 + (y - LOGO_TOP) * 6 / 28;
        return shade > 6 ? 6 : shade;
    }
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (LogoInk(x + dx, y + dy)) return 8;
    if (LogoInk(x - 2, y - 2) || LogoInk(x - 3, y - 3)) return 9;
    return 0;
}

static void BuildLogo(void) {
    BuildLogoMask();
    for (int ty = 0; ty < LOGO_TILES_HIGH; ++ty)
        for (int tx = 0; tx < LOGO_TILES_WIDE; ++tx)
            for (int y = 0; y < 8; ++y) {
                u32 row = 0;
                for (int x = 0; x < 8; ++x) row |= (u32)LogoColour(tx * 8 + x, ty * 8 + y) << (4 * x);
                LogoTiles[(1 + ty * LOGO_TILES_WIDE + tx) * 8 + y] = row;
            }
}

/* Background 1 on character block 1 and screen block 29; the logo is
   centred by the horizontal scroll that the ripple table carries. */
#define LOGO_MAP_COL 8
#define LOGO_MAP_ROW 2
void LoadLogo(void) {
    Dma3Copy(LogoTiles, CHAR_BLOCK(1), sizeof LogoTiles / 4, DMA_32);
    LoadPalette(PALETTE + 16 * BANK_LOGO, PalLogo, 16);
    ClearMap(29);
    volatile u16* map = SCREEN_BLOCK(29);
    for (int ty = 0; ty < LOGO_TILES_HIGH; ++ty)
        for (int tx = 0; tx < LOGO_TILES_WIDE; ++tx)
            map[(LOGO_MAP_ROW + ty) * 32 + LOGO_MAP_COL + tx] = (u16)((1 + ty * LOGO_TILES_WIDE + tx) | (BANK_LOGO << 12));
}

/* Horizontal scroll of background 1 for each line, 256 phases deep: the
   logo's letters sway in a travelling wave. The letters span 4..96 of the
   area, so a scroll of -(120 - 50 - 64) centres them. */
u16 LogoRipple[256 + 161];
void BuildRipple(int amplitude) {
    const int centre = -(120 - 50 - LOGO_MAP_COL * 8);
    for (int i = 0; i < 256 + 161; ++i) LogoRipple[i] = (u16)(centre + ((amplitude * Sin(i * 4)) >> 12));
}

/* ---- Landscapes --------------------------------------------------------- */

/* A band of unique tiles, 32 wide and `rows` tall, from a pixel function of
   the 256-pixel-wide layer; rows above the band use tile 0 (clear) and rows
   below it a solid tile of colour `below`. */
typedef struct {
    u32* tiles;
    u16* map;
    int first_row, rows, bank, below;
    int (*colour)(int x, int y);
} Band;

IWRAM_CODE static void BuildBand(const Band* b) {
    const int solid = 1 + 32 * b->rows;
    for (int r = 0; r < b->rows; ++r)
        for (int c = 0; c < 32; ++c)
            for (int y = 0; y < 8; ++y) {
                u32 row = 0;
                for (int x = 0; x < 8; ++x) row |= (u32)b->colour(c * 8 + x, (b->first_row + r) * 8 + y) << (4 * x);
                b->tiles[(1 + r * 32 + c) * 8 + y] = row;
            }
    for (int y = 0; y < 8; ++y) b->tiles[solid * 8 + y] = 0x11111111u * (u32)b->below;
    for (int r = 0; r < 32; ++r)
        for (int c = 0; c < 32; ++c) {
            int tile = 0;
            if (r >= b->first_row + b->rows) tile = solid;
            else if (r >= b->first_row) tile = 1 + (r - b->first_row) * 32 + c;
            b->map[r * 32 + c] = (u16)(tile ? tile | (b->bank << 12) : 0);
        }
}

/* Both landscapes repeat every 256 pixels; their outlines are worked out
   once per column, so that colouring a pixel is a few comparisons. */
static u8 HillTop[256];
static u8 PeakTop[256], PeakSnow[256], PeakLit[256];

/* Near hills: rolling curves, a lit edge and bands of darker green with a
   dithered seam between bands. */
static void BuildHillOutline(void) {
    for (int x = 0; x < 256; ++x)
        HillTop[x] = (u8)(128 + ((10 * Sin(x)) >> 12) + ((5 * Sin(3 * x + 40)) >> 12) + ((2 * Sin(7 * x + 10)) >> 12));
}

IWRAM_CODE static int HillColour(int x, int y) {
    const int depth = y - HillTop[x & 255];
    if (depth < 0) return 0;
    if (depth < 2) return 1;
    /* (d * 43) >> 8 is d / 6 for the depths a band reaches. */
    const int d = depth - 2, q = (d * 43) >> 8;
    int band = 2 + q;
    if (d - 6 * q == 5 && ((x + y) & 1)) ++band;
    return band > 6 ? 6 : band;
}

/* Far mountains: five peaks lit from the left with snow on their tops, and
   a haze that thickens toward their feet. */
static void BuildPeakOutline(void) {
    static const u8 peak_x[5] = {20, 70, 112, 160, 215};
    static const u8 peak_top[5] = {80, 94, 74, 88, 84};
    for (int x = 0; x < 256; ++x) {
        int best = 1000, lit = 0, top = 0;
        for (int i = 0; i < 5; ++i) {
            int dx = x - peak_x[i];
            if (dx > 128) dx -= 256;
            if (dx < -128) dx += 256;
            const int h = peak_top[i] + (5 * (dx < 0 ? -dx : dx)) / 4;
            if (h < best) best = h, lit = dx < 0, top = peak_top[i];
        }
        PeakTop[x] = (u8)(best + ((Sin(x * 23) * 2) >> 12));
        PeakSnow[x] = (u8)(top + 7 + ((Sin(x * 40) * 2) >> 12));
        PeakLit[x] = (u8)lit;
    }
}

IWRAM_CODE static int PeakColour(int x, int y) {
    x &= 255;
    if (y < PeakTop[x]) return 0;
    if (y < PeakSnow[x]) return 3;
    if (y > 120 || (y > 114 && ((x + y) & 1) && y - 114 > (x & 3))) return 4;
    return PeakLit[x] ? 1 : 2;
}

#define HILL_FIRST_ROW 14
#define HILL_ROWS 6
#define PEAK_FIRST_ROW 9
#define PEAK_ROWS 7
EWRAM_DATA static u32 HillTiles[(2 + 32 * HILL_ROWS) * 8];
EWRAM_DATA static u16 HillMap[32 * 32];
EWRAM_DATA static u32 PeakTiles[(2 + 32 * PEAK_ROWS + 3) * 8];
EWRAM_DATA static u16 PeakMap[32 * 32];

/* Three star tiles (after the band and its solid tile) scattered over the
   sky rows of the mountains' map. */
static void AddStars(void) {
    const int first = 2 + 32 * PEAK_ROWS;
    for (int s = 0; s < 3; ++s)
        for (int y = 0; y < 8; ++y) PeakTiles[(first + s) * 8 + y] = 0;
    PeakTiles[first * 8 + 3] = 5u << 12;                                       /* a bright dot */
    PeakTiles[(first + 1) * 8 + 5] = 6u << 20;                                 /* a blue dot */
    PeakTiles[(first + 2) * 8 + 1] = 7u << 8;                                  /* a faint dot */
    PeakTiles[(first + 2) * 8 + 2] = (7u << 4) | (5u << 8) | (7u << 12);       /* a twinkle */
    PeakTiles[(first + 2) * 8 + 3] = 7u << 8;
    u32 seed = 0x2F6E2B1u;
    for (int i = 0; i < 40; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int r = (int)((seed >> 8) % PEAK_FIRST_ROW), c = (int)((seed >> 16) & 31);
        PeakMap[r * 32 + c] = (u16)((first + (int)((seed >> 28) % 3)) | (BANK_PEAKS << 12));
    }
}

static void BuildLandscape(void) {
    const Band hills = {HillTiles, HillMap, HILL_FIRST_ROW, HILL_ROWS, BANK_HILLS, 6, HillColour};
    const Band peaks = {PeakTiles, PeakMap, PEAK_FIRST_ROW, PEAK_ROWS, BANK_PEAKS, 4, PeakColour};
    BuildHillOutline();
    BuildPeakOutline();
    BuildBand(&hills);
    BuildBand(&peaks);
    AddStars();
}

/* Hills: background 2 on character block 2, screen block 30; mountains:
   background 3 on character block 3, screen block 31. */
void LoadLandscape(void) {
    Dma3Copy(HillTiles, CHAR_BLOCK(2), sizeof HillTiles / 4, DMA_32);
    Dma3Copy(HillMap, SCREEN_BLOCK(30), 512, DMA_32);
    Dma3Copy(PeakTiles, CHAR_BLOCK(3), sizeof PeakTiles / 4, DMA_32);
    Dma3Copy(PeakMap, SCREEN_BLOCK(31), 512, DMA_32);
    LoadPalette(PALETTE + 16 * BANK_HILLS, PalHills, 16);
    LoadPalette(PALETTE + 16 * BANK_PEAKS, PalPeaks, 16);
}

void BuildArt(void) {
    BuildSprites();
    BuildFont();
    BuildLogo();
    BuildLandscape();
    BuildRipple(2);
}
