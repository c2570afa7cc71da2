// The console's four tone generators as note events.
#pragma once
#include <cstdint>

namespace koru {

// The sound register file in its own compact numbering (0x00-0x2F).
extern uint8_t SoundRegs[48];

struct SoundChipRecord {
    uint8_t* registers;
};
extern SoundChipRecord SoundChip;

void SoundReset(SoundChipRecord& chip, uint8_t* registers, int firstChannel);
// 0 if index is above 0x2F, else 1.
int SoundWrite(SoundChipRecord& chip, int index, uint8_t value);
void SoundTick(SoundChipRecord& chip, int milliseconds);
void SoundFlush(SoundChipRecord& chip, int mode);

}  // namespace koru
