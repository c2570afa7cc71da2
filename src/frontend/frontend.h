// The desktop program: start-up, the cartridge loop, the screen output and
// the sync timer. Written once over the platform layer (platform.h).
#pragma once
#include <atomic>
#include <cstdint>

#include "frontend/platform.h"
#include "machine/settings.h"

namespace koru {

// The client area's size in pixels; 240 x 160 until the configuration is
// read, then updated on every size change.
extern int32_t ClientWidth;
extern int32_t ClientHeight;
// The cartridge file to run.
extern char CartridgeName[MaxPathLength + 1];
// Full path of "KORU.ini".
constexpr int MaxIniDirectory = 200;
extern char IniPath[MaxIniDirectory + 16];
// The sync timer's id, 0 when no timer runs, and the tick it sets.
extern uint32_t SyncTimerId;
extern std::atomic<uint32_t> FrameTick;
// The log mask the desktop program runs with (0 unless KORU_VERBOSE says
// otherwise).
extern uint32_t DesktopVerbose;

// The program's life: start-up, the cartridge loop; returns only when
// start-up fails (the first dialog cancelled, no window): 0 when the user
// cancelled, 1 on a failure. A cartridge that cannot run brings the dialog
// back, whose Cancel ends the program as quitting does. The command line is
// the arguments joined with single spaces.
int RunDesktop(const char* commandLine);
// "--help" and "--version" alone on the command line print the usage or the
// version to standard output: 0 then, the status to end with. -1 for any
// other command line, which names a cartridge.
int InformationOption(int argc, const char* const* argv);

// Waits, when a sync timer runs, for its next tick.
void WaitForFrameTick();
// Starts the sync timer at rate Hz (1-60), or stops it; returns its id.
uint32_t SetSyncTimer(int rate);
// The open-file dialog on buffer (MaxPathLength + 1 bytes). A chosen path
// longer than MaxPathLength is refused, never cut: a cut path would name
// another file. Non-zero when the buffer holds a new choice.
// A title, when given, replaces the dialog's own.
int AskFileName(char* buffer, FileFilter filter, platform::FileDialogMode mode = platform::FileDialogMode::Open,
                const char* title = nullptr);
// Builds IniPath from the current directory.
void BuildIniPath();
// The part of start-up that makes the window, surface and colour tables.
bool CreateMainWindow();
// Releases what start-up made (window context, surface, timer, sound).
void CleanUp();

}  // namespace koru
