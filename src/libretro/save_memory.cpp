// The front end's save memory is the machine's battery image for hosts, so
// its ".srm" file is what players' saves from other emulators are: SRAM
// 32 KB, FLASH 64 or 128 KB, EEPROM 8 KB (a 512-byte chip in its first 512
// bytes), and for a cartridge that declares none 64 KB of SRAM and 8 KB for
// the EEPROM. A front end that finds a shorter file (a raw 512-byte EEPROM
// save, a Koru ".sav" of 64 KB or 66,048 bytes) loads it at the start and
// leaves the rest zero, which reads back as that same save.
#include "libretro/save_memory.h"

#include <cstring>

#include "machine/savefiles.h"

namespace koru::libretro {

size_t SaveImageSize() { return BatterySaveImage().size; }

void ExportSaveImage(uint8_t* image) {
    const BatteryImage save = BatterySaveImage();
    std::memcpy(image, save.data, save.size);
}

void ImportSaveImage(const uint8_t* image) {
    const BatteryImage save = BatterySaveImage();
    std::memcpy(save.data, image, save.size);
    BatterySaveImageWritten();
}

}  // namespace koru::libretro
