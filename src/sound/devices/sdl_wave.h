// The wave device on Linux: SDL2 audio playing unsigned 8-bit mono (stereo
// with direct sound) at the configured rate. Buffers written to it queue up in order; the audio
// callback plays them and hands each back when its last sample is out.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#include "sound/device.h"

namespace koru {

class SdlWaveDevice final : public WaveDevice {
public:
    ~SdlWaveDevice() override;

    bool Open(int rate, WaveClient* client) override;
    bool OpenStereo(int rate, WaveClient* client) override;
    // Raises the synthesis thread to the highest priority SDL obtains for it
    // without privileges.
    void PrepareSynthesisThread() override;
    void Write(int index, const uint8_t* samples, int length) override;
    void Reset() override;
    void Pause() override;
    void Restart() override;
    void SetVolume(uint32_t volume) override;
    bool Close() override;

    // Whether SDL holds the device paused.
    bool IsPaused() const;

    // Plays `length` bytes into stream; called by SDL's audio thread.
    void Fill(uint8_t* stream, int length);

private:
    bool OpenChannels(int rate, WaveClient* client, int channels);

    struct QueuedBuffer {
        int index;
        const uint8_t* samples;
        int length;
    };
    std::mutex mutex_;
    std::deque<QueuedBuffer> queue_;
    int position_ = 0;  // bytes of the front buffer already played
    WaveClient* client_ = nullptr;
    uint32_t device_ = 0;
    bool open_ = false;
    std::atomic<uint32_t> level_{0xFFFF};  // 0-0xFFFF, the left side's volume
};

}  // namespace koru
