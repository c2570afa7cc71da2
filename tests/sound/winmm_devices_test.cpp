// The Windows devices: the multimedia MIDI and wave output. A model of a
// driver stands in for the system's functions and answers as the system
// does (done and close notifications posted to the callback thread), so
// every call, its thread and every buffer can be checked; the system's own
// devices are then opened as far as this machine has them.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sound/devices/winmm_midi.h"
#include "sound/devices/winmm_wave.h"
#include "sound/output.h"
#include "sound/sound_support.h"

namespace koru {
namespace {

using test::Msg;

// Waits for a condition that another thread brings about; the bound only
// keeps a broken build from hanging.
template <typename Lock, typename Predicate>
bool Await(std::condition_variable& changed, Lock& lock, Predicate predicate) {
    return changed.wait_for(lock, std::chrono::seconds(20), predicate);
}

// ---------------------------------------------------------------------------
// A wave output driver: buffers written queue up until the test plays them.

struct WaveCall {
    std::string what;  // "prepare", "write", "unprepare", "reset", "pause", "restart", "volume", "close"
    int index = -1;    // header index (dwUser) for the header calls
    DWORD thread = 0;
    DWORD value = 0;   // the volume
};

struct WaveDriver {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<WaveCall> calls;
    std::vector<std::vector<uint8_t>> written;  // the bytes of each write, in order
    std::deque<WAVEHDR*> queue;
    std::set<WAVEHDR*> prepared;
    UINT device = 0;
    WAVEFORMATEX format{};
    DWORD_PTR callback = 0;
    DWORD flags = 0;
    MMRESULT openResult = MMSYSERR_NOERROR;
    int closesRefused = 0;
    bool open = false;
    bool preparedAtClose = false;

