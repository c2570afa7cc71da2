/* The demo's colours, screen layout and save format. Plain C data shared by
   the cartridge and by the tests, which derive the colours they expect on
   screen from these tables rather than from a picture taken earlier. */
#ifndef KORU_DEMO_ART_H
#define KORU_DEMO_ART_H

#define ART_RGB(r, g, b) ((unsigned short)((r) | ((g) << 5) | ((b) << 10)))

/* Background palette banks (16 colours each; entry 0 of a bank is clear). */
enum { BANK_TEXT = 0, BANK_TEXT_HI = 1, BANK_LOGO = 2, BANK_HILLS = 3, BANK_PEAKS = 4, BANK_PANEL = 5 };
/* Sprite palette banks. */
enum { OBANK_BIRD = 0, OBANK_STAR = 1, OBANK_CLOUD = 2 };

/* Text: ink in entry 1, drop shadow in entry 2. */
static const unsigned short PalText[16] = {0, ART_RGB(31, 31, 28), ART_RGB(2, 2, 8)};
static const unsigned short PalTextHi[16] = {0, ART_RGB(31, 27, 8), ART_RGB(8, 2, 0)};
/* The logo: a gold-to-red fill (1-6), a highlight on top edges (7), an
   outline (8) and a drop shadow (9). */
static const unsigned short PalLogo[16] = {
    0, ART_RGB(31, 31, 18), ART_RGB(31, 28, 10), ART_RGB(31, 23, 6), ART_RGB(31, 18, 4),
    ART_RGB(30, 13, 3), ART_RGB(27, 8, 3), ART_RGB(31, 31, 28), ART_RGB(6, 2, 6), ART_RGB(4, 2, 10)};
/* Near hills: a lit edge and five bands of grass getting darker with depth. */
static const unsigned short PalHills[16] = {
    0, ART_RGB(16, 29, 10), ART_RGB(6, 22, 8), ART_RGB(4, 17, 8), ART_RGB(3, 13, 8), ART_RGB(2, 10, 8), ART_RGB(2, 7, 7)};
/* Far mountains (lit face, shaded face, snow, haze at their feet) and the
   stars (5-7). */
static const unsigned short PalPeaks[16] = {
    0, ART_RGB(15, 12, 22), ART_RGB(9, 7, 17), ART_RGB(28, 28, 31), ART_RGB(13, 8, 20),
    ART_RGB(31, 31, 31), ART_RGB(22, 24, 31), ART_RGB(14, 16, 26)};
/* The see-through panel of the rotation scene. */
static const unsigned short PalPanel[16] = {0, ART_RGB(2, 4, 12)};

/* The rotation scene's 256-colour tiles: a chequer of two colours with a
   bright border, at these palette indices. */
#define CHECK_INDEX_A 0x61
#define CHECK_INDEX_B 0x62
#define CHECK_INDEX_EDGE 0x63
static const unsigned short CheckColours[3] = {ART_RGB(31, 19, 6), ART_RGB(9, 4, 17), ART_RGB(31, 30, 20)};
/* Alpha weights of the panel over the rotating background (sixteenths). */
#define PANEL_ALPHA_TOP 10
#define PANEL_ALPHA_BOTTOM 6

/* Sprites. */
static const unsigned short PalBird[16] = {
    0, ART_RGB(3, 2, 6), ART_RGB(29, 8, 8), ART_RGB(31, 16, 12), ART_RGB(31, 28, 20), ART_RGB(31, 22, 2),
    ART_RGB(31, 31, 31), ART_RGB(1, 1, 4), ART_RGB(22, 4, 8), ART_RGB(31, 12, 12)};
static const unsigned short PalStar[16] = {0, ART_RGB(26, 12, 0), ART_RGB(31, 24, 2), ART_RGB(31, 30, 12), ART_RGB(31, 31, 31)};
static const unsigned short PalCloud[16] = {0, ART_RGB(31, 31, 31), ART_RGB(27, 28, 31), ART_RGB(22, 23, 29)};
/* The bird's body colour appears in no other art: the tests find it by it. */
#define BIRD_BODY_INDEX 2

