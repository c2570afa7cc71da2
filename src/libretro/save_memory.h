// The battery save as the front end keeps it (RETRO_MEMORY_SAVE_RAM): an
// image of the cartridge's backup memory that the front end reads and
// writes at any time while a game is loaded. It is the machine's battery
// image for hosts (BatterySaveImage, machine/savefiles.h): the raw image of
// the save memory the cartridge declares, at a size that stays the same
// while the game runs.
#pragma once
#include <cstddef>
#include <cstdint>

namespace koru::libretro {

// Bytes in the image; fixed while the machine runs.
size_t SaveImageSize();
// Copies the backup memory's real bytes into the image.
void ExportSaveImage(uint8_t* image);
// Puts the image, as the front end wrote it, into the backup memory.
void ImportSaveImage(const uint8_t* image);

}  // namespace koru::libretro
