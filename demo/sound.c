/* The tune's player. Timer 1 counts at 16384 Hz and overflows eight times a
   second; each overflow's interrupt plays one step of the four parts of
   tune.h on the four tone generators. */
#include "demo.h"
#include "tune.h"

static u32 Step;
static int Playing;

static u16 Rate(int note) {
    if (note < NOTE_LOWEST) note = NOTE_LOWEST;
    if (note > NOTE_HIGHEST) note = NOTE_HIGHEST;
    return NoteRate[note - NOTE_LOWEST];
}

/* Square 2: the melody, a 50% square whose volume falls from 12. */
static void PlayMelody(int note) {
    static u16 last_rate;
    if (note == REST) {
        REG_SOUND2CNT_L = 0x0080; /* volume 0 */
        REG_SOUND2CNT_H = (u16)(0x8000 | last_rate);
        return;
    }
    last_rate = Rate(note);
    REG_SOUND2CNT_L = 0xC280; /* volume 12, falling every 2/64 s, 50% duty */
    REG_SOUND2CNT_H = (u16)(0x8000 | last_rate);
}

/* Square 1: a chirp that sweeps upward while its volume falls. */
static void PlayChirp(int note) {
    REG_SOUND1CNT_L = 0x0037; /* sweep every 3/128 s, upward, shift 7 */
    REG_SOUND1CNT_H = 0xB140; /* volume 11, falling every 1/64 s, 25% duty */
    REG_SOUND1CNT_X = (u16)(0x8000 | Rate(note));
}

/* Wave: the bass, held until the next note or a rest. */
static void PlayBass(int note) {
    if (note == REST) {
        REG_SOUND3CNT_L = 0x0040; /* off */
        return;
    }
    REG_SOUND3CNT_L = 0x00C0;     /* on, playing bank 1 */
    REG_SOUND3CNT_H = 0x2000;     /* full volume */
    REG_SOUND3CNT_X = (u16)(0x8000 | Rate(note));
}

/* Noise: a drum is a burst with its own loudness, decay and pitch. */
static void PlayDrum(int drum) {
    static const u16 envelope[4] = {0, 0xF200, 0xB100, 0x5100};
    static const u16 noise[4] = {0, 0x0064, 0x0022, 0x0008};
    REG_SOUND4CNT_L = envelope[drum];
    REG_SOUND4CNT_H = (u16)(0x8000 | noise[drum]);
}

void MusicStep(void) {
    if (!Playing) return;
    const int s = (int)(Step % TUNE_STEPS);
    if (TuneChirp[s]) PlayChirp(TuneChirp[s]);
    if (TuneMelody[s]) PlayMelody(TuneMelody[s]);
    if (TuneBass[s]) PlayBass(TuneBass[s]);
    if (TuneDrums[s]) PlayDrum(TuneDrums[s]);
    ++Step;
}

/* The wave pattern goes into the bank that is not playing (bank 1 while
   bank 0 is selected); the generator then plays bank 1. */
static void LoadWave(void) {
    REG_SOUND3CNT_L = 0x0000;
    for (int i = 0; i < 8; ++i) WAVE_RAM[i] = (u16)(WavePattern[2 * i] | (WavePattern[2 * i + 1] << 8));
    REG_SOUND3CNT_L = 0x0040;
}

static void Silence(void) {
    REG_SOUND1CNT_H = 0;
    REG_SOUND1CNT_X = 0x8000;
    REG_SOUND2CNT_L = 0;
    REG_SOUND2CNT_H = 0x8000;
    REG_SOUND3CNT_L = 0x0040;
    REG_SOUND4CNT_L = 0;
    REG_SOUND4CNT_H = 0x8000;
}

void MusicStart(void) {
    REG_SOUNDCNT_X = 0x0080; /* sound on */
    REG_SOUNDCNT_L = 0xFF77; /* both sides at full level, every generator on both */
    REG_SOUNDCNT_H = 0x0002; /* the tone generators at full volume */
    LoadWave();
    Step = 0;
    Playing = 1;
    MusicStep();
    REG_TMCNT_L(1) = (u16)(0x10000 - 16384 / TUNE_STEP_HZ);
    REG_TMCNT_H(1) = TIMER_ON | TIMER_IRQ | TIMER_1024;
}

void MusicToggle(void) {
    Playing = !Playing;
    if (!Playing) Silence();
}
