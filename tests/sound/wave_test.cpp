// The wave device: the synthesis thread's buffers as the device plays them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "sound/output.h"
#include "sound/sound_support.h"
#include "sound/synthesis.h"

namespace koru {
namespace {

using Buffer = std::vector<uint8_t>;

class WaveDeviceTest : public test::SoundTest {
protected:
    void Open(int rate, int buffers = 4) {
        ASSERT_EQ(OpenSound(rate, buffers), 1);
        ASSERT_EQ(SoundOutputRate(), rate);
        inFlight = std::clamp(buffers, 2, 32);
    }
    Buffer Play() {
        Buffer buffer(WaveBufferSamples);
        EXPECT_EQ(wave.Play(buffer.data(), WaveBufferSamples), WaveBufferSamples);
        return buffer;
    }
    // The first buffer mixed after the changes made so far: every buffer in
    // flight was mixed before them.
    Buffer PlayAfterChanges() {
        for (int i = 0; i < inFlight; ++i) Play();
        return Play();
    }
    int inFlight = 0;
};

// Runs of equal samples: (value, length).
std::vector<std::pair<int, int>> Runs(const Buffer& buffer) {
    std::vector<std::pair<int, int>> runs;
    for (uint8_t sample : buffer) {
        if (!runs.empty() && runs.back().first == sample) {
            ++runs.back().second;
        } else {
            runs.emplace_back(sample, 1);
        }
    }
    return runs;
}

TEST_F(WaveDeviceTest, OpeningWritesTheBuffersInFlightFilledWithSilence) {
    Open(22050, 6);
    EXPECT_EQ(wave.Rate(), 22050);
    EXPECT_EQ(wave.Queued(), 6);
    const Buffer first = Play();
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](uint8_t s) { return s == 0x80; }));
    EXPECT_EQ(wave.Queued(), 6) << "the played buffer came back refilled";
    CloseSound();
    EXPECT_FALSE(wave.IsOpen());
    Open(22050, 1);
    EXPECT_EQ(wave.Queued(), 2) << "at least two buffers";
    CloseSound();
    Open(22050, 99);
    EXPECT_EQ(wave.Queued(), 32) << "at most thirty-two";
}

TEST_F(WaveDeviceTest, Square440HzAt22050AlternatesRunsOfAbout25With128AtTheEdges) {
    Open(22050);
    SetSoundVolume(200, 1);
    Sound(0, 440, 255);
    const Buffer buffer = PlayAfterChanges();
    const auto runs = Runs(buffer);
    // Inner runs only: the first and last may be cut by the buffer's ends.
    ASSERT_GT(runs.size(), 30u);
    int high = 0, low = 0;
    for (size_t i = 1; i + 1 < runs.size(); ++i) {
        const auto [value, length] = runs[i];
        if (value == 128) {
            EXPECT_EQ(length, 1) << "an edge is one sample";
            EXPECT_NE(runs[i - 1].first, runs[i + 1].first) << "edges lie between a high and a low run";
        } else {
            ASSERT_TRUE(value == 128 + 12 || value == 128 - 12) << value;
            EXPECT_GE(length, 23);
            EXPECT_LE(length, 25);
            (value > 128 ? high : low) += 1;
        }
    }
    EXPECT_GE(high, 19);
    EXPECT_GE(low, 19);
    // One period every 22050 / 440 = 50.1 samples: 1024 samples hold 20.4.
    EXPECT_NEAR(high + low, 2 * 1024 / 50.1, 2);
}

TEST_F(WaveDeviceTest, FrequencyAboveHalfTheRateIsSilentAndClearedSwitchesToo) {
    Open(22050);
    SetSoundVolume(200, 0xFFFF);
    Sound(0, 11026, 255);
    Sound(1, 440, 255);
    SetSoundVolume(200, 0xFFFD);  // channel 1 switched off
    Buffer buffer = PlayAfterChanges();
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t s) { return s == 128; }));
    Sound(0, 11025, 255);  // exactly half the rate still plays
    SetSoundVolume(200, 0xFFFF);
    buffer = PlayAfterChanges();
    EXPECT_FALSE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t s) { return s == 128; }));
}

