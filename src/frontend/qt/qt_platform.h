// What the Qt platform's files share.
#pragma once

class QWidget;

namespace koru {

// The main window, or null before it exists (owner of dialogs).
QWidget* MainWindowWidget();
// Starts forwarding SIGTERM, SIGHUP and SIGINT to the window's close, the
// road every quit takes. InstallSignalHandlers runs first thing in main; the
// forwarding needs the application object.
void InstallSignalHandlers();
void ForwardSignalsToWindow();
// ALSA's error lines go to the log (silent unless KORU_VERBOSE asks), where
// the program is built with ALSA; otherwise this does nothing.
void RouteAlsaErrorsToTheLog();

}  // namespace koru
