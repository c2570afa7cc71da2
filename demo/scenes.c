/* The demo's three scenes and the moves between them:
     0 title:    text backgrounds in parallax under a sunset sky drawn line by
                 line by DMA, the rippling logo, see-through clouds, rotating
                 stars, the start counter;
     1 picture:  a mode 4 bitmap whose palette DMA cycles, revealed through
                 a mosaic;
     2 rotation: a rotating, zooming background behind an alpha-blended
                 panel.
   The bird flies in all of them. Scenes change through white: the screen
   brightens fully, the next scene loads, then it fades back in. The very
   first scene fades in from black. */
#include "demo.h"

enum { SCENE_TITLE, SCENE_PICTURE, SCENE_ROTATION, SCENE_COUNT };

static int Scene, NextScene;
static u32 SceneTime;
static int FadeLevel = 16, FadeDir, FadeSlow;
static u16 FadeKind = BLEND_DARKEN;
static u16 SceneBlend, SceneAlpha;
static s32 BirdX = PLAYER_START_X, BirdY = PLAYER_START_Y;
static int BirdLeft;
static int PictureReady;

static u16 SkyLines[161];
EWRAM_DATA static u16 CycleLoop[2 * CYCLE_COLOURS];

/* Sprite numbers. */
#define SPRITE_BIRD 0
#define SPRITE_STARS 1 /* 1-4, rotation groups 0-3 */
#define STAR_COUNT 4
#define SPRITE_CLOUDS 5 /* 5-8 */
#define CLOUD_COUNT 4

/* ---- Shared pieces ----------------------------------------------------- */

static void ApplyBlend(void) {
    if (FadeLevel > 0) {
        REG_BLDCNT = (u16)(FadeKind | LAYERS_ALL | (SceneBlend & 0x3F00));
        REG_BLDY = (u16)FadeLevel;
    } else {
        REG_BLDCNT = SceneBlend;
        REG_BLDY = 0;
    }
    REG_BLDALPHA = SceneAlpha;
}

static void StepBird(void) {
    int dx = 0, dy = 0;
    if (KeysHeld & KEY_LEFT) dx -= PLAYER_SPEED;
    if (KeysHeld & KEY_RIGHT) dx += PLAYER_SPEED;
    if (KeysHeld & KEY_UP) dy -= PLAYER_SPEED;
    if (KeysHeld & KEY_DOWN) dy += PLAYER_SPEED;
    BirdX += dx;
    BirdY += dy;
    if (BirdX < 0) BirdX = 0;
    if (BirdX > 240 - 16) BirdX = 240 - 16;
    if (BirdY < 0) BirdY = 0;
    if (BirdY > 160 - 16) BirdY = 160 - 16;
    if (dx) BirdLeft = dx < 0;
    /* Wings beat faster while flying: frames up, level, down, level. */
    static const u8 wing[4] = {0, 1, 2, 1};
    const int moving = dx || dy;
    const int frame = wing[(FrameCount >> (moving ? 2 : 3)) & 3];
    const int bob = moving ? 0 : (Sin((s32)FrameCount * 4) * 2) >> 12;
    PlaceSprite(SPRITE_BIRD, BirdX, BirdY + bob, 0, (u16)(OBJ_SIZE(1) | (BirdLeft ? OBJ_HFLIP : 0)),
                (u16)((OBJ_TILE_BIRD + 4 * frame) | OBJ_PRIO(0) | OBJ_BANK(OBANK_BIRD)));
}

/* Four stars circling an ellipse, each turning and pulsing on its own. The
   rotation and scale of each come from the BIOS (ObjAffineSet), written
   straight into the sprite attributes' rotation groups. */
static void StepStars(int cx, int cy, int rx, int ry) {
    ObjAffineSource source[STAR_COUNT];
    for (int i = 0; i < STAR_COUNT; ++i) {
        const s32 a = (s32)SceneTime + i * 64;
        const s32 x = cx + ((Cos(a) * rx) >> 12), y = cy + ((Sin(a) * ry) >> 12);
        const s32 zoom = 256 + ((Sin((s32)SceneTime * 3 + i * 40) * 64) >> 12); /* 0.75 to 1.25 */
        const s16 inverse = (s16)BiosDiv(65536, zoom, 0);
        source[i].sx = source[i].sy = inverse;
        source[i].angle = (u16)(SceneTime * ((i & 1) ? 700u : -500u));
        source[i].pad = 0;
        PlaceSprite(SPRITE_STARS + i, x - 16, y - 16, OBJ_AFFINE | OBJ_DOUBLE, (u16)(OBJ_GROUP(i) | OBJ_SIZE(1)),
                    (u16)(OBJ_TILE_STAR | OBJ_PRIO(0) | OBJ_BANK(OBANK_STAR)));
    }
    BiosObjAffineSet(source, &Oam[0].affine, STAR_COUNT, 8);
}

