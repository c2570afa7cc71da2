// SIGTERM (logout, shutdown), SIGHUP (the terminal went away) and SIGINT
// (Ctrl+C) end the program the way closing the window does, so the battery
// save, the INI file and the MIDI log are written. The handler only writes a
// byte into a pipe; the event loop reads it on the main thread, wherever the
// emulation is: inside a frame, in a dialog, or asleep while inactive.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "frontend/commands.h"
#include "frontend/qt/qt_platform.h"

namespace koru {

namespace {

int SignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(SignalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

void InstallSignalHandlers() {
    if (pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) sigaction(signal, &action, nullptr);
}

void ForwardSignalsToWindow() {
    if (SignalPipe[0] < 0) return;
    // Owned by the application, so it goes when the application does.
    auto* notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char bytes[16];
        while (read(SignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        OnClose();
    });
}

}  // namespace koru
