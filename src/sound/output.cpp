// The sound output: the five output operations, the MIDI device's messages,
// the wave device with its synthesis thread, and opening and closing them.
#include "sound/output.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <semaphore.h>

#include <cerrno>
#endif

#include "machine/settings.h"
#include "sound/device.h"
#include "sound/midilog.h"
#include "sound/synthesis.h"

namespace koru {

const uint8_t ProgramTable[4] = {80, 122, 122, 80};

namespace {

constexpr auto Relaxed = std::memory_order_relaxed;

std::array<NoteEntry, NoteTableSize> BuildNoteTable() {
    std::array<NoteEntry, NoteTableSize> table{};
    for (int i = 0; i < NoteTableSize; ++i) {
        const double e = 69.0 + 12.0 * std::log2((3.0 * i + 1.0) / 440.0);
        // Entries 0 to 2 lie below every note and are never used.
        const long note = std::clamp(std::lround(e), 0L, 127L);
        const double bend = 8192.0 + (e - static_cast<double>(note)) * 8192.0 / 24.0;
        table[i].note = static_cast<uint8_t>(note);
        table[i].bend = static_cast<uint16_t>(std::clamp(static_cast<long>(bend), 0L, 16383L));
    }
    return table;
}

const std::array<NoteEntry, NoteTableSize> TheNoteTable = BuildNoteTable();

// The devices a host installed, and which of them is open.
MidiDevice* InstalledMidi = nullptr;
WaveDevice* InstalledWave = nullptr;
MidiDevice* OpenMidi = nullptr;
WaveDevice* OpenWave = nullptr;    // the wave device when it plays the notes
WaveDevice* MixingWave = nullptr;  // the wave device that is open, for the notes or beside the MIDI device
// The rate of the direct-sound frames the wave device takes; 0 when it
// takes none (main thread).
int32_t DirectRate = 0;

// The rate of the wave device that plays direct sound beside the MIDI
// device: the console's own output rate.
constexpr int BesideMidiRate = 32768;

// The wave buffers, with room for stereo, and apart from them whether each
// is prepared (handed out to the device or about to be). Kept together, the
// flags' start-up initialisation wrote into every page of the 64 KB, which
// then stayed resident in runs that never open a device.
uint8_t WaveData[WaveBufferCount][2 * WaveBufferSamples];
std::atomic<uint32_t> Prepared[WaveBufferCount];

// Mixes the next buffer into the played buffer with this index and writes
// it to the device again, on the synthesis thread.
void Refill(WaveDevice* device, int index) {
    if (index < 0 || index >= WaveBufferCount) return;
    Prepared[index].store(0, Relaxed);
    // While the device closes, played buffers stay idle.
    if (Output.stop.load(Relaxed)) return;
    const bool direct = Output.direct.load(Relaxed) != 0;
    if (!direct && Output.rate.load(Relaxed) < 8192) return;
    MixWaveFrames(WaveData[index]);
    Prepared[index].store(1, Relaxed);
    device->Write(index, WaveData[index], WaveBufferSamples * (direct ? Output.frameChannels.load(Relaxed) : 1));
}

// The system's own counting semaphore, which wakes the synthesis thread:
// posting it neither allocates nor waits. (The library's std::semaphore is
// built on its atomic waits, which on Windows can lose a wake-up and leave
// the thread asleep with buffers to refill.)
class Wakeup {
public:
#ifdef _WIN32
    Wakeup() : handle_(CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr)) {
        if (!handle_) throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
    }
    ~Wakeup() { CloseHandle(handle_); }
    void Post() { ReleaseSemaphore(handle_, 1, nullptr); }
    void Wait() { WaitForSingleObject(handle_, INFINITE); }

private:
    HANDLE handle_;
#else
    Wakeup() {
        if (sem_init(&semaphore_, 0, 0) != 0) throw std::system_error(errno, std::generic_category());
    }
    ~Wakeup() { sem_destroy(&semaphore_); }
    void Post() { sem_post(&semaphore_); }
    void Wait() {
        while (sem_wait(&semaphore_) != 0 && errno == EINTR) {
        }
    }

private:
    sem_t semaphore_;
#endif
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;
};

// The synthesis thread of a device whose notifications come from threads
// that must not wait for the mixing (an audio callback): it waits for played
// buffers, refills them and writes them to the device again. The notices
// reach it through a fixed queue without locks, and a semaphore wakes it, so
// the device's thread neither allocates nor waits on anything the mixing
// holds.
class SynthesisThread final : public WaveClient {
public:
    explicit SynthesisThread(WaveDevice* device) : device_(device) { thread_ = std::thread([this] { Run(); }); }
    ~SynthesisThread() override { thread_.join(); }

