#include "frontend/commands.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/config.h"
#include "frontend/frontend.h"
#include "frontend/ini.h"
#include "frontend/input.h"
#include "frontend/platform.h"
#include "frontend/resources.h"
#include "frontend/sound_devices.h"
#include "machine/cartridge.h"
#include "machine/host.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/savefiles.h"
#include "sound/midilog.h"
#include "video/video.h"

namespace koru {

char StateFileName[MaxPathLength + 1];

namespace {

void WriteInt(const char* key, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    ProfileWriteString("KORU", key, text, IniPath);
}

void InitAbout(DialogWindow& dialog) {
    SetActive(0);
    dialog.SetItemText(AboutCredits, CreditsText);
    dialog.SetItemText(AboutCompiled, CompiledText);
}

void EndAbout(DialogWindow& dialog) {
    dialog.EndDialog(0);
    SetActive(1);
}

void AboutCommand(DialogWindow& dialog, int) { EndAbout(dialog); }

void InitInfo(DialogWindow& dialog) {
    // The dialog is reachable only while a machine runs; without a
    // cartridge there is nothing to show.
    const uint8_t* image = CartridgeRom;
    if (!image) return;
    char text[96];
    std::snprintf(text, sizeof text, "%s (%c%c%c%c)", CartTitle(image), image[0xAC], image[0xAD], image[0xAE],
                  image[0xAF]);
    dialog.SetItemText(InfoTitle, text);
    const char* maker = CartMaker(image);
    std::snprintf(text, sizeof text, "%s (%c%c)", maker ? maker : "Unknown", image[0xB0], image[0xB1]);
    dialog.SetItemText(InfoMaker, text);
    std::snprintf(text, sizeof text, "%04Xh (computed as %04Xh)", CartCrcField(image), CartCrc(image, RomSize));
    dialog.SetItemText(InfoChecksum, text);
    std::snprintf(text, sizeof text, "%02Xh (computed as %02Xh)", image[0xBD], CartComplement(image));
    dialog.SetItemText(InfoComplement, text);
    std::snprintf(text, sizeof text, "%02Xh", image[0xBC]);
    dialog.SetItemText(InfoVersion, text);
    std::snprintf(text, sizeof text, "%02Xh", image[0xB3]);
    dialog.SetItemText(InfoUnit, text);
    std::snprintf(text, sizeof text, "%02Xh", image[0xB4]);
    dialog.SetItemText(InfoDevice, text);
}

void InfoCommand(DialogWindow& dialog, int id) {
    if (id == IdOk) dialog.EndDialog(0);
}

void InfoClose(DialogWindow& dialog) { dialog.EndDialog(0); }

}  // namespace

const DialogProcedure AboutProcedure = {InitAbout, AboutCommand, EndAbout, nullptr};
const DialogProcedure InfoProcedure = {InitInfo, InfoCommand, InfoClose, nullptr};

void OnPaint() { ShowFrame(ScreenLeft, 0, ScreenWidth, FrameHeight); }

void OnSize(int width, int height) {
    ClientWidth = width;
    ClientHeight = height;
}

void OnActivate(bool active) {
    KeyboardKeys = 0;
    TappedKeys = 0;
    // The release of a held fast-forward key may go to another window.
    SetFastForward(false);
    if (!SaveCPU) return;
    if (active) {
        OpenSound(SoundRate, SoundBuffers);
        SetSoundVolume(SoundVolume, SoundSwitch);
        SetActive(1);
    } else {
        CloseSound();
        SetActive(0);
    }
}

void OnMenuLoop(bool entering) { SetActive(entering ? 0 : 1); }

void OnKeyDown(int virtualKey, bool repeat) {
    // A held key's repeats would issue its command again.
    if (repeat) return;
    KeyEvent(virtualKey, 1);
}

void OnKeyUp(int virtualKey) { KeyEvent(virtualKey, 0); }

void OnCommand(int id) {
    switch (id) {
        case CommandSize1:
        case CommandSize2:
        case CommandSize3:
        case CommandSize4: {
            const int n = id - CommandSize1 + 1;
            platform::SetClientSize(n * 240, n * 160);
            break;
        }
        case CommandSnapshot: {
            int left, top;
            if (platform::GetWindowRect(&left, &top)) {
                WriteInt("Width", ClientWidth);
                WriteInt("Height", ClientHeight);
                WriteInt("X", left);
                WriteInt("Y", top);
            }
            break;
        }
        case CommandNew:
            if (AskFileName(CartridgeName, FileFilter::Cartridges)) ExitRequest = 1;
            break;
        case CommandSetup:
            platform::RunDialog(SetupDialog, SetupProcedure);
            break;
        case CommandQuit:
            platform::DestroyMainWindow();
            break;
        case CommandAbout:
            platform::RunDialog(AboutDialog, AboutProcedure);
            break;
        case CommandInfo:
            platform::RunDialog(InfoDialog, InfoProcedure);
            break;
        case CommandLoadState:
            if (AskFileName(StateFileName, FileFilter::States)) LoadState(StateFileName);
            break;
        case CommandSaveState:
            if (AskFileName(StateFileName, FileFilter::States, platform::FileDialogMode::Save, "Save State")) {
                SaveState(StateFileName);
            }
            break;
        default:
            break;
    }
}

void OnClose() { platform::DestroyMainWindow(); }

void OnDropFile(const char* path) {
    // As File / New with that name; a name longer than the limit is refused
    // rather than cut.
    if (std::strlen(path) > static_cast<size_t>(MaxPathLength)) {
        std::fprintf(stderr, "koru: %s: the path is longer than %d characters; it is not used\n", path,
                     MaxPathLength);
        return;
    }
    std::snprintf(CartridgeName, sizeof CartridgeName, "%s", path);
    ExitRequest = 1;
}

std::string ScreenshotName() {
    // The cartridge's name without its extension, then the first free
    // number: hello.gba gives hello-1.png, hello-2.png, ...
    char* base = MakeSiblingName(CartridgeName, "");
    if (!base) return "";
    const std::string stem = base;
    std::free(base);
    for (int n = 1; n < 100000; ++n) {
        const std::string name = stem + "-" + std::to_string(n) + ".png";
        if (std::FILE* existing = std::fopen(name.c_str(), "rb")) {
            std::fclose(existing);
            continue;
        }
        return name;
    }
    return "";
}

bool WriteScreenshot() {
    if (!FrameBuffer || !CartridgeName[0]) return false;
    const std::string name = ScreenshotName();
    std::vector<uint16_t> picture(static_cast<size_t>(ScreenWidth) * FrameHeight);
    for (int y = 0; y < FrameHeight; ++y) {
        std::memcpy(&picture[static_cast<size_t>(y) * ScreenWidth], FrameBuffer + y * FrameWidth + ScreenLeft,
                    ScreenWidth * sizeof(uint16_t));
    }
    if (name.empty() || !platform::WritePicture(name.c_str(), picture.data(), ScreenWidth, FrameHeight)) {
        std::fprintf(stderr, "koru: the picture could not be written beside %s\n", CartridgeName);
        return false;
    }
    if (Verbose) Log("Picture written to %s\n", name.c_str());
    return true;
}

void OnDestroy() {
    ProfileWriteString("KORU", "Cartridge", CartridgeName, IniPath);
    ShutdownMachine();
    platform::ReleaseWindowContext();
    platform::FreeFrameSurface();
    FrameBuffer = nullptr;
    SetSyncTimer(0);
    CloseSound();
    // A log still being written is finished as a new machine start would,
    // so that the file is a complete MIDI file.
    CloseMidiLog();
    std::fflush(nullptr);
    platform::ExitProcess(0);
}

int KeyCommand(int virtualKey) {
    switch (virtualKey) {
        case VkEscape:
        case VkF12:
            platform::DestroyMainWindow();
            return 1;
        case VkF1 + 10:  // F11
            ResetHardware();
            return 1;
        case VkF1 + 1:  // F2
            MidiLog(2);
            return 1;
        case VkF1 + 2:  // F3
            AutoFire ^= 0x001;
            return 1;
        case VkF1 + 3:  // F4
            AutoFire ^= 0x002;
            return 1;
        case VkF1 + 4:  // F5
            AutoFire ^= 0x200;
            return 1;
        case VkF1 + 5:  // F6
            AutoFire ^= 0x100;
            return 1;
        case VkF1 + 6:  // F7
            if (StaName) SaveState(StaName);
            return 1;
        case VkF1 + 7:  // F8
            if (StaName) LoadState(StaName);
            return 1;
        case Vk0:
            SoundSwitch = SoundSwitch ? 0 : 0x800F;
            SetSoundVolume(SoundVolume, AudibleSwitches(SoundSwitch));
            return 1;
        case Vk0 + 1:
        case Vk0 + 2:
        case Vk0 + 3:
        case Vk0 + 4:
            SoundSwitch ^= 1 << (virtualKey - (Vk0 + 1));
            SetSoundVolume(SoundVolume, AudibleSwitches(SoundSwitch));
            return 1;
        case Vk0 + 5:
        case Vk0 + 6:
        case Vk0 + 7:
        case Vk0 + 8:
        case Vk0 + 9:
            HiddenLayerMask ^= 1u << (virtualKey - (Vk0 + 5));
            return 1;
        case VkOemPlus:
            if (SoundVolume < 250) SoundVolume += 10;
            SetSoundVolume(SoundVolume, AudibleSwitches(SoundSwitch));
            return 1;
        case VkOemMinus:
            if (SoundVolume > 0) SoundVolume -= 10;
            SetSoundVolume(SoundVolume, AudibleSwitches(SoundSwitch));
            return 1;
        case PauseKey:
            SetPaused(!Paused);
            return 1;
        case FastForwardKey:
            SetFastForward(true);
            return 1;
        case ScreenshotKey:
            WriteScreenshot();
            return 1;
        default:
            return 0;
    }
}

}  // namespace koru
