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

}  // namespace koru