/* Also background 2's matrix and reference point: the bitmap modes draw
   their bitmap through them too, so the picture entered after the rotation
   would otherwise show turned and off the screen, as the rotation left it. */
static void ResetBackgrounds(void) {
    for (int n = 0; n < 4; ++n) {
        REG_BGHOFS(n) = 0;
        REG_BGVOFS(n) = 0;
    }
    REG_BG2PA = 0x100;
    REG_BG2PB = 0;
    REG_BG2PC = 0;
    REG_BG2PD = 0x100;
    REG_BG2X = 0;
    REG_BG2Y = 0;
    REG_MOSAIC = 0;
}

/* ---- Title --------------------------------------------------------------- */

static void EnterTitle(void) {
    LoadFont();
    LoadLogo();
    LoadLandscape();
    ClearMap(28);
    DrawText(28, ArtCentre(sizeof TextSubtitle - 1), TITLE_SUBTITLE_ROW, TextSubtitle, BANK_TEXT);
    DrawText(28, ArtCentre(11), TITLE_PROMPT_ROW, "PRESS START", BANK_TEXT_HI);
    char line[32] = "STARTED ";
    int n = 8 + FormatNumber(line + 8, StartCount);
    const char* tail = StartCount == 1 ? " TIME" : " TIMES";
    while (*tail) line[n++] = *tail++;
    line[n] = 0;
    DrawText(28, ArtCentre(n), TITLE_COUNTER_ROW, line, BANK_TEXT);
    DrawText(28, ArtCentre(sizeof TextHelp - 1), TITLE_HELP_ROW, TextHelp, BANK_TEXT);

    REG_BG0CNT = BG_PRIO(0) | BG_CHAR(0) | BG_SCREEN(28);
    REG_BG1CNT = BG_PRIO(1) | BG_CHAR(1) | BG_SCREEN(29);
    REG_BG2CNT = BG_PRIO(2) | BG_CHAR(2) | BG_SCREEN(30);
    REG_BG3CNT = BG_PRIO(3) | BG_CHAR(3) | BG_SCREEN(31);
    ResetBackgrounds();
    HblankSky = SkyLines;
    HblankRipple = LogoRipple;
    SceneBlend = BLEND_BOTTOM(LAYER_BG(3) | LAYER_BACKDROP);
    SceneAlpha = 16 << 8;
    REG_DISPCNT = DISP_MODE(0) | DISP_BG(0) | DISP_BG(1) | DISP_BG(2) | DISP_BG(3) | DISP_OBJ | DISP_OBJ_1D;
}

static void StepTitle(void) {
    /* Parallax: the hills pass four times as fast as the mountains. */
    REG_BGHOFS(2) = (u16)SceneTime;
    REG_BGHOFS(3) = (u16)(SceneTime >> 2);

    /* The prompt glows, the stars of the sky twinkle. */
    PALETTE[16 * BANK_TEXT_HI + 1] = ArtMix(ART_RGB(20, 8, 0), PalTextHi[1], (Sin((s32)SceneTime * 4) + 4096) >> 9, 16);
    if (SceneTime % 12 == 0) {
        const int k = (int)(SceneTime / 12) % 3;
        for (int i = 0; i < 3; ++i) PALETTE[16 * BANK_PEAKS + 5 + i] = PalPeaks[5 + (i + k) % 3];
    }

    /* Clouds drift at their own speeds; they appear once the fade is over
       and grow from clear to half see-through. */
    static const u8 cloud_y[CLOUD_COUNT] = {14, 34, 22, 40};
    static const u8 cloud_speed[CLOUD_COUNT] = {3, 5, 2, 4};
    static const u16 cloud_start[CLOUD_COUNT] = {40, 170, 250, 100};
    if (FadeLevel > 0) {
        HideSprites(SPRITE_CLOUDS, SPRITE_CLOUDS + CLOUD_COUNT - 1);
    } else {
        for (int i = 0; i < CLOUD_COUNT; ++i) {
            const s32 x = 240 - (s32)((SceneTime * cloud_speed[i] / 8 + cloud_start[i]) % 304);
            PlaceSprite(SPRITE_CLOUDS + i, x, cloud_y[i], OBJ_BLEND | OBJ_WIDE, OBJ_SIZE(3),
                        (u16)(OBJ_TILE_CLOUD | OBJ_PRIO(3) | OBJ_BANK(OBANK_CLOUD)));
        }
        const int alpha = SceneAlpha & 31;
        if (alpha < 8 && (SceneTime & 1)) SceneAlpha = (u16)((alpha + 1) | ((16 - alpha - 1) << 8));
    }
    StepStars(120, 38, 84, 22);
}

