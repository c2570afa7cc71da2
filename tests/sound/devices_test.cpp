// The Linux devices: FluidSynth with a General MIDI SoundFont playing the
// MIDI device's messages, and SDL2 audio playing the wave device's buffers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "machine/log.h"
#include "machine/settings.h"
#include "sound/devices/shared_library.h"
#include "sound/devices/fluid_midi.h"
#include "sound/devices/sdl_wave.h"
#include "sound/output.h"
#include "sound/sound_support.h"

namespace koru {
namespace {

using test::Msg;

// The fundamental of a periodic signal by autocorrelation, in Hz.
double Pitch(const std::vector<int16_t>& stereo, int rate) {
    std::vector<double> s;
    for (size_t i = 0; i < stereo.size(); i += 2) s.push_back(stereo[i]);
    const int minLag = rate / 2000, maxLag = rate / 50;
    std::vector<double> c(maxLag + 1, 0);
    for (int lag = minLag; lag <= maxLag; ++lag) {
        for (size_t i = 0; i + lag < s.size(); ++i) c[lag] += s[i] * s[i + lag];
    }
    double best = 0;
    for (int lag = minLag; lag <= maxLag; ++lag) best = std::max(best, c[lag]);
    // The first peak near the best one is the period, not a multiple of it.
    for (int lag = minLag + 1; lag < maxLag; ++lag) {
        if (c[lag] > 0.85 * best && c[lag] >= c[lag - 1] && c[lag] >= c[lag + 1]) {
            // Refine between the neighbouring lags.
            const double a = c[lag - 1], b = c[lag], d = c[lag + 1];
            const double shift = (a - d) / (2 * (a - 2 * b + d));
            return rate / (lag + shift);
        }
    }
    return 0;
}

double Rms(const std::vector<int16_t>& stereo) {
    double sum = 0;
    for (int16_t s : stereo) sum += static_cast<double>(s) * s;
    return stereo.empty() ? 0 : std::sqrt(sum / stereo.size());
}

class FluidSynthTest : public test::SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        KORU_REQUIRE(!FluidSynthMidiDevice::FindSoundFont().empty(), "no General MIDI SoundFont installed");
        ASSERT_TRUE(synth.Open());
    }
    std::vector<int16_t> Render(double seconds) {
        std::vector<int16_t> out(2 * static_cast<size_t>(seconds * FluidSynthMidiDevice::SampleRate));
        synth.Render(out.data(), static_cast<int>(out.size() / 2));
        return out;
    }
    FluidSynthMidiDevice synth{false};
};

TEST_F(FluidSynthTest, SquareLeadNoteSoundsAtItsPitchAndStopsOnNoteOff) {
    synth.Send(Msg(0xC0, 80));
    synth.Send(Msg(0x90, 69, 100));
    Render(0.1);  // past the attack
    const auto held = Render(0.3);
    EXPECT_NEAR(Pitch(held, FluidSynthMidiDevice::SampleRate), 440.0, 440.0 * 0.02);
    EXPECT_GT(Rms(held), 300);
    synth.Send(Msg(0x80, 69, 0));
    Render(1.5);
    EXPECT_LT(Rms(Render(0.2)), 30);
}

TEST_F(FluidSynthTest, PitchBendSpansTwentyFourSemitones) {
    synth.Send(Msg(0xC0, 80));
    synth.Send(Msg(0x90, 69, 100));
    const int bend = 8192 + 8192 / 24;  // one semitone up
    synth.Send(Msg(0xE0, bend & 0x7F, bend >> 7));
    Render(0.1);
    EXPECT_NEAR(Pitch(Render(0.3), FluidSynthMidiDevice::SampleRate), 466.16, 466.16 * 0.02);
}

