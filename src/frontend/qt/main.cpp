// koru: the desktop program.
//   koru [CARTRIDGE]
//   koru --help | --version
// The arguments, joined with single spaces, name the cartridge; without
// them the last cartridge is offered in the open-file dialog.
#include <QApplication>
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "frontend/frontend.h"
#include "frontend/qt/qt_platform.h"
#include "sound/devices/system_devices.h"

int main(int argc, char** argv) {
    if (const int status = koru::InformationOption(argc, argv); status >= 0) return status;
    koru::InstallSignalHandlers();
    // SDL (joystick, audio) must leave these signals to us, whichever part
    // of it starts first.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");

    // KORU_VERBOSE holds the log mask (decimal or 0x hexadecimal), so that
    // a user in a terminal can see why a cartridge does not start.
    if (const char* mask = std::getenv("KORU_VERBOSE")) {
        koru::DesktopVerbose = static_cast<uint32_t>(std::strtoul(mask, nullptr, 0));
    }

    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }

    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "koru: no display to open a window on\n");
        return 1;
    }
    // Qt must not take the cartridge's name for one of its own options.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Koru"));
    QApplication::setDesktopFileName(QStringLiteral("koru"));
    koru::ForwardSignalsToWindow();
    // FluidSynth for the MIDI device, SDL2 audio for the wave device.
    koru::RouteAlsaErrorsToTheLog();
    koru::InstallSystemSoundDevices();

    return koru::RunDesktop(commandLine.c_str());
}
