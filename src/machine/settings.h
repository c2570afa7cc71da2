// The settings, named by their keys in "KORU.ini". The front end reads and
// writes them; the core only reads them. Defaults are those a run gets when
// no configuration file says otherwise.
#pragma once
#include <cstdint>

namespace koru {

constexpr int MaxPathLength = 250;  // longest cartridge or file name accepted

extern int32_t UpdatePeriod;  // draw one frame in this many
extern int32_t TimerPeriod;   // frame sync rate in Hz, 0 = no sync
extern uint8_t SaveCPU;       // sleep while the window is inactive
extern int32_t AutoFire;      // console key bits that autofire
extern int32_t CheckCRC;      // check the header's CRC and complement at start
extern int32_t UseDrums;      // play the noise channel as drum hits
extern int32_t SoundSwitch;   // bits 0-3 channels 1-4, bit 15 drums
extern int32_t SoundVolume;   // 0-255
extern int32_t SoundBuffers;  // wave buffers in flight, 2-32
extern int32_t SoundRate;     // 0 none, 1-8191 MIDI, 8192 and up wave device
extern char SoundLogFile[MaxPathLength + 1];  // MIDI log file name
// Extensions, off by default (section "KORU" like the settings above):
extern int32_t DirectSound;     // 1: FIFO A and B play through the wave device
extern int32_t DisplayWindows;  // 1: windows 0 and 1 and the sprite window are drawn

// The integer settings: key, default (the value when the configuration file
// has no such key), and how the variable is read and set.
struct IntSetting {
    const char* key;
    int32_t defaultValue;
    int32_t (*get)();
    void (*set)(int32_t);
};
constexpr int IntSettingCount = 12;
extern const IntSetting IntSettings[IntSettingCount];
extern const char* const DefaultSoundLogFile;

// Puts every setting back to its default, except "UpdatePeriod", which holds
// 1 until the first configuration is read (used by tests and hosts, and
// before the program starts).
void ResetSettings();

}  // namespace koru
