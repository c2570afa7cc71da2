// The MIDI device on Linux: FluidSynth running inside the process with a
// General MIDI SoundFont, playing through the system's audio output.
#pragma once
#include <cstdint>
#include <string>

#include "sound/device.h"

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_audio_driver_t fluid_audio_driver_t;

namespace koru {

class FluidSynthMidiDevice final : public MidiDevice {
public:
    // With audioOutput false the synthesiser plays nowhere and its owner
    // takes the sound with Render (tests and tools). An empty soundFont
    // means the first General MIDI SoundFont found in the usual places.
    explicit FluidSynthMidiDevice(bool audioOutput = true, std::string soundFont = {});
    ~FluidSynthMidiDevice() override;

    bool Open() override;
    void Send(uint32_t message) override;
    void SetVolume(uint32_t volume) override;
    void Reset() override;
    void Close() override;

    // Renders frames of interleaved 16-bit stereo at SampleRate (only
    // without audio output).
    void Render(int16_t* stereo, int frames);
    bool IsOpen() const { return open_; }
    float Gain() const;

    static constexpr int SampleRate = 44100;
    // The gain at full volume.
    static constexpr float FullGain = 0.6f;

    // The SoundFont that Open uses when none is named: $KORU_SOUNDFONT,
    // else the first that exists of the usual system places; empty if none.
    static std::string FindSoundFont();

private:
    bool audioOutput_;
    std::string soundFont_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    fluid_audio_driver_t* driver_ = nullptr;
    bool open_ = false;
};

}  // namespace koru
