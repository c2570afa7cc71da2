// Placeholder sound: registers are stored, nothing plays. The channel
// emulation replaces this file.
#include "sound/sound.h"

namespace koru {

uint8_t SoundRegs[48];
SoundChipRecord SoundChip;

void SoundReset(SoundChipRecord& chip, uint8_t* registers, int /*firstChannel*/) {
    chip.registers = registers;
    for (int i = 0; i < 48; ++i) registers[i] = 0;
}

int SoundWrite(SoundChipRecord& chip, int index, uint8_t value) {
    if (index < 0 || index > 0x2F) return 0;
    chip.registers[index] = value;
    return 1;
}

void SoundTick(SoundChipRecord&, int) {}
void SoundFlush(SoundChipRecord&, int) {}

}  // namespace koru
