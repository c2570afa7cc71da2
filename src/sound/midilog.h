// Recording the sound events as a Standard MIDI File (format 0, one track,
// one tick per millisecond of emulated time).
#pragma once
#include <cstdint>

namespace koru {

// At every machine start: finishes an open file and takes the name, whose
// text is read again whenever a new file is created (so it must outlive the
// log; the machine hands over the "SoundLogFile" setting). Recording that
// was on goes on in a new file under the name.
void InitMidiLog(const char* name);
// 0 stops, 1 starts, 2 toggles, other values ask; returns the recording flag.
int MidiLog(int mode);
// Adds time while recording.
void MidiLogTicks(int milliseconds);
// Finishes the open file, if any: end of track and the track length.
void CloseMidiLog();

// The recording flag, as MidiLog(3) returns it.
int MidiLogRecording();

// Event functions of the sound output, called while recording (log
// channels 0-15, mapped to MIDI channels as the output maps them).
void LogSound(int channel, int frequency, int volume);
void LogProgram(int channel, int type);
// One event; a data byte of 0x80 or more stands for an absent byte.
void LogEvent(int status, int data1, int data2);

// The instrument type of each output channel below 15 as the log keeps it,
// whether or not it records, so that a recording started later begins with
// the right programs.
void KeepLogInstrument(int channel, int type);

}  // namespace koru
