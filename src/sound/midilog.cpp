// The MIDI log: the sound output's events as a Standard MIDI File.
#include "sound/midilog.h"

#include <cstdio>

#include "sound/output.h"

namespace koru {
namespace {

constexpr int LogChannels = 16;
constexpr long TrackLengthOffset = 18;
constexpr long TrackStart = 22;
// The longest delta time a variable-length quantity of four bytes holds.
constexpr int32_t MaxPendingTime = 0x0FFFFFFF;

struct LogChannelRecord {
    int32_t note;      // -1: none sounding
    int32_t velocity;
    int32_t bend;      // -1: none written
    int32_t type;      // last instrument type written, -1: none
};

struct MidiLogRecord {
    const char* name = nullptr;  // none until the first machine start
    int32_t recording = 0;
    int32_t pending = 0;         // milliseconds since the last event
    int32_t lastStatus = -1;
    std::FILE* file = nullptr;
    LogChannelRecord channels[LogChannels];
    int32_t types[LogChannels] = {};  // kept whether or not recording
};

MidiLogRecord Log;

void WriteByte(int value) { std::fputc(value & 0xFF, Log.file); }

// The pending time as a variable-length quantity. Up to 2^21 - 1 ms it takes
// at most three bytes; longer silences take a fourth byte rather than losing
// their high bits, so that later events keep their place in time.
void WritePendingTime() {
    const uint32_t t = static_cast<uint32_t>(Log.pending);
    if (t >= 0x200000) WriteByte(((t >> 21) & 0x7F) | 0x80);
    if (t >= 0x4000) WriteByte(((t >> 14) & 0x7F) | 0x80);
    if (t >= 0x80) WriteByte(((t >> 7) & 0x7F) | 0x80);
    WriteByte(t & 0x7F);
}

void LogNoteOff(int channel) {
    LogChannelRecord& c = Log.channels[channel];
    if (c.note < 0) return;
    LogEvent(0x80 | MidiChannelOf(channel), c.note, 127);
    c.note = -1;
}

void LogNoteOn(int channel, int note, int velocity) {
    note &= 0x7F;
    velocity &= 0x7F;
    LogChannelRecord& c = Log.channels[channel];
    if (c.note == note && c.velocity == velocity) return;
    if (c.note == note) {
        LogEvent(0xA0 | MidiChannelOf(channel), note, velocity);
    } else {
        LogNoteOff(channel);
        LogEvent(0x90 | MidiChannelOf(channel), note, velocity);
    }
    c.note = note;
    c.velocity = velocity;
}

void SilenceSoundingNotes() {
    for (int channel = 0; channel < LogChannels; ++channel) LogNoteOff(channel);
}

// Creates the file and writes everything up to the first channel event.
bool CreateLogFile() {
    Log.lastStatus = -1;
    for (LogChannelRecord& c : Log.channels) c = LogChannelRecord{-1, -1, -1, -1};
    Log.file = std::fopen(Log.name, "wb");
    if (!Log.file) return false;
    static const uint8_t header[] = {
        'M', 'T', 'h', 'd', 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01,  // format 0, one track
        0x03, 0xE8,                                                          // 1000 ticks a quarter
        'M', 'T', 'r', 'k', 0x00, 0x00, 0x00, 0x00,                          // length when finished
    };
    if (std::fwrite(header, 1, sizeof header, Log.file) != sizeof header) {
        std::fclose(Log.file);
        Log.file = nullptr;
        return false;
    }
    // A quarter note of 1,000,000 microseconds makes one tick one millisecond.
    WritePendingTime();
    static const uint8_t tempo[] = {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40};
    std::fwrite(tempo, 1, sizeof tempo, Log.file);
    Log.pending = 0;
    for (int channel = 0; channel < 16; ++channel) LogEvent(0xB0 + channel, 7, 100);
    return true;
}

}  // namespace

void InitMidiLog(const char* name) {
    if (!name) return;
    const int wasRecording = Log.recording;
    if (Log.file) CloseMidiLog();
    if (!Log.name) {
        for (int32_t& type : Log.types) type = 0;
    }
    Log.name = name;
    Log.recording = 0;
    Log.lastStatus = -1;
    Log.pending = 0;
    Log.file = nullptr;
    if (wasRecording) MidiLog(1);
}

int MidiLog(int mode) {
    if (mode == 2) mode = Log.recording ? 0 : 1;
    if (mode != 0 && mode != 1) return Log.recording;
    if (mode == Log.recording) return Log.recording;

    if (mode == 0 && Log.file) SilenceSoundingNotes();
    if (mode == 1 && !Log.file && Log.name) {
        if (!CreateLogFile()) return 0;
    }
    if (!Log.file) mode = 0;
    if (mode == 1) {
        // Time spent with recording off is left out.
        Log.pending = 0;
        for (int channel = 0; channel < 15; ++channel) LogProgram(channel, Log.types[channel]);
    }
    Log.recording = mode;
    return Log.recording;
}

void MidiLogTicks(int milliseconds) {
    if (milliseconds < 1 || !Log.recording || !Log.file) return;
    Log.pending = milliseconds > MaxPendingTime - Log.pending ? MaxPendingTime : Log.pending + milliseconds;
}

void CloseMidiLog() {
    if (!Log.file) return;
    SilenceSoundingNotes();
    LogEvent(0xFF, 0x2F, 0);  // end of track
    std::fseek(Log.file, 0, SEEK_END);
    const long length = std::ftell(Log.file) - TrackStart;
    std::fseek(Log.file, TrackLengthOffset, SEEK_SET);
    for (int shift = 24; shift >= 0; shift -= 8) WriteByte(static_cast<int>(length >> shift));
    std::fclose(Log.file);
    Log.file = nullptr;
    Log.recording = 0;
    Log.lastStatus = -1;
    Log.pending = 0;
}

int MidiLogRecording() { return Log.recording; }

void LogEvent(int status, int data1, int data2) {
    if (!Log.file) return;
    WritePendingTime();
    if (status != Log.lastStatus) WriteByte(status);
    if (data1 < 0x80) WriteByte(data1);
    if (data2 < 0x80) WriteByte(data2);
    Log.lastStatus = status;
    Log.pending = 0;
}

void LogSound(int channel, int frequency, int volume) {
    if (channel < 0 || channel >= LogChannels) return;
    if (frequency < MinMidiFrequency || frequency > MaxMidiFrequency) frequency = 0;
    if (volume == 0 || frequency == 0) {
        LogNoteOff(channel);
        return;
    }
    const NoteEntry entry = NoteTable[frequency / 3];
    LogNoteOn(channel, entry.note, (volume & 0xFF) / 2);
    LogChannelRecord& c = Log.channels[channel];
    if (entry.bend != c.bend) {
        LogEvent(0xE0 | MidiChannelOf(channel), entry.bend & 0x7F, (entry.bend >> 7) & 0x7F);
        c.bend = entry.bend;
    }
}

void LogProgram(int channel, int type) {
    if (channel < 0 || channel >= LogChannels) return;
    LogChannelRecord& c = Log.channels[channel];
    if (c.type == type) return;
    c.type = type;
    LogEvent(0xC0 | MidiChannelOf(channel), ProgramOfType(type), 0x80);
}

void KeepLogInstrument(int channel, int type) {
    if (channel < 0 || channel >= 15) return;
    Log.types[channel] = type;
    if (Log.recording) LogProgram(channel, type);
}

}  // namespace koru
