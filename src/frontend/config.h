// "KORU.ini": the settings read before each run, and the Setup dialog that
// changes and writes them.
#pragma once
#include <cstdint>

#include "frontend/dialog.h"

namespace koru {

// The section of the running cartridge: its header title, or "UNKNOWN".
extern char CartridgeSection[16];

// Setup dialog controls.
enum SetupControl : int {
    SetupUpdatePeriod = 100,  // scroll bars; their labels are id + 10
    SetupTimerPeriod = 101,
    SetupVolume = 102,
    SetupBuffers = 103,
    SetupRate = 104,
    SetupUseDrums = 119,
    SetupAutoFireA = 120,
    SetupAutoFireB = 121,
    SetupAutoFireL = 122,
    SetupAutoFireR = 123,
    SetupSleep = 124,
    SetupMidi = 125,
    SetupLogSound = 126,
    SetupCheckCrc = 127,
    SetupChannel1 = 134,  // to 137
    SetupLogFile = 140,
    SetupReset = 146,
};

// Reads the settings for the cartridge, prepares sound and timer, runs the
// machine and shuts it down. Non-zero when the loop should run a cartridge
// again, 0 when this one could not be started.
int RunCartridge(const char* name);
// Reads the settings of section "KORU", then those of the cartridge's
// section over them (steps of RunCartridge before the sound opens).
void ReadSettings(const char* section);
// Reads a file name setting into buffer (MaxPathLength + 1 bytes). A name
// longer than MaxPathLength is refused, not cut (a cut name names another
// file): the default is used and standard error says why.
void ReadPathSetting(const char* section, const char* key, const char* fallback, char* buffer);
// Sets a scroll bar and its label.
void SetScrollValue(DialogWindow& dialog, int id, int value);
// Takes the dialog's controls into the settings, applies and writes them.
void ApplySetup(DialogWindow& dialog);
// The new position a scroll request asks for.
int ScrollRequest(int position, int code, int thumbPosition);

extern const DialogProcedure SetupProcedure;

}  // namespace koru
