// The battery save as the front end keeps it (RETRO_MEMORY_SAVE_RAM): an
// image of the cartridge's backup memory that the front end reads and
// writes at any time while a game is loaded. Only this pair of functions
// knows how the image is laid out, so that it can follow the save files'
// layout when that changes.
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
