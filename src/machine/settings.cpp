#include "machine/settings.h"

#include <cstring>

namespace koru {

// The values come from the table below, before the program starts.
int32_t UpdatePeriod;
int32_t TimerPeriod;
uint8_t SaveCPU;
int32_t AutoFire;
int32_t CheckCRC;
int32_t UseDrums;
int32_t SoundSwitch;
int32_t SoundVolume;
int32_t SoundBuffers;
int32_t SoundRate;
int32_t DisplayWindows;
char SoundLogFile[MaxPathLength + 1];
int32_t DirectSound;

// In the order the configuration file is read.
const IntSetting IntSettings[IntSettingCount] = {
    {"UpdatePeriod", 3, [] { return UpdatePeriod; }, [](int32_t v) { UpdatePeriod = v; }},
    {"TimerPeriod", 0, [] { return TimerPeriod; }, [](int32_t v) { TimerPeriod = v; }},
    // Stored in a byte, as its readers expect: a value of 256 reads as 0.
    {"SaveCPU", 1, [] { return static_cast<int32_t>(SaveCPU); }, [](int32_t v) { SaveCPU = static_cast<uint8_t>(v); }},
    {"AutoFire", 0, [] { return AutoFire; }, [](int32_t v) { AutoFire = v; }},
    {"CheckCRC", 1, [] { return CheckCRC; }, [](int32_t v) { CheckCRC = v; }},
    {"UseDrums", 0, [] { return UseDrums; }, [](int32_t v) { UseDrums = v; }},
    {"SoundSwitch", 0x800F, [] { return SoundSwitch; }, [](int32_t v) { SoundSwitch = v; }},
    {"SoundVolume", 200, [] { return SoundVolume; }, [](int32_t v) { SoundVolume = v; }},
    {"SoundBuffers", 16, [] { return SoundBuffers; }, [](int32_t v) { SoundBuffers = v; }},
    {"SoundRate", 1, [] { return SoundRate; }, [](int32_t v) { SoundRate = v; }},
    {"DirectSound", 0, [] { return DirectSound; }, [](int32_t v) { DirectSound = v; }},
    {"DisplayWindows", 0, [] { return DisplayWindows; }, [](int32_t v) { DisplayWindows = v; }},
};

const char* const DefaultSoundLogFile = "LOG.MID";

void ResetSettings() {
    for (const IntSetting& setting : IntSettings) setting.set(setting.defaultValue);
    // Until a configuration is read every frame is drawn.
    UpdatePeriod = 1;
    std::strcpy(SoundLogFile, DefaultSoundLogFile);
}

namespace {
[[maybe_unused]] const bool SettingsAtDefaults = (ResetSettings(), true);
}  // namespace

}  // namespace koru
