// The life of one emulated machine: memories and page tables, the BIOS and
// cartridge images, the hardware reset, the run and the shut-down.
#pragma once
#include <cstdint>

namespace koru {

constexpr uint32_t PageShift = 14;
constexpr uint32_t PageSize = 1u << PageShift;   // 16 KB
constexpr uint32_t PageCount = 1u << (32 - PageShift);
constexpr int32_t MaxRomSize = 32 * 1024 * 1024;

// One host pointer per 16 KB page of the address space; a byte at address A
// is at entry[A >> 14] + (A & 0x3FFF). After start-up no entry is null.
extern uint8_t* ReadPageTable[PageCount];
extern uint8_t* WritePageTable[PageCount];
// Behind every unmapped page and behind writes to read-only regions.
extern uint8_t* DummyRam;

extern uint32_t BiosLoaded;   // a whole BIOS image was loaded
extern int32_t RomSize;       // cartridge length rounded up to 16 KB
extern char* SavName;         // battery-save file name, or null
extern char* StaName;         // state file name, or null
extern uint32_t ExitRequest;  // the running machine must stop
// Set when the last StartMachine got as far as running the processor, so
// that a host can tell a failed start from an exit at address 0.
extern uint32_t MachineStarted;
// Whether start-up names the battery-save and state files beside the
// cartridge (1, the default) and so reads and writes them. A host whose
// front end keeps the saves itself sets 0: the machine then touches no file
// but the BIOS image and the cartridge.
extern uint32_t SiblingFiles;

// The regions, by the names of their allocation messages (null when the
// machine is stopped). They are the blocks the page tables point into.
extern uint8_t* BiosRom;
extern uint8_t* ExternalWram;
extern uint8_t* InternalWram;
extern uint8_t* IoRam;
extern uint8_t* PaletteRam;
extern uint8_t* Vram;
extern uint8_t* SpriteRam;
extern uint8_t* CartridgeSram;
extern uint8_t* CartridgeRom;
// Length of the cartridge file in bytes, as loaded.
extern int32_t RomFileLength;

constexpr uint32_t BiosRomSize = 16 * 1024;
constexpr uint32_t ExternalWramSize = 256 * 1024;
constexpr uint32_t InternalWramSize = 32 * 1024;
constexpr uint32_t IoRamSize = 16 * 1024;
constexpr uint32_t PaletteRamSize = 16 * 1024;
constexpr uint32_t VramSize = 96 * 1024;
constexpr uint32_t SpriteRamSize = 16 * 1024;
constexpr uint32_t CartridgeSramSize = 64 * 1024;

// The regions of the console's memories that StartMachine allocates, in the
// order of allocation, and where each one stands in the state file.
struct MemoryRegion {
    const char* message;  // the allocation's progress message
    int messageKb;        // the %d of the message, or 0 when it has none
    uint32_t size;
    uint32_t base;
    uint32_t span;  // the part of the address space it fills by repetition
    bool writable;
    uint8_t** memory;  // the global that holds the block
    int stateSlot;     // its place among the state file's regions, -1 = not stored
};
constexpr int RegionCount = 8;
constexpr int StateRegionCount = 7;
// In the order of allocation.
inline constexpr MemoryRegion MemoryRegions[RegionCount] = {
    {"Allocating 16kB BIOS ROM...", 0, BiosRomSize, 0x00000000, BiosRomSize, false, &BiosRom, -1},
    {"Allocating 256kB External Working RAM...", 0, ExternalWramSize, 0x02000000, 0x01000000, true, &ExternalWram, 1},
    {"Allocating 32kB Internal Working RAM...", 0, InternalWramSize, 0x03000000, 0x01000000, true, &InternalWram, 0},
    {"Allocating %dkB I/O...", 16, IoRamSize, 0x04000000, IoRamSize, true, &IoRam, 2},
    {"Allocating %dkB Palette RAM...", 16, PaletteRamSize, 0x05000000, PaletteRamSize, true, &PaletteRam, 3},
    {"Allocating 96kB VRAM...", 0, VramSize, 0x06000000, VramSize, true, &Vram, 4},
    {"Allocating %dkB Sprite RAM...", 16, SpriteRamSize, 0x07000000, SpriteRamSize, true, &SpriteRam, 5},
    {"Allocating 64kB Cartridge SRAM...", 0, CartridgeSramSize, 0x0E000000, CartridgeSramSize, true, &CartridgeSram, 6},
};

// The whole life of a run; 0 when start-up fails, else R[15] at the exit.
uint32_t StartMachine(const char* cartridgeName);
// Start-up without the run: everything StartMachine does before it calls
// RunCpu. False when start-up fails. Tests and tools use it to get a machine
// they drive themselves; ShutdownMachine ends it either way.
bool PrepareMachine(const char* cartridgeName);
// Enters a region into both page tables, repeated over span.
void MapRegion(uint8_t* memory, uint32_t size, uint32_t base, uint32_t span, int writable);
// Power-on state of the hardware and the processor.
void ResetHardware();
// Writes the battery save and frees everything; safe after a failed start.
void ShutdownMachine();

// The battery-save or state file name for a cartridge: the extension of the
// file name (not of a directory) replaced, or the new one appended. The
// result comes from malloc; nullptr when it cannot be allocated.
char* MakeSiblingName(const char* cartridgeName, const char* extension);

}  // namespace koru
