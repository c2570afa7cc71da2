#include "sound/sound_support.h"

#include <gtest/gtest.h>

#include "sound/midilog.h"
#include "sound/output.h"
#include "sound/synthesis.h"

namespace koru::test {

std::vector<OutputCall> OutputCalls;

namespace {

void RecordInstrument(int channel, int type) { OutputCalls.push_back({"instrument", channel, type, 0, {}}); }
void RecordDrum(int type, int force) { OutputCalls.push_back({"drum", type, force, 0, {}}); }
void RecordVolume(int volume, int switches) { OutputCalls.push_back({"volume", volume, switches, 0, {}}); }
void RecordSound(int channel, int frequency, int volume) {
    OutputCalls.push_back({"sound", channel, frequency, volume, {}});
}
void RecordWave(int channel, const int8_t* samples, int count) {
    OutputCalls.push_back({"wave", channel, count, 0, std::vector<int8_t>(samples, samples + count)});
}

const DeviceOperations Recorder = {RecordInstrument, RecordDrum, RecordVolume, RecordSound, RecordWave};

}  // namespace

void RecordOutput() {
    OpenSound(0, 0);
    Operations = &Recorder;
    OutputCalls.clear();
}

std::vector<OutputCall> SoundCalls() {
    std::vector<OutputCall> sounds;
    for (const OutputCall& call : OutputCalls) {
        if (call.op == "sound") sounds.push_back(call);
    }
    return sounds;
}

OutputCall SoundCall(int channel, int frequency, int volume) { return {"sound", channel, frequency, volume, {}}; }

bool RecordingMidi::Open() {
    if (failOpen) return false;
    open = true;
    return true;
}

void SoundTest::SetUp() {
    TempDirTest::SetUp();
    CloseSound();
    CloseMidiLog();
    Operations = nullptr;
    InstallSoundDevices(&midi, &wave);
    for (OutputChannelRecord& channel : Output.channels) channel.type.store(0);
    Output.switches.store(0);
    Output.volume = 0;
    InitMidiLog(logName);
    for (int channel = 0; channel < 15; ++channel) KeepLogInstrument(channel, 0);
    OutputCalls.clear();
}

void SoundTest::TearDown() {
    CloseSound();
    CloseMidiLog();
    Operations = nullptr;
    InstallSoundDevices(nullptr, nullptr);
    TempDirTest::TearDown();
}

std::vector<MidiEvent> ParseMidiFile(const std::vector<uint8_t>& bytes) {
    std::vector<MidiEvent> events;
    const uint8_t header[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x03, 0xE8, 'M', 'T', 'r', 'k'};
    if (bytes.size() < 22 || !std::equal(std::begin(header), std::end(header), bytes.begin())) {
        ADD_FAILURE() << "not a format 0 file of the log's layout";
        return events;
    }
    const uint32_t length = bytes[18] << 24 | bytes[19] << 16 | bytes[20] << 8 | bytes[21];
    EXPECT_EQ(length, bytes.size() - 22) << "track length";
    size_t at = 22;
    uint32_t time = 0;
    uint8_t status = 0;
    auto quantity = [&] {
        uint32_t value = 0;
        while (at < bytes.size()) {
            const uint8_t b = bytes[at++];
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80)) break;
        }
        return value;
    };
    while (at < bytes.size()) {
        time += quantity();
        if (at >= bytes.size()) break;
        if (bytes[at] & 0x80) status = bytes[at++];
        MidiEvent event{time, status, {}};
        size_t count;
        if (status == 0xFF) {
            event.data.push_back(bytes[at++]);
            count = quantity();
        } else {
            count = ((status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0) ? 1 : 2;
        }
        for (size_t i = 0; i < count && at < bytes.size(); ++i) event.data.push_back(bytes[at++]);
        events.push_back(event);
    }
    return events;
}

}  // namespace koru::test