TEST_F(WaveDeviceTest, NoiseFollowsItsShiftRegisterOneStepPerPeriod) {
    Open(22050);
    SetSoundVolume(200, 0xFFFF);
    SetInstrument(3, NoiseInstrument);
    Sound(3, 8192, 218);
    const Buffer buffer = PlayAfterChanges();
    // The register starts at 1 with each open and moves once each time the
    // phase passes a whole period; each sample is +-218 by its bit 0.
    uint32_t noise = 1, phase = 0;
    const uint32_t step = (8192u << 16) / 22050;
    for (int i = 0; i < WaveBufferSamples; ++i) {
        phase += step;
        if (phase >> 16) {
            phase &= 0xFFFF;
            noise <<= 1;
            if (noise & 0x80000000u) noise ^= 0x08000001u;
        }
        ASSERT_EQ(buffer[i], (noise & 1) ? 128 + 10 : 128 - 10) << "sample " << i;
    }
    // The noise is not a constant: both levels appear.
    EXPECT_NE(std::count(buffer.begin(), buffer.end(), 138), 0);
    EXPECT_NE(std::count(buffer.begin(), buffer.end(), 118), 0);
}

TEST_F(WaveDeviceTest, CustomWaveInterpolatesBetweenNeighbouringSamples) {
    // 32768 samples a second and a two-sample pattern at 4096 Hz: each
    // pattern step lasts four output samples.
    Open(32768);
    SetSoundVolume(200, 0xFFFF);
    const int8_t pattern[2] = {-128, 127};
    SetWave(2, pattern, 2);
    EXPECT_EQ(Output.channels[2].type.load(), CustomWaveInstrument);
    Sound(2, 4096, 255);
    const Buffer buffer = PlayAfterChanges();
    // From -128 towards 127: the first step, starting at phase 0, takes
    // five samples to get there; then back down in four.
    const std::vector<uint8_t> start = {121, 126, 130, 135, 140, 134, 128, 122};
    EXPECT_EQ(Buffer(buffer.begin(), buffer.begin() + 8), start);
    // From then on a triangle of period 8 between the two samples.
    const std::vector<uint8_t> period = {116, 122, 128, 134, 140, 134, 128, 122};
    EXPECT_EQ(Buffer(buffer.begin() + 8, buffer.begin() + 16), period);
    for (int i = 16; i < WaveBufferSamples; ++i) ASSERT_EQ(buffer[i], buffer[i - 8]) << i;
}

TEST_F(WaveDeviceTest, CustomWaveOfThirtyTwoStepsPlaysAtTheChannelsFrequency) {
    Open(22050);
    SetSoundVolume(200, 0xFFFF);
    int8_t pattern[32];
    for (int i = 0; i < 32; ++i) pattern[i] = i < 16 ? 127 : -128;
    SetWave(2, pattern, 32);
    Sound(2, 441, 255);
    const Buffer buffer = PlayAfterChanges();
    int rises = 0;
    for (int i = 1; i < WaveBufferSamples; ++i) rises += buffer[i - 1] < 128 && buffer[i] >= 128;
    EXPECT_NEAR(rises, 1024 * 441 / 22050.0, 1.5);
    EXPECT_EQ(*std::max_element(buffer.begin(), buffer.end()), 128 + 12);
    EXPECT_EQ(*std::min_element(buffer.begin(), buffer.end()), 128 - 12);
}

TEST_F(WaveDeviceTest, ChannelsAddUpAndTheSumIsLimited) {
    Open(22050);
    SetSoundVolume(200, 0xFFFF);
    for (int channel = 0; channel < 16; ++channel) Sound(channel, 100, 255);
    const Buffer buffer = PlayAfterChanges();
    // Sixteen channels in phase: 16 * 255 / 20 = 204, limited to 127.
    EXPECT_EQ(*std::max_element(buffer.begin(), buffer.end()), 255);
    EXPECT_EQ(*std::min_element(buffer.begin(), buffer.end()), 0);
}

