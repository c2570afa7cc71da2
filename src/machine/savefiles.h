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

// Reads SavName into Cartridge SRAM and the EEPROM data (start-up).
void LoadBatterySave();
// Writes Cartridge SRAM, and the EEPROM data when it is in use, to SavName
// (shut-down).
void WriteBatterySave();
// 1 on success, 0 on failure.
uint8_t SaveState(const char* fileName);
uint8_t LoadState(const char* fileName);
// The same with the state in memory, for hosts that keep states themselves:
// out has room for StateFileSize bytes; in is checked whole before anything
// is changed, and refused (nothing changed) when it does not validate.
bool SaveStateToBuffer(uint8_t* out);
bool LoadStateFromBuffer(const uint8_t* in, size_t size);
// Called at every vertical blank while the machine runs: keeps the battery
// save on disk up to date while the game is played.
void BatterySaveTick();

// Milliseconds of a steady wall clock, read by BatterySaveTick; tests put in
// a clock of their own.
extern uint64_t (*BatterySaveClock)();

}  // namespace koru
