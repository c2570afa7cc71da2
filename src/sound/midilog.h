// Recording the sound events as a Standard MIDI File.
#pragma once

namespace koru {

// At every machine start: finishes an open file and takes the name.
void InitMidiLog(const char* name);
// 0 stops, 1 starts, 2 toggles, other values ask; returns the recording flag.
int MidiLog(int mode);
// Adds time while recording.
void MidiLogTicks(int milliseconds);
// Finishes the open file, if any.
void CloseMidiLog();

}  // namespace koru
