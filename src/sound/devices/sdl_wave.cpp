#include "sound/devices/sdl_wave.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "sound/devices/shared_library.h"

namespace koru {
namespace {

#define KORU_SDL_FUNCTIONS(X) \
    X(SDL_InitSubSystem) \
    X(SDL_QuitSubSystem) \
    X(SDL_OpenAudioDevice) \
    X(SDL_CloseAudioDevice) \
    X(SDL_PauseAudioDevice) \
    X(SDL_GetAudioDeviceStatus) \
    X(SDL_SetThreadPriority)

// The library is opened with the first device that opens (shared_library.h).
KORU_LAZY_LIBRARY(sdl, KORU_SDL2_LIBRARY, KORU_SDL_FUNCTIONS)

void AudioCallback(void* device, Uint8* stream, int length) {
    static_cast<SdlWaveDevice*>(device)->Fill(stream, length);
}

}  // namespace

SdlWaveDevice::~SdlWaveDevice() {
    if (device_) {
        sdl::SDL_CloseAudioDevice(device_);
        sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

bool SdlWaveDevice::Open(int rate, WaveClient* client) { return OpenChannels(rate, client, 1); }

bool SdlWaveDevice::OpenStereo(int rate, WaveClient* client) { return OpenChannels(rate, client, 2); }

void SdlWaveDevice::PrepareSynthesisThread() {
    // Time-critical needs real-time scheduling, which an ordinary user gets
    // only where the system's policy (rtkit) grants it; high is a lower nice
    // value, which may be refused too, and then the thread stays as it is.
    if (sdl::SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL) != 0) {
        sdl::SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH);
    }
}

bool SdlWaveDevice::OpenChannels(int rate, WaveClient* client, int channels) {
    if (device_ || rate <= 0 || !sdl::Loaded()) return false;
    if (sdl::SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_U8;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.samples = 512;
    wanted.callback = AudioCallback;
    wanted.userdata = this;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware takes, so the
    // buffers stay 8-bit mono (or stereo) at the rate asked for.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        client_ = client;
        queue_.clear();
        position_ = 0;
        open_ = true;
    }
    device_ = sdl::SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device_ == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = false;
        client_ = nullptr;
        sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    sdl::SDL_PauseAudioDevice(device_, 0);
    return true;
}

void SdlWaveDevice::Fill(uint8_t* stream, int length) {
    const uint32_t level = level_.load(std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(mutex_);
    int done = 0;
    while (done < length && open_ && !queue_.empty()) {
        const QueuedBuffer& buffer = queue_.front();
        const int count = std::min(length - done, buffer.length - position_);
        for (int i = 0; i < count; ++i) {
            const int sample = buffer.samples[position_ + i] - 128;
            stream[done + i] = static_cast<uint8_t>(128 + sample * static_cast<int>(level) / 0xFFFF);
        }
        done += count;
        position_ += count;
        if (position_ >= buffer.length) {
            const int index = buffer.index;
            queue_.pop_front();
            position_ = 0;
            client_->WaveDone(index);
        }
    }
    // Nothing queued: the synthesis has fallen behind; play silence.
    if (done < length) std::memset(stream + done, 0x80, length - done);
}

void SdlWaveDevice::Write(int index, const uint8_t* samples, int length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_ || length <= 0) return;
    queue_.push_back({index, samples, length});
}

void SdlWaveDevice::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return;
    for (const QueuedBuffer& buffer : queue_) client_->WaveDone(buffer.index);
    queue_.clear();
    position_ = 0;
}

void SdlWaveDevice::Pause() {
    if (device_) sdl::SDL_PauseAudioDevice(device_, 1);
}

void SdlWaveDevice::Restart() {
    if (device_) sdl::SDL_PauseAudioDevice(device_, 0);
}

bool SdlWaveDevice::IsPaused() const { return device_ && sdl::SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_PAUSED; }

void SdlWaveDevice::SetVolume(uint32_t volume) { level_.store(volume & 0xFFFF, std::memory_order_relaxed); }

bool SdlWaveDevice::Close() {
    WaveClient* client;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_) return true;
        if (!queue_.empty()) return false;
        // From here on writes are ignored and the callback plays silence.
        open_ = false;
        client = client_;
        client_ = nullptr;
    }
    // Waits for a running callback; it must not hold our lock meanwhile.
    sdl::SDL_CloseAudioDevice(device_);
    device_ = 0;
    sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
    client->WaveClosed();
    return true;
}

}  // namespace koru
