// Recorders for the sound tests: of the output operations the channel
// emulation calls, and of every message a MIDI device receives.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sound/device.h"
#include "sound/manual_wave.h"
#include "support/test_machine.h"

namespace koru::test {

// One call of an output operation as the device operations received it.
struct OutputCall {
    std::string op;  // "sound", "drum", "instrument", "volume", "wave"
    int a = 0, b = 0, c = 0;
    std::vector<int8_t> samples;
    bool operator==(const OutputCall&) const = default;
};
extern std::vector<OutputCall> OutputCalls;

// Replaces the device operations with the recorder (after OpenSound(0)).
void RecordOutput();
std::vector<OutputCall> SoundCalls();  // only the "sound" calls
OutputCall SoundCall(int channel, int frequency, int volume);

class RecordingMidi final : public MidiDevice {
public:
    bool Open() override;
    void Send(uint32_t message) override { messages.push_back(message); }
    void SetVolume(uint32_t v) override { volume = v; }
    void Reset() override { ++resets; }
    void Close() override { open = false; }

    std::vector<uint32_t> messages;
    uint32_t volume = 0;
    int resets = 0;
    bool open = false;
    bool failOpen = false;
};

// A short message as the device receives it.
constexpr uint32_t Msg(int status, int data1, int data2 = 0) {
    return static_cast<uint32_t>(status) | static_cast<uint32_t>(data1) << 8 | static_cast<uint32_t>(data2) << 16;
}

// A temporary directory with the output closed, both recorders installed as
// the devices, every channel's instrument type 0, switches 0, and the MIDI
// log finished and named "log.mid" in that directory.
class SoundTest : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;

    RecordingMidi midi;
    ManualWaveDevice wave;
    char logName[64] = "log.mid";
};

// Events of a Standard MIDI File's single track, with absolute times.
struct MidiEvent {
    uint32_t time;
    uint8_t status;
    std::vector<uint8_t> data;
};
// Parses a format 0 file written by the log (running status resolved);
// fails the test when the layout is wrong.
std::vector<MidiEvent> ParseMidiFile(const std::vector<uint8_t>& bytes);

}  // namespace koru::test
