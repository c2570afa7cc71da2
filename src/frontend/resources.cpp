#include "frontend/resources.h"

#include "frontend/commands.h"
#include "frontend/config.h"
#include "frontend/frontend.h"
#include "frontend/platform.h"

namespace koru {

const char* const WindowCaption = "Koru";
const char* const CreditsText =
    "Koru is a Game Boy Advance emulator for the desktop, written from scratch by its authors.\n"
    "Game Boy Advance is a trademark of Nintendo; Koru has no tie to Nintendo.";
const char* const CompiledText = "compiled on May 21 2001";

namespace {

const MenuItem FileItems[] = {
    {"&New", CommandNew},           {"S&etup", CommandSetup},
    {nullptr, 0},                   {"&Load State", CommandLoadState},
    {"&Save State", CommandSaveState}, {nullptr, 0},
    {"&Quit", CommandQuit},
};
const MenuItem SizeItems[] = {
    {"1:1 (240x160)", KORU_CMD_SIZE1}, {"2:1 (480x320)", KORU_CMD_SIZE2}, {"3:1 (720x480)", KORU_CMD_SIZE3},
    {"4:1 (960x640)", KORU_CMD_SIZE4}, {nullptr, 0},           {"&Snapshot", CommandSnapshot},
};
const MenuItem HelpItems[] = {
    {"&Info", CommandInfo},
    {"&About", CommandAbout},
};

struct Description {
    int id;
    const char* text;
};
const Description Descriptions[] = {
    {KORU_CMD_SIZE1, "Set 1:1 screen resolution (240x160)"},
    {KORU_CMD_SIZE2, "Set 2:1 screen resolution (480x320)"},
    {KORU_CMD_SIZE3, "Set 3:1 screen resolution (720x480)"},
    {KORU_CMD_SIZE4, "Set 4:1 screen resolution (960x640)"},
    {KORU_CMD_SNAPSHOT, "Save window size and position"},
    {KORU_CMD_NEW, "Run new cartridge"},
    {KORU_CMD_SETUP, "Set parameters of the emulation"},
    {KORU_CMD_QUIT, "Quit the emulator"},
    {KORU_CMD_ABOUT, "Show credits"},
    {KORU_CMD_INFO, "Show cartridge information"},
    {KORU_CMD_LOAD_STATE, "Load emulation state"},
    {KORU_CMD_SAVE_STATE, "Save emulation state"},
};

const FilterPair CartridgeFilter[] = {
    {"Game Boy Advance cartridges (*.gba)", "*.gba"},
    {"All Files (*.*)", "*.*"},
    {nullptr, nullptr},
};
const FilterPair StateFilter[] = {
    {"Koru state files (*.sta)", "*.sta"},
    {"All Files (*.*)", "*.*"},
    {nullptr, nullptr},
};

using K = ControlKind;

// Options on the left, timings and sound on the right, buttons below.
const ControlTemplate SetupControls[] = {
    {K::GroupBox, -1, "Options", 5, 4, 105, 178},
    {K::Picture, -1, "LOGO", 37, 16, 40, 36},
    {K::CheckBox, SetupAutoFireA, "Autofire for button A", 11, 56, 96, 10},
    {K::CheckBox, SetupAutoFireB, "Autofire for button B", 11, 68, 96, 10},
    {K::CheckBox, SetupAutoFireL, "Autofire for button L", 11, 80, 96, 10},
    {K::CheckBox, SetupAutoFireR, "Autofire for button R", 11, 92, 96, 10},
    {K::CheckBox, SetupCheckCrc, "Check cartridge CRC", 11, 104, 96, 10},
    {K::CheckBox, SetupSleep, "Sleep when inactive", 11, 116, 96, 10},
    {K::CheckBox, SetupUseDrums, "Use drums for noise", 11, 128, 96, 10},
    {K::Edit, SetupLogFile, "", 11, 144, 93, 13},
    {K::CheckBox, SetupLogSound, "Log sound to this file", 11, 162, 96, 10},

    {K::GroupBox, -1, "Timings", 115, 4, 100, 62},
    {K::ScrollBar, SetupUpdatePeriod, "", 121, 19, 88, 10},
    {K::Label, SetupUpdatePeriod + 10, "Update Period", 121, 31, 88, 8},
    {K::ScrollBar, SetupTimerPeriod, "", 121, 42, 88, 10},
    {K::Label, SetupTimerPeriod + 10, "Timer Period", 121, 54, 88, 8},

    {K::GroupBox, -1, "Sound", 115, 70, 100, 112},
    {K::Label, -1, "Channels", 120, 85, 32, 8},
    {K::CheckBox, SetupChannel1, "1", 152, 84, 15, 10},
    {K::CheckBox, SetupChannel1 + 1, "2", 167, 84, 15, 10},
    {K::CheckBox, SetupChannel1 + 2, "3", 182, 84, 15, 10},
    {K::CheckBox, SetupChannel1 + 3, "4", 197, 84, 15, 10},
    {K::ScrollBar, SetupVolume, "", 121, 98, 88, 10},
    {K::Label, SetupVolume + 10, "Volume", 121, 110, 88, 8},
    {K::ScrollBar, SetupRate, "", 121, 120, 88, 10},
    {K::Label, SetupRate + 10, "Sound Rate", 121, 132, 88, 8},
    {K::ScrollBar, SetupBuffers, "", 121, 142, 88, 10},
    {K::Label, SetupBuffers + 10, "Buffers", 121, 154, 88, 8},
    {K::CheckBox, SetupMidi, "Play sound through MIDI", 121, 167, 92, 10},

    {K::DefaultButton, IdOk, "OK", 22, 187, 50, 14},
    {K::Button, SetupReset, "Reset", 85, 187, 50, 14},
    {K::Button, IdCancel, "Cancel", 148, 187, 50, 14},
};

const ControlTemplate AboutControls[] = {
    {K::Frame, -1, "", 5, 5, 190, 138},
    {K::Picture, -1, "LOGO", 12, 12, 40, 37},
    {K::Label, -1, "Koru - a Game Boy Advance emulator", 58, 18, 132, 10},
    {K::ReadOnlyText, AboutCompiled, "", 58, 32, 132, 10},
    {K::ReadOnlyText, AboutCredits, "", 10, 56, 180, 60},
    {K::DefaultButton, IdOk, "OK", 75, 150, 50, 14},
};

const ControlTemplate InfoControls[] = {
    {K::GroupBox, InfoTitle, "", 5, 5, 160, 118},
    {K::Label, -1, "Manufacturer", 12, 20, 50, 8},
    {K::ReadOnlyText, InfoMaker, "", 65, 20, 96, 8},
    {K::Label, -1, "Checksum", 12, 36, 50, 8},
    {K::ReadOnlyText, InfoChecksum, "", 65, 36, 96, 8},
    {K::Label, -1, "Complement", 12, 52, 50, 8},
    {K::ReadOnlyText, InfoComplement, "", 65, 52, 96, 8},
    {K::Label, -1, "Version", 12, 68, 50, 8},
    {K::ReadOnlyText, InfoVersion, "", 65, 68, 96, 8},
    {K::Label, -1, "Unit ID", 12, 84, 50, 8},
    {K::ReadOnlyText, InfoUnit, "", 65, 84, 96, 8},
    {K::Label, -1, "Device Type", 12, 100, 50, 8},
    {K::ReadOnlyText, InfoDevice, "", 65, 100, 96, 8},
    {K::DefaultButton, IdOk, "OK", 60, 130, 50, 14},
};

template <typename T, size_t N>
constexpr size_t CountOf(const T (&)[N]) {
    return N;
}

}  // namespace

const MenuTemplate MainMenu[3] = {
    {"&File", FileItems, CountOf(FileItems)},
    {"&Size", SizeItems, CountOf(SizeItems)},
    {"&Help", HelpItems, CountOf(HelpItems)},
};

const char* CommandDescription(int id) {
    for (const Description& d : Descriptions) {
        if (d.id == id) return d.text;
    }
    return nullptr;
}

const FilterPair* FilterPairs(FileFilter filter) {
    return filter == FileFilter::States ? StateFilter : CartridgeFilter;
}

const DialogTemplate SetupDialog = {KORU_DIALOG_SETUP, "Koru Setup", 220, 205, SetupControls, CountOf(SetupControls)};
const DialogTemplate AboutDialog = {KORU_DIALOG_ABOUT, "About Koru", 200, 170, AboutControls, CountOf(AboutControls)};
const DialogTemplate InfoDialog = {KORU_DIALOG_INFO, "Cartridge Information", 170, 150, InfoControls, CountOf(InfoControls)};

}  // namespace koru
