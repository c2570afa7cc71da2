// The two kinds of sound device the output plays on, as the core sees them.
// A host installs one object of each kind (see InstallSoundDevices in
// sound/output.h); the core never sees what stands behind them, so the same
// output logic drives a desktop synthesiser, a test recorder or a file.
#pragma once
#include <cstdint>

namespace koru {

// A MIDI synthesiser that takes short messages.
class MidiDevice {
public:
    virtual ~MidiDevice() = default;
    // Opens the synthesiser; false when it cannot be had (no SoundFont, no
    // audio output).
    virtual bool Open() = 0;
    // One short message: status in bits 0-7, the first data byte in bits
    // 8-15, the second in bits 16-23 (a message with one data byte leaves
    // bits 16-23 zero).
    virtual void Send(uint32_t message) = 0;
    // Output level: bits 0-15 the left side, bits 16-31 the right side,
    // 0xFFFF = full.
    virtual void SetVolume(uint32_t volume) = 0;
    // Silences every note on every channel.
    virtual void Reset() = 0;
    virtual void Close() = 0;
};

// What a wave device tells the one that feeds it, on the device's own
// threads. Unless the device owns the synthesis thread (see
// WaveDevice::OwnsSynthesisThread), implementations only queue the news.
class WaveClient {
public:
    virtual ~WaveClient() = default;
    // The buffer written with this index has been played (or dropped by
    // Reset) and belongs to the client again.
    virtual void WaveDone(int index) = 0;
    // The device has closed; no notification follows this one.
    virtual void WaveClosed() = 0;
};

// A PCM output of 8-bit unsigned mono samples (128 = silence) that plays
// the buffers written to it in order and hands each back when played.
class WaveDevice {
public:
    virtual ~WaveDevice() = default;
    // Opens at this many samples per second; notifications go to client
    // until WaveClosed. False when no output can be had.
    virtual bool Open(int rate, WaveClient* client) = 0;
    // Queues a buffer for playing. The bytes stay the caller's and must not
    // change until WaveDone(index) comes back. Ignored when not open.
    virtual void Write(int index, const uint8_t* samples, int length) = 0;
    // Stops playing and hands back every queued buffer with WaveDone.
    virtual void Reset() = 0;
    virtual void Pause() = 0;
    virtual void Restart() = 0;
    // Output level: bits 0-15 the left side, bits 16-31 the right side,
    // 0xFFFF = full.
    virtual void SetVolume(uint32_t volume) = 0;
    // Closes the device and sends WaveClosed. Refuses (returns false, stays
    // open) while buffers are still queued.
    virtual bool Close() = 0;
    // True when the device delivers WaveDone and WaveClosed on one thread of
    // its own that is there for nothing else: the client then mixes and
    // writes each buffer again inside WaveDone, on that thread, which is the
    // synthesis thread. Close must not return before that thread has
    // delivered its last notification. False when notifications come from
    // threads that must not be held up (an audio callback): the client
    // then refills on a thread of its own.
    virtual bool OwnsSynthesisThread() const { return false; }
    // Opens for 8-bit unsigned stereo, each frame the left sample then the
    // right one; lengths given to Write are then in bytes, two a frame.
    // False for a device that has no stereo (the default) or cannot open.
    virtual bool OpenStereo(int rate, WaveClient* client) {
        (void)rate;
        (void)client;
        return false;
    }
    // Called once on the synthesis thread that the output starts (see
    // OwnsSynthesisThread), before its first mixing: a device can raise the
    // thread's priority there, since a buffer mixed late is a gap in the
    // sound.
    virtual void PrepareSynthesisThread() {}
};

}  // namespace koru
