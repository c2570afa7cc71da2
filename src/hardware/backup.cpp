// Placeholder backup memories: byte writes store as plain SRAM, the EEPROM
// always reads ready. The FLASH and EEPROM emulation replace this file.
#include "hardware/backup.h"

namespace koru {

FlashRecord FlashState;
EepromRecord EepromState;

void ResetFlash(uint8_t* storage) {
    FlashState.storage = storage;
    FlashState.commandState = 0;
    FlashState.idMode = 0;
}

void ResetEeprom(uint8_t* picture) {
    EepromState.picture = picture;
}

void FlashWrite(uint32_t offset, uint8_t value) {
    FlashState.storage[offset & 0xFFFF] = value;
}

void EepromWriteBit(uint8_t /*value*/) {}

uint8_t EepromReadBit() { return 1; }

}  // namespace koru