TEST_F(FluidSynthTest, VolumeIsTheGainAndResetSilencesEveryChannel) {
    synth.SetVolume(0xFFFF | 0xFFFF << 16);
    EXPECT_FLOAT_EQ(synth.Gain(), FluidSynthMidiDevice::FullGain);
    synth.SetVolume((128 * 256) | (128 * 256) << 16);
    EXPECT_NEAR(synth.Gain(), FluidSynthMidiDevice::FullGain * 32768 / 65535, 1e-4);
    synth.Send(Msg(0xC0, 80));
    synth.Send(Msg(0x91, 60, 100));
    synth.Send(Msg(0x92, 64, 100));
    Render(0.2);
    synth.Reset();
    Render(1.5);
    EXPECT_LT(Rms(Render(0.2)), 30);
    synth.SetVolume(0);
    synth.Send(Msg(0x90, 69, 127));
    Render(0.1);
    EXPECT_LT(Rms(Render(0.2)), 5);
}

TEST_F(FluidSynthTest, OutputOperationsPlayThroughTheSynthesiser) {
    InstallSoundDevices(&synth, nullptr);
    ASSERT_EQ(OpenSound(1, 16), 1);
    SetSoundVolume(255, 0x800F);
    Sound(1, 131072 / (2048 - 1797), 255);  // 522 Hz: note 72 bent a little down
    Render(0.1);
    EXPECT_NEAR(Pitch(Render(0.3), FluidSynthMidiDevice::SampleRate), 522.0, 522.0 * 0.02);
    CloseSound();
    EXPECT_FALSE(synth.IsOpen());
}

TEST_F(FluidSynthTest, ReopenedSynthesiserStartsAfreshWithItsSoundFont) {
    synth.Send(Msg(0xC0, 80));
    synth.Send(Msg(0x90, 69, 100));
    synth.Close();
    EXPECT_FALSE(synth.IsOpen());
    ASSERT_TRUE(synth.Open());
    Render(1.5);
    EXPECT_LT(Rms(Render(0.2)), 30) << "the note of the earlier opening is gone";
    synth.Send(Msg(0xC0, 80));
    synth.Send(Msg(0x90, 57, 100));
    Render(0.1);
    EXPECT_NEAR(Pitch(Render(0.3), FluidSynthMidiDevice::SampleRate), 220.0, 220.0 * 0.02);
}

// SDL's disk driver writes what a sound card would play to a file.
class SdlWaveTest : public test::SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", (dir / "played.raw").string().c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "1", 1);
        InstallSoundDevices(nullptr, &sdl);
    }
    void TearDown() override {
        CloseSound();
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        unsetenv("SDL_DISKAUDIODELAY");
        SoundTest::TearDown();
    }
    SdlWaveDevice sdl;
};

// Counts the buffers the synthesis thread writes to the SDL device.
class CountingWave final : public WaveDevice {
public:
    explicit CountingWave(WaveDevice& device) : device_(device) {}
    bool Open(int rate, WaveClient* client) override { return device_.Open(rate, client); }
    void Write(int index, const uint8_t* samples, int length) override {
        writes.fetch_add(1);
        device_.Write(index, samples, length);
    }
    void Reset() override { device_.Reset(); }
    void Pause() override { device_.Pause(); }
    void Restart() override { device_.Restart(); }
    void SetVolume(uint32_t volume) override { device_.SetVolume(volume); }
    bool Close() override { return device_.Close(); }
    std::atomic<int> writes{0};

private:
    WaveDevice& device_;
};

