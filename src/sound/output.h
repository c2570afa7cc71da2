// The sound output: sixteen numbered output channels played on the MIDI
// device or on the wave device (a small synthesiser on a thread of its
// own), and recorded by the MIDI log while it records.
//
// A host installs its devices once (InstallSoundDevices), then opens the
// output with the "SoundRate" and "SoundBuffers" settings before each run
// and sets volume and switches:
//     OpenSound(SoundRate, SoundBuffers);
//     SetSoundVolume(SoundVolume, SoundSwitch);
// and calls CloseSound at the end of the program. Every operation may be
// called with no device open: it is then ignored (the log still records).
#pragma once
#include <cstdint>

namespace koru {

class MidiDevice;
class WaveDevice;

constexpr int OutputChannels = 16;
constexpr int WaveBufferCount = 32;       // buffer headers of the wave device
constexpr int WaveBufferSamples = 1024;   // samples in each buffer
constexpr int MaxWaveLength = 256;        // samples in a custom wave pattern

// Instrument types.
constexpr int SquareInstrument = 0;
constexpr int NoiseInstrument = 1;
constexpr int CustomWaveInstrument = 3;

// The devices that OpenSound opens. Either may be null (that kind of
// device then never opens). The objects must outlive every later call.
void InstallSoundDevices(MidiDevice* midi, WaveDevice* wave);

// Output operations (channel 0-15).
void Sound(int channel, int frequency, int volume);
void Drum(int type, int force);
void SetInstrument(int channel, int type);
void SetSoundVolume(int volume, int switches);
void SetWave(int channel, const int8_t* samples, int count);

// Device control. Rate 0 opens nothing (and succeeds), 1-8191 the MIDI
// device, 8192 and up the wave device at that many samples per second with
// "buffers" buffers in flight (2-32). Returns 0 when the device cannot be
// opened; the output is then silent.
int OpenSound(int rate, int buffers);
void CloseSound();

// 0 when no device is open, 1 for the MIDI device, the sample rate for the
// wave device.
int SoundOutputRate();

// Direct sound (the "DirectSound" setting, read by OpenSound): the wave
// device mixes the machine's direct-sound frames into its output, in stereo
// where the device has stereo. With the wave device playing the notes the
// frames come at its rate; beside the MIDI device the wave device opens for
// them alone. The rate the machine makes the frames at, 0 when no device
// takes them (the setting is off, or no wave device opened).
int DirectSoundFrameRate();
// Hands one frame to the synthesis thread (main thread only); the levels
// are on the scale of the mixing sum, which the wave device divides by 20
// into 8-bit samples. Dropped when the device has fallen too far behind.
void PushDirectFrame(int left, int right);

// MIDI program of each instrument type (indexed by type & 3); a type with
// bit 8 set selects program type & 0x7F instead.
extern const uint8_t ProgramTable[4];
int ProgramOfType(int type);

// MIDI channel of each output channel: 0-8 unchanged, 9-14 one up, 15 on
// the percussion channel 9.
int MidiChannelOf(int channel);

// Note and pitch bend of every frequency f in Hz, by f / 3. 8192 bend units
// span 24 semitones.
struct NoteEntry {
    uint8_t note;
    uint16_t bend;
};
constexpr int NoteTableSize = 4096;
extern const NoteEntry* const NoteTable;

// Lowest and highest frequency that the MIDI device and the log play.
constexpr int MinMidiFrequency = 9;
constexpr int MaxMidiFrequency = 12285;

}  // namespace koru
