// The MIDI log: the file's layout byte for byte, delta times, running
// status, stopping and starting, and the file's end.
#include <gtest/gtest.h>

#include "sound/midilog.h"
#include "sound/output.h"
#include "sound/sound_support.h"

namespace koru {
namespace {

using test::MidiEvent;
using test::ReadFile;

class MidiLogTest : public test::SoundTest {
protected:
    // Everything the log writes before the first sound event: header, tempo,
    // 16 channel volumes and the programs of channels 0-14.
    static constexpr size_t Prologue = 22 + 7 + 16 * 4 + 15 * 3;

    std::vector<uint8_t> Finished() {
        CloseMidiLog();
        return ReadFile(dir / "log.mid");
    }
    std::vector<uint8_t> EventsAfterPrologue() {
        const std::vector<uint8_t> bytes = Finished();
        if (bytes.size() < Prologue) return {};
        return std::vector<uint8_t>(bytes.begin() + Prologue, bytes.end());
    }
};

TEST_F(MidiLogTest, NewFileStartsWithHeaderTempoChannelVolumesAndPrograms) {
    ASSERT_EQ(MidiLog(1), 1);
    const std::vector<uint8_t> bytes = Finished();
    std::vector<uint8_t> expected = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x03, 0xE8, 'M', 'T', 'r', 'k'};
    const uint32_t length = Prologue + 4 - 22;
    for (int shift = 24; shift >= 0; shift -= 8) expected.push_back(static_cast<uint8_t>(length >> shift));
    for (uint8_t b : {0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}) expected.push_back(b);
    for (int channel = 0; channel < 16; ++channel) {
        for (int b : {0x00, 0xB0 + channel, 0x07, 0x64}) expected.push_back(static_cast<uint8_t>(b));
    }
    for (int midi : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15}) {
        for (int b : {0x00, 0xC0 + midi, 80}) expected.push_back(static_cast<uint8_t>(b));
    }
    for (uint8_t b : {0x00, 0xFF, 0x2F, 0x00}) expected.push_back(b);
    EXPECT_EQ(bytes, expected);
}

TEST_F(MidiLogTest, DeltaTimesOf100And1000And20000Milliseconds) {
    ASSERT_EQ(MidiLog(1), 1);
    MidiLogTicks(100);
    Sound(0, 440, 200);
    MidiLogTicks(1000);
    Sound(0, 0, 0);
    MidiLogTicks(20000);
    Sound(1, 440, 200);
    MidiLogTicks(0);   // ignored
    MidiLogTicks(-5);  // ignored
    const std::vector<uint8_t> expected = {
        0x64, 0x90, 69, 100, 0x00, 0xE0, 8178 & 0x7F, 8178 >> 7,  // 100 ms, note 69 with bend 8178
        0x87, 0x68, 0x80, 69, 127,                                // 1000 ms, note-off of velocity 127
        0x81, 0x9C, 0x20, 0x91, 69, 100, 0x00, 0xE1, 0x72, 0x3F,  // 20000 ms, channel 1
        0x00, 0x81, 69, 127, 0x00, 0xFF, 0x2F, 0x00,              // the end silences channel 1
    };
    EXPECT_EQ(EventsAfterPrologue(), expected);
}

TEST_F(MidiLogTest, SameStatusInARowIsWrittenOnceAndKeyPressureChangesVelocity) {
    ASSERT_EQ(MidiLog(1), 1);
    Sound(0, 440, 200);
    Sound(2, 440, 200);
    Sound(0, 440, 100);
    Sound(0, 440, 50);
    Sound(0, 440, 51);  // same velocity after halving: nothing
    const std::vector<uint8_t> expected = {
        0x00, 0x90, 69, 100, 0x00, 0xE0, 0x72, 0x3F,
        0x00, 0x92, 69, 100, 0x00, 0xE2, 0x72, 0x3F,  // same frame: delta 0
        0x00, 0xA0, 69, 50, 0x00, 69, 25,             // running status
        0x00, 0x80, 69, 127, 0x00, 0x82, 69, 127, 0x00, 0xFF, 0x2F, 0x00,
    };
    EXPECT_EQ(EventsAfterPrologue(), expected);
}

