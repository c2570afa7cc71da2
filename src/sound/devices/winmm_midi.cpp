#include "sound/devices/winmm_midi.h"

namespace koru {

const MidiOutCalls SystemMidiOut = {midiOutOpen, midiOutShortMsg, midiOutSetVolume, midiOutReset, midiOutClose};

bool WinmmMidiDevice::Open() {
    Close();
    HMIDIOUT handle = nullptr;
    // No callback: nothing comes back from a MIDI output that plays short
    // messages only.
    if (calls_.open(&handle, MIDI_MAPPER, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return false;
    handle_ = handle;
    return true;
}

void WinmmMidiDevice::Send(uint32_t message) {
    if (handle_) calls_.shortMsg(handle_, message);
}

void WinmmMidiDevice::SetVolume(uint32_t volume) {
    if (handle_) calls_.setVolume(handle_, volume);
}

void WinmmMidiDevice::Reset() {
    if (handle_) calls_.reset(handle_);
}

void WinmmMidiDevice::Close() {
    if (!handle_) return;
    calls_.close(handle_);
    handle_ = nullptr;
}

}  // namespace koru
