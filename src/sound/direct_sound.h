// Direct sound, with the "DirectSound" setting: the console's two sample
// channels. A program (or a DMA channel) writes 8-bit signed samples into
// FIFO A or B; each overflow of the timer a FIFO follows plays its next
// sample, and a FIFO left with 16 bytes or fewer asks DMA 1 or 2 (start
// timing 3, destination the FIFO) for four more words. The samples, held
// from one overflow to the next as the console's output holds them, are
// averaged over each output sample of the wave device and handed to it.
//
// The timers advance once per half-line step, far too coarsely for sample
// rates (a timer of prescale 1 that overflows every 1024 cycles would
// overflow once in 1024 steps), so the samples do not follow the timers'
// counters: each FIFO's timer has a sample clock of its own here, counted in
// cycles from the timer's prescale and reload (for timer 1 counting up,
// timer 0's period times timer 1's count), which puts every overflow at its
// cycle within the step. The overflows of a step are then played in the
// order of their cycles, each FIFO's refills happen between the samples
// that need them, and the output sees each sample for exactly as many cycles
// as the console plays it. The timers' own counters, registers and
// interrupts stay as they are.
//
// With the setting 0 none of this runs: the FIFOs and the control register
// are plain memory, as they have always been.
#pragma once
#include <cstdint>

namespace koru {

constexpr uint32_t DirectFifoBytes = 32;

struct DirectFifoRecord {
    uint8_t bytes[DirectFifoBytes];
    uint32_t read;   // position of the oldest byte
    uint32_t count;  // bytes held, 0-32
    int32_t sample;  // the sample being played, -128..127
};
extern DirectFifoRecord DirectFifos[2];

// The sample clock of timer 0 or 1: cycles per overflow (0: the timer does
// not overflow), and cycles since the last overflow.
struct SampleClockRecord {
    uint64_t period;
    uint64_t phase;
};
extern SampleClockRecord SampleClocks[2];

// Output levels on the scale of the wave device's mixing sum, where a tone
// generator at full volume adds 255: a full-scale sample at 100 % adds
// about four times that, as much as the four tone generators at full volume
// together, which is their balance on the console. 50 % halves it.
constexpr int32_t DirectLevelFull = 8;  // per unit of a sample
constexpr int32_t DirectLevelHalf = 4;

// The direct-sound control register (I/O offset 0x082), with the setting
// on: volumes, sides, timers, and the two FIFO resets, which read 0.
void DirectSoundControlWrite(uint16_t value);
// FIFO A (0x0A0, 0x0A2) and B (0x0A4, 0x0A6): with the setting on, each
// byte the program writes goes into the FIFO, low byte first (a full FIFO
// takes no more). Stored in the I/O area as before either way.
void FifoRegisterWrite(uint32_t offset, uint16_t value);
// The samples of `elapsed` cycles, at every half-line step after the timers
// (setting on only).
void RunDirectSound(int64_t elapsed);
void ResetDirectSound();

// The state file's block of direct sound: both FIFOs with their positions
// and samples, and the two sample clocks.
constexpr uint32_t DirectSoundStateBytes = 120;
void PackDirectSound(uint8_t* out);
// False for values the machine cannot produce.
bool DirectSoundStateValid(const uint8_t* in);
void UnpackDirectSound(const uint8_t* in);

}  // namespace koru