TEST_F(WaveDeviceTest, ZeroSwitchMaskPausesAndAnyOtherResumes) {
    Open(22050);
    SetSoundVolume(200, 0x800F);
    EXPECT_FALSE(wave.IsPaused());
    EXPECT_EQ(wave.Volume(), (200u * 256) | (200u * 256) << 16);
    SetSoundVolume(100, 0);
    EXPECT_TRUE(wave.IsPaused());
    SetSoundVolume(100, 0x8000);
    EXPECT_FALSE(wave.IsPaused()) << "bit 15 alone keeps the device running";
    SetSoundVolume(100, 0x8001);
    EXPECT_FALSE(wave.IsPaused());
}

TEST_F(WaveDeviceTest, DrumHitWithTheWaveDeviceIsSilent) {
    Open(22050);
    SetSoundVolume(200, 0xFFFF);
    Drum(0x11C, 255);
    const Buffer buffer = PlayAfterChanges();
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t s) { return s == 128; }));
    EXPECT_TRUE(midi.messages.empty());
}

TEST_F(WaveDeviceTest, DeviceThatCannotOpenLeavesTheOutputSilent) {
    wave.FailNextOpen();
    EXPECT_EQ(OpenSound(22050, 16), 0);
    EXPECT_EQ(SoundOutputRate(), 0);
    Sound(0, 440, 255);
    CloseSound();
    Open(22050);  // the next open works, with a new thread
    EXPECT_EQ(wave.Queued(), 4);
}

TEST_F(WaveDeviceTest, ReopeningSilencesTheChannelsAndRestartsTheNoise) {
    Open(22050);
    SetSoundVolume(200, 0xFFFF);
    Sound(0, 440, 255);
    SetInstrument(3, NoiseInstrument);
    Sound(3, 8192, 255);
    PlayAfterChanges();
    EXPECT_NE(Output.noise.load(), 1u);
    Open(44100);  // OpenSound closes the open device first
    EXPECT_EQ(Output.noise.load(), 1u);
    const Buffer buffer = PlayAfterChanges();
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t s) { return s == 128; }));
    EXPECT_EQ(Output.channels[3].type.load(), NoiseInstrument) << "instrument types survive";
}

// A device that owns the synthesis thread, as the Windows one does: a thread
// of its own hands back each buffer the test plays, and the output mixes and
// writes it again right there.
class ThreadOwningWave final : public WaveDevice {
public:
    struct Written {
        int index;
        std::thread::id thread;
        Buffer samples;
    };

    bool Open(int, WaveClient* client) override {
        client_ = client;
        closing_ = false;
        thread_ = std::thread([this] { Run(); });
        threadId_ = thread_.get_id();
        return true;
    }
    void Write(int index, const uint8_t* samples, int length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        written_.push_back({index, std::this_thread::get_id(), Buffer(samples, samples + length)});
        queue_.push_back(index);
        changed_.notify_all();
    }
    void Reset() override {
        std::lock_guard<std::mutex> lock(mutex_);
        notices_.insert(notices_.end(), queue_.begin(), queue_.end());
        queue_.clear();
        changed_.notify_all();
    }
    void Pause() override {}
    void Restart() override {}
    void SetVolume(uint32_t) override {}
    bool Close() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!queue_.empty()) return false;
            closing_ = true;
            changed_.notify_all();
        }
        thread_.join();
        return true;
    }
    bool OwnsSynthesisThread() const override { return true; }

    // Plays the oldest queued buffer and waits until it has been written
    // again.
    bool PlayOne() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (queue_.empty()) return false;
        notices_.push_back(queue_.front());
        queue_.pop_front();
        const size_t count = written_.size();
        changed_.notify_all();
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return written_.size() > count; });
    }
    std::vector<Written> WrittenSoFar() {
        std::lock_guard<std::mutex> lock(mutex_);
        return written_;
    }
    std::thread::id ThreadId() const { return threadId_; }

