// koru-headless: runs a cartridge with the core and no window, for tests,
// benchmarks, golden pictures and scripting.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cpu/cpu_state.h"
#include "headless/options.h"
#include "headless/screenshot.h"
#include "headless/wave_file.h"
#include "machine/host.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/savefiles.h"
#include "machine/settings.h"
#include "sound/devices/system_devices.h"
#include "sound/manual_wave.h"
#include "sound/midilog.h"
#include "sound/output.h"
#include "video/video.h"

namespace {

using koru::headless::Options;

Options TheOptions;
uint32_t FramesRun = 0;
std::vector<uint16_t> FrameStore(koru::FrameWidth * koru::FrameHeight);
std::vector<uint16_t> LastFrame(koru::ScreenWidth * koru::FrameHeight);
bool FramePresented = false;

// --wave-out: the wave device's buffers go to a file instead of a sound
// card, one buffer each time emulated time has advanced by its length. With
// direct sound the device opens in stereo, and so does the file.
koru::ManualWaveDevice WaveRecorder;
koru::headless::WaveFile WaveOutput;
bool WaveOutputActive = false;
bool WaveOutputFailed = false;
uint64_t WaveSamplesPlayed = 0;

constexpr uint64_t CyclesPerFrame = 280896;
constexpr uint64_t CyclesPerSecond = 16777216;

void PaceWaveOutput() {
    if (!WaveOutputActive || WaveOutputFailed) return;
    const uint64_t due = FramesRun * CyclesPerFrame * static_cast<uint64_t>(koru::SoundRate) / CyclesPerSecond;
    const int channels = WaveRecorder.Channels();
    uint8_t buffer[2 * koru::WaveBufferSamples];
    while (WaveSamplesPlayed + koru::WaveBufferSamples <= due) {
        const int played = WaveRecorder.Play(buffer, koru::WaveBufferSamples * channels);
        if (played <= 0 || !WaveOutput.Append(buffer, played)) {
            WaveOutputFailed = true;
            return;
        }
        WaveSamplesPlayed += static_cast<uint64_t>(played / channels);
    }
}

void CopyVisible(int x, int y, int w, int h) {
    for (int row = 0; row < h && row < koru::FrameHeight; ++row) {
        const uint16_t* source = koru::FrameBuffer + (y + row) * koru::FrameWidth + x;
        std::copy(source, source + std::min(w, koru::ScreenWidth), LastFrame.begin() + row * koru::ScreenWidth);
    }
}

uint32_t KeysForFrame(uint32_t frame) {
    uint32_t keys = 0;
    for (const auto& span : TheOptions.keys) {
        if (span.fromFrame <= frame) keys = span.keys;
    }
    return keys;
}

}  // namespace

namespace koru {

void ShowFrame(int x, int y, int w, int h) {
    CopyVisible(x, y, w, h);
    FramePresented = true;
}

// Called at line 160 of every frame: counts the frame and ends the run at
// the last one.
uint32_t PollInput() {
    ++FramesRun;
    if (FramesRun >= TheOptions.frames) ExitRequest = 1;
    PaceWaveOutput();
    return KeysForFrame(FramesRun);
}

}  // namespace koru

int main(int argc, char** argv) {
    std::string error;
    if (!koru::headless::ParseOptions(argc, argv, TheOptions, error)) {
        if (!error.empty()) std::fprintf(stderr, "koru-headless: %s\n", error.c_str());
        std::fputs(koru::headless::Usage(), error.empty() ? stdout : stderr);
        return error.empty() ? 0 : 2;
    }

    koru::ResetSettings();
    koru::UpdatePeriod = TheOptions.updatePeriod;
    koru::CheckCRC = TheOptions.checkCrc;
    koru::DisplayWindows = TheOptions.displayWindows;
    koru::SoundRate = TheOptions.soundRate;
    koru::Verbose = TheOptions.verbose;
    koru::DirectSound = TheOptions.directSound;

    koru::FrameBuffer = FrameStore.data();
    koru::BuildColourTables();

    // The sound as the desktop program opens it before a run.
    if (!TheOptions.waveOut.empty()) {
        if (!WaveOutput.Create(TheOptions.waveOut, koru::SoundRate, koru::DirectSound ? 2 : 1)) {
            std::fprintf(stderr, "koru-headless: cannot write %s\n", TheOptions.waveOut.c_str());
            return 1;
        }
        WaveOutputActive = true;
        koru::InstallSoundDevices(koru::SystemMidiDevice(), &WaveRecorder);
    } else {
        koru::InstallSystemSoundDevices();
    }
    if (!TheOptions.midiLog.empty()) {
        // Recording is on when the machine starts, which begins the file.
        std::strcpy(koru::SoundLogFile, TheOptions.midiLog.c_str());
        koru::InitMidiLog(koru::SoundLogFile);
        if (!koru::MidiLog(1)) {
            std::fprintf(stderr, "koru-headless: cannot write %s\n", TheOptions.midiLog.c_str());
            return 1;
        }
    }
    if (!koru::OpenSound(koru::SoundRate, koru::SoundBuffers) && koru::Verbose) {
        koru::Log("No sound device at rate %d: running silent\n", koru::SoundRate);
    }
    koru::SetSoundVolume(koru::SoundVolume, koru::SoundSwitch);

    const auto start = std::chrono::steady_clock::now();
    koru::StartMachine(TheOptions.cartridge.c_str());
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool started = koru::MachineStarted != 0;

    int status = 0;
    if (started) {
        if (TheOptions.regs) {
            for (int i = 0; i < 16; ++i) std::printf("R%d=%08X ", i, koru::CpuState.R[i]);
            std::printf("CPSR=%08X\n", koru::CpuState.CPSR);
        }
        if (!TheOptions.saveState.empty() && !koru::SaveState(TheOptions.saveState.c_str())) {
            std::fprintf(stderr, "koru-headless: cannot save the state to %s\n", TheOptions.saveState.c_str());
            status = 1;
        }
        if (!TheOptions.screenshot.empty()) {
            if (!FramePresented) CopyVisible(koru::ScreenLeft, 0, koru::ScreenWidth, koru::FrameHeight);
            if (!koru::headless::WriteScreenshot(TheOptions.screenshot, LastFrame.data())) {
                std::fprintf(stderr, "koru-headless: cannot write %s\n", TheOptions.screenshot.c_str());
                status = 1;
            }
        }
    }
    koru::ShutdownMachine();
    koru::CloseSound();
    // The log is finished at exit, so that it always has its end of track
    // and its length.
    koru::CloseMidiLog();
    if (WaveOutputActive && (!WaveOutput.Finish() || WaveOutputFailed)) {
        std::fprintf(stderr, "koru-headless: cannot write %s\n", TheOptions.waveOut.c_str());
        status = 1;
    }
    std::fflush(stdout);

    if (!started) {
        std::fprintf(stderr, "koru-headless: cannot start %s\n", TheOptions.cartridge.c_str());
        return 1;
    }
    if (TheOptions.bench) {
        const double fps = wall > 0 ? FramesRun / wall : 0;
        std::printf("frames %u wall %.3f fps %.1f speed %.0f%%\n", FramesRun, wall, fps, fps / 59.7275 * 100.0);
    }
    return status;
}
