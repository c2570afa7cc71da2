// What the machine-driving fuzz targets check after every input, whichever
// host runs the machine: that nothing was written outside the machine's
// regions, and that the battery save on disk is never a torn file.
#pragma once
#include <cstddef>
#include <cstdint>

namespace koru::fuzz {

// Moves every region of the prepared machine (the memories, the cartridge
// image and the dummy page) into memory of its own with an inaccessible
// page on either side, so that a store that runs off a region's end faults
// at once rather than landing in whatever the heap put next to it. The page
// tables are rewritten to match and remembered, with copies of the
// read-only images. Call it while the machine is not running.
void GuardRegions();
// Puts the regions back into plain heap blocks, as ShutdownMachine expects
// to free them. Needed only before the machine is shut down.
void UnguardRegions();
// Traps unless the page tables are as GuardRegions left them (the FLASH
// window may show either bank) and the BIOS and cartridge images hold what
// they held: stores reach only the writable regions, and stores to
// read-only ones go to the dummy page.
void CheckMachineIntact();
// Zeroes every writable region, the dummy page, the EEPROM data and the
// second FLASH bank, then resets the hardware and the processor: each input
// starts from the same machine.
void ClearMachine();

// Writes the battery save in a child process that is killed after
// delayMicroseconds (or finishes first), then writes it again here, and
// traps unless the file the child left behind is the one that was there
// before or the complete new one.
void CheckInterruptedBatterySave(uint32_t delayMicroseconds);

}  // namespace koru::fuzz