/* ---- Picture ----------------------------------------------------------------- */

static void DrawPictureText(int col, int row, const char* text) {
    for (; *text; ++text, ++col) {
        const int g = FontGlyph(*text);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                u8* p = &Picture[(row * 8 + y) * PICTURE_WIDTH + col * 8 + x];
                if (FontInk(g, x, y)) *p = PICTURE_INK;
                else if (FontInk(g, x - 1, y - 1)) *p = PICTURE_SHADOW;
            }
    }
}

static void EnterPicture(void) {
    if (!PictureReady) {
        DrawPicture(Picture);
        DrawPictureText(ArtCentre(sizeof TextPictureCaption - 1), PICTURE_CAPTION_ROW, TextPictureCaption);
        DrawPictureText(ArtCentre(sizeof TextPictureFooter - 1), PICTURE_FOOTER_ROW, TextPictureFooter);
        PictureReady = 1;
    }
    Dma3Copy(Picture, VRAM, sizeof Picture / 4, DMA_32);
    PALETTE[PICTURE_INK] = PalText[1];
    PALETTE[PICTURE_SHADOW] = PalText[2];
    Dma3Copy(CycleLoop, PALETTE, CYCLE_COLOURS, 0);
    ResetBackgrounds();
    REG_BG2CNT = BG_PRIO(0) | BG_MOSAIC;
    SceneBlend = 0;
    SceneAlpha = 0;
    REG_DISPCNT = DISP_MODE(4) | DISP_BG(2) | DISP_OBJ | DISP_OBJ_1D;
}

static void StepPicture(void) {
    Dma3Copy(&CycleLoop[SceneTime & (CYCLE_COLOURS - 1)], PALETTE, CYCLE_COLOURS, 0);
    /* The picture sharpens out of big blocks while it fades in. */
    const int m = FadeDir < 0 ? FadeLevel * 15 / 16 : 0;
    REG_MOSAIC = (u16)(m | (m << 4));
    StepStars(120, 80, 96, 20);
}

/* ---- Rotation -------------------------------------------------------------- */

/* Sixteen-pixel squares of two colours, each made of 2x2 tiles of 256
   colours so that only the square's top and left edges carry the border. */
static void LoadChequer(void) {
    volatile u32* tiles = (volatile u32*)CHAR_BLOCK(1);
    for (int colour = 0; colour < 2; ++colour)
        for (int part = 0; part < 4; ++part) {
            volatile u32* tile = tiles + (1 + colour * 4 + part) * 16;
            const int fill = colour ? CHECK_INDEX_B : CHECK_INDEX_A;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; x += 4) {
                    u32 word = 0;
                    for (int i = 0; i < 4; ++i) {
                        const int edge = (y == 0 && part < 2) || (x + i == 0 && (part & 1) == 0);
                        word |= (u32)(edge ? CHECK_INDEX_EDGE : fill) << (8 * i);
                    }
                    tile[y * 2 + x / 4] = word;
                }
        }
    for (int i = 0; i < 3; ++i) PALETTE[CHECK_INDEX_A + i] = CheckColours[i];
    volatile u16* map = SCREEN_BLOCK(30);
    for (int r = 0; r < 32; ++r)
        for (int c = 0; c < 32; c += 2) {
            u16 pair = 0;
            for (int i = 0; i < 2; ++i) {
                const int colour = (((c + i) >> 1) + (r >> 1)) & 1;
                const int part = ((r & 1) << 1) | ((c + i) & 1);
                pair |= (u16)((1 + colour * 4 + part) << (8 * i));
            }
            map[(r * 32 + c) / 2] = pair;
        }
}