    void Record(const char* what, const WAVEHDR* header = nullptr, DWORD value = 0) {
        calls.push_back({what, header ? static_cast<int>(header->dwUser) : -1, GetCurrentThreadId(), value});
        changed.notify_all();
    }
    void Post(UINT message, WAVEHDR* header) {
        PostThreadMessageA(static_cast<DWORD>(callback), message, reinterpret_cast<WPARAM>(this),
                           reinterpret_cast<LPARAM>(header));
    }
};
WaveDriver* Driver = nullptr;
const HWAVEOUT DriverHandle = reinterpret_cast<HWAVEOUT>(0x5A5A);

MMRESULT WINAPI DriverOpen(LPHWAVEOUT handle, UINT device, LPCWAVEFORMATEX format, DWORD_PTR callback, DWORD_PTR,
                           DWORD flags) {
    std::lock_guard<std::mutex> lock(Driver->mutex);
    Driver->device = device;
    Driver->format = *format;
    Driver->callback = callback;
    Driver->flags = flags;
    if (Driver->openResult != MMSYSERR_NOERROR) return Driver->openResult;
    Driver->open = true;
    *handle = DriverHandle;
    Driver->Post(MM_WOM_OPEN, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI DriverPrepare(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
    std::lock_guard<std::mutex> lock(Driver->mutex);
    if (handle != DriverHandle || !Driver->open || size != sizeof(WAVEHDR)) return MMSYSERR_INVALHANDLE;
    Driver->Record("prepare", header);
    header->dwFlags |= WHDR_PREPARED;
    Driver->prepared.insert(header);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI DriverUnprepare(HWAVEOUT handle, LPWAVEHDR header, UINT) {
    std::lock_guard<std::mutex> lock(Driver->mutex);
    if (handle != DriverHandle || !Driver->open) return MMSYSERR_INVALHANDLE;
    Driver->Record("unprepare", header);
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    Driver->prepared.erase(header);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI DriverWrite(HWAVEOUT handle, LPWAVEHDR header, UINT) {
    std::lock_guard<std::mutex> lock(Driver->mutex);
    if (handle != DriverHandle || !Driver->open) return MMSYSERR_INVALHANDLE;
    Driver->Record("write", header);
    if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    Driver->queue.push_back(header);
    const auto* bytes = reinterpret_cast<const uint8_t*>(header->lpData);
    Driver->written.emplace_back(bytes, bytes + header->dwBufferLength);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI DriverReset(HWAVEOUT handle) {
    std::lock_guard<std::mutex> lock(Driver->mutex);
    if (handle != DriverHandle || !Driver->open) return MMSYSERR_INVALHANDLE;
    Driver->Record("reset");
    for (WAVEHDR* header : Driver->queue) {
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        Driver->Post(MM_WOM_DONE, header);
    }
    Driver->queue.clear();
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI DriverClose(HWAVEOUT handle) {
    std::lock_guard<std::mutex> lock(Driver->mutex);
    if (handle != DriverHandle || !Driver->open) return MMSYSERR_INVALHANDLE;
    Driver->Record("close");
    if (!Driver->queue.empty()) return WAVERR_STILLPLAYING;
    if (Driver->closesRefused > 0) {
        --Driver->closesRefused;
        return WAVERR_STILLPLAYING;
    }
    Driver->preparedAtClose = !Driver->prepared.empty();
    Driver->open = false;
    Driver->Post(MM_WOM_CLOSE, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI DriverPause(HWAVEOUT) {
    std::lock_guard<std::mutex> lock(Driver->mutex);
    Driver->Record("pause");
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI DriverRestart(HWAVEOUT) {
    std::lock_guard<std::mutex> lock(Driver->mutex);
    Driver->Record("restart");
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI DriverVolume(HWAVEOUT, DWORD volume) {
    std::lock_guard<std::mutex> lock(Driver->mutex);
    Driver->Record("volume", nullptr, volume);
    return MMSYSERR_NOERROR;
}

const WaveOutCalls DriverCalls = {DriverOpen,   DriverClose,   DriverReset,   DriverPause,    DriverRestart,
                                  DriverVolume, DriverPrepare, DriverUnprepare, DriverWrite};

bool ThreadHasEnded(DWORD id) {
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
    if (!thread) return true;  // gone altogether
    const bool ended = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended;
}

class WinmmWaveTest : public test::SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        Driver = &driver;
        InstallSoundDevices(nullptr, &device);
    }
    void TearDown() override {
        SoundTest::TearDown();
        Driver = nullptr;
    }
    // Plays the oldest queued buffer and waits until the synthesis thread
    // has written it again.
    void PlayOne() {
        std::unique_lock<std::mutex> lock(driver.mutex);
        ASSERT_FALSE(driver.queue.empty());
        WAVEHDR* header = driver.queue.front();
        driver.queue.pop_front();
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        const size_t writes = driver.written.size();
        driver.Post(MM_WOM_DONE, header);
        ASSERT_TRUE(Await(driver.changed, lock, [&] { return driver.written.size() > writes; }))
            << "the played buffer was not written again";
    }
    std::vector<WaveCall> CallsSince(size_t first) {
        std::lock_guard<std::mutex> lock(driver.mutex);
        return std::vector<WaveCall>(driver.calls.begin() + static_cast<std::ptrdiff_t>(first), driver.calls.end());
    }
    size_t CallCount() {
        std::lock_guard<std::mutex> lock(driver.mutex);
        return driver.calls.size();
    }

    WaveDriver driver;
    WinmmWaveDevice device{DriverCalls};
};

TEST_F(WinmmWaveTest, OpensTheMapperFor8BitMonoAndWritesTheBuffersInFlight) {
    ASSERT_EQ(OpenSound(22050, 4), 1);
    EXPECT_EQ(driver.device, WAVE_MAPPER);
    EXPECT_EQ(driver.format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(driver.format.nChannels, 1);
    EXPECT_EQ(driver.format.nSamplesPerSec, 22050u);
    EXPECT_EQ(driver.format.nAvgBytesPerSec, 22050u);
    EXPECT_EQ(driver.format.nBlockAlign, 1);
    EXPECT_EQ(driver.format.wBitsPerSample, 8);
    // Notifications go to a thread of their own at time-critical priority.
    EXPECT_EQ(driver.flags, static_cast<DWORD>(CALLBACK_THREAD));
    const DWORD synthesis = static_cast<DWORD>(driver.callback);
    EXPECT_EQ(synthesis, device.ThreadId());
    EXPECT_NE(synthesis, GetCurrentThreadId());
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, synthesis);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_TIME_CRITICAL);
    CloseHandle(thread);
    // The first four headers, prepared and written at once, full of silence.
    std::vector<std::string> sequence;
    for (const WaveCall& call : CallsSince(0)) sequence.push_back(call.what + " " + std::to_string(call.index));
    EXPECT_EQ(sequence, (std::vector<std::string>{"prepare 0", "write 0", "prepare 1", "write 1", "prepare 2",
                                                  "write 2", "prepare 3", "write 3"}));
    ASSERT_EQ(driver.written.size(), 4u);
    for (const auto& buffer : driver.written) EXPECT_EQ(buffer, std::vector<uint8_t>(1024, 0x80));
}

TEST_F(WinmmWaveTest, APlayedBufferIsUnpreparedMixedAndWrittenAgainOnTheSynthesisThread) {
    ASSERT_EQ(OpenSound(22050, 4), 1);
    SetSoundVolume(255, 1);
    Sound(0, 440, 255);
    const size_t before = CallCount();
    PlayOne();
    const DWORD synthesis = device.ThreadId();
    std::vector<std::string> sequence;
    for (const WaveCall& call : CallsSince(before)) {
        sequence.push_back(call.what + " " + std::to_string(call.index));
        EXPECT_EQ(call.thread, synthesis) << call.what;
    }
    EXPECT_EQ(sequence, (std::vector<std::string>{"unprepare 0", "prepare 0", "write 0"}));
    // The square at 440 Hz: runs of about 25 samples at 128 + 12 and
    // 128 - 12, a single 128 at each edge.
    const std::vector<uint8_t>& mixed = driver.written.back();
    ASSERT_EQ(mixed.size(), 1024u);
    int high = 0, low = 0, edges = 0;
    for (uint8_t s : mixed) {
        high += s == 140;
        low += s == 116;
        edges += s == 128;
    }
    EXPECT_EQ(high + low + edges, 1024);
    EXPECT_GT(high, 450);
    EXPECT_GT(low, 450);
    EXPECT_GE(edges, 35);
    EXPECT_LE(edges, 42);
    // The queue keeps the order of writing: buffer 0 now plays last.
    std::lock_guard<std::mutex> lock(driver.mutex);
    ASSERT_EQ(driver.queue.size(), 4u);
    EXPECT_EQ(driver.queue.back()->dwUser, 0u);
}

TEST_F(WinmmWaveTest, SwitchesPauseAndRestartTheOutputAndTheVolumeGoesToBothSides) {
    ASSERT_EQ(OpenSound(22050, 2), 1);
    size_t before = CallCount();
    SetSoundVolume(100, 1);
    auto calls = CallsSince(before);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].what, "restart");
    EXPECT_EQ(calls[1].what, "volume");
    EXPECT_EQ(calls[1].value, 0x64006400u);
    before = CallCount();
    SetSoundVolume(100, 0);
    calls = CallsSince(before);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].what, "pause");
    before = CallCount();
    // Bit 15 alone keeps the device running.
    SetSoundVolume(50, 0x8000);
    SetSoundVolume(60, 0x8001);
    calls = CallsSince(before);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].what, "restart");
    EXPECT_EQ(calls[1].value, 0x32003200u);
    EXPECT_EQ(calls[2].value, 0x3C003C00u);
}

TEST_F(WinmmWaveTest, ClosingResetsUnpreparesEveryHeaderAndRetriesTheCloseUntilAccepted) {
    ASSERT_EQ(OpenSound(22050, 4), 1);
    SetSoundVolume(200, 1);
    Sound(0, 1000, 200);
    PlayOne();
    PlayOne();
    const DWORD synthesis = device.ThreadId();
    driver.closesRefused = 2;
    const size_t before = CallCount();
    CloseSound();
    EXPECT_EQ(SoundOutputRate(), 0);
    // The main thread's calls, in order. The headers are unprepared by
    // whichever thread comes first: the main thread after the reset, or the
    // synthesis thread taking the reset's notifications.
    std::vector<std::string> sequence;
    bool refilled = false;
    int unprepared = 0;
    for (const WaveCall& call : CallsSince(before)) {
        refilled |= call.what == "write" || call.what == "prepare";
        if (call.what == "unprepare") {
            ++unprepared;
            if (call.thread == GetCurrentThreadId()) {
                EXPECT_EQ(sequence.size(), 1u) << "unprepared between the first reset and the next";
            }
        } else if (call.thread == GetCurrentThreadId()) {
            sequence.push_back(call.what);
        }
    }
    EXPECT_FALSE(refilled) << "nothing is refilled once closing has begun";
    EXPECT_GE(unprepared, 4);
    EXPECT_EQ(sequence, (std::vector<std::string>{"reset", "reset", "close", "reset", "close", "reset", "close"}));
    EXPECT_FALSE(driver.preparedAtClose) << "every header unprepared before the device closed";
    EXPECT_TRUE(driver.queue.empty());
    // The close notification ended the synthesis thread before CloseSound
    // returned.
    EXPECT_TRUE(ThreadHasEnded(synthesis));
    EXPECT_EQ(device.ThreadId(), 0u);
    // And the device opens again.
    ASSERT_EQ(OpenSound(11025, 2), 1);
    EXPECT_EQ(driver.format.nSamplesPerSec, 11025u);
    EXPECT_NE(device.ThreadId(), 0u);
}

TEST_F(WinmmWaveTest, AMapperThatCannotOpenLeavesTheOutputSilentAndEndsTheThread) {
    driver.openResult = MMSYSERR_NODRIVER;
    EXPECT_EQ(OpenSound(22050, 4), 0);
    EXPECT_EQ(SoundOutputRate(), 0);
    const DWORD synthesis = static_cast<DWORD>(driver.callback);
    EXPECT_NE(synthesis, 0u) << "the thread existed when the mapper was asked";
    EXPECT_TRUE(ThreadHasEnded(synthesis));
    SetSoundVolume(200, 0xFFFF);
    Sound(0, 440, 200);
    CloseSound();
    EXPECT_TRUE(driver.calls.empty()) << "nothing reaches a device that did not open";
    driver.openResult = MMSYSERR_NOERROR;
    EXPECT_EQ(OpenSound(22050, 4), 1);
}

// ---------------------------------------------------------------------------
// MIDI output: every short message as it is.

struct MidiDriver {
    UINT device = 0;
    DWORD_PTR callback = 1;
    DWORD flags = 0xFFFF;
    MMRESULT openResult = MMSYSERR_NOERROR;
    std::vector<std::string> calls;
    std::vector<uint32_t> messages;
    DWORD volume = 0;
};
MidiDriver* Midi = nullptr;
const HMIDIOUT MidiHandle = reinterpret_cast<HMIDIOUT>(0x4D4D);

MMRESULT WINAPI MidiOpen(LPHMIDIOUT handle, UINT device, DWORD_PTR callback, DWORD_PTR, DWORD flags) {
    Midi->device = device;
    Midi->callback = callback;
    Midi->flags = flags;
    Midi->calls.push_back("open");
    if (Midi->openResult != MMSYSERR_NOERROR) return Midi->openResult;
    *handle = MidiHandle;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI MidiShort(HMIDIOUT handle, DWORD message) {
    if (handle != MidiHandle) return MMSYSERR_INVALHANDLE;
    Midi->messages.push_back(message);
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI MidiVolume(HMIDIOUT handle, DWORD volume) {
    if (handle != MidiHandle) return MMSYSERR_INVALHANDLE;
    Midi->calls.push_back("volume");
    Midi->volume = volume;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI MidiReset(HMIDIOUT handle) {
    if (handle != MidiHandle) return MMSYSERR_INVALHANDLE;
    Midi->calls.push_back("reset");
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI MidiClose(HMIDIOUT handle) {
    if (handle != MidiHandle) return MMSYSERR_INVALHANDLE;
    Midi->calls.push_back("close");
    return MMSYSERR_NOERROR;
}
const MidiOutCalls MidiCalls = {MidiOpen, MidiShort, MidiVolume, MidiReset, MidiClose};

class WinmmMidiTest : public test::SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        Midi = &driver;
        InstallSoundDevices(&device, nullptr);
    }
    void TearDown() override {
        SoundTest::TearDown();
        Midi = nullptr;
    }
    MidiDriver driver;
    WinmmMidiDevice device{MidiCalls};
};

TEST_F(WinmmMidiTest, OpensTheMapperWithoutCallbackAndSendsEveryMessageAsItIs) {
    ASSERT_EQ(OpenSound(1, 16), 1);
    EXPECT_EQ(driver.device, static_cast<UINT>(MIDI_MAPPER));
    EXPECT_EQ(driver.callback, 0u);
    EXPECT_EQ(driver.flags, static_cast<DWORD>(CALLBACK_NULL));
    ASSERT_EQ(driver.messages.size(), 32u);
    for (int channel = 0; channel < 16; ++channel) EXPECT_EQ(driver.messages[channel], Msg(0xB0 | channel, 7, 100));
    EXPECT_EQ(driver.messages[16 + 15], Msg(0xC9, 80)) << "channel 15 on the percussion channel";
    driver.messages.clear();
    SetSoundVolume(100, 1);
    EXPECT_EQ(driver.volume, 0x64006400u);
    Sound(0, 440, 200);
    Sound(0, 440, 100);
    Sound(0, 0, 100);
    EXPECT_EQ(driver.messages, (std::vector<uint32_t>{Msg(0x90, 69, 100), Msg(0xE0, NoteTable[146].bend & 0x7F,
                                                                                NoteTable[146].bend >> 7),
                                                       Msg(0xA0, 69, 50), Msg(0x80, 69, 0)}));
    CloseSound();
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"open", "volume", "reset", "close"}));
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(WinmmMidiTest, AMapperThatCannotOpenLeavesTheOutputSilent) {
    driver.openResult = MIDIERR_NODEVICE;
    EXPECT_EQ(OpenSound(1, 16), 0);
    EXPECT_EQ(SoundOutputRate(), 0);
    SetSoundVolume(100, 0xFFFF);
    Sound(0, 440, 200);
    CloseSound();
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"open"}));
    EXPECT_TRUE(driver.messages.empty());
}

