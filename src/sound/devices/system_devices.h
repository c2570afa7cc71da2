// The sound devices of the desktop: on Linux FluidSynth for MIDI and SDL2
// audio for the wave device, on Windows the multimedia MIDI and wave output.
// Hosts call InstallSystemSoundDevices once at start.
#pragma once

namespace koru {

class MidiDevice;
class WaveDevice;

MidiDevice* SystemMidiDevice();
WaveDevice* SystemWaveDevice();
// InstallSoundDevices(SystemMidiDevice(), SystemWaveDevice()).
void InstallSystemSoundDevices();

}  // namespace koru
