// The thin layer between the desktop program's logic and the toolkit it runs
// on. The logic (start-up, settings, input, commands, dialogs) calls only
// these; each platform (Qt on Linux) implements them once, and calls back
// into the window procedure of commands.h when something happens.
#pragma once
#include <cstdint>
#include <string>

namespace koru {

struct DialogProcedure;
struct DialogTemplate;
enum class FileFilter { Cartridges, States };

// Joystick ranges and position, unsigned as the multimedia joystick calls
// give them (a platform with signed axes shifts them).
struct JoystickCaps {
    uint32_t xMin, xMax, yMin, yMax;
};
struct JoystickPosition {
    uint32_t x, y;
    uint32_t buttons;  // bit 0 = button 1
};

namespace platform {

// The main window with the menu, the icon and the caption, visible. False
// when it cannot be created.
bool CreateMainWindow();
// Keeps whatever drawing the window needs for the life of the program.
void AcquireWindowContext();
void ReleaseWindowContext();

// The off-screen picture: width x height 16-bit pixels, rows top to bottom,
// red in bits 10-14, cleared to 0. Null when it cannot be made.
uint16_t* CreateFrameSurface(int width, int height);
void FreeFrameSurface();
// Copies the rectangle (x, y, w, h) of the surface, stretched without
// smoothing, onto the whole client area, and makes it visible at once.
void PresentSurface(int x, int y, int w, int h);

// Sizes and places the window: the client area (below the menu) becomes
// width x height; the window's top-left corner goes to (x, y).
void SetClientSize(int width, int height);
void MoveWindowTo(int x, int y);
// The window's top-left corner, the same corner MoveWindowTo places (the
// outer one on Windows; the one inside the window manager's frame on X and
// Wayland, where the frame is not known when the window is first placed);
// false when it is not known.
bool GetWindowRect(int* left, int* top);
// Leads to the window's destruction, which ends the program (OnDestroy).
void DestroyMainWindow();

// Handles every waiting event (window, menu, keys, signals) and returns.
void PumpEvents();
// Waits without using the processor for the next event and handles it;
// false when the application is quitting.
bool WaitForEvent();

// The open-file dialog; start is the name it starts from. True with the
// chosen full path when the user picked a file (the path may not exist yet).
// A save dialog says Save where the open dialog says Open; a title, when
// given, replaces the dialog's own (it says why a cartridge was refused).
enum class FileDialogMode { Open, Save };
bool OpenFileDialog(const char* start, FileFilter filter, FileDialogMode mode, const char* title,
                    std::string* chosen);

// The window's caption.
void SetCaption(const char* text);

// Writes width x height pixels of the frame surface's format (rows top to
// bottom) as a PNG file; false when it cannot.
bool WritePicture(const char* path, const uint16_t* pixels, int width, int height);

// A modal dialog built from the template, driven by the procedure, owned by
// the main window. Returns when the procedure ends it.
int RunDialog(const DialogTemplate& dialog, const DialogProcedure& procedure);

// A periodic tick every delay ms calling tick (on another thread). Returns an
// id, 0 when it cannot be started.
uint32_t StartPeriodicTick(int delayMs, int resolutionMs, void (*tick)());
void StopPeriodicTick(uint32_t id);
// Raise and lower the system's timer resolution around the ticks.
void BeginTimerPeriod(int ms);
void EndTimerPeriod(int ms);

// Number of joysticks the system offers (only the first is used), its
// ranges, and its position now; false when it does not answer.
int JoystickCount();
bool JoystickCapabilities(JoystickCaps* caps);
bool JoystickRead(JoystickPosition* position);
// A pad whose layout the system knows: its console keys now (its A, B, L,
// R, Start, Select and d-pad), and true; false without such a pad, when the
// joystick rule applies. A platform without pad layouts returns false.
bool GamepadKeys(uint32_t* keys);
// True when a joystick was plugged in since start-up or the last detection,
// where the platform can tell; DetectJoystick is then run again.
bool JoystickArrived();

// The current directory into buffer (at most size - 1 characters and a
// terminator); false when it cannot be had or does not fit.
bool CurrentDirectory(char* buffer, int size);
// What separates the directories of a path.
#ifdef _WIN32
constexpr char PathSeparator = '\\';
#else
constexpr char PathSeparator = '/';
#endif

// Ends the process at once with the status.
[[noreturn]] void ExitProcess(int status);

}  // namespace platform
}  // namespace koru