TEST_F(SdlWaveTest, PlaysTheSynthesisedSquareScaledByTheVolume) {
    CountingWave counting(sdl);
    InstallSoundDevices(nullptr, &counting);
    KORU_REQUIRE(OpenSound(22050, 4) == 1, "SDL has no disk audio driver here");
    SetSoundVolume(128, 0x0001);
    Sound(0, 440, 255);
    // Four silent buffers, then ten refilled with the square, of which at
    // least six have been played.
    for (int i = 0; i < 2000 && counting.writes.load() < 14; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(counting.writes.load(), 14);
    CloseSound();
    const std::vector<uint8_t> played = test::ReadFile(dir / "played.raw");
    // Half volume (128 * 256 of 65535): 128 +- 12 becomes 128 +- 6.
    int high = 0, low = 0, other = 0;
    for (size_t i = 0; i < played.size(); ++i) {
        const int s = played[i];
        if (s == 134) {
            ++high;
        } else if (s == 122) {
            ++low;
        } else if (s != 128) {
            ++other;
        }
    }
    EXPECT_GT(high, 1000);
    EXPECT_GT(low, 1000);
    EXPECT_EQ(other, 0);
}

TEST_F(SdlWaveTest, ZeroSwitchesPauseTheDeviceAndBitFifteenResumesIt) {
    CountingWave counting(sdl);
    InstallSoundDevices(nullptr, &counting);
    KORU_REQUIRE(OpenSound(22050, 4) == 1, "SDL has no disk audio driver here");
    SetSoundVolume(200, 0x000F);
    for (int i = 0; i < 2000 && counting.writes.load() <= 8; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GT(counting.writes.load(), 8) << "played buffers come back and are written again";
    SetSoundVolume(200, 0);  // pause
    EXPECT_TRUE(sdl.IsPaused());
    const int paused = counting.writes.load();
    SetSoundVolume(200, 0x8000);  // bit 15 alone resumes
    EXPECT_FALSE(sdl.IsPaused());
    for (int i = 0; i < 2000 && counting.writes.load() == paused; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GT(counting.writes.load(), paused);
    SetSoundVolume(200, 0);
    EXPECT_TRUE(sdl.IsPaused());
    CloseSound();  // closing a paused device
    EXPECT_EQ(SoundOutputRate(), 0);
}

TEST_F(SdlWaveTest, DirectSoundPlaysInStereoThroughTheWaveDeviceBesideTheMidiDevice) {
    DirectSound = 1;
    InstallSoundDevices(&midi, &sdl);
    ASSERT_EQ(OpenSound(1, 4), 1);
    EXPECT_TRUE(midi.open);
    KORU_REQUIRE(DirectSoundFrameRate() == 32768, "SDL has no disk audio driver here");
    SetSoundVolume(255, 0x000F);
    EXPECT_EQ(SoundOutputRate(), 1) << "the notes stay with the MIDI device";
    // Frames as the machine makes them, left up and right down, until the
    // device has played well past the head start of silence.
    for (int i = 0; i < 400; ++i) {
        for (int j = 0; j < 64; ++j) PushDirectFrame(400, -400);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    CloseSound();
    const std::vector<uint8_t> played = test::ReadFile(dir / "played.raw");
    int left = 0, right = 0, other = 0;
    for (size_t i = 0; i + 1 < played.size(); i += 2) {
        if (played[i] == 128 && played[i + 1] == 128) continue;
        if (played[i] > 128) ++left;
        if (played[i + 1] < 128) ++right;
        if (played[i] <= 128 || played[i + 1] >= 128) ++other;
    }
    EXPECT_GT(left, 4096);
    EXPECT_EQ(left, right);
    EXPECT_EQ(other, 0) << "every frame is the pair, left then right";
}

// The sound libraries are opened when a device first opens. One that is not
// installed, or that lacks a function the device calls, is a device that
// cannot open, as on a machine without sound, and the log says which.
TEST(SoundLibraryTest, AMissingLibraryOrFunctionIsADeviceThatCannotOpenAndTheLogSaysWhy) {
    const uint32_t verbose = Verbose;
    Verbose = 1;
    double (*cosine)(double) = nullptr;
    void* absent = nullptr;
    const LibrarySymbol plain[] = {{reinterpret_cast<void**>(&cosine), "cos"}};
    const LibrarySymbol lacking[] = {{reinterpret_cast<void**>(&cosine), "cos"}, {&absent, "koru_no_such_function"}};
    testing::internal::CaptureStdout();
    const bool noLibrary = BindLibrary("libkoru-no-such-library.so.0", plain);
    const bool noFunction = BindLibrary("libm.so.6", lacking);
    const std::string log = testing::internal::GetCapturedStdout();
    const bool bound = BindLibrary("libm.so.6", plain);
    Verbose = verbose;
    EXPECT_FALSE(noLibrary);
    EXPECT_FALSE(noFunction);
    EXPECT_NE(log.find("Cannot load libkoru-no-such-library.so.0: "), std::string::npos) << log;
    EXPECT_NE(log.find("Cannot load libm.so.6: koru_no_such_function is missing"), std::string::npos) << log;
    ASSERT_TRUE(bound);
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine(0.0), 1.0);
}

}  // namespace
}  // namespace koru
