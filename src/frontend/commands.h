// The main window's procedure: what each message does, the menu and key
// commands, the end of the program, and the About and Cartridge Information
// dialogs. Each platform calls these from its own events.
#pragma once
#include <cstdint>

#include "frontend/dialog.h"
#include "machine/settings.h"

namespace koru {

enum MenuCommand : int {
    CommandSize1 = 150,  // to 153 for 4:1
    CommandSnapshot = 154,
    CommandNew = 155,
    CommandSetup = 156,
    CommandQuit = 157,
    CommandAbout = 158,
    CommandInfo = 159,
    CommandLoadState = 160,
    CommandSaveState = 161,
};

// The state file the Load State and Save State dialogs start from.
extern char StateFileName[MaxPathLength + 1];

void OnPaint();
void OnSize(int width, int height);
// The window was activated (and is not minimised) or deactivated.
void OnActivate(bool active);
void OnMenuLoop(bool entering);
// A key went down (repeat: an automatic repeat while held) or up.
void OnKeyDown(int virtualKey, bool repeat);
void OnKeyUp(int virtualKey);
void OnCommand(int id);
void OnClose();
// The end of the program; never returns.
[[noreturn]] void OnDestroy();

// A key press that is not a console key: 1 when it is a command.
int KeyCommand(int virtualKey);

extern const DialogProcedure AboutProcedure;
extern const DialogProcedure InfoProcedure;

}  // namespace koru