private:
    void Run() {
        for (;;) {
            int index;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return closing_ || !notices_.empty(); });
                if (notices_.empty()) break;
                index = notices_.front();
                notices_.pop_front();
            }
            client_->WaveDone(index);
        }
        client_->WaveClosed();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<int> queue_, notices_;
    std::vector<Written> written_;
    WaveClient* client_ = nullptr;
    bool closing_ = false;
    std::thread thread_;
    std::thread::id threadId_;
};

TEST_F(WaveDeviceTest, ADeviceOwningTheSynthesisThreadGetsItsBuffersRefilledOnIt) {
    ThreadOwningWave device;
    InstallSoundDevices(nullptr, &device);
    ASSERT_EQ(OpenSound(22050, 3), 1);
    SetSoundVolume(255, 1);
    Sound(0, 440, 255);
    ASSERT_TRUE(device.PlayOne());
    ASSERT_TRUE(device.PlayOne());
    const auto written = device.WrittenSoFar();
    ASSERT_EQ(written.size(), 5u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(written[i].thread, std::this_thread::get_id()) << "the first buffers, from the opening thread";
        EXPECT_EQ(written[i].samples, Buffer(WaveBufferSamples, 0x80));
    }
    for (int i = 3; i < 5; ++i) {
        EXPECT_EQ(written[i].index, i - 3);
        EXPECT_EQ(written[i].thread, device.ThreadId()) << "refilled on the device's thread";
        EXPECT_EQ(std::count(written[i].samples.begin(), written[i].samples.end(), 140) +
                      std::count(written[i].samples.begin(), written[i].samples.end(), 116) +
                      std::count(written[i].samples.begin(), written[i].samples.end(), 128),
                  WaveBufferSamples);
        EXPECT_GT(std::count(written[i].samples.begin(), written[i].samples.end(), 140), 450);
    }
    // The square goes on where the previous buffer left it.
    EXPECT_NE(written[3].samples, written[4].samples);
    CloseSound();
    EXPECT_EQ(SoundOutputRate(), 0);
    EXPECT_EQ(device.WrittenSoFar().size(), 5u) << "nothing refilled while closing";
}

// The synthesis thread against a device played from another thread while
// the main thread changes every shared value and finally closes: the run
// that ThreadSanitizer checks (make tsan).
TEST_F(WaveDeviceTest, ThreadsShareOnlyWordsAndCloseCleanlyWhilePlaying) {
    Open(22050, 8);
    SetSoundVolume(200, 0xFFFF);
    std::atomic<bool> stop{false};
    std::atomic<int> played{0};
    std::thread player([&] {
        Buffer buffer(WaveBufferSamples);
        while (!stop.load()) {
            if (wave.Play(buffer.data(), WaveBufferSamples) > 0) {
                played.fetch_add(1);
            } else {
                std::this_thread::yield();
            }
        }
    });
    int8_t pattern[32];
    for (int round = 0; round < 400 || played.load() < 50; ++round) {
        for (int i = 0; i < 32; ++i) pattern[i] = static_cast<int8_t>(round * 7 + i * 13);
        SetWave(2, pattern, 32);
        Sound(0, 200 + round % 900, round & 255);
        Sound(2, 100 + round % 500, 255);
        SetInstrument(3, NoiseInstrument);
        Sound(3, 8192, 200);
        SetSoundVolume(round & 255, (round % 17) ? 0xFFFF : 0);
        if (round % 100 == 99) {
            ASSERT_EQ(OpenSound(22050 + round, 8), 1);  // closes while the player plays
            SetSoundVolume(200, 0xFFFF);
        }
    }
    CloseSound();
    stop.store(true);
    player.join();
    EXPECT_GE(played.load(), 50);
    EXPECT_FALSE(wave.IsOpen());
}

}  // namespace
}  // namespace koru