TEST_F(MidiLogTest, StoppingAndStartingContinuesTheFileWithoutTheTimeBetween) {
    ASSERT_EQ(MidiLog(1), 1);
    MidiLogTicks(48);
    Sound(0, 440, 200);
    MidiLogTicks(100);
    EXPECT_EQ(MidiLog(0), 0);
    MidiLogTicks(5000);
    Sound(1, 880, 200);  // not recording: not logged
    EXPECT_EQ(MidiLog(2), 1);
    MidiLogTicks(32);
    Sound(1, 440, 200);
    const std::vector<MidiEvent> events = test::ParseMidiFile(Finished());
    std::vector<MidiEvent> notes;
    for (const MidiEvent& e : events) {
        if ((e.status & 0xE0) == 0x80) notes.push_back(e);
    }
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_EQ(notes[0].status, 0x90);
    EXPECT_EQ(notes[0].time, 48u);
    EXPECT_EQ(notes[1].status, 0x80) << "stopping silences the sounding note";
    EXPECT_EQ(notes[1].time, 148u);
    EXPECT_EQ(notes[2].status, 0x91);
    EXPECT_EQ(notes[2].time, 180u);
    EXPECT_EQ(notes[2].data[0], 69);
    EXPECT_EQ(notes[3].status, 0x81);
}

TEST_F(MidiLogTest, MachineStartFinishesTheFileAndStartsANewOneUnderTheName) {
    ASSERT_EQ(MidiLog(1), 1);
    Sound(0, 440, 200);
    MidiLogTicks(16);
    char second[] = "second.mid";
    InitMidiLog(second);
    EXPECT_EQ(MidiLogRecording(), 1) << "recording goes on in the new file";
    const std::vector<MidiEvent> first = test::ParseMidiFile(ReadFile(dir / "log.mid"));
    ASSERT_GE(first.size(), 3u);
    EXPECT_EQ(first[first.size() - 2].status, 0x80);
    EXPECT_EQ(first.back().status, 0xFF);
    EXPECT_EQ(first.back().data, (std::vector<uint8_t>{0x2F})) << "end of track, no data";
    EXPECT_EQ(first.back().time, 16u);

    // The same name again replaces the file with a fresh one.
    InitMidiLog(second);
    InitMidiLog(logName);
    Sound(3, 440, 200);
    InitMidiLog(logName);
    const std::vector<MidiEvent> replaced = test::ParseMidiFile(Finished());
    for (const MidiEvent& e : replaced) EXPECT_NE(e.status & 0xF0, 0x90) << "the old notes are gone";
    EXPECT_TRUE(std::filesystem::exists(dir / "second.mid"));
}

TEST_F(MidiLogTest, FinishedFileHoldsItsTrackLengthAtOffset18) {
    ASSERT_EQ(MidiLog(1), 1);
    for (int i = 0; i < 50; ++i) {
        MidiLogTicks(16);
        Sound(i % 4, 200 + 10 * i, 100 + i);
    }
    const std::vector<uint8_t> bytes = Finished();
    const uint32_t length = bytes[18] << 24 | bytes[19] << 16 | bytes[20] << 8 | bytes[21];
    EXPECT_EQ(length, bytes.size() - 22);
    EXPECT_EQ(MidiLogRecording(), 0);
    EXPECT_EQ(MidiLog(3), 0);
}

TEST_F(MidiLogTest, ModesToggleAskAndKeepTheFlag) {
    EXPECT_EQ(MidiLog(3), 0);
    EXPECT_EQ(MidiLog(2), 1);
    EXPECT_EQ(MidiLog(1), 1);
    EXPECT_EQ(MidiLog(7), 1);
    EXPECT_EQ(MidiLog(2), 0);
    EXPECT_EQ(MidiLog(0), 0);
}

