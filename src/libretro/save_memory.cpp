// The image is the battery-save file's layout: the 64 KB of Cartridge SRAM
// (which FLASH shares), then the 512 reachable bytes of EEPROM data. The
// file leaves the EEPROM part out while it is all zero; the image always has
// it, since its size must not change while the front end keeps it, and a
// file of only the first part reads back the same (the front end leaves the
// rest zero).
#include "libretro/save_memory.h"

#include <cstring>

#include "hardware/backup.h"
#include "machine/machine.h"

namespace koru::libretro {

namespace {

// While FLASH identification mode is on, the first two bytes of the block
// show the identification bytes and the real ones wait in FlashState.
bool HeadSetAside() { return FlashState.idMode && FlashState.storage == CartridgeSram; }

}  // namespace

size_t SaveImageSize() { return CartridgeSramSize + EepromReachableBytes; }

void ExportSaveImage(uint8_t* image) {
    if (!CartridgeSram) {
        std::memset(image, 0, SaveImageSize());
        return;
    }
    std::memcpy(image, CartridgeSram, CartridgeSramSize);
    if (HeadSetAside()) {
        image[0] = static_cast<uint8_t>(FlashState.savedBytes);
        image[1] = static_cast<uint8_t>(FlashState.savedBytes >> 8);
    }
    std::memcpy(image + CartridgeSramSize, EepromState.data, EepromReachableBytes);
}

void ImportSaveImage(const uint8_t* image) {
    if (!CartridgeSram) return;
    if (HeadSetAside()) {
        FlashState.savedBytes = static_cast<uint16_t>(image[0] | image[1] << 8);
        std::memcpy(CartridgeSram + 2, image + 2, CartridgeSramSize - 2);
    } else {
        std::memcpy(CartridgeSram, image, CartridgeSramSize);
    }
    std::memcpy(EepromState.data, image + CartridgeSramSize, EepromReachableBytes);
}

}  // namespace koru::libretro