    void WaveDone(int index) override { Post(index); }
    void WaveClosed() override { Post(CloseNotice); }

private:
    static constexpr int32_t CloseNotice = -1;

    // At most every buffer and the close are under way at once, so the
    // queue never fills.
    void Post(int32_t notice) {
        if (notices_.Post(notice)) ready_.Post();
    }

    void Run() {
        bool prepared = false;
        for (;;) {
            ready_.Wait();
            int32_t notice;
            // The semaphore counts completed posts, but a poster that claimed
            // an earlier cell may still be writing it.
            while (!notices_.Take(notice)) std::this_thread::yield();
            if (notice == CloseNotice) return;
            if (!prepared) {
                device_->PrepareSynthesisThread();
                prepared = true;
            }
            Refill(device_, notice);
        }
    }

    WaveDevice* device_;
    NoticeQueue<2 * WaveBufferCount> notices_;
    Wakeup ready_;  // before the thread, which uses it from its start
    std::thread thread_;
};

// A device that owns the synthesis thread: each played buffer is refilled
// right inside the notification, on that thread.
class DeviceSynthesis final : public WaveClient {
public:
    explicit DeviceSynthesis(WaveDevice* device) : device_(device) {}
    void WaveDone(int index) override { Refill(device_, index); }
    void WaveClosed() override {}

private:
    WaveDevice* device_;
};

// Not a smart pointer: at the end of the process an output left open must
// not wait for its thread.
WaveClient* Synthesis = nullptr;

void SendMidi(int status, int data1, int data2) {
    OpenMidi->Send(static_cast<uint32_t>(status & 0xFF) | static_cast<uint32_t>(data1 & 0xFF) << 8 |
                   static_cast<uint32_t>(data2 & 0xFF) << 16);
}

void MidiNoteOff(int channel) {
    OutputChannelRecord& c = Output.channels[channel];
    if (c.lastNote < 0) return;
    SendMidi(0x80 | MidiChannelOf(channel), c.lastNote, 0);
    c.lastNote = -1;
}

void MidiNoteOn(int channel, int note, int velocity) {
    OutputChannelRecord& c = Output.channels[channel];
    if (note == c.lastNote && velocity == c.lastVelocity) return;
    if (note == c.lastNote) {
        SendMidi(0xA0 | MidiChannelOf(channel), note, velocity);
    } else {
        MidiNoteOff(channel);
        SendMidi(0x90 | MidiChannelOf(channel), note & 0x7F, velocity & 0x7F);
    }
    c.lastNote = note;
    c.lastVelocity = velocity;
}

// The device operations; each does nothing while no device is open.

void DeviceSetInstrument(int channel, int type) {
    if (Output.rate.load(Relaxed) == 0 || channel < 0 || channel >= OutputChannels) return;
    Output.channels[channel].type.store(type, Relaxed);
    if (OpenMidi) SendMidi(0xC0 | MidiChannelOf(channel), ProgramOfType(type), 0);
}

void DeviceDrum(int type, int force) {
    if (Output.rate.load(Relaxed) == 0 || !OpenMidi) return;
    if (!(Output.switches.load(Relaxed) & 0x8000)) return;
    SendMidi(0x99, (type & 0x100) ? (type & 0x7F) : 77, force / 2);
}

// A switch mask of 0 pauses the wave device and any other resumes it.
void SetWaveVolume(WaveDevice* wave, int32_t old, int32_t switches, uint32_t level) {
    if (switches == 0 && old != 0) wave->Pause();
    if (switches != 0 && old == 0) wave->Restart();
    wave->SetVolume(level | level << 16);
}

void DeviceSetVolume(int volume, int switches) {
    if (Output.rate.load(Relaxed) == 0) return;
    const int32_t old = Output.switches.load(Relaxed);
    switches &= 0xFFFF;
    Output.switches.store(switches, Relaxed);
    const uint32_t level = static_cast<uint32_t>(volume) * 256;
    if (OpenWave) {
        SetWaveVolume(OpenWave, old, switches, level);
    } else if (OpenMidi) {
        for (int channel = 0; channel < OutputChannels; ++channel) {
            if (((old >> channel) & 1) && !((switches >> channel) & 1)) MidiNoteOff(channel);
        }
        OpenMidi->SetVolume(level | level << 16);
        if (MixingWave) SetWaveVolume(MixingWave, old, switches, level);
    }
    Output.volume = volume;
}

void DeviceSound(int channel, int frequency, int volume) {
    const int32_t rate = Output.rate.load(Relaxed);
    if (rate == 0 || channel < 0 || channel >= OutputChannels) return;
    volume = std::clamp(volume, 0, 255);
    OutputChannelRecord& c = Output.channels[channel];
    if (OpenWave) {
        if (frequency < 0 || frequency > rate / 2) frequency = 0;
        c.frequency.store(frequency, Relaxed);
        c.volume.store(volume, Relaxed);
        return;
    }
    if (frequency < MinMidiFrequency || frequency > MaxMidiFrequency) frequency = 0;
    c.frequency.store(frequency, Relaxed);
    c.volume.store(volume, Relaxed);
    if (!((Output.switches.load(Relaxed) >> channel) & 1)) return;
    if (volume == 0 || frequency == 0) {
        MidiNoteOff(channel);
        return;
    }
    const NoteEntry entry = NoteTable[frequency / 3];
    MidiNoteOn(channel, entry.note, volume / 2);
    if (entry.bend != c.lastBend) {
        SendMidi(0xE0 | MidiChannelOf(channel), entry.bend & 0x7F, (entry.bend >> 7) & 0x7F);
        c.lastBend = entry.bend;
    }
}

void DeviceSetWave(int channel, const int8_t* samples, int count) {
    if (Output.rate.load(Relaxed) == 0 || !OpenWave) return;
    if (channel < 0 || channel >= OutputChannels || count < 1 || count > MaxWaveLength) return;
    OutputChannelRecord& c = Output.channels[channel];
    c.waveLength.store(count, Relaxed);
    c.type.store(CustomWaveInstrument, Relaxed);
    c.wavePosition.store(0, Relaxed);
    c.phase.store(0, Relaxed);
    uint32_t words[MaxWaveLength / 4] = {};
    for (int i = 0; i < count; ++i) words[i / 4] |= static_cast<uint32_t>(static_cast<uint8_t>(samples[i])) << (8 * (i % 4));
    for (int w = 0; w < (count + 3) / 4; ++w) c.pattern[w].store(words[w], Relaxed);
}

bool OpenMidiDevice() {
    if (!InstalledMidi || !InstalledMidi->Open()) return false;
    OpenMidi = InstalledMidi;
    Output.rate.store(1, Relaxed);
    for (int channel = 0; channel < 16; ++channel) SendMidi(0xB0 | channel, 7, 100);
    return true;
}

// Opens the installed wave device at rate with "buffers" buffers in flight:
// for the notes (which then sound from the first buffer on), or, beside the
// MIDI device, for direct sound alone. With direct sound it takes the
// frames of the ring too, in stereo where the device has stereo.
bool OpenWaveDevice(int rate, int buffers, bool notes, bool direct) {
    Output.stop.store(0, Relaxed);
    buffers = std::clamp(buffers, 2, WaveBufferCount);
    if (!InstalledWave) return false;
    // Before any mixing can begin: the ring's consumer is not running.
    Output.direct.store(0, Relaxed);
    Output.frameChannels.store(1, Relaxed);
    if (direct) ResetDirectFrames();
    if (InstalledWave->OwnsSynthesisThread()) {
        Synthesis = new DeviceSynthesis(InstalledWave);
    } else {
        try {
            Synthesis = new SynthesisThread(InstalledWave);
        } catch (const std::system_error&) {
            return false;
        }
    }
    bool opened = false;
    int channels = 1;
    if (direct && InstalledWave->OpenStereo(rate, Synthesis)) {
        opened = true;
        channels = 2;
    }
    if (!opened) opened = InstalledWave->Open(rate, Synthesis);
    if (!opened) {
        Synthesis->WaveClosed();  // ends the thread
        delete Synthesis;
        Synthesis = nullptr;
        return false;
    }
    MixingWave = InstalledWave;
    if (notes) OpenWave = InstalledWave;
    if (direct) {
        Output.frameChannels.store(channels, Relaxed);
        Output.direct.store(1, Relaxed);
        DirectRate = rate;
    }
    if (notes) Output.rate.store(rate, Relaxed);
    const int length = WaveBufferSamples * channels;
    for (int i = 0; i < WaveBufferCount; ++i) {
        Prepared[i].store(0, Relaxed);
        // Only what the device is handed: the second half of each buffer
        // serves stereo alone, and left untouched it never becomes resident.
        std::memset(WaveData[i], 0x80, static_cast<size_t>(length));
    }
    for (int i = 0; i < buffers; ++i) {
        Prepared[i].store(1, Relaxed);
        MixingWave->Write(i, WaveData[i], length);
    }
    return true;
}

const DeviceOperations DeviceOperationTable = {DeviceSetInstrument, DeviceDrum, DeviceSetVolume, DeviceSound,
                                               DeviceSetWave};

}  // namespace

