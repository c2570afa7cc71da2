#include "sound/devices/system_devices.h"

#include "sound/output.h"
#ifdef _WIN32
#include "sound/devices/winmm_midi.h"
#include "sound/devices/winmm_wave.h"
#else
#include "sound/devices/fluid_midi.h"
#include "sound/devices/sdl_wave.h"
#endif

namespace koru {

#ifdef _WIN32
MidiDevice* SystemMidiDevice() {
    static WinmmMidiDevice device;
    return &device;
}

WaveDevice* SystemWaveDevice() {
    static WinmmWaveDevice device;
    return &device;
}
#else
MidiDevice* SystemMidiDevice() {
    static FluidSynthMidiDevice device;
    return &device;
}

WaveDevice* SystemWaveDevice() {
    static SdlWaveDevice device;
    return &device;
}
#endif

void InstallSystemSoundDevices() { InstallSoundDevices(SystemMidiDevice(), SystemWaveDevice()); }

}  // namespace koru
