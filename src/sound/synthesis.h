// The wave device's software synthesiser: the output channels' state that
// the main thread writes and the synthesis thread reads, and the mixing of
// one buffer. Kept apart from output.h so that tests and tools can mix a
// buffer without a thread.
#pragma once
#include <atomic>
#include <cstdint>

#include "sound/handover.h"
#include "sound/output.h"

namespace koru {

// One output channel. The words the synthesis thread reads or writes are
// single 32-bit atomics with relaxed order: each is meaningful on its own,
// so no lock is taken and a change is heard from the next buffer on.
struct OutputChannelRecord {
    std::atomic<int32_t> type{0};  // instrument type, kept across device changes
    std::atomic<int32_t> frequency{0};
    std::atomic<int32_t> volume{0};
    int32_t lastNote = -1;         // MIDI device only (main thread)
    int32_t lastVelocity = -1;
    int32_t lastBend = -1;
    std::atomic<uint32_t> phase{0};
    std::atomic<uint32_t> wavePosition{0};
    std::atomic<int32_t> waveLength{0};
    // The custom wave pattern, four signed samples to a word, first sample
    // in the low byte.
    std::atomic<uint32_t> pattern[MaxWaveLength / 4] = {};
};

struct OutputRecord {
    std::atomic<int32_t> rate{0};      // 0 none, 1 MIDI, else samples per second
    int32_t volume = 0;                // 0-255
    std::atomic<int32_t> switches{0};  // bit k lets channel k sound; bit 15 drums
    std::atomic<int32_t> stop{0};      // set while the wave device closes
    std::atomic<uint32_t> noise{1};    // shared noise shift register
    OutputChannelRecord channels[OutputChannels];
};
extern OutputRecord Output;

// The device operations that the output operations pass to; null until
// the first OpenSound installs the devices' own. Tests may put a recorder
// in their place after OpenSound.
struct DeviceOperations {
    void (*setInstrument)(int channel, int type);
    void (*drum)(int type, int force);
    void (*setVolume)(int volume, int switches);
    void (*sound)(int channel, int frequency, int volume);
    void (*setWave)(int channel, const int8_t* samples, int count);
};
extern const DeviceOperations* Operations;

// Mixes the next WaveBufferSamples samples of every sounding channel at the
// current rate into unsigned 8-bit samples, advancing the channels' phases,
// wave positions and the noise register.
void MixWaveBuffer(uint8_t* samples);

}  // namespace koru