const DeviceOperations* Operations = nullptr;
const NoteEntry* const NoteTable = TheNoteTable.data();

int ProgramOfType(int type) { return (type & 0x100) ? (type & 0x7F) : ProgramTable[type & 3]; }

int MidiChannelOf(int channel) {
    if (channel == 15) return 9;
    return channel >= 9 ? channel + 1 : channel;
}

void InstallSoundDevices(MidiDevice* midi, WaveDevice* wave) {
    InstalledMidi = midi;
    InstalledWave = wave;
}

void Sound(int channel, int frequency, int volume) {
    if (channel < 0) return;
    if (frequency < 0) frequency = 0;
    volume = std::clamp(volume, 0, 255);
    if (Operations) Operations->sound(channel, frequency, volume);
    if (MidiLogRecording() && channel < 15) LogSound(channel, frequency, volume);
}

void Drum(int type, int force) {
    force = std::clamp(force, 0, 255);
    if (Operations) Operations->drum(type, force);
    if (MidiLogRecording()) LogEvent(0x99, (type & 0x100) ? (type & 0x7F) : 77, force / 2);
}

void SetInstrument(int channel, int type) {
    if (channel < 0) return;
    if (Operations) Operations->setInstrument(channel, type);
    if (channel < 15) KeepLogInstrument(channel, type);
}

