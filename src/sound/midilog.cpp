// Placeholder MIDI log: nothing is recorded. The MIDI log replaces this file.
#include "sound/midilog.h"

namespace koru {

void InitMidiLog(const char*) {}
int MidiLog(int) { return 0; }
void MidiLogTicks(int) {}
void CloseMidiLog() {}

}  // namespace koru
