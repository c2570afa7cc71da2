#include "frontend/config.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/frontend.h"
#include "frontend/ini.h"
#include "frontend/input.h"
#include "frontend/platform.h"
#include "frontend/sound_devices.h"
#include "machine/cartridge.h"
#include "machine/machine.h"
#include "machine/settings.h"
#include "sound/midilog.h"

namespace koru {

char CartridgeSection[16] = "UNKNOWN";

namespace {

constexpr const char* General = "KORU";

struct ScrollSetting {
    int id;
    int minimum, maximum;
    const char* format;
};

const ScrollSetting Scrolls[] = {
    {SetupUpdatePeriod, 1, 20, "Update x %d frames"},
    {SetupTimerPeriod, 0, 120, "Sync updates to %dHz"},
    {SetupVolume, 0, 255, "Volume %d"},
    {SetupBuffers, 2, 32, "Sound Buffers %d"},
    {SetupRate, 8192, 44100, "Sound Rate %dHz"},
};

void WriteInt(const char* section, const char* key, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    ProfileWriteString(section, key, text, IniPath);
}

void WriteFlag(const char* section, const char* key, int32_t value) {
    ProfileWriteString(section, key, value ? "1" : "0", IniPath);
}

// What a key missing from the file gives. Three of the table's defaults make
// a plainly wrong first run on the machines players have, many times faster
// than those the defaults were chosen for: no sync runs the games many times
// too fast; drawing one frame in three while the sync paces the frames drawn
// still runs them three times too fast; and the header check refuses nearly
// every real cartridge (their CRC field is not the file's length, which the
// check compares it with). So a settings file without these keys, the first
// run's, draws every frame at 60 Hz and does not check; a player who wants
// the check switches it on in Setup.
int32_t FileDefault(const IntSetting& setting) {
    if (std::strcmp(setting.key, "TimerPeriod") == 0) return 60;
    if (std::strcmp(setting.key, "UpdatePeriod") == 0) return 1;
    if (std::strcmp(setting.key, "CheckCRC") == 0) return 0;
    return setting.defaultValue;
}

void InitSetup(DialogWindow& dialog) {
    for (const ScrollSetting& scroll : Scrolls) dialog.SetScrollRange(scroll.id, scroll.minimum, scroll.maximum);
    SetScrollValue(dialog, SetupUpdatePeriod, UpdatePeriod);
    SetScrollValue(dialog, SetupTimerPeriod, TimerPeriod);
    SetScrollValue(dialog, SetupVolume, SoundVolume);
    SetScrollValue(dialog, SetupRate, SoundRate < 8192 ? 22050 : SoundRate);
    SetScrollValue(dialog, SetupBuffers, SoundBuffers);

    dialog.CheckButton(SetupCheckCrc, CheckCRC != 0);
    dialog.CheckButton(SetupUseDrums, UseDrums != 0);
    dialog.CheckButton(SetupSleep, SaveCPU != 0);
    dialog.CheckButton(SetupAutoFireA, (AutoFire & 0x001) != 0);
    dialog.CheckButton(SetupAutoFireB, (AutoFire & 0x002) != 0);
    dialog.CheckButton(SetupAutoFireL, (AutoFire & 0x200) != 0);
    dialog.CheckButton(SetupAutoFireR, (AutoFire & 0x100) != 0);
    dialog.CheckButton(SetupLogSound, MidiLog(3) != 0);
    for (int channel = 0; channel < 4; ++channel) {
        dialog.CheckButton(SetupChannel1 + channel, (SoundSwitch & (1 << channel)) != 0);
    }
    dialog.CheckButton(SetupMidi, SoundRate < 8192);
    dialog.SetItemText(SetupLogFile, SoundLogFile);
}

void SetupCommand(DialogWindow& dialog, int id) {
    if (id == IdOk || id == SetupReset) {
        dialog.EndDialog(0);
        ApplySetup(dialog);
        // Reset starts the cartridge again from the beginning.
        if (id == SetupReset) ExitRequest = 1;
        SetActive(1);
    } else if (id == IdCancel) {
        dialog.EndDialog(0);
        SetActive(1);
    }
}

void SetupClose(DialogWindow& dialog) {
    dialog.EndDialog(0);
    SetActive(1);
}

void SetupScroll(DialogWindow& dialog, int id, int code, int thumbPosition) {
    SetScrollValue(dialog, id, ScrollRequest(dialog.GetScrollPos(id), code, thumbPosition));
}

}  // namespace

const DialogProcedure SetupProcedure = {InitSetup, SetupCommand, SetupClose, SetupScroll};

void ReadPathSetting(const char* section, const char* key, const char* fallback, char* buffer) {
    char value[4 * MaxPathLength];
    const int length = ProfileGetString(section, key, fallback, value, sizeof value, IniPath);
    if (length > MaxPathLength) {
        std::fprintf(stderr, "koru: %s in %s is longer than %d characters; \"%s\" is used instead\n", key, IniPath,
                     MaxPathLength, fallback);
        std::snprintf(buffer, MaxPathLength + 1, "%s", fallback);
        return;
    }
    std::memcpy(buffer, value, static_cast<size_t>(length) + 1);
}

void ReadSettings(const char* section) {
    for (const IntSetting& setting : IntSettings) {
        setting.set(ProfileGetInt(General, setting.key, FileDefault(setting), IniPath));
    }
    ReadPathSetting(General, "SoundLogFile", DefaultSoundLogFile, SoundLogFile);
    // The cartridge's own section wins for every key it holds.
    for (const IntSetting& setting : IntSettings) {
        setting.set(ProfileGetInt(section, setting.key, setting.get(), IniPath));
    }
}

std::string RefusalReason(const char* name) {
    errno = 0;
    std::FILE* file = std::fopen(name, "rb");
    if (!file) {
        if (errno == ENOENT) return "no such file";
        if (errno == EACCES) return "no permission to read it";
        return "it cannot be opened";
    }
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    std::string reason;
    if (length < 0) {
        reason = "it cannot be read";
    } else if (length == 0) {
        reason = "the file is empty";
    } else if (length > MaxRomSize) {
        reason = "larger than 32 MB";
    } else {
        // As the machine has the image: rounded up to whole 16 KB pages.
        std::vector<uint8_t> image((static_cast<size_t>(length) + 0x3FFF) & ~size_t{0x3FFF}, 0);
        if (std::fread(image.data(), 1, static_cast<size_t>(length), file) != static_cast<size_t>(length)) {
            reason = "it cannot be read";
        } else if (CheckCRC && (CartCrcField(image.data()) != CartCrc(image.data(), static_cast<int32_t>(length)) ||
                                image[0xBD] != CartComplement(image.data()))) {
            reason = "cartridge check failed";
        } else {
            reason = "not enough memory to run it";
        }
    }
    std::fclose(file);
    return reason;
}

std::string RefusalTitle(const char* name, const char* reason) {
    const char* base = name;
    for (const char* c = name; *c; ++c) {
        if (*c == '/' || *c == platform::PathSeparator) base = c + 1;
    }
    return std::string("Open cartridge - ") + base + ": " + reason;
}

int RunCartridge(const char* name) {
    // Each run starts as the program did: not paused (the machine's start
    // shows every layer again).
    SetPaused(false);
    std::strcpy(CartridgeSection, "UNKNOWN");
    if (std::FILE* file = std::fopen(name, "rb")) {
        uint8_t header[512];
        if (std::fread(header, 1, sizeof header, file) == sizeof header) {
            std::snprintf(CartridgeSection, sizeof CartridgeSection, "%s", CartTitle(header));
        }
        std::fclose(file);
    }
    ReadSettings(CartridgeSection);

    platform::SetClientSize(ClientWidth, ClientHeight);
    OpenSound(SoundRate, SoundBuffers);
    SetSoundVolume(SoundVolume, AudibleSwitches(SoundSwitch));

    if (TimerPeriod < 0) TimerPeriod = 0;
    if (TimerPeriod > 60) TimerPeriod = 60;
    if (!SetSyncTimer(TimerPeriod)) TimerPeriod = 0;

    StartMachine(name);
    ShutdownMachine();
    // Whether the machine ran, not the low byte of its exit address: a run
    // asked to stop at an address whose low byte is 0 must start again, not
    // count as a cartridge that cannot run.
    return MachineStarted ? 1 : 0;
}

int ScrollRequest(int position, int code, int thumbPosition) {
    switch (code) {
        case ScrollLineLeft:
        case ScrollPageLeft:
            return position - 1;
        case ScrollLineRight:
        case ScrollPageRight:
            return position + 1;
        case ScrollThumbPosition:
        case ScrollThumbTrack:
            return thumbPosition;
        default:
            return position;
    }
}

void SetScrollValue(DialogWindow& dialog, int id, int value) {
    char label[64] = "";
    if (id == SetupTimerPeriod && value == 0) {
        std::strcpy(label, "Don't sync updates");
    } else {
        for (const ScrollSetting& scroll : Scrolls) {
            if (scroll.id == id) std::snprintf(label, sizeof label, scroll.format, value);
        }
    }
    dialog.SetScrollPos(id, value);
    dialog.SetItemText(id + 10, label);
}

void ApplySetup(DialogWindow& dialog) {
    SaveCPU = dialog.IsButtonChecked(SetupSleep) ? 1 : 0;
    UseDrums = dialog.IsButtonChecked(SetupUseDrums) ? 1 : 0;
    AutoFire = (dialog.IsButtonChecked(SetupAutoFireA) ? 0x001 : 0) | (dialog.IsButtonChecked(SetupAutoFireB) ? 0x002 : 0) |
               (dialog.IsButtonChecked(SetupAutoFireL) ? 0x200 : 0) | (dialog.IsButtonChecked(SetupAutoFireR) ? 0x100 : 0);

    const int32_t checkCrc = dialog.IsButtonChecked(SetupCheckCrc) ? 1 : 0;
    if (checkCrc != CheckCRC) {
        // The cartridge starts again and is checked under the new setting.
        CheckCRC = checkCrc;
        ExitRequest = 1;
    }

    MidiLog(dialog.IsButtonChecked(SetupLogSound) ? 1 : 0);
    const std::string logFile = dialog.GetItemText(SetupLogFile, MaxPathLength);
    std::snprintf(SoundLogFile, sizeof SoundLogFile, "%s", logFile.c_str());

    UpdatePeriod = dialog.GetScrollPos(SetupUpdatePeriod);
    TimerPeriod = dialog.GetScrollPos(SetupTimerPeriod);
    SoundVolume = dialog.GetScrollPos(SetupVolume);
    SoundBuffers = dialog.GetScrollPos(SetupBuffers);

    SoundSwitch = 0x8000;
    for (int channel = 0; channel < 4; ++channel) {
        if (dialog.IsButtonChecked(SetupChannel1 + channel)) SoundSwitch |= 1 << channel;
    }
    SoundRate = dialog.IsButtonChecked(SetupMidi) ? 1 : dialog.GetScrollPos(SetupRate);

    OpenSound(SoundRate, SoundBuffers);
    SetSoundVolume(SoundVolume, AudibleSwitches(SoundSwitch));

    WriteInt(General, "SoundRate", SoundRate);
    WriteInt(General, "SoundBuffers", SoundBuffers);
    WriteInt(General, "SoundVolume", SoundVolume);
    WriteFlag(General, "SaveCPU", SaveCPU);
    WriteFlag(General, "CheckCRC", CheckCRC);
    WriteInt(General, "UpdatePeriod", UpdatePeriod);
    WriteInt(General, "TimerPeriod", TimerPeriod);
    // Not in the dialog: written back like the others, but only when on,
    // so that with the default the file is written exactly as before.
    if (DirectSound) WriteInt(General, "DirectSound", DirectSound);
    // An extension's setting is written only when switched on, so that the
    // file stays as it always was for a player who never used it.
    if (DisplayWindows) WriteFlag(General, "DisplayWindows", DisplayWindows);
    ProfileWriteString(General, "SoundLogFile", SoundLogFile, IniPath);

    WriteInt(CartridgeSection, "SoundSwitch", SoundSwitch);
    WriteInt(CartridgeSection, "AutoFire", AutoFire);
    WriteFlag(CartridgeSection, "UseDrums", UseDrums);

    if (!SetSyncTimer(TimerPeriod)) TimerPeriod = 0;
}

}  // namespace koru