void SetSoundVolume(int volume, int switches) {
    volume = std::clamp(volume, 0, 255);
    if (Operations) Operations->setVolume(volume, switches);
}

void SetWave(int channel, const int8_t* samples, int count) {
    if (channel < 0 || count < 1) return;
    if (Operations) Operations->setWave(channel, samples, count);
}

int OpenSound(int rate, int buffers) {
    CloseSound();
    Operations = &DeviceOperationTable;
    for (OutputChannelRecord& c : Output.channels) {
        c.lastNote = c.lastVelocity = c.lastBend = -1;
        c.frequency.store(0, Relaxed);
        c.volume.store(0, Relaxed);
        c.phase.store(0, Relaxed);
    }
    Output.rate.store(0, Relaxed);
    OpenMidi = nullptr;
    OpenWave = nullptr;
    MixingWave = nullptr;
    DirectRate = 0;
    Output.noise.store(1, Relaxed);
    if (rate == 0) return 1;
    const bool direct = DirectSound != 0;
    if (rate < 8192) {
        if (!OpenMidiDevice()) return 0;
        // Samples are not notes: direct sound plays on the wave device
        // beside the synthesiser, and without one the notes still play.
        if (direct) OpenWaveDevice(BesideMidiRate, buffers, false, true);
    } else if (!OpenWaveDevice(rate, buffers, true, direct)) {
        return 0;
    }
    // A reopened device gets the programs back.
    for (int channel = 0; channel < OutputChannels; ++channel) {
        DeviceSetInstrument(channel, Output.channels[channel].type.load(Relaxed));
    }
    return 1;
}

void CloseSound() {
    // The thread stops refilling before the buffers are taken back.
    Output.stop.store(1, Relaxed);
    if (MixingWave) {
        MixingWave->Reset();
        for (std::atomic<uint32_t>& prepared : Prepared) prepared.store(0, Relaxed);
        // A buffer that the thread was refilling when the stop came may be
        // written after the reset; the device then refuses to close until
        // it has been handed back again.
        do {
            MixingWave->Reset();
        } while (!MixingWave->Close());
        // The close notification ends the thread; wait for it, so that no
        // refill of this device can overlap the next one. (A device that
        // owns the synthesis thread has waited for it in Close.)
        delete Synthesis;
        Synthesis = nullptr;
    }
    if (OpenMidi) {
        OpenMidi->Reset();
        OpenMidi->Close();
    }
    OpenMidi = nullptr;
    OpenWave = nullptr;
    MixingWave = nullptr;
    DirectRate = 0;
    Output.direct.store(0, Relaxed);
    Output.frameChannels.store(1, Relaxed);
    Output.rate.store(0, Relaxed);
}

int SoundOutputRate() { return Output.rate.load(Relaxed); }

int DirectSoundFrameRate() { return DirectRate; }

void PushDirectFrame(int left, int right) { DirectFrames.Push(PackDirectFrame(left, right)); }

}  // namespace koru
