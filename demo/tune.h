/* The demo's tune: eight bars in A minor (Am F C G Am F G Am), sixteen steps
   a bar, one step an eighth of a second, for the four tone generators:
     - square 1: a rising chirp (frequency sweep up, fading envelope) on the
       first and eleventh step of every bar;
     - square 2: the melody, plucked with a fading envelope;
     - wave:     the bass line, played with the demo's own wave pattern;
     - noise:    kick, snare and hi-hat, told apart by their envelopes.
   Plain C data shared by the cartridge and the tests (which expect these
   notes in the sound log). */
#ifndef KORU_DEMO_TUNE_H
#define KORU_DEMO_TUNE_H

#define TUNE_STEPS 128
#define TUNE_STEP_HZ 8

/* Note numbers (MIDI numbering: 69 is A 440 Hz). */
enum {
    N_C3 = 48, N_D3 = 50, N_E3 = 52, N_F3 = 53, N_G3 = 55, N_A3 = 57, N_B3 = 59,
    N_C4 = 60, N_D4 = 62, N_E4 = 64, N_F4 = 65, N_G4 = 67, N_A4 = 69, N_B4 = 71,
    N_C5 = 72, N_D5 = 74, N_E5 = 76, N_F5 = 77, N_G5 = 79, N_A5 = 81
};
#define NOTE_LOWEST 36
#define NOTE_HIGHEST 96

/* The 11-bit frequency value of the square and wave generators for notes
   36-96: 2048 - 131072 / frequency, rounded. */
static const unsigned short NoteRate[NOTE_HIGHEST - NOTE_LOWEST + 1] = {
    44,   157,  263,  363,  457,  547,  631,  711,  786,  856,  923,  986,
    1046, 1102, 1155, 1205, 1253, 1297, 1339, 1379, 1417, 1452, 1486, 1517,
    1547, 1575, 1602, 1627, 1650, 1673, 1694, 1714, 1732, 1750, 1767, 1783,
    1798, 1812, 1825, 1837, 1849, 1860, 1871, 1881, 1890, 1899, 1907, 1915,
    1923, 1930, 1936, 1943, 1949, 1954, 1959, 1964, 1969, 1974, 1978, 1982,
    1985,
};

/* Step entries: 0 = nothing new, REST = silence, else a note number. */
#define __ 0
#define REST 1

static const unsigned char TuneMelody[TUNE_STEPS] = {
    N_A4, __, N_C5, __, N_E5, __, N_A5, __, N_G5, __, N_E5, __, N_C5, __, N_D5, N_E5, /* Am */
    N_F5, __, N_E5, __, N_C5, __, N_A4, __, N_C5, __, N_A4, __, N_F4, __, N_A4, __,   /* F */
    N_G4, __, N_C5, __, N_E5, __, N_G5, __, N_E5, __, N_C5, __, N_E5, __, N_G5, __,   /* C */
    N_B4, __, N_D5, __, N_G5, __, N_D5, __, N_B4, __, N_G4, __, N_A4, __, N_B4, __,   /* G */
    N_E5, __, __, N_E5, __, __, N_D5, __, N_C5, __, __, N_C5, __, __, N_B4, __,       /* Am */
    N_A4, __, __, N_C5, __, __, N_F5, __, N_E5, __, N_D5, __, N_C5, __, N_A4, __,     /* F */
    N_B4, __, __, N_D5, __, __, N_G5, __, N_F5, __, N_E5, __, N_D5, __, N_B4, __,     /* G */
    N_A4, __, N_C5, __, N_E5, __, N_A5, __, REST, __, N_E5, __, N_A5, __, REST, __,   /* Am */
};

/* Root, fifth and octave of each bar's chord: root, root, root on a
   three-three-two rhythm, then fifth, octave, fifth. */
#define BASS_BAR(root, fifth)                                                                        \
    root, __, __, root, __, __, root, __, root, __, fifth, __, (root) + 12, __, fifth, __
static const unsigned char TuneBass[TUNE_STEPS] = {
    BASS_BAR(N_A3, N_E4), BASS_BAR(N_F3, N_C4), BASS_BAR(N_C3, N_G3), BASS_BAR(N_G3, N_D4),
    BASS_BAR(N_A3, N_E4), BASS_BAR(N_F3, N_C4), BASS_BAR(N_G3, N_D4), BASS_BAR(N_A3, N_E4),
};
#undef BASS_BAR

/* The chirp starts on the chord's root an octave above the bass. */
#define CHIRP_BAR(root) root, __, __, __, __, __, __, __, __, __, root, __, __, __, __, __
static const unsigned char TuneChirp[TUNE_STEPS] = {
    CHIRP_BAR(N_A4), CHIRP_BAR(N_F4), CHIRP_BAR(N_C4), CHIRP_BAR(N_G4),
    CHIRP_BAR(N_A4), CHIRP_BAR(N_F4), CHIRP_BAR(N_G4), CHIRP_BAR(N_A4),
};
#undef CHIRP_BAR

/* Drums on the noise generator: K kick, S snare, H hi-hat. */
enum { DRUM_NONE = 0, DRUM_KICK = 1, DRUM_SNARE = 2, DRUM_HAT = 3 };
#define DRUM_BAR 1, 0, 3, 0, 2, 0, 3, 0, 1, 0, 3, 1, 2, 0, 3, 3
static const unsigned char TuneDrums[TUNE_STEPS] = {
    DRUM_BAR, DRUM_BAR, DRUM_BAR, DRUM_BAR, DRUM_BAR, DRUM_BAR, DRUM_BAR, DRUM_BAR,
};
#undef DRUM_BAR

#undef __

/* The wave generator's pattern: 32 four-bit samples, a triangle with a flat
   top, softer than the squares so that the bass sits under the melody. */
static const unsigned char WavePattern[16] = {
    0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFF, 0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32,
};

#endif
