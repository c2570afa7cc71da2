// Software interrupts: the BIOS entry, or the services performed by the host.
#pragma once
#include <cstdint>

namespace koru {

// Called by SWI in both instruction sets with the comment field.
void SoftwareInterrupt(uint32_t number);

}  // namespace koru
