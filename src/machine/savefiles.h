// The battery-save file and the state file.
#pragma once
#include <cstddef>
#include <cstdint>

namespace koru {

constexpr uint32_t StateFileSize = 509144;

// Offsets in the state file.
constexpr uint32_t StateCpuOffset = 16;
constexpr uint32_t StateFlashOffset = 204;
constexpr uint32_t StateHardwareOffset = 216;
constexpr uint32_t StateRegionsOffset = 1240;

// The battery save (".sav") is a raw image of the save memory the cartridge
// declares (CartridgeSaveType), in address order, with no header:
//   SRAM                       32 KB
//   FLASH 64 KB                64 KB
//   FLASH 128 KB               128 KB, bank 0 then bank 1
//   EEPROM                     512 bytes or 8 KB, each 8-byte block in the
//                              order its bits travel (the first bit is bit 7
//                              of the block's first byte)
//   none declared              64 KB of Cartridge SRAM, then the EEPROM data
//                              (512 bytes or 8 KB, as the chip keeps it)
//                              when any of it is not zero
// The last layout is also the one of the files this program wrote before
// save types, and the one written whenever a memory outside the declared
// one holds data (with bank 1 after the SRAM for a 128 KB chip), so that
// nothing is lost. Files of those layouts load whole, whatever the type; a
// file of any other size loads as much as fits and is not written over
// until the game changed its save.

// Reads SavName into the backup memories (start-up).
void LoadBatterySave();
// Writes the backup memories to SavName (shut-down); a cartridge whose
// memories are all zero writes nothing.
void WriteBatterySave();

// The battery save for hosts that keep it themselves (a libretro front
// end's save memory), as one contiguous image whose size stays the same
// while the cartridge runs: the ".sav" layout of the memory the cartridge
// declares, at the largest size that memory takes, so that a player's file
// from another emulator fits it as it is:
//   SRAM 32 KB, FLASH 64 KB, FLASH 128 KB (bank 0 then bank 1), EEPROM 8 KB
//   (a 512-byte chip fills the first 512 bytes), none declared 64 KB of
//   Cartridge SRAM then 8 KB for the EEPROM data (as the chip keeps it);
// bytes past what the memory holds are zero. Memory outside the declared
// one, which no game of that type uses, is not in it. `data` stays the same
// for the whole process; `size` is 0 with no machine. Each call packs the
// backup memories into the image afresh, so a host reads it right after the
// call.
struct BatteryImage {
    uint8_t* data;
    uint32_t size;
};
BatteryImage BatterySaveImage();
// After a host wrote a save into the image (all `size` bytes; a shorter
// file left zeros behind it): the backup memories are cleared and take it.
// The EEPROM is the 8 KB chip when the image has data past 512 bytes or the
// chip was already known to be the large one.
void BatterySaveImageWritten();
// Whether the state file is older than the battery save and holds other
// save memory contents than the battery save brought in: loaded, it would
// put back saves the game has since replaced, and the next battery save
// would write them over the newer ones. Start-up does not load such a state
// (a state the player loads by hand is loaded whatever its age).
bool StateWouldUndoBatterySave(const char* fileName);
// 1 on success, 0 on failure.
uint8_t SaveState(const char* fileName);
uint8_t LoadState(const char* fileName);
// The same with the state in memory, for hosts that keep states themselves:
// out has room for StateSize() bytes; in is checked whole before anything
// is changed, and refused (nothing changed) when it does not validate.
bool SaveStateToBuffer(uint8_t* out);
bool LoadStateFromBuffer(const uint8_t* in, size_t size);
// Bytes of a state of the running cartridge: StateFileSize, and for a 128 KB
// FLASH chip the block with its second bank after it.
uint32_t StateSize();
// Called at every vertical blank while the machine runs: keeps the battery
// save on disk up to date while the game is played.
void BatterySaveTick();

// Milliseconds of a steady wall clock, read by BatterySaveTick; tests put in
// a clock of their own.
extern uint64_t (*BatterySaveClock)();

}  // namespace koru
