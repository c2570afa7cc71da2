// The wave device of the libretro core and the pacing of its samples.
//
// The front end plays what the core hands it after each frame, so the wave
// device plays nothing by itself: after every frame the core takes from it as
// many samples as that frame lasted at the device's rate, as koru-headless's
// --wave-out does. A buffer is played once emulated time has covered it
// whole; the samples reach the front end 1024 samples later, behind a head
// start of silence, so that every frame gets its share however the buffers
// fall. The samples are thus the very ones koru-headless writes to its WAV
// file, and each frame's batch is one frame long.
//
// The device mixes on the thread that asks it for samples, inside Play (it
// reports OwnsSynthesisThread), so no thread of the sound output is started.
// It is used by one thread at a time: the front end's, or the machine's while
// the other waits (see MachineThread).
#pragma once
#include <cstdint>
#include <deque>

#include "sound/device.h"
#include "sound/output.h"

namespace koru::libretro {

class PacedWaveDevice final : public WaveDevice {
public:
    bool Open(int rate, WaveClient* client) override;
    void Write(int index, const uint8_t* samples, int length) override;
    void Reset() override;
    void Pause() override;
    void Restart() override;
    void SetVolume(uint32_t volume) override;
    bool Close() override;
    bool OwnsSynthesisThread() const override { return true; }

    // Plays the oldest queued buffer into samples (at most WaveBufferSamples)
    // and hands it back, which mixes the next one and queues it again. While
    // paused, plays as much silence and keeps the buffers. Returns the
    // number of samples, 0 when nothing is queued.
    int Play(uint8_t* samples);

    bool IsOpen() const { return open_; }
    uint32_t Volume() const { return volume_; }

private:
    struct QueuedBuffer {
        int index;
        const uint8_t* samples;
        int length;
    };
    std::deque<QueuedBuffer> queue_;
    WaveClient* client_ = nullptr;
    bool open_ = false;
    bool paused_ = false;
    uint32_t volume_ = 0xFFFFFFFF;
};

// Turns the device's 8-bit mono buffers into 16-bit stereo frames, one
// batch per emulated frame.
class AudioPacer {
public:
    // Before each run: nothing played yet, the head start of silence queued.
    void Begin(PacedWaveDevice* device, int rate);
    // After emulated frame number `frames` (counted from 1): plays what has
    // become due and puts this frame's samples, left and right interleaved,
    // into out (room for MaxFrameSamples frames). Returns how many frames.
    int Frame(uint64_t frames, int16_t* out);

    static constexpr int MaxFrameSamples = 2 * WaveBufferSamples;

private:
    PacedWaveDevice* device_ = nullptr;
    int rate_ = 0;
    uint64_t played_ = 0;     // samples taken from the device
    uint64_t delivered_ = 0;  // samples handed on, behind the head start
    // Samples taken but not yet handed on (at most two buffers' worth), as
    // 16-bit stereo frames.
    static constexpr int RingFrames = 4 * WaveBufferSamples;
    int16_t ring_[2 * RingFrames] = {};
    uint64_t ringRead_ = 0, ringWrite_ = 0;
};

}  // namespace koru::libretro
