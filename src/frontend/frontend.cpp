#include "frontend/frontend.h"

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "frontend/commands.h"
#include "frontend/config.h"
#include "frontend/ini.h"
#include "frontend/input.h"
#include "frontend/platform.h"
#include "frontend/sound_devices.h"
#include "machine/log.h"
#include "video/video.h"

namespace koru {

int32_t ClientWidth = 240;
int32_t ClientHeight = 160;
char CartridgeName[MaxPathLength + 1];
char IniPath[MaxIniDirectory + 16] = "KORU.ini";
uint32_t SyncTimerId;
std::atomic<uint32_t> FrameTick;
uint32_t DesktopVerbose;

namespace {

// Wakes a frame waiting for the tick. A mutex and a condition variable
// rather than the tick word's own wait: MinGW's C++ library (GCC 12) can
// lose the notification of an atomic wait on Windows, and a lost tick with
// no next one (the timer stopped) would stop the program for good.
std::mutex TickMutex;
std::condition_variable TickWake;

// Runs on the ticking thread: it sets the tick and wakes the frame.
void Tick() {
    {
        std::lock_guard<std::mutex> lock(TickMutex);
        FrameTick.store(1, std::memory_order_release);
    }
    TickWake.notify_one();
}

void CopyName(char* buffer, const char* name) {
    std::strncpy(buffer, name, MaxPathLength);
    buffer[MaxPathLength] = 0;
}

}  // namespace

void WaitForFrameTick() {
    // Held fast-forward runs the frames unsynced.
    if (!SyncTimerId || FastForward) return;
    // Blocks rather than spinning: the ticking thread wakes it.
    std::unique_lock<std::mutex> lock(TickMutex);
    TickWake.wait(lock, [] { return FrameTick.load(std::memory_order_acquire) != 0; });
    FrameTick.store(0, std::memory_order_relaxed);
}

uint32_t SetSyncTimer(int rate) {
    const bool wasRunning = SyncTimerId != 0;
    if (wasRunning) platform::StopPeriodicTick(SyncTimerId);
    if (rate < 1 || rate > 60) {
        SyncTimerId = 0;
    } else {
        if (!wasRunning) platform::BeginTimerPeriod(5);
        SyncTimerId = platform::StartPeriodicTick(1000 / rate, 333 / rate, Tick);
    }
    if (SyncTimerId == 0) platform::EndTimerPeriod(5);
    return SyncTimerId;
}

int AskFileName(char* buffer, FileFilter filter, platform::FileDialogMode mode, const char* title) {
    std::string chosen;
    if (!platform::OpenFileDialog(buffer, filter, mode, title, &chosen) || chosen.empty()) return 0;
    if (chosen.size() > static_cast<size_t>(MaxPathLength)) {
        std::fprintf(stderr, "koru: %s: the path is longer than %d characters; it is not used\n", chosen.c_str(),
                     MaxPathLength);
        return 0;
    }
    CopyName(buffer, chosen.c_str());
    return 1;
}

void BuildIniPath() {
    char directory[MaxIniDirectory + 1];
    if (!platform::CurrentDirectory(directory, sizeof directory)) {
        std::strcpy(IniPath, "KORU.ini");
        return;
    }
    const size_t length = std::strlen(directory);
    const char separator[2] = {platform::PathSeparator, 0};
    std::snprintf(IniPath, sizeof IniPath, "%s%sKORU.ini", directory,
                  length && directory[length - 1] == platform::PathSeparator ? "" : separator);
}

bool CreateMainWindow() {
    if (!platform::CreateMainWindow()) return false;
    FrameBuffer = platform::CreateFrameSurface(FrameWidth, FrameHeight);
    if (!FrameBuffer) return false;
    platform::AcquireWindowContext();
    BuildColourTables();
    DetectJoystick();
    return true;
}

void CleanUp() {
    platform::ReleaseWindowContext();
    platform::FreeFrameSurface();
    FrameBuffer = nullptr;
    SetSyncTimer(0);
    CloseSound();
}

int InformationOption(int argc, const char* const* argv) {
    if (argc != 2) return -1;
    const std::string option = argv[1];
    if (option == "--version") {
        std::printf("koru %s\n", KORU_VERSION);
        return 0;
    }
    if (option != "--help" && option != "-h") return -1;
    std::printf(
        "Usage: koru [CARTRIDGE]\n"
        "Runs a Game Boy Advance cartridge in a window. The arguments, joined with\n"
        "single spaces, name the cartridge file; without them the last cartridge is\n"
        "offered in the open-file dialog. A file named like an option is given with\n"
        "its folder: koru ./--help\n"
        "\n"
        "Settings are kept in KORU.ini in the current folder; the battery save (.sav)\n"
        "and the state file (.sta) lie beside the cartridge. KORU_VERBOSE=1 in the\n"
        "environment shows the start-up report on standard output.\n"
        "\n"
        "  --help     show this text\n"
        "  --version  show the version\n");
    return 0;
}

int RunDesktop(const char* commandLine) {
    // The log stays silent unless the user asked for it.
    Verbose = DesktopVerbose;

    if (!CreateMainWindow()) {
        std::fprintf(stderr, "koru: cannot create the window\n");
        CleanUp();
        return 1;
    }
    platform::SetClientSize(240, 160);
    platform::MoveWindowTo(50, 50);

    BuildIniPath();
    const int32_t width = ProfileGetInt("KORU", "Width", ClientWidth, IniPath);
    const int32_t height = ProfileGetInt("KORU", "Height", 160, IniPath);
    const int32_t x = ProfileGetInt("KORU", "X", 50, IniPath);
    const int32_t y = ProfileGetInt("KORU", "Y", 50, IniPath);
    platform::SetClientSize(width, height);
    platform::MoveWindowTo(x, y);

    // A name longer than the limit is refused rather than cut (a cut name
    // names another file): it counts as a cartridge that cannot be run, and
    // the user picks one in the dialog.
    const bool tooLong = std::strlen(commandLine) > static_cast<size_t>(MaxPathLength);
    if (tooLong) {
        std::fprintf(stderr, "koru: %s: the path is longer than %d characters; it is not used\n", commandLine,
                     MaxPathLength);
    }
    const bool ask = commandLine[0] == 0 || tooLong;
    if (ask) {
        ReadPathSetting("KORU", "Cartridge", "CART.GBA", CartridgeName);
    } else {
        CopyName(CartridgeName, commandLine);
    }

    SetActive(1);

    const std::string refused = tooLong ? RefusalTitle(commandLine, "the path is too long") : std::string();
    if (ask && !AskFileName(CartridgeName, FileFilter::Cartridges, platform::FileDialogMode::Open,
                            tooLong ? refused.c_str() : nullptr)) {
        CleanUp();
        return 0;
    }
    // A cartridge that cannot run brings the open-file dialog back, saying
    // why in its title (there is no message box, and standard error is not
    // seen from the desktop menu). Cancel there ends the program as quitting
    // does: running the same refused name again would fail again for ever.
    for (;;) {
        if (RunCartridge(CartridgeName)) continue;
        const std::string reason = RefusalReason(CartridgeName);
        std::fprintf(stderr, "koru: cannot run %s: %s\n", CartridgeName, reason.c_str());
        const std::string title = RefusalTitle(CartridgeName, reason.c_str());
        if (!AskFileName(CartridgeName, FileFilter::Cartridges, platform::FileDialogMode::Open, title.c_str())) {
            OnDestroy();
        }
    }
}

}  // namespace koru
