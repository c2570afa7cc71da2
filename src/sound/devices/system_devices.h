// The sound devices of the Linux desktop: FluidSynth for MIDI, SDL2 audio
// for the wave device. Hosts call InstallSystemSoundDevices once at start.
#pragma once

namespace koru {

class MidiDevice;
class WaveDevice;

MidiDevice* SystemMidiDevice();
WaveDevice* SystemWaveDevice();
// InstallSoundDevices(SystemMidiDevice(), SystemWaveDevice()).
void InstallSystemSoundDevices();

}  // namespace koru
