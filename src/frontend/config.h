// "KORU.ini": the settings read before each run, and the Setup dialog that
// changes and writes them.
#pragma once
#include <cstdint>
#include <string>

#include "frontend/dialog.h"
#include "frontend/resource_ids.h"

namespace koru {

// The section of the running cartridge: its header title, or "UNKNOWN".
extern char CartridgeSection[16];

// Setup dialog controls.
enum SetupControl : int {
    SetupUpdatePeriod = KORU_SETUP_UPDATE_PERIOD,  // scroll bars; their labels are id + 10
    SetupTimerPeriod = KORU_SETUP_TIMER_PERIOD,
    SetupVolume = KORU_SETUP_VOLUME,
    SetupBuffers = KORU_SETUP_BUFFERS,
    SetupRate = KORU_SETUP_RATE,
    SetupUseDrums = KORU_SETUP_USE_DRUMS,
    SetupAutoFireA = KORU_SETUP_AUTOFIRE_A,
    SetupAutoFireB = KORU_SETUP_AUTOFIRE_B,
    SetupAutoFireL = KORU_SETUP_AUTOFIRE_L,
    SetupAutoFireR = KORU_SETUP_AUTOFIRE_R,
    SetupSleep = KORU_SETUP_SLEEP,
    SetupMidi = KORU_SETUP_MIDI,
    SetupLogSound = KORU_SETUP_LOG_SOUND,
    SetupCheckCrc = KORU_SETUP_CHECK_CRC,
    SetupChannel1 = KORU_SETUP_CHANNEL1,  // to 137
    SetupLogFile = KORU_SETUP_LOG_FILE,
    SetupReset = KORU_SETUP_RESET,
};

// Reads the settings for the cartridge, prepares sound and timer, runs the
// machine and shuts it down. Non-zero when the loop should run a cartridge
// again, 0 when this one could not be started.
int RunCartridge(const char* name);
// Why the machine could not run the cartridge, found as it would: the file
// missing or unreadable, empty, too large, or its header refused by the
// check ("cartridge check failed").
std::string RefusalReason(const char* name);
// The open-file dialog's title after a refusal: "Open cartridge - NAME:
// REASON", with the file's own name.
std::string RefusalTitle(const char* name, const char* reason);
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
