// The wave device on Windows: the multimedia wave output on the wave mapper,
// unsigned 8-bit mono at the rate, whose notifications go to a thread of the
// device's own (CALLBACK_THREAD), running at time-critical priority. That
// thread is the synthesis thread: it takes each played buffer back,
// unprepares its header, and the output mixes the buffer again and writes
// it from there.
#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <atomic>

#include "sound/device.h"
#include "sound/output.h"

namespace koru {

// The wave output functions the device calls: the system's, or a test's.
struct WaveOutCalls {
    MMRESULT(WINAPI* open)(LPHWAVEOUT, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD);
    MMRESULT(WINAPI* close)(HWAVEOUT);
    MMRESULT(WINAPI* reset)(HWAVEOUT);
    MMRESULT(WINAPI* pause)(HWAVEOUT);
    MMRESULT(WINAPI* restart)(HWAVEOUT);
    MMRESULT(WINAPI* setVolume)(HWAVEOUT, DWORD);
    MMRESULT(WINAPI* prepareHeader)(HWAVEOUT, LPWAVEHDR, UINT);
    MMRESULT(WINAPI* unprepareHeader)(HWAVEOUT, LPWAVEHDR, UINT);
    MMRESULT(WINAPI* write)(HWAVEOUT, LPWAVEHDR, UINT);
};
extern const WaveOutCalls SystemWaveOut;

class WinmmWaveDevice final : public WaveDevice {
public:
    explicit WinmmWaveDevice(const WaveOutCalls& calls = SystemWaveOut) : calls_(calls) {}
    // A device left open at the end of the process is left to the system:
    // nothing waits for its thread then.
    ~WinmmWaveDevice() override = default;

    bool Open(int rate, WaveClient* client) override;
    void Write(int index, const uint8_t* samples, int length) override;
    void Reset() override;
    void Pause() override;
    void Restart() override;
    void SetVolume(uint32_t volume) override;
    bool Close() override;
    bool OwnsSynthesisThread() const override { return true; }

    // The synthesis thread while the device is open, else 0.
    DWORD ThreadId() const { return threadId_; }

private:
    static DWORD WINAPI ThreadMain(LPVOID device);
    void Run();
    void EndThread();

    const WaveOutCalls& calls_;
    std::atomic<HWAVEOUT> handle_{nullptr};
    HANDLE thread_ = nullptr;
    HANDLE ready_ = nullptr;
    DWORD threadId_ = 0;
    WaveClient* client_ = nullptr;
    WAVEHDR headers_[WaveBufferCount] = {};
};

}  // namespace koru
