// The MIDI device on Windows: the multimedia MIDI output on the MIDI mapper,
// which plays every short message exactly as the output sends it.
#pragma once
#include <windows.h>
#include <mmsystem.h>

#include "sound/device.h"

namespace koru {

// The MIDI output functions the device calls: the system's, or a test's.
struct MidiOutCalls {
    MMRESULT(WINAPI* open)(LPHMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD);
    MMRESULT(WINAPI* shortMsg)(HMIDIOUT, DWORD);
    MMRESULT(WINAPI* setVolume)(HMIDIOUT, DWORD);
    MMRESULT(WINAPI* reset)(HMIDIOUT);
    MMRESULT(WINAPI* close)(HMIDIOUT);
};
extern const MidiOutCalls SystemMidiOut;

class WinmmMidiDevice final : public MidiDevice {
public:
    explicit WinmmMidiDevice(const MidiOutCalls& calls = SystemMidiOut) : calls_(calls) {}
    ~WinmmMidiDevice() override { Close(); }

    bool Open() override;
    void Send(uint32_t message) override;
    void SetVolume(uint32_t volume) override;
    void Reset() override;
    void Close() override;

    bool IsOpen() const { return handle_ != nullptr; }

private:
    const MidiOutCalls& calls_;
    HMIDIOUT handle_ = nullptr;
};

}  // namespace koru
