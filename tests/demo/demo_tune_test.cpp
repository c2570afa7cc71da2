// The demo's tune as the sound log records it: the notes of each part of
// tune.h on the channel of its tone generator.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "demo_run.h"
#include "tune.h"

namespace koru::test {
namespace {

// Note-ons (velocity above 0) of a format 0 Standard MIDI File, per channel,
// in file order.
std::map<int, std::vector<int>> NoteOns(const std::vector<uint8_t>& file) {
    std::map<int, std::vector<int>> notes;
    if (file.size() < 22 || std::string(file.begin(), file.begin() + 4) != "MThd" ||
        std::string(file.begin() + 14, file.begin() + 18) != "MTrk")
        return notes;
    size_t p = 22;
    auto quantity = [&]() {
        uint32_t v = 0;
        while (p < file.size()) {
            const uint8_t b = file[p++];
            v = (v << 7) | (b & 0x7F);
            if (!(b & 0x80)) break;
        }
        return v;
    };
    int status = -1;
    while (p < file.size()) {
        quantity();
        if (p >= file.size()) break;
        if (file[p] & 0x80) {
            const uint8_t s = file[p++];
            if (s == 0xFF) {  // meta event: type, length, data
                if (p >= file.size()) break;
                ++p;
                p += quantity();
                continue;
            }
            status = s;
        }
        if (status < 0) break;  // data without a status: not a file we wrote
        const int kind = status & 0xF0;
        const int length = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
        if (p + length > file.size()) break;
        if (kind == 0x90 && file[p + 1] > 0) notes[status & 0x0F].push_back(file[p]);
        p += length;
    }
    return notes;
}

// A list without its repeats: the log shows a note held or struck again
// with the same pitch as one note-on or several, depending on whether it
// had faded out in between.
std::vector<int> WithoutRepeats(const std::vector<int>& list) {
    std::vector<int> out;
    for (int n : list)
        if (out.empty() || out.back() != n) out.push_back(n);
    return out;
}

std::vector<int> PartNotes(const unsigned char* part) {
    std::vector<int> notes;
    for (int s = 0; s < TUNE_STEPS; ++s)
        if (part[s] > REST) notes.push_back(part[s]);
    return WithoutRepeats(notes);
}

bool StartsWith(const std::vector<int>& list, const std::vector<int>& prefix) {
    return list.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), list.begin());
}

class DemoTuneTest : public DemoTest {
protected:
    void SetUp() override {
        DemoTest::SetUp();
        if (IsSkipped()) return;
        // One whole pass of the tune (sixteen seconds) and a little more.
        Run(TUNE_STEPS * 60 / TUNE_STEP_HZ + 120, "", "--midi-log tune.mid");
        log = NoteOns(ReadFile(dir / "tune.mid"));
    }
    std::map<int, std::vector<int>> log;
};

TEST_F(DemoTuneTest, MelodyAndBassPlayTheirNotesInOrder) {
    // Square 2 (channel 1) plays the melody, the wave generator (channel 2)
    // the bass, note for note.
    const std::vector<int> melody = WithoutRepeats(log[1]), bass = WithoutRepeats(log[2]);
    EXPECT_TRUE(StartsWith(melody, PartNotes(TuneMelody))) << "melody notes logged: " << melody.size();
    EXPECT_TRUE(StartsWith(bass, PartNotes(TuneBass))) << "bass notes logged: " << bass.size();
}

TEST_F(DemoTuneTest, ChirpStartsOnItsNoteAndSweepsUpward) {
    const std::vector<int>& chirp = log[0];
    ASSERT_GE(chirp.size(), 2u);
    EXPECT_EQ(chirp[0], TuneChirp[0]);
    EXPECT_GT(chirp[1], chirp[0]);
}

TEST_F(DemoTuneTest, DrumsSoundOnTheNoiseChannel) {
    // The noise generator is logged at its fixed 8192 Hz: the note of that
    // frequency by the log's rule, 69 + 12 log2(f / 440) rounded.
    const int note = static_cast<int>(std::lround(69 + 12 * std::log2((3 * (8192 / 3) + 1) / 440.0)));
    ASSERT_FALSE(log[3].empty());
    for (int n : log[3]) EXPECT_EQ(n, note);
}

}  // namespace
}  // namespace koru::test