/* Linear blend of two colours, t of n steps from a to b. */
static inline unsigned short ArtMix(unsigned short a, unsigned short b, int t, int n) {
    int r = (a & 31) + ((b & 31) - (a & 31)) * t / n;
    int g = ((a >> 5) & 31) + (((b >> 5) & 31) - ((a >> 5) & 31)) * t / n;
    int bl = ((a >> 10) & 31) + (((b >> 10) & 31) - ((a >> 10) & 31)) * t / n;
    return ART_RGB(r, g, bl);
}

/* The title's sunset sky, one backdrop colour per line (0-160; the entry
   for line 160 is copied but never shown). */
static inline unsigned short SkyColour(int line) {
    static const short stop_line[5] = {0, 50, 90, 122, 160};
    static const unsigned short stop_colour[5] = {
        ART_RGB(2, 2, 10), ART_RGB(8, 4, 18), ART_RGB(22, 8, 18), ART_RGB(31, 16, 10), ART_RGB(31, 26, 12)};
    int i = 0;
    while (i < 3 && line >= stop_line[i + 1]) ++i;
    return ArtMix(stop_colour[i], stop_colour[i + 1], line - stop_line[i], stop_line[i + 1] - stop_line[i]);
}

/* The picture scene: 128 colours in a loop that the palette cycles through. */
#define CYCLE_COLOURS 128
static inline unsigned short CycleColour(int i) {
    static const unsigned short stop[8] = {
        ART_RGB(2, 0, 10), ART_RGB(0, 10, 24), ART_RGB(6, 26, 30), ART_RGB(28, 31, 31),
        ART_RGB(31, 20, 24), ART_RGB(24, 6, 20), ART_RGB(10, 2, 16), ART_RGB(4, 0, 8)};
    i &= CYCLE_COLOURS - 1;
    return ArtMix(stop[i >> 4], stop[((i >> 4) + 1) & 7], i & 15, 16);
}
/* Text drawn into the picture uses these two palette indices. */
#define PICTURE_INK 241
#define PICTURE_SHADOW 242

/* Screen layout in 8x8 cells. */
#define TITLE_SUBTITLE_ROW 8
#define TITLE_PROMPT_ROW 10
#define TITLE_COUNTER_ROW 17
#define TITLE_HELP_ROW 18
#define PICTURE_CAPTION_ROW 1
#define PICTURE_FOOTER_ROW 18
#define ROTATION_CAPTION_ROW 1
#define PANEL_FIRST_ROW 14
#define PANEL_ROWS 5

static const char TextSubtitle[] = "GAME BOY ADVANCE EMULATOR";
static const char TextHelp[] = "D-PAD: FLY  A/B: SCENES";
static const char TextPictureCaption[] = "MODE 4 BITMAP";
static const char TextPictureFooter[] = "PALETTE CYCLED BY DMA";
static const char TextRotationCaption[] = "ROTATION AND SCALING";
/* Column where a text of n characters is centred on the 30-cell screen. */
static inline int ArtCentre(int n) { return (30 - n) / 2; }

/* The bird that the player flies: where it starts and how fast it moves. */
#define PLAYER_START_X 40
#define PLAYER_START_Y 84
#define PLAYER_SPEED 2

/* Battery SRAM: "KORU", then how many times the demo was started (32-bit,
   little-endian), then a check byte, the sum of the eight bytes before it
   plus 0x5A. */
#define SAVE_MAGIC "KORU"
#define SAVE_COUNT_OFFSET 4
#define SAVE_CHECK_OFFSET 8
static inline unsigned char SaveCheck(const volatile unsigned char* save) {
    unsigned sum = 0x5A;
    for (int i = 0; i < SAVE_CHECK_OFFSET; ++i) sum += save[i];
    return (unsigned char)sum;
}

#endif
