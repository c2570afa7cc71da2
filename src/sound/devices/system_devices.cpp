#include "sound/devices/system_devices.h"

#include "sound/devices/fluid_midi.h"
#include "sound/devices/sdl_wave.h"
#include "sound/output.h"

namespace koru {

MidiDevice* SystemMidiDevice() {
    static FluidSynthMidiDevice device;
    return &device;
}

WaveDevice* SystemWaveDevice() {
    static SdlWaveDevice device;
    return &device;
}

void InstallSystemSoundDevices() { InstallSoundDevices(SystemMidiDevice(), SystemWaveDevice()); }

}  // namespace koru