static void EnterRotation(void) {
    LoadFont();
    LoadPalette(PALETTE + 16 * BANK_PANEL, PalPanel, 16);
    LoadChequer();
    ClearMap(28);
    ClearMap(29);
    DrawText(28, ArtCentre(sizeof TextRotationCaption - 1), ROTATION_CAPTION_ROW, TextRotationCaption, BANK_TEXT);
    DrawText(28, ArtCentre(20), PANEL_FIRST_ROW + 1, "BACKGROUND 2 TURNS,", BANK_TEXT);
    DrawText(28, ArtCentre(20), PANEL_FIRST_ROW + 2, "THE STARS SPIN, AND", BANK_TEXT);
    DrawText(28, ArtCentre(20), PANEL_FIRST_ROW + 3, "THIS PANEL IS GLASS.", BANK_TEXT_HI);
    /* Glass under the caption and under the text at the bottom. */
    volatile u16* panel = SCREEN_BLOCK(29);
    for (int r = 0; r < 20; ++r)
        if (r < ROTATION_CAPTION_ROW + 2 || (r >= PANEL_FIRST_ROW && r < PANEL_FIRST_ROW + PANEL_ROWS))
            for (int c = 0; c < 32; ++c) panel[r * 32 + c] = FONT_TILE_PANEL | (BANK_PANEL << 12);
    PALETTE[16 * BANK_TEXT_HI + 1] = PalTextHi[1];

    REG_BG0CNT = BG_PRIO(0) | BG_CHAR(0) | BG_SCREEN(28);
    REG_BG1CNT = BG_PRIO(1) | BG_CHAR(0) | BG_SCREEN(29);
    REG_BG2CNT = BG_PRIO(2) | BG_CHAR(1) | BG_SCREEN(30) | BG_WRAP | BG_AFF_256;
    REG_BG3CNT = BG_PRIO(3);
    ResetBackgrounds();
    SceneBlend = BLEND_ALPHA | BLEND_TOP(LAYER_BG(1)) | BLEND_BOTTOM(LAYER_BG(2));
    SceneAlpha = PANEL_ALPHA_TOP | (PANEL_ALPHA_BOTTOM << 8);
    REG_DISPCNT = DISP_MODE(1) | DISP_BG(0) | DISP_BG(1) | DISP_BG(2) | DISP_OBJ | DISP_OBJ_1D;
}

/* Background 2 turns about the screen's centre and breathes in and out;
   the matrix is the rotation divided by the zoom (BIOS divisions). */
static void StepRotation(void) {
    const s32 angle = (s32)SceneTime;
    const s32 zoom = 256 + ((Sin((s32)SceneTime * 2) * 96) >> 12);
    const s32 pa = BiosDiv(Cos(angle) * 16, zoom, 0), pb = -BiosDiv(Sin(angle) * 16, zoom, 0);
    const s32 pc = -pb, pd = pa;
    const s32 tx = 128 + (s32)(SceneTime >> 1), ty = 128;
    REG_BG2PA = (u16)pa;
    REG_BG2PB = (u16)pb;
    REG_BG2PC = (u16)pc;
    REG_BG2PD = (u16)pd;
    REG_BG2X = (u32)((tx << 8) - (pa * 120 + pb * 80));
    REG_BG2Y = (u32)((ty << 8) - (pc * 120 + pd * 80));
    StepStars(120, 60, 100, 30);
}

/* ---- Scene changes ------------------------------------------------------------ */

static void Enter(int scene) {
    HblankSky = 0;
    HblankRipple = 0;
    HideSprites(0, 127);
    Scene = scene;
    SceneTime = 0;
    switch (scene) {
    case SCENE_TITLE: EnterTitle(); break;
    case SCENE_PICTURE: EnterPicture(); break;
    default: EnterRotation(); break;
    }
}

void ScenesStart(void) {
    for (int i = 0; i < 161; ++i) SkyLines[i] = SkyColour(i);
    for (int i = 0; i < 2 * CYCLE_COLOURS; ++i) CycleLoop[i] = CycleColour(i);
    FadeKind = BLEND_DARKEN;
    FadeLevel = 16;
    FadeDir = -1;
    FadeSlow = 1;
    Enter(SCENE_TITLE);
    ApplyBlend();
}

void ScenesStep(void) {
    if (KeysPressed & KEY_SELECT) MusicToggle();
    if (FadeDir == 0) {
        if (KeysPressed & (KEY_A | KEY_START)) NextScene = (Scene + 1) % SCENE_COUNT, FadeDir = 1;
        else if (KeysPressed & KEY_B) NextScene = (Scene + SCENE_COUNT - 1) % SCENE_COUNT, FadeDir = 1;
        if (FadeDir) FadeKind = BLEND_BRIGHTEN, FadeSlow = 0;
    }
    if (FadeDir > 0) {
        FadeLevel += 2;
        if (FadeLevel >= 16) {
            /* Fully white: load the next scene behind it. */
            FadeLevel = 16;
            ApplyBlend();
            Enter(NextScene);
            FadeDir = -1;
        }
    } else if (FadeDir < 0) {
        if (!FadeSlow || (SceneTime & 1)) --FadeLevel;
        if (FadeLevel <= 0) FadeLevel = 0, FadeDir = 0;
    }
    switch (Scene) {
    case SCENE_TITLE: StepTitle(); break;
    case SCENE_PICTURE: StepPicture(); break;
    default: StepRotation(); break;
    }
    StepBird();
    ApplyBlend();
    ++SceneTime;
}
