#include "machine/settings.h"

#include <cstring>

namespace koru {

// "UpdatePeriod" holds 1 until the first configuration is read.
int32_t UpdatePeriod = 1;
int32_t TimerPeriod = 0;
uint8_t SaveCPU = 1;
int32_t AutoFire = 0;
int32_t CheckCRC = 1;
int32_t UseDrums = 0;
int32_t SoundSwitch = 0x800F;
int32_t SoundVolume = 200;
int32_t SoundBuffers = 16;
int32_t SoundRate = 1;
char SoundLogFile[MaxPathLength + 1] = "LOG.MID";

void ResetSettings() {
    UpdatePeriod = 1;
    TimerPeriod = 0;
    SaveCPU = 1;
    AutoFire = 0;
    CheckCRC = 1;
    UseDrums = 0;
    SoundSwitch = 0x800F;
    SoundVolume = 200;
    SoundBuffers = 16;
    SoundRate = 1;
    std::strcpy(SoundLogFile, "LOG.MID");
}

}  // namespace koru
