/* Shared declarations of the demo cartridge's C files. */
#ifndef KORU_DEMO_DEMO_H
#define KORU_DEMO_DEMO_H

#include "art.h"
#include "font.h"
#include "hw.h"

/* main.c: timekeeping, keys, sprites and the battery save. */
extern volatile u32 FrameCount;
extern u32 KeysHeld, KeysPressed;
extern u32 StartCount;
void WaitFrame(void);

/* Sine in 4.12 fixed point of an angle in 1/256 of a turn. */
extern s16 SineTable[256];
static inline s32 Sin(s32 a) { return SineTable[a & 255]; }
static inline s32 Cos(s32 a) { return SineTable[(a + 64) & 255]; }

/* Sprite attributes, kept in RAM and copied to Sprite RAM once a frame. */
typedef struct {
    u16 attr0, attr1, attr2, affine;
} ObjEntry;
extern ObjEntry Oam[128];
#define OBJ_HIDE 0x0200
#define OBJ_AFFINE 0x0100
#define OBJ_DOUBLE 0x0200
#define OBJ_BLEND 0x0400
#define OBJ_WIDE 0x4000
#define OBJ_HFLIP 0x1000
#define OBJ_SIZE(s) ((s) << 14)
#define OBJ_GROUP(g) ((g) << 9)
#define OBJ_PRIO(p) ((p) << 10)
#define OBJ_BANK(b) ((b) << 12)
void HideSprites(int first, int last);
void PlaceSprite(int n, s32 x, s32 y, u16 attr0, u16 attr1, u16 attr2);

/* Horizontal-blank effects that the vertical-blank interrupt restarts each
   frame: the backdrop colour per line (title sky) and background 1's
   horizontal scroll per line (the logo's ripple). */
extern const u16* volatile HblankSky;
extern const u16* volatile HblankRipple;

/* gfx.c: the art, made at start-up. */
enum { OBJ_TILE_BIRD = OBJ_FIRST_TILE, OBJ_TILE_STAR = OBJ_FIRST_TILE + 12, OBJ_TILE_CLOUD = OBJ_FIRST_TILE + 16 };
#define FONT_TILE_PANEL 64 /* a solid tile of colour 1, after the font */
void BuildArt(void);
void LoadPalette(volatile u16* dst, const u16* colours, int count);
void LoadFont(void);
void LoadLandscape(void);
void LoadLogo(void);
void ClearMap(int screen_block);
void DrawText(int screen_block, int col, int row, const char* text, int bank);
void DrawNumber(int screen_block, int col, int row, u32 value, int bank);
int FormatNumber(char* out, u32 value);
extern u16 LogoRipple[256 + 161];
void BuildRipple(int amplitude);

/* sound.c: the tune, stepped by timer 1's interrupt. */
void MusicStart(void);
void MusicStep(void);
void MusicToggle(void);

/* picture.c: the mode 4 picture, drawn by ARM code from Internal Working RAM. */
#define PICTURE_WIDTH 240
#define PICTURE_HEIGHT 160
extern u8 Picture[PICTURE_WIDTH * PICTURE_HEIGHT];
__attribute__((long_call)) void DrawPicture(u8* dst);
u32 ArmSqrt(u32 value); /* ARM code: the BIOS square root */

/* scenes.c */
void ScenesStart(void);
void ScenesStep(void);

#endif
