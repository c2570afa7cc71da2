// A whole run of the sound check cartridge through koru-headless: the MIDI
// log and the WAV file hold the four notes it plays, in order and in time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "sound/sound_support.h"
#include "support/test_machine.h"

namespace koru {
namespace {

struct Note {
    int channel;
    int note;
    uint32_t on;   // ms
    uint32_t off;  // ms
};

std::vector<Note> NotesOf(const std::vector<test::MidiEvent>& events) {
    std::vector<Note> notes;
    for (const test::MidiEvent& e : events) {
        const int kind = e.status & 0xF0, channel = e.status & 0x0F;
        if (kind == 0x90 && e.data[1] > 0) notes.push_back({channel, e.data[0], e.time, 0});
        if (kind == 0x80) {
            for (Note& n : notes) {
                if (n.channel == channel && n.note == e.data[0] && n.off == 0) n.off = e.time;
            }
        }
    }
    return notes;
}

// Samples of a WAV file of 8-bit mono at 22050 samples a second.
std::vector<uint8_t> WavSamples(const std::vector<uint8_t>& file) {
    if (file.size() < 44 || std::memcmp(file.data(), "RIFF", 4) || std::memcmp(file.data() + 8, "WAVEfmt ", 8) ||
        std::memcmp(file.data() + 36, "data", 4)) {
        ADD_FAILURE() << "not a WAV file";
        return {};
    }
    auto word = [&](size_t at, int bytes) {
        uint32_t v = 0;
        for (int i = bytes - 1; i >= 0; --i) v = v << 8 | file[at + i];
        return v;
    };
    EXPECT_EQ(word(20, 2), 1u);   // PCM
    EXPECT_EQ(word(22, 2), 1u);   // mono
    EXPECT_EQ(word(24, 4), 22050u);
    EXPECT_EQ(word(34, 2), 8u);
    const uint32_t size = word(40, 4);
    EXPECT_EQ(word(4, 4), 36 + size + (size & 1));
    EXPECT_LE(44 + size, file.size());
    return std::vector<uint8_t>(file.begin() + 44, file.begin() + 44 + std::min<size_t>(size, file.size() - 44));
}

// What one 1024-sample stretch sounds like.
struct Stretch {
    int rises;  // upward crossings of the middle
    int low, high;
};

class CartridgeSoundTest : public test::TempDirTest {};

TEST_F(CartridgeSoundTest, SoundCheckPlaysItsFourNotesIntoTheLogAndTheWaveFile) {
    const auto rom = test::BuiltRom("soundcheck");
    KORU_REQUIRE(std::filesystem::exists(rom), "test cartridges are not built");
    std::string output;
    ASSERT_EQ(test::RunHeadless("--frames 230 --sound-rate 22050 --wave-out out.wav --midi-log log.mid " + rom.string(),
                                &output),
              0)
        << output;

    // The log: each note on its channel for 30 frames of 16 ms, 40 frames
    // apart, starting within a frame of frame 11.
    const std::vector<Note> notes = NotesOf(test::ParseMidiFile(test::ReadFile(dir / "log.mid")));
    const Note expected[4] = {{0, 69, 11 * 16, 0}, {1, 72, 51 * 16, 0}, {2, 64, 91 * 16, 0}, {3, 120, 131 * 16, 0}};
    ASSERT_EQ(notes.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(notes[i].channel, expected[i].channel);
        EXPECT_EQ(notes[i].note, expected[i].note);
        EXPECT_NEAR(notes[i].on, expected[i].on, 16);
        EXPECT_EQ(notes[i].off - notes[i].on, 30u * 16);
    }

    // The WAV file: 230 frames of emulated time, 16 buffers of silence in
    // flight at the start, then the notes by their pitch.
    const std::vector<uint8_t> samples = WavSamples(test::ReadFile(dir / "out.wav"));
    const size_t due = 230ull * 280896 * 22050 / 16777216;
    EXPECT_EQ(samples.size(), due / 1024 * 1024);
    std::vector<Stretch> stretches;
    for (size_t at = 0; at + 1024 <= samples.size(); at += 1024) {
        Stretch s{0, 255, 0};
        for (size_t i = at; i < at + 1024; ++i) {
            if (i > at && samples[i - 1] < 128 && samples[i] >= 128) ++s.rises;
            s.low = std::min<int>(s.low, samples[i]);
            s.high = std::max<int>(s.high, samples[i]);
        }
        stretches.push_back(s);
    }
    for (int i = 0; i < 16; ++i) EXPECT_EQ(stretches[i].high, 128) << "buffer " << i << " is the opening silence";
    // Buffers wholly inside each note, by the frames the note lasts.
    auto buffersOf = [](double firstFrame, double frames) {
        const double perBuffer = 1024.0 / 22050 / (280896.0 / 16777216);  // frames a buffer lasts
        const int from = static_cast<int>(firstFrame / perBuffer) + 16 + 2;
        const int to = static_cast<int>((firstFrame + frames) / perBuffer) + 16 - 1;
        return std::make_pair(from, to);
    };
    struct Expect {
        const char* what;
        double frame;
        int minRises, maxRises;
    } tones[4] = {{"439 Hz square", 11, 19, 22}, {"522 Hz square", 51, 23, 25},
                  {"330 Hz wave", 91, 14, 16}, {"noise", 131, 40, 400}};
    for (const Expect& tone : tones) {
        const auto [from, to] = buffersOf(tone.frame, 30);
        ASSERT_LT(to, static_cast<int>(stretches.size()));
        ASSERT_LT(from, to);
        for (int b = from; b <= to; ++b) {
            SCOPED_TRACE(std::string(tone.what) + " in buffer " + std::to_string(b));
            EXPECT_GE(stretches[b].rises, tone.minRises);
            EXPECT_LE(stretches[b].rises, tone.maxRises);
            EXPECT_EQ(stretches[b].high, 128 + (tone.frame == 131 ? 10 : 12));
            EXPECT_EQ(stretches[b].low, 128 - (tone.frame == 131 ? 10 : 12));
        }
        // Silence again between the notes.
        const auto [gapFrom, gapTo] = buffersOf(tone.frame + 31, 8);
        for (int b = gapFrom; b <= gapTo && b < static_cast<int>(stretches.size()); ++b) {
            EXPECT_EQ(stretches[b].high, 128) << "gap after " << tone.what << ", buffer " << b;
        }
    }
}

TEST_F(CartridgeSoundTest, WaveOutputNeedsAWaveRate) {
    const auto rom = test::BuiltRom("hello");
    KORU_REQUIRE(std::filesystem::exists(rom), "test cartridges are not built");
    std::string output;
    EXPECT_EQ(test::RunHeadless("--sound-rate 1 --wave-out out.wav " + rom.string() + " 2>&1", &output), 2);
    EXPECT_NE(output.find("--sound-rate of 8192"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
    EXPECT_EQ(test::RunHeadless("--midi-log no-such-folder/log.mid " + rom.string() + " 2>&1", &output), 1);
    EXPECT_NE(output.find("cannot write no-such-folder/log.mid"), std::string::npos) << output;
}

}  // namespace
}  // namespace koru
