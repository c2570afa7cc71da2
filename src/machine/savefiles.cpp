// Placeholder save files: nothing is read or written. The battery-save and
// state files replace this file.
#include "machine/savefiles.h"

namespace koru {

void LoadBatterySave() {}
void WriteBatterySave() {}
uint8_t SaveState(const char*) { return 0; }
uint8_t LoadState(const char*) { return 0; }
void BatterySaveTick() {}

}  // namespace koru