// ---------------------------------------------------------------------------
// The system's own devices, as far as this machine has them: opened and
// played, or refused cleanly.

// The system's wave output, counting the buffers written to it.
std::atomic<int> SystemWrites{0};
MMRESULT WINAPI CountedWrite(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
    const MMRESULT result = waveOutWrite(handle, header, size);
    if (result == MMSYSERR_NOERROR) SystemWrites.fetch_add(1);
    return result;
}
const WaveOutCalls CountedSystemCalls = {waveOutOpen,      waveOutClose,         waveOutReset,
                                         waveOutPause,     waveOutRestart,       waveOutSetVolume,
                                         waveOutPrepareHeader, waveOutUnprepareHeader, CountedWrite};

class SystemDevicesTest : public test::SoundTest {};

TEST_F(SystemDevicesTest, TheWaveMapperPlaysAndClosesOrRefusesCleanly) {
    WinmmWaveDevice system(CountedSystemCalls);
    InstallSoundDevices(nullptr, &system);
    SystemWrites.store(0);
    const int opened = OpenSound(22050, 4);
    SetSoundVolume(200, 1);
    Sound(0, 440, 200);
    if (opened) {
        EXPECT_EQ(SoundOutputRate(), 22050);
        // Buffers played by the system come back to the synthesis thread,
        // which writes them again.
        for (int wait = 0; wait < 400 && SystemWrites.load() <= 8; ++wait) Sleep(50);
        EXPECT_GT(SystemWrites.load(), 8) << "played buffers were not written again";
    } else {
        std::printf("(no wave output on this machine: the refusal is checked)\n");
        EXPECT_EQ(SoundOutputRate(), 0);
        EXPECT_EQ(SystemWrites.load(), 0);
    }
    CloseSound();
    EXPECT_EQ(SoundOutputRate(), 0);
    EXPECT_EQ(system.ThreadId(), 0u) << "the synthesis thread ended";
}

TEST_F(SystemDevicesTest, TheMidiMapperOpensAndClosesOrRefusesCleanly) {
    WinmmMidiDevice system;
    InstallSoundDevices(&system, nullptr);
    const int opened = OpenSound(1, 16);
    EXPECT_EQ(SoundOutputRate(), opened ? 1 : 0);
    EXPECT_EQ(system.IsOpen(), opened == 1);
    if (!opened) std::printf("(no MIDI output on this machine: the refusal is checked)\n");
    SetSoundVolume(100, 1);
    Sound(0, 440, 200);
    Sound(0, 0, 0);
    CloseSound();
    EXPECT_FALSE(system.IsOpen());
    EXPECT_EQ(SoundOutputRate(), 0);
}

}  // namespace
}  // namespace koru
