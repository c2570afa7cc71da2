// Placeholder: software interrupts do nothing. The BIOS services replace
// this file.
#include "bios/bios.h"

namespace koru {

void SoftwareInterrupt(uint32_t /*number*/) {}

}  // namespace koru
