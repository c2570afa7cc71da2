// The sound registers of the I/O area (0x060-0x09F): each byte written goes
// to the tone generators' emulation under the older handheld's numbering.
#pragma once
#include <cstdint>

namespace koru {

// Sound register index of each byte offset 0x060-0x09F (index 0 = offset
// 0x060); 0xFF where the older chip has no register.
extern const uint8_t SoundRegisterMap[0x40];

void SoundRegisterWrite(uint32_t offset, uint16_t value);
// The tone generators silent, in the update mode the settings ask for.
void ResetSound();

}  // namespace koru
