// koru.exe: the Windows program.
//   koru.exe [CARTRIDGE]
// The arguments, joined with single spaces, name the cartridge (so a path
// in quotes, as Explorer passes one, is that path without its quotes);
// without them the last cartridge is offered in the open-file dialog.
#include <cstdlib>
#include <string>

#include "frontend/frontend.h"
#include "frontend/win32/win32_platform.h"
#include "sound/devices/system_devices.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Printed where standard output leads (a console that redirects it).
    if (const int status = koru::InformationOption(__argc, __argv); status >= 0) return status;
    koru::win32::Instance = instance;
    if (!koru::win32::RegisterWindowClass()) return 0;

    // KORU_VERBOSE holds the log mask (decimal or 0x hexadecimal); the log
    // goes to standard output when it leads anywhere.
    if (const char* mask = std::getenv("KORU_VERBOSE")) {
        koru::DesktopVerbose = static_cast<uint32_t>(std::strtoul(mask, nullptr, 0));
    }

    std::string commandLine;
    for (int i = 1; i < __argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += __argv[i];
    }

    koru::InstallSystemSoundDevices();
    koru::RunDesktop(commandLine.c_str());
    return 1;
}
