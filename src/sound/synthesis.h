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
    // With direct sound: the wave device takes the direct-sound frames too,
    // in `frameChannels` channels (2 stereo, 1 mono where the device has no
    // stereo). direct is 0 otherwise, and the wave device then plays the
    // tone generators alone, in mono, as it always has.
    std::atomic<int32_t> direct{0};
    std::atomic<int32_t> frameChannels{1};
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

// Direct-sound frames on their way from the machine to the synthesis thread:
// left in the low 16 bits, right in the high, each a signed level on the
// scale of the mixing sum (see direct_sound.h). The ring holds about a third
// of a second at the highest rates.
using DirectFrameRing = FrameRing<16384>;
extern DirectFrameRing DirectFrames;
constexpr uint32_t PackDirectFrame(int32_t left, int32_t right) {
    return static_cast<uint16_t>(left) | static_cast<uint32_t>(static_cast<uint16_t>(right)) << 16;
}

// Empties the ring and gives it its head start of silence; only while no
// synthesis thread runs (opening the output).
void ResetDirectFrames();

// The next buffer of the wave device with direct sound: WaveBufferSamples
// frames of `Output.frameChannels` unsigned 8-bit samples each, the tone
// generators (when the wave device plays them) and the next direct-sound
// frames from the ring, mixed. Without direct sound, MixWaveBuffer.
void MixWaveFrames(uint8_t* samples);

}  // namespace koru
