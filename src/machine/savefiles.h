// The battery-save file and the state file.
#pragma once
#include <cstdint>

namespace koru {

constexpr uint32_t StateFileSize = 509144;

// Reads SavName into Cartridge SRAM (start-up).
void LoadBatterySave();
// Writes Cartridge SRAM to SavName (shut-down).
void WriteBatterySave();
// 1 on success, 0 on failure.
uint8_t SaveState(const char* fileName);
uint8_t LoadState(const char* fileName);
// Called at every vertical blank while the machine runs: keeps the battery
// save on disk up to date while the game is played.
void BatterySaveTick();

}  // namespace koru
