#include "sound/devices/winmm_wave.h"

namespace koru {

const WaveOutCalls SystemWaveOut = {waveOutOpen,    waveOutClose,           waveOutReset,
                                    waveOutPause,   waveOutRestart,         waveOutSetVolume,
                                    waveOutPrepareHeader, waveOutUnprepareHeader, waveOutWrite};

DWORD WINAPI WinmmWaveDevice::ThreadMain(LPVOID device) {
    static_cast<WinmmWaveDevice*>(device)->Run();
    return 0;
}

void WinmmWaveDevice::Run() {
    // A thread has a message queue from its first message call on; the
    // device is opened only once it has one, so that no notification is
    // posted to a thread that cannot take it yet.
    MSG message;
    PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(ready_);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == MM_WOM_CLOSE) break;
        if (message.message != MM_WOM_DONE) continue;
        WAVEHDR* header = reinterpret_cast<WAVEHDR*>(message.lParam);
        if (header < headers_ || header >= headers_ + WaveBufferCount) continue;
        if (header->dwFlags & WHDR_PREPARED) calls_.unprepareHeader(handle_.load(), header, sizeof *header);
        client_->WaveDone(static_cast<int>(header - headers_));
    }
    client_->WaveClosed();
}

bool WinmmWaveDevice::Open(int rate, WaveClient* client) {
    if (thread_ || rate <= 0 || !client) return false;
    client_ = client;
    for (WAVEHDR& header : headers_) header = WAVEHDR{};
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ready_) return false;
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, &threadId_);
    if (!thread_) {
        CloseHandle(ready_);
        ready_ = nullptr;
        threadId_ = 0;
        return false;
    }
    SetThreadPriority(thread_, THREAD_PRIORITY_TIME_CRITICAL);
    WaitForSingleObject(ready_, INFINITE);
    CloseHandle(ready_);
    ready_ = nullptr;

    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.nAvgBytesPerSec = static_cast<DWORD>(rate);
    format.nBlockAlign = 1;
    format.wBitsPerSample = 8;
    HWAVEOUT handle = nullptr;
    if (calls_.open(&handle, WAVE_MAPPER, &format, threadId_, 0, CALLBACK_THREAD) != MMSYSERR_NOERROR) {
        // The close message ends the thread as a closing device's would.
        PostThreadMessageA(threadId_, MM_WOM_CLOSE, 0, 0);
        EndThread();
        return false;
    }
    handle_.store(handle);
    return true;
}

void WinmmWaveDevice::Write(int index, const uint8_t* samples, int length) {
    const HWAVEOUT handle = handle_.load();
    if (!handle || index < 0 || index >= WaveBufferCount || length <= 0) return;
    WAVEHDR& header = headers_[index];
    header = WAVEHDR{};
    header.lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(samples));
    header.dwBufferLength = static_cast<DWORD>(length);
    header.dwUser = static_cast<DWORD_PTR>(index);
    if (calls_.prepareHeader(handle, &header, sizeof header) != MMSYSERR_NOERROR) return;
    // A buffer the device does not take would stay prepared for ever.
    if (calls_.write(handle, &header, sizeof header) != MMSYSERR_NOERROR) {
        calls_.unprepareHeader(handle, &header, sizeof header);
    }
}

void WinmmWaveDevice::Reset() {
    const HWAVEOUT handle = handle_.load();
    if (!handle) return;
    // Every queued buffer comes back marked done (and its notification goes
    // to the synthesis thread); none stays prepared.
    calls_.reset(handle);
    for (WAVEHDR& header : headers_) {
        if (header.dwFlags & WHDR_PREPARED) calls_.unprepareHeader(handle, &header, sizeof header);
    }
}

void WinmmWaveDevice::Pause() {
    if (const HWAVEOUT handle = handle_.load()) calls_.pause(handle);
}

void WinmmWaveDevice::Restart() {
    if (const HWAVEOUT handle = handle_.load()) calls_.restart(handle);
}

void WinmmWaveDevice::SetVolume(uint32_t volume) {
    if (const HWAVEOUT handle = handle_.load()) calls_.setVolume(handle, volume);
}

bool WinmmWaveDevice::Close() {
    const HWAVEOUT handle = handle_.load();
    if (!handle) return true;
    if (calls_.close(handle) == WAVERR_STILLPLAYING) return false;
    handle_.store(nullptr);
    // The device's close message ends the thread; a quit message behind it
    // ends it too should a driver send none.
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    EndThread();
    return true;
}

void WinmmWaveDevice::EndThread() {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
    threadId_ = 0;
    client_ = nullptr;
}

}  // namespace koru
