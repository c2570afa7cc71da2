// The MIDI device: every message it receives for the output operations.
#include <gtest/gtest.h>

#include <cmath>

#include "sound/output.h"
#include "sound/sound_support.h"

namespace koru {
namespace {

using test::Msg;

class MidiDeviceTest : public test::SoundTest {
protected:
    void Open() {
        ASSERT_EQ(OpenSound(1, 16), 1);
        ASSERT_EQ(SoundOutputRate(), 1);
        midi.messages.clear();
    }
};

TEST_F(MidiDeviceTest, OpeningSetsEveryChannelsVolumeAndProgram) {
    SetInstrument(3, NoiseInstrument);  // kept while closed? no device: not kept
    ASSERT_EQ(OpenSound(1, 16), 1);
    ASSERT_EQ(midi.messages.size(), 32u);
    for (int channel = 0; channel < 16; ++channel) EXPECT_EQ(midi.messages[channel], Msg(0xB0 | channel, 7, 100));
    const int midiChannel[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 9};
    for (int channel = 0; channel < 16; ++channel) {
        EXPECT_EQ(midi.messages[16 + channel], Msg(0xC0 | midiChannel[channel], 80)) << channel;
    }
}

TEST_F(MidiDeviceTest, ReopenedDeviceGetsTheKeptInstrumentsBack) {
    Open();
    SetInstrument(3, NoiseInstrument);
    SetInstrument(15, 0x100 | 0x23);
    EXPECT_EQ(midi.messages, (std::vector<uint32_t>{Msg(0xC3, 122), Msg(0xC9, 0x23)}));
    CloseSound();
    EXPECT_EQ(midi.resets, 1);
    EXPECT_FALSE(midi.open);
    ASSERT_EQ(OpenSound(1, 16), 1);
    EXPECT_EQ(midi.messages[2 + 16 + 3], Msg(0xC3, 122));
    EXPECT_EQ(midi.messages[2 + 16 + 15], Msg(0xC9, 0x23));
}

TEST_F(MidiDeviceTest, NoteThenKeyPressureThenNoteOff) {
    Open();
    SetSoundVolume(200, 1);
    EXPECT_EQ(midi.volume, (200u * 256) | (200u * 256) << 16);
    Sound(0, 440, 200);
    EXPECT_EQ(midi.messages, (std::vector<uint32_t>{Msg(0x90, 69, 100), Msg(0xE0, 8178 & 0x7F, 8178 >> 7)}));
    midi.messages.clear();
    Sound(0, 440, 100);
    EXPECT_EQ(midi.messages, (std::vector<uint32_t>{Msg(0xA0, 69, 50)}));
    midi.messages.clear();
    Sound(0, 440, 101);  // same velocity after halving
    Sound(0, 0, 100);
    EXPECT_EQ(midi.messages, (std::vector<uint32_t>{Msg(0x80, 69, 0)}));
    midi.messages.clear();
    Sound(0, 0, 100);  // nothing sounds: nothing to stop
    EXPECT_TRUE(midi.messages.empty());
}

TEST_F(MidiDeviceTest, NewNoteStopsTheOldOneAndBendsOnlyWhenTheBendChanges) {
    Open();
    SetSoundVolume(200, 0xFFFF);
    Sound(2, 450, 200);  // entry 150: note 69, bend 8337
    Sound(2, 453, 200);  // entry 151: note 70, bend 8035
    Sound(2, 454, 200);  // entry 151 again: nothing
    EXPECT_EQ(midi.messages, (std::vector<uint32_t>{Msg(0x92, 69, 100), Msg(0xE2, 8337 & 0x7F, 8337 >> 7),
                                                    Msg(0x82, 69, 0), Msg(0x92, 70, 100),
                                                    Msg(0xE2, 8035 & 0x7F, 8035 >> 7)}));
}

TEST_F(MidiDeviceTest, ChannelFifteenPlaysOnThePercussionChannelAndNineOnTen) {
    Open();
    SetSoundVolume(200, 0xFFFF);
    Sound(15, 440, 200);
    Sound(9, 440, 200);
    ASSERT_EQ(midi.messages.size(), 4u);
    EXPECT_EQ(midi.messages[0], Msg(0x99, 69, 100));
    EXPECT_EQ(midi.messages[2], Msg(0x9A, 69, 100));
}

TEST_F(MidiDeviceTest, ClearedSwitchesSilenceChannelsAndKeepThemSilent) {
    Open();
    SetSoundVolume(200, 0x800F);
    Sound(0, 440, 200);
    Sound(1, 440, 200);
    midi.messages.clear();
    SetSoundVolume(150, 0x8002);  // channel 1 off, channel 2 stays
    EXPECT_EQ(midi.messages, (std::vector<uint32_t>{Msg(0x80, 69, 0)}));
    EXPECT_EQ(midi.volume, (150u * 256) | (150u * 256) << 16);
    midi.messages.clear();
    Sound(0, 880, 200);  // switch clear: stored, not played
    EXPECT_TRUE(midi.messages.empty());
    SetSoundVolume(150, 0x8003);
    EXPECT_TRUE(midi.messages.empty()) << "setting a switch again does not replay";
}

TEST_F(MidiDeviceTest, DrumsSoundOnlyWithSwitchBit15) {
    Open();
    SetSoundVolume(200, 0x000F);
    Drum(0x11C, 200);
    EXPECT_TRUE(midi.messages.empty());
    SetSoundVolume(200, 0x800F);
    Drum(0x11C, 200);
    Drum(3, 300);
    EXPECT_EQ(midi.messages, (std::vector<uint32_t>{Msg(0x99, 0x1C, 100), Msg(0x99, 77, 127)}));
}

TEST_F(MidiDeviceTest, FrequenciesOutsideNineTo12285AreSilence) {
    Open();
    SetSoundVolume(200, 0xFFFF);
    Sound(0, 9, 200);
    EXPECT_EQ(midi.messages.front(), Msg(0x90, NoteTable[3].note, 100));
    midi.messages.clear();
    Sound(0, 8, 200);
    EXPECT_EQ(midi.messages, (std::vector<uint32_t>{Msg(0x80, NoteTable[3].note, 0)}));
    midi.messages.clear();
    Sound(0, 131072, 255);
    Sound(0, -5, 255);
    Sound(-1, 440, 255);
    Sound(16, 440, 255);
    EXPECT_TRUE(midi.messages.empty());
}

TEST_F(MidiDeviceTest, RateZeroAcceptsAndIgnoresEverything) {
    ASSERT_EQ(OpenSound(0, 16), 1);
    EXPECT_EQ(SoundOutputRate(), 0);
    SetSoundVolume(200, 0xFFFF);
    Sound(0, 440, 200);
    Drum(0x11C, 200);
    SetInstrument(0, 1);
    int8_t pattern[32] = {};
    SetWave(2, pattern, 32);
    EXPECT_TRUE(midi.messages.empty());
    EXPECT_FALSE(midi.open);
    EXPECT_FALSE(wave.IsOpen());
}

TEST_F(MidiDeviceTest, DeviceThatCannotOpenLeavesTheOutputSilent) {
    midi.failOpen = true;
    EXPECT_EQ(OpenSound(1, 16), 0);
    EXPECT_EQ(SoundOutputRate(), 0);
    SetSoundVolume(200, 0xFFFF);
    Sound(0, 440, 200);
    EXPECT_TRUE(midi.messages.empty());
    InstallSoundDevices(nullptr, nullptr);
    EXPECT_EQ(OpenSound(1, 16), 0) << "no MIDI device installed";
    EXPECT_EQ(OpenSound(22050, 16), 0) << "no wave device installed";
}

TEST_F(MidiDeviceTest, ClosingSilencesAndForgetsTheNotes) {
    Open();
    SetSoundVolume(200, 0xFFFF);
    Sound(0, 440, 200);
    CloseSound();
    EXPECT_EQ(midi.resets, 1);
    ASSERT_EQ(OpenSound(1, 16), 1);
    midi.messages.clear();
    Sound(0, 440, 200);  // a new note-on, not a repeat of the old one
    EXPECT_EQ(midi.messages.front(), Msg(0x90, 69, 100));
}

TEST(NoteTable, NotesFollowTheRuleAndBendsLieWithinOneUnit) {
    for (int i = 3; i < NoteTableSize; ++i) {
        const long double e = 69.0L + 12.0L * std::log2((3.0L * i + 1.0L) / 440.0L);
        const long note = std::lround(e);
        const long double bend = 8192.0L + (e - note) * 8192.0L / 24.0L;
        ASSERT_EQ(NoteTable[i].note, note) << "entry " << i;
        ASSERT_LE(std::fabs(NoteTable[i].bend - bend), 1.1L) << "entry " << i;
    }
    EXPECT_EQ(NoteTable[146].note, 69);
    EXPECT_EQ(NoteTable[146].bend, 8178);
    EXPECT_EQ(NoteTable[150].note, 69);
    EXPECT_EQ(NoteTable[150].bend, 8337);
    EXPECT_EQ(NoteTable[151].note, 70);
    EXPECT_EQ(NoteTable[151].bend, 8035);
    EXPECT_EQ(NoteTable[4095].note, 127);
    EXPECT_EQ(NoteTable[4095].bend, 8069);
}

TEST(ProgramTable, TypesSelectSquareLeadOrSeashoreUnlessBit8NamesTheProgram) {
    EXPECT_EQ(ProgramOfType(0), 80);
    EXPECT_EQ(ProgramOfType(1), 122);
    EXPECT_EQ(ProgramOfType(2), 122);
    EXPECT_EQ(ProgramOfType(3), 80);
    EXPECT_EQ(ProgramOfType(7), 80);
    EXPECT_EQ(ProgramOfType(0x100 | 0x85), 5);
    for (int k = 0; k < 9; ++k) EXPECT_EQ(MidiChannelOf(k), k);
    for (int k = 9; k < 15; ++k) EXPECT_EQ(MidiChannelOf(k), k + 1);
    EXPECT_EQ(MidiChannelOf(15), 9);
}

}  // namespace
}  // namespace koru
