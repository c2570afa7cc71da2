// The console's four tone generators (two square-wave channels, the wave
// channel and the noise channel) as note events: register writes become a
// frequency, a volume and a waveform per channel, with length, envelope and
// sweep counted in milliseconds, handed to the sound output.
#pragma once
#include <cstdint>

namespace koru {

// The sound register file in its own compact numbering (0x00-0x2F), apart
// from the I/O area: 0x00-0x13 the four channels (five indexes each), 0x14
// master levels, 0x15 routing, 0x16 master control, 0x20-0x2F the wave
// pattern.
extern uint8_t SoundRegs[48];

struct SoundChipRecord {
    uint8_t* registers;
    int32_t lengthCounter[4];      // ms since the trigger, -1 = length not enabled
    int32_t lengthLimit[4];        // ms after which the channel stops
    int32_t frequency[4];          // Hz, 0 = silent
    int32_t volume[4];             // 0-15
    int32_t outputLevel[4];        // 0-14, the levels of the sides the channel reaches
    int32_t envelopeCounter[4];
    int32_t envelopeStep[4];       // ms, 0 = no envelope
    int32_t envelopeDirection[4];  // +1 or -1
    int32_t sweepCounter;
    int32_t sweepPeriod;           // ms, 0 = no sweep
    int32_t sweepDirection;        // +1 or -1
    int32_t channel1Frequency;     // the 11-bit value the sweep works on
    int32_t sweepShift;            // 0-7
    int8_t waveSamples[32];        // channel 3's pattern, -128..127
    int32_t firstChannel;          // output channel of channel 1; 2-4 follow
    uint8_t changed;               // bit n: channel n+1 must be sent
    uint8_t waveChanged;           // the pattern must be sent
    uint8_t updateMode;            // 0: send at once; else at the next SoundFlush
};
extern SoundChipRecord SoundChip;

void SoundReset(SoundChipRecord& chip, uint8_t* registers, int firstChannel);
// 0 if index is above 0x2F, else 1.
int SoundWrite(SoundChipRecord& chip, int index, uint8_t value);
// Advances lengths, envelopes and the sweep by this many milliseconds.
void SoundTick(SoundChipRecord& chip, int milliseconds);
// Mode 2 sends what changed; any other mode also sets the update mode to
// mode & 0x7F, and bit 7 asks for a drum hit on the noise channel.
void SoundFlush(SoundChipRecord& chip, int mode);

}  // namespace koru
