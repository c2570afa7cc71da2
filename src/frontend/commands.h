// The main window's procedure: what each message does, the menu and key
// commands, the end of the program, and the About and Cartridge Information
// dialogs. Each platform calls these from its own events.
#pragma once
#include <cstdint>

#include "frontend/dialog.h"
#include "frontend/resource_ids.h"
#include "machine/settings.h"

namespace koru {

enum MenuCommand : int {
    CommandSize1 = KORU_CMD_SIZE1,
    CommandSize2 = KORU_CMD_SIZE2,
    CommandSize3 = KORU_CMD_SIZE3,
    CommandSize4 = KORU_CMD_SIZE4,
    CommandSnapshot = KORU_CMD_SNAPSHOT,
    CommandNew = KORU_CMD_NEW,
    CommandSetup = KORU_CMD_SETUP,
    CommandQuit = KORU_CMD_QUIT,
    CommandAbout = KORU_CMD_ABOUT,
    CommandInfo = KORU_CMD_INFO,
    CommandLoadState = KORU_CMD_LOAD_STATE,
    CommandSaveState = KORU_CMD_SAVE_STATE,
};

// The controls of the About and Cartridge Information dialogs.
enum InfoControl : int {
    InfoMaker = KORU_INFO_MAKER,
    InfoChecksum = KORU_INFO_CHECKSUM,
    InfoComplement = KORU_INFO_COMPLEMENT,
    InfoVersion = KORU_INFO_VERSION,
    InfoTitle = KORU_INFO_TITLE,
    InfoUnit = KORU_INFO_UNIT,
    InfoDevice = KORU_INFO_DEVICE,
    AboutCredits = KORU_ABOUT_CREDITS,
    AboutCompiled = KORU_ABOUT_COMPILED,
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
// A file dropped on the window: run it, as File / New with that name does.
void OnDropFile(const char* path);
// Writes the picture shown as a PNG beside the cartridge (the first free
// NAME-N.png); false when it cannot.
bool WriteScreenshot();
// The end of the program; never returns.
[[noreturn]] void OnDestroy();

// A key press that is not a console key: 1 when it is a command.
int KeyCommand(int virtualKey);

extern const DialogProcedure AboutProcedure;
extern const DialogProcedure InfoProcedure;

}  // namespace koru
