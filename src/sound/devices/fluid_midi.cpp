#include "sound/devices/fluid_midi.h"

#include <fluidsynth.h>

#include <cstdlib>
#include <filesystem>

#include "machine/log.h"
#include "sound/devices/shared_library.h"

namespace koru {
namespace {

#define KORU_FLUID_FUNCTIONS(X) \
    X(fluid_set_log_function) \
    X(new_fluid_settings) \
    X(delete_fluid_settings) \
    X(fluid_settings_setnum) \
    X(fluid_settings_setstr) \
    X(new_fluid_synth) \
    X(delete_fluid_synth) \
    X(fluid_synth_system_reset) \
    X(fluid_synth_set_gain) \
    X(fluid_synth_get_gain) \
    X(new_fluid_audio_driver) \
    X(delete_fluid_audio_driver) \
    X(fluid_synth_sfcount) \
    X(fluid_synth_sfload) \
    X(fluid_synth_pitch_wheel_sens) \
    X(fluid_synth_noteoff) \
    X(fluid_synth_noteon) \
    X(fluid_synth_key_pressure) \
    X(fluid_synth_cc) \
    X(fluid_synth_program_change) \
    X(fluid_synth_channel_pressure) \
    X(fluid_synth_pitch_bend) \
    X(fluid_synth_all_notes_off) \
    X(fluid_synth_write_s16)

// The library is opened with the first device that opens (shared_library.h).
KORU_LAZY_LIBRARY(fluid, KORU_FLUIDSYNTH_LIBRARY, KORU_FLUID_FUNCTIONS)

// FluidSynth reports to standard error by default; a machine without sound
// output would print a screenful at every start. Its messages go to the
// console log instead, when that is on.
void QuietLog(int level, const char* message, void*) {
    if (Verbose && level <= FLUID_ERR) Log("FluidSynth: %s\n", message);
}

void SilenceFluidLog() {
    static const bool done = [] {
        for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) {
            fluid::fluid_set_log_function(level, QuietLog, nullptr);
        }
        return true;
    }();
    (void)done;
}

}  // namespace

FluidSynthMidiDevice::FluidSynthMidiDevice(bool audioOutput, std::string soundFont)
    : audioOutput_(audioOutput), soundFont_(std::move(soundFont)) {}

FluidSynthMidiDevice::~FluidSynthMidiDevice() {
    Close();
    if (synth_) fluid::delete_fluid_synth(synth_);
    if (settings_) fluid::delete_fluid_settings(settings_);
}

std::string FluidSynthMidiDevice::FindSoundFont() {
    if (const char* chosen = std::getenv("KORU_SOUNDFONT"); chosen && *chosen) return chosen;
    static const char* const places[] = {
        "/usr/share/sounds/sf2/default-GM.sf2",   "/usr/share/soundfonts/default.sf2",
        "/usr/share/sounds/sf2/FluidR3_GM.sf2",   "/usr/share/soundfonts/FluidR3_GM.sf2",
        "/usr/share/sounds/sf2/TimGM6mb.sf2",     "/usr/share/sounds/sf2/GeneralUser.sf2",
        "/usr/local/share/soundfonts/default.sf2",
    };
    std::error_code error;
    for (const char* place : places) {
        if (std::filesystem::is_regular_file(place, error)) return place;
    }
    return {};
}

bool FluidSynthMidiDevice::Open() {
    Close();
    if (!fluid::Loaded()) return false;
    SilenceFluidLog();
    if (!synth_) {
        settings_ = fluid::new_fluid_settings();
        if (!settings_) return false;
        fluid::fluid_settings_setnum(settings_, "synth.sample-rate", SampleRate);
        fluid::fluid_settings_setnum(settings_, "synth.gain", FullGain);
        synth_ = fluid::new_fluid_synth(settings_);
        if (!synth_) {
            fluid::delete_fluid_settings(settings_);
            settings_ = nullptr;
            return false;
        }
    } else {
        // A synthesiser kept from an earlier opening starts afresh.
        fluid::fluid_synth_system_reset(synth_);
        fluid::fluid_synth_set_gain(synth_, FullGain);
    }
    if (audioOutput_) {
        // The sound servers of a desktop first, then the sound card itself.
        // Tried before the SoundFont is loaded, so that a machine without
        // sound output finds out at once.
        for (const char* driver : {"pulseaudio", "alsa"}) {
            if (fluid::fluid_settings_setstr(settings_, "audio.driver", driver) != FLUID_OK) continue;
            driver_ = fluid::new_fluid_audio_driver(settings_, synth_);
            if (driver_) break;
        }
        if (!driver_) return false;
    }
    // The SoundFont is loaded once and kept while the device closes and
    // opens again (the desktop program does that at every change of focus).
    if (fluid::fluid_synth_sfcount(synth_) == 0) {
        const std::string font = soundFont_.empty() ? FindSoundFont() : soundFont_;
        if (font.empty() || fluid::fluid_synth_sfload(synth_, font.c_str(), 1) == FLUID_FAILED) {
            Close();
            return false;
        }
    }
    // The pitch bends this program sends count 8192 units for 24 semitones.
    for (int channel = 0; channel < 16; ++channel) fluid::fluid_synth_pitch_wheel_sens(synth_, channel, 24);
    open_ = true;
    return true;
}

void FluidSynthMidiDevice::Send(uint32_t message) {
    if (!open_) return;
    const int status = message & 0xFF, data1 = (message >> 8) & 0x7F, data2 = (message >> 16) & 0x7F;
    const int channel = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80: fluid::fluid_synth_noteoff(synth_, channel, data1); break;
    case 0x90:
        if (data2 == 0) {
            fluid::fluid_synth_noteoff(synth_, channel, data1);
        } else {
            fluid::fluid_synth_noteon(synth_, channel, data1, data2);
        }
        break;
    case 0xA0: fluid::fluid_synth_key_pressure(synth_, channel, data1, data2); break;
    case 0xB0: fluid::fluid_synth_cc(synth_, channel, data1, data2); break;
    case 0xC0: fluid::fluid_synth_program_change(synth_, channel, data1); break;
    case 0xD0: fluid::fluid_synth_channel_pressure(synth_, channel, data1); break;
    case 0xE0: fluid::fluid_synth_pitch_bend(synth_, channel, data1 | data2 << 7); break;
    default: break;
    }
}

void FluidSynthMidiDevice::SetVolume(uint32_t volume) {
    if (!open_) return;
    // One gain for both sides: the left one.
    fluid::fluid_synth_set_gain(synth_, FullGain * static_cast<float>(volume & 0xFFFF) / 65535.0f);
}

float FluidSynthMidiDevice::Gain() const { return open_ ? fluid::fluid_synth_get_gain(synth_) : 0.0f; }

void FluidSynthMidiDevice::Reset() {
    if (open_) fluid::fluid_synth_all_notes_off(synth_, -1);
}

void FluidSynthMidiDevice::Close() {
    if (driver_) fluid::delete_fluid_audio_driver(driver_);
    driver_ = nullptr;
    open_ = false;
}

void FluidSynthMidiDevice::Render(int16_t* stereo, int frames) {
    if (!open_ || driver_) return;
    fluid::fluid_synth_write_s16(synth_, frames, stereo, 0, 2, stereo, 1, 2);
}

}  // namespace koru
