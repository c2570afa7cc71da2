#include "libretro/paced_wave.h"

#include <algorithm>
#include <cstring>

namespace koru::libretro {

namespace {

constexpr uint64_t CyclesPerFrame = 280896;
constexpr uint64_t CyclesPerSecond = 16777216;

// One side's level (0xFFFF = full) applied to an 8-bit unsigned sample.
int16_t Scaled(uint8_t sample, uint32_t level) {
    return static_cast<int16_t>((static_cast<int32_t>(sample) - 128) * 256 * static_cast<int32_t>(level) / 65536);
}

}  // namespace

bool PacedWaveDevice::Open(int, WaveClient* client) {
    client_ = client;
    open_ = true;
    paused_ = false;
    queue_.clear();
    return true;
}

void PacedWaveDevice::Write(int index, const uint8_t* samples, int length) {
    if (!open_) return;
    queue_.push_back({index, samples, length});
}

void PacedWaveDevice::Reset() {
    if (!open_) return;
    // Handed back from a copy: a client may write again while it is told.
    std::deque<QueuedBuffer> returned;
    returned.swap(queue_);
    for (const QueuedBuffer& buffer : returned) client_->WaveDone(buffer.index);
    paused_ = false;
}

void PacedWaveDevice::Pause() { paused_ = true; }

void PacedWaveDevice::Restart() { paused_ = false; }

void PacedWaveDevice::SetVolume(uint32_t volume) { volume_ = volume; }

bool PacedWaveDevice::Close() {
    if (!open_) return true;
    if (!queue_.empty()) return false;
    open_ = false;
    client_->WaveClosed();
    client_ = nullptr;
    return true;
}

int PacedWaveDevice::Play(uint8_t* samples) {
    if (!open_ || queue_.empty()) return 0;
    const QueuedBuffer buffer = queue_.front();
    const int length = std::min(buffer.length, WaveBufferSamples);
    if (paused_) {
        std::memset(samples, 0x80, length);
        return length;
    }
    std::memcpy(samples, buffer.samples, length);
    queue_.pop_front();
    client_->WaveDone(buffer.index);
    return length;
}

void AudioPacer::Begin(PacedWaveDevice* device, int rate) {
    device_ = device;
    rate_ = rate;
    played_ = delivered_ = 0;
    ringRead_ = 0;
    ringWrite_ = WaveBufferSamples;
    std::fill(std::begin(ring_), std::end(ring_), int16_t{0});
}

int AudioPacer::Frame(uint64_t frames, int16_t* out) {
    const uint64_t due = frames * CyclesPerFrame * static_cast<uint64_t>(rate_) / CyclesPerSecond;
    uint8_t buffer[WaveBufferSamples];
    while (played_ + WaveBufferSamples <= due) {
        const int count = device_ ? device_->Play(buffer) : 0;
        // A device that cannot play (it did not open) leaves silence.
        if (count <= 0) std::memset(buffer, 0x80, WaveBufferSamples);
        const int taken = count > 0 ? count : WaveBufferSamples;
        const uint32_t volume = device_ ? device_->Volume() : 0;
        for (int i = 0; i < taken; ++i) {
            const size_t at = 2 * (ringWrite_++ % RingFrames);
            ring_[at] = Scaled(buffer[i], volume & 0xFFFF);
            ring_[at + 1] = Scaled(buffer[i], volume >> 16);
        }
        played_ += static_cast<uint64_t>(taken);
    }
    // The head start keeps at least this frame's share in the ring.
    const uint64_t share = std::min<uint64_t>(due - delivered_, ringWrite_ - ringRead_);
    const int count = static_cast<int>(std::min<uint64_t>(share, MaxFrameSamples));
    for (int i = 0; i < count; ++i) {
        const size_t at = 2 * (ringRead_++ % RingFrames);
        out[2 * i] = ring_[at];
        out[2 * i + 1] = ring_[at + 1];
    }
    delivered_ += static_cast<uint64_t>(count);
    return count;
}

}  // namespace koru::libretro
