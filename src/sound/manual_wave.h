// A wave device without audio output: its host decides when a buffer has
// been played, and gets the bytes. koru-headless writes a WAV file with it,
// paced by emulated time; tests record every mixed buffer with it.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "sound/device.h"

namespace koru {

class ManualWaveDevice final : public WaveDevice {
public:
    bool Open(int rate, WaveClient* client) override;
    bool OpenStereo(int rate, WaveClient* client) override;
    void Write(int index, const uint8_t* samples, int length) override;
    void Reset() override;
    void Pause() override;
    void Restart() override;
    void SetVolume(uint32_t volume) override;
    bool Close() override;

    // Plays the oldest queued buffer: copies its bytes to samples (at most
    // `capacity`), hands it back to the client and waits until the client
    // has written a buffer again, so that what the next buffer holds does
    // not depend on how threads were scheduled. While paused, plays
    // silence and keeps the buffers. Returns the number of bytes played,
    // 0 when nothing was queued or the client did not write back.
    int Play(uint8_t* samples, int capacity);

    // Makes the next Open fail (for tests of a device that cannot open).
    void FailNextOpen() { failOpen_ = true; }

    bool IsOpen() const;
    bool IsPaused() const;
    uint32_t Volume() const;
    int Rate() const;
    int Channels() const;  // 2 when opened in stereo
    int Queued() const;

private:
    struct QueuedBuffer {
        int index;
        const uint8_t* samples;
        int length;
    };
    mutable std::mutex mutex_;
    std::condition_variable written_;
    std::deque<QueuedBuffer> queue_;
    WaveClient* client_ = nullptr;
    bool open_ = false;
    bool paused_ = false;
    bool failOpen_ = false;
    uint32_t volume_ = 0xFFFFFFFF;
    int rate_ = 0;
    int channels_ = 1;
    uint32_t generation_ = 0;  // counts resets and closes, which end a wait in Play
};

}  // namespace koru