TEST_F(MidiLogTest, FileThatCannotBeCreatedLeavesRecordingOff) {
    char name[] = "no-such-folder/log.mid";
    InitMidiLog(name);
    EXPECT_EQ(MidiLog(1), 0);
    EXPECT_EQ(MidiLogRecording(), 0);
    Sound(0, 440, 200);  // nothing to write to, nothing breaks
    CloseMidiLog();
}

TEST_F(MidiLogTest, SilenceOfMoreThan35MinutesKeepsItsLengthInFourBytes) {
    ASSERT_EQ(MidiLog(1), 1);
    MidiLogTicks(0x200000);
    MidiLogTicks(5);
    Sound(0, 440, 200);
    const std::vector<uint8_t> events = EventsAfterPrologue();
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(std::vector<uint8_t>(events.begin(), events.begin() + 5),
              (std::vector<uint8_t>{0x81, 0x80, 0x80, 0x05, 0x90}));
    const std::vector<MidiEvent> parsed = test::ParseMidiFile(ReadFile(dir / "log.mid"));
    bool found = false;
    for (const MidiEvent& e : parsed) {
        if (e.status == 0x90) found = e.time == 0x200005u;
    }
    EXPECT_TRUE(found);
}

TEST_F(MidiLogTest, InstrumentsKeptWhileStoppedBecomeTheFirstPrograms) {
    SetInstrument(3, NoiseInstrument);
    SetInstrument(4, 0x100 | 33);
    ASSERT_EQ(MidiLog(1), 1);
    SetInstrument(3, NoiseInstrument);  // unchanged: not written again
    SetInstrument(2, CustomWaveInstrument);
    const std::vector<MidiEvent> events = test::ParseMidiFile(Finished());
    std::vector<std::pair<int, int>> programs;
    for (const MidiEvent& e : events) {
        if ((e.status & 0xF0) == 0xC0) programs.emplace_back(e.status & 0x0F, e.data[0]);
    }
    ASSERT_EQ(programs.size(), 16u);
    EXPECT_EQ(programs[3], std::make_pair(3, 122));
    EXPECT_EQ(programs[4], std::make_pair(4, 33));
    EXPECT_EQ(programs[15], std::make_pair(2, 80));
}

TEST_F(MidiLogTest, DrumsGoToThePercussionChannelAndChannelsMapAsOnTheDevice) {
    ASSERT_EQ(MidiLog(1), 1);
    Drum(0x11C, 200);
    Drum(5, 999);
    Sound(9, 440, 200);
    Sound(15, 440, 200);  // channel 15 is not logged
    const std::vector<uint8_t> expected = {
        0x00, 0x99, 0x1C, 100, 0x00, 77, 127,          // running status for the second hit
        0x00, 0x9A, 69, 100, 0x00, 0xEA, 0x72, 0x3F,  // output channel 9 on MIDI channel 10
        0x00, 0x8A, 69, 127, 0x00, 0xFF, 0x2F, 0x00,
    };
    EXPECT_EQ(EventsAfterPrologue(), expected);
}

TEST_F(MidiLogTest, FrequenciesOutsideTheMidiRangeAreNoteOffs) {
    ASSERT_EQ(MidiLog(1), 1);
    Sound(0, 440, 200);
    Sound(0, 12286, 200);
    Sound(1, 8, 200);
    Sound(1, 12285, 200);
    const std::vector<uint8_t> events = EventsAfterPrologue();
    const std::vector<uint8_t> expected = {
        0x00, 0x90, 69, 100, 0x00, 0xE0, 0x72, 0x3F, 0x00, 0x80, 69, 127,
        0x00, 0x91, 127, 100, 0x00, 0xE1, static_cast<uint8_t>(NoteTable[4095].bend & 0x7F),
        static_cast<uint8_t>(NoteTable[4095].bend >> 7),
        0x00, 0x81, 127, 127, 0x00, 0xFF, 0x2F, 0x00,
    };
    EXPECT_EQ(events, expected);
}

}  // namespace
}  // namespace koru
