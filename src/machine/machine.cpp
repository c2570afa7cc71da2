#include "machine/machine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bios/bios.h"
#include "cpu/cpu_state.h"
#include "cpu/run.h"
#include "hardware/backup.h"
#include "hardware/bus.h"
#include "hardware/dma.h"
#include "hardware/interrupts.h"
#include "hardware/keypad.h"
#include "hardware/timers.h"
#include "hardware/timing.h"
#include "machine/cartridge.h"
#include "machine/log.h"
#include "machine/memory.h"
#include "machine/savefiles.h"
#include "machine/settings.h"
#include "sound/midilog.h"
#include "sound/sound_registers.h"
#include "video/video.h"
#include "video/video_registers.h"

namespace koru {

uint8_t* ReadPageTable[PageCount];
uint8_t* WritePageTable[PageCount];
uint8_t* DummyRam;
uint32_t BiosLoaded;
int32_t RomSize;
char* SavName;
char* StaName;
uint32_t ExitRequest;
uint32_t MachineStarted;
uint32_t SiblingFiles = 1;

uint8_t* BiosRom;
uint8_t* ExternalWram;
uint8_t* InternalWram;
uint8_t* IoRam;
uint8_t* PaletteRam;
uint8_t* Vram;
uint8_t* SpriteRam;
uint8_t* CartridgeSram;
uint8_t* CartridgeRom;
int32_t RomFileLength;

namespace {

// Used when no BIOS image is loaded: empty exception vectors and an IRQ
// vector that calls the handler whose address the program keeps at
// 0x03007FFC, then returns from the interrupt.
constexpr uint32_t BiosStub[16] = {
    0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000,
    0xE92D500F,  // STMFD SP!, {R0-R3, R12, LR}
    0xE59F0010,  // LDR R0, [PC, #16]
    0xE5900000,  // LDR R0, [R0]
    0xE1A0E00F,  // MOV LR, PC
    0xE12FFF10,  // BX R0
    0xE8BD500F,  // LDMFD SP!, {R0-R3, R12, LR}
    0xE25EF004,  // SUBS PC, LR, #4
    0x03007FFC,  // address of the program's interrupt handler pointer
    0x00000000, 0x00000000,
};

void ClearPageTables() {
    for (uint32_t i = 0; i < PageCount; ++i) {
        ReadPageTable[i] = nullptr;
        WritePageTable[i] = nullptr;
    }
}

void ClearRegionPointers() {
    for (const MemoryRegion& region : MemoryRegions) *region.memory = nullptr;
    CartridgeRom = nullptr;
    RomFileLength = 0;
}

void Verdict(bool ok) {
    if (Verbose) Log(ok ? "OK\n" : "FAILED\n");
}

bool AllocateRegions() {
    if (Verbose) Log("Allocating %dkB Dummy RAM...", 16);
    DummyRam = static_cast<uint8_t*>(std::calloc(PageSize, 1));
    Verdict(DummyRam != nullptr);
    if (!DummyRam) return false;
    for (const MemoryRegion& region : MemoryRegions) {
        if (Verbose) {
            if (region.messageKb) Log(region.message, region.messageKb);
            else Log("%s", region.message);
        }
        uint8_t* memory = static_cast<uint8_t*>(std::calloc(region.size, 1));
        if (memory) {
            MapRegion(memory, region.size, region.base, region.span, region.writable);
            *region.memory = memory;
        }
        Verdict(memory != nullptr);
        if (!memory) return false;
    }
    return true;
}

void LoadBiosImage() {
    std::FILE* file = std::fopen("GBA.ROM", "rb");
    if (file) {
        if (Verbose) Log("Loading GBA.ROM...");
        const size_t read = std::fread(BiosRom, 1, BiosRomSize, file);
        BiosLoaded = read == BiosRomSize ? 1 : 0;
        Verdict(BiosLoaded != 0);
        std::fclose(file);
    }
    if (!BiosLoaded) {
        for (int i = 0; i < 16; ++i) Poke32(BiosRom + 4 * i, BiosStub[i]);
    }
}

bool LoadCartridgeImage(const char* name) {
    if (Verbose) Log("Loading %s...", name);
    std::FILE* file = std::fopen(name, "rb");
    uint8_t* image = nullptr;
    if (file) {
        long length = -1;
        if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
        std::fseek(file, 0, SEEK_SET);
        if (length >= 0) {
            if (Verbose) Log("%dkB...", static_cast<int>(length / 1024));
            // An empty file has nothing to map; a file over 32 MB does not fit
            // the cartridge windows.
            if (length > 0 && length <= MaxRomSize) {
                const int32_t size = static_cast<int32_t>((length + PageSize - 1) & ~static_cast<long>(PageSize - 1));
                image = static_cast<uint8_t*>(std::malloc(size));
                if (image) {
                    std::memset(image + length, 0, size - length);
                    if (std::fread(image, 1, length, file) == static_cast<size_t>(length)) {
                        RomSize = size;
                        RomFileLength = static_cast<int32_t>(length);
                    } else {
                        std::free(image);
                        image = nullptr;
                    }
                }
            }
        }
        if (image) {
            MapRegion(image, RomSize, 0x08000000, RomSize, 0);
            MapRegion(image, RomSize, 0x0A000000, RomSize, 0);
            MapRegion(image, RomSize, 0x0C000000, RomSize, 0);
            CartridgeRom = image;
        }
        std::fclose(file);
    }
    Verdict(image != nullptr);
    return image != nullptr;
}

}  // namespace

char* MakeSiblingName(const char* cartridgeName, const char* extension) {
    const size_t length = std::strlen(cartridgeName);
    char* name = static_cast<char*>(std::malloc(length + 10));
    if (!name) return nullptr;
    std::memcpy(name, cartridgeName, length + 1);
    // Only a dot in the file's own name counts: a dot in a directory name
    // would send every extension-less cartridge of that directory to one
    // file beside it. A name whose only dot starts it has no extension.
    const char* slash = std::strrchr(name, '/');
#ifdef _WIN32
    // Windows paths separate their directories with either slash.
    const char* backslash = std::strrchr(name, '\\');
    if (backslash && (!slash || backslash > slash)) slash = backslash;
#endif
    char* base = slash ? const_cast<char*>(slash) + 1 : name;
    char* dot = std::strrchr(base, '.');
    if (dot && dot != base) {
        std::strcpy(dot, extension);
    } else {
        std::strcpy(name + length, extension);
    }
    return name;
}

void MapRegion(uint8_t* memory, uint32_t size, uint32_t base, uint32_t span, int writable) {
    const uint32_t pages = size / PageSize;
    if (pages == 0) return;
    const uint32_t first = base / PageSize;
    for (uint32_t i = 0; i < span / PageSize; ++i) {
        uint8_t* page = memory + (i % pages) * PageSize;
        ReadPageTable[first + i] = page;
        WritePageTable[first + i] = writable ? page : DummyRam;
    }
}

bool PrepareMachine(const char* cartridgeName) {
    ExitRequest = 0;
    MachineStarted = 0;
    DummyRam = nullptr;
    SavName = nullptr;
    StaName = nullptr;
    BiosLoaded = 0;
    RomSize = 0;
    ClearRegionPointers();
    ClearPageTables();
    // The EEPROM data belongs to the cartridge now starting; its battery
    // save brings it back. The FLASH state of an earlier machine refers to
    // memory that is gone.
    ClearEepromData();
    ResetFlash(nullptr);
    CartridgeSaveType = SaveType::Unknown;
    // What no reset touches starts as in a fresh process: the processor's
    // banks and saved states (a reset keeps them, and so did every run
    // after the first, or after a loaded state), the frame-skip count, the
    // autofire phase and the layers the player hid. So every host can run
    // one game after another in one process.
    CpuState = CpuRecord{};
    FrameSkipCounter = 0;
    AutoFirePhase = 0;
    HiddenLayerMask = 0;

    if (!AllocateRegions()) return false;
    LoadBiosImage();
    if (!LoadCartridgeImage(cartridgeName)) return false;

    if (Verbose) WriteHeaderReport(CartridgeRom, RomSize);
    if (CheckCRC) {
        if (CartCrcField(CartridgeRom) != CartCrc(CartridgeRom, RomFileLength)) {
            if (Verbose) Log("CRC CHECK FAILED!\n");
            return false;
        }
        if (CartridgeRom[0xBD] != CartComplement(CartridgeRom)) {
            if (Verbose) Log("CMP CHECK FAILED!\n");
            return false;
        }
    }

    // The save memory the cartridge's save library declares decides the
    // FLASH chip and the battery save's layout.
    CartridgeSaveType = FindSaveType(CartridgeRom, static_cast<uint32_t>(RomFileLength));
    SavName = SiblingFiles ? MakeSiblingName(cartridgeName, ".sav") : nullptr;
    if (SavName) LoadBatterySave();

    if (Verbose) Log("Initializing hardware and CPU...");
    InitMidiLog(SoundLogFile);
    ResetHardware();

    StaName = SiblingFiles ? MakeSiblingName(cartridgeName, ".sta") : nullptr;
    if (StaName && StateWouldUndoBatterySave(StaName)) {
        // Most likely after a crash or a kill, when the battery save kept
        // progress that the last state lacks.
        if (Verbose) Log("Not loading %s: it is older than the battery save\n", StaName);
    } else if (StaName && LoadState(StaName)) {
        if (Verbose) Log("Loaded state from %s\n", StaName);
    }

    for (uint32_t i = 0; i < PageCount; ++i) {
        if (!ReadPageTable[i]) ReadPageTable[i] = DummyRam;
        if (!WritePageTable[i]) WritePageTable[i] = DummyRam;
    }
    return true;
}

uint32_t StartMachine(const char* cartridgeName) {
    if (!PrepareMachine(cartridgeName)) return 0;
    if (Verbose) Log("OK\nStarting CPU...\n");
    MachineStarted = 1;
    const uint32_t exitAddress = RunCpu(CpuState);
    if (Verbose) Log("Exited at %08Xh\n", exitAddress);
    return exitAddress;
}

void ResetHardware() {
    // Each unit puts its own registers and the state it keeps beside them
    // back to their power-on values.
    ResetBackupMemories();
    ResetSound();
    ResetTimers();
    ResetDma();

    CpuState.Trace = static_cast<uint8_t>(Verbose & 0x10);
    CpuState.SliceCycles = 960;

    ResetKeypad();
    ResetInterrupts();
    ResetWaitControl();
    ResetVideoRegisters();

    ResetCpu(CpuState);

    if (!BiosLoaded) {
        // The handler pointer then points at the stub's return sequence, so
        // an unhandled interrupt returns at once.
        WriteWord(0x03007FFC, 0x0000002C);
        // The processor starts at the cartridge's entry as the console's
        // start-up code leaves it, in System mode with interrupts enabled:
        // a program that never writes the status register itself still
        // receives its interrupts.
        HandOverToCartridge(CpuState, 0x08000000);
    }
}

void ShutdownMachine() {
    WriteBatterySave();
    ResetFlash(nullptr);
    // After a failed start-up the regions not allocated are null.
    for (const MemoryRegion& region : MemoryRegions) std::free(*region.memory);
    std::free(CartridgeRom);
    std::free(DummyRam);
    std::free(StaName);
    std::free(SavName);
    DummyRam = nullptr;
    StaName = nullptr;
    SavName = nullptr;
    ClearRegionPointers();
    ClearPageTables();
}

}  // namespace koru
