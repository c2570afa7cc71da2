#include "sound/manual_wave.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace koru {

bool ManualWaveDevice::OpenStereo(int rate, WaveClient* client) {
    if (!Open(rate, client)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    channels_ = 2;
    return true;
}

bool ManualWaveDevice::Open(int rate, WaveClient* client) {
    std::lock_guard<std::mutex> lock(mutex_);
    channels_ = 1;
    if (failOpen_) {
        failOpen_ = false;
        return false;
    }
    client_ = client;
    rate_ = rate;
    open_ = true;
    paused_ = false;
    queue_.clear();
    return true;
}

void ManualWaveDevice::Write(int index, const uint8_t* samples, int length) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_) return;
        queue_.push_back({index, samples, length});
    }
    written_.notify_all();
}

void ManualWaveDevice::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return;
    for (const QueuedBuffer& buffer : queue_) client_->WaveDone(buffer.index);
    queue_.clear();
    paused_ = false;
    ++generation_;
    written_.notify_all();
}

void ManualWaveDevice::Pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = true;
}

void ManualWaveDevice::Restart() {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = false;
}

void ManualWaveDevice::SetVolume(uint32_t volume) {
    std::lock_guard<std::mutex> lock(mutex_);
    volume_ = volume;
}

bool ManualWaveDevice::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return true;
    if (!queue_.empty()) return false;
    open_ = false;
    client_->WaveClosed();
    client_ = nullptr;
    ++generation_;
    written_.notify_all();
    return true;
}

int ManualWaveDevice::Play(uint8_t* samples, int capacity) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!open_ || queue_.empty()) return 0;
    if (paused_) {
        const int length = std::min(queue_.front().length, capacity);
        std::memset(samples, 0x80, length);
        return length;
    }
    const QueuedBuffer buffer = queue_.front();
    const size_t inFlight = queue_.size();
    const uint32_t generation = generation_;
    const int length = std::min(buffer.length, capacity);
    std::memcpy(samples, buffer.samples, length);
    queue_.pop_front();
    client_->WaveDone(buffer.index);
    // The client refills at once; the limit only guards against a client
    // that has stopped refilling, which would otherwise hang the host.
    if (!written_.wait_for(lock, std::chrono::seconds(10), [&] { return generation_ != generation || queue_.size() >= inFlight; })) {
        return 0;
    }
    return length;
}

bool ManualWaveDevice::IsOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
}

bool ManualWaveDevice::IsPaused() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return paused_;
}

uint32_t ManualWaveDevice::Volume() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return volume_;
}

int ManualWaveDevice::Rate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rate_;
}

int ManualWaveDevice::Channels() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return channels_;
}

int ManualWaveDevice::Queued() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(queue_.size());
}

}  // namespace koru
