// The battery-save file and the state file.
//
// Battery save (".sav"): the 64 KB of Cartridge SRAM, followed by the 512
// reachable bytes of EEPROM data whenever any of them is not zero, so that a
// cartridge with an EEPROM keeps its saves too. It is read at start-up,
// written at shut-down and, while the game runs, whenever the backup memory
// changed (at most once a second), so that a crash or a kill loses at most
// the last second of play.
//
// State file (".sta"): header, processor record, FLASH state, the hardware
// words kept outside the I/O area and the seven memory regions. A state
// file is read and checked whole before anything is changed, so a damaged
// or foreign file leaves the running machine as it was.
//
// Both files are written through FileReplacement: the old file stays until
// the new one is completely on the disk.
#include "machine/savefiles.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "cpu/cpu_state.h"
#include "hardware/backup.h"
#include "hardware/bus.h"
#include "hardware/interrupts.h"
#include "hardware/registers.h"
#include "hardware/timers.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/safefile.h"
#include "machine/state_words.h"
#include "video/video_registers.h"

namespace koru {

namespace {

uint64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Verdict(bool ok) {
    if (Verbose) Log(ok ? "OK\n" : "FAILED\n");
}

bool AllZero(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i]) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Battery save

constexpr uint32_t SramSize = CartridgeSramSize;

// While FLASH identification mode is on, the first two bytes of the block
// show the identification bytes and the real ones wait in FlashState; the
// save must hold the real ones, or leaving the mode on would lose them.
void RealSramHead(uint8_t head[2]) {
    head[0] = CartridgeSram[0];
    head[1] = CartridgeSram[1];
    if (FlashState.idMode && FlashState.storage == CartridgeSram) {
        head[0] = static_cast<uint8_t>(FlashState.savedBytes);
        head[1] = static_cast<uint8_t>(FlashState.savedBytes >> 8);
    }
}

// What was last read from or written to the battery-save file, to tell
// whether the running game changed its backup memory since.
uint8_t SavedSram[SramSize];
uint8_t SavedEeprom[EepromReachableBytes];
// Frames and wall time since the backup memory was last compared.
uint32_t FramesSinceCheck;
uint64_t LastCheck;

void RememberSaved(const uint8_t head[2]) {
    SavedSram[0] = head[0];
    SavedSram[1] = head[1];
    std::memcpy(SavedSram + 2, CartridgeSram + 2, SramSize - 2);
    std::memcpy(SavedEeprom, EepromState.data, EepromReachableBytes);
}

bool ChangedSinceSaved(const uint8_t head[2]) {
    return head[0] != SavedSram[0] || head[1] != SavedSram[1] ||
           std::memcmp(SavedSram + 2, CartridgeSram + 2, SramSize - 2) != 0 ||
           std::memcmp(SavedEeprom, EepromState.data, EepromReachableBytes) != 0;
}

enum class SaveOutcome { NothingToWrite, Written, Failed };

// The log lines belong to the write at shut-down; the writes made while the
// game runs are silent, so the log of a run reads the same however long it
// lasted.
SaveOutcome WriteBatteryFile(const uint8_t head[2], bool logged) {
    const bool eepromInUse = !AllZero(EepromState.data, EepromReachableBytes);
    const bool sramInUse = head[0] || head[1] || !AllZero(CartridgeSram + 2, SramSize - 2);
    // A cartridge that never used its backup memory gets no file, and an
    // existing file is left as it is.
    if (!sramInUse && !eepromInUse) return SaveOutcome::NothingToWrite;

    logged = logged && Verbose;
    if (logged) Log("\nOpening %s...", SavName);
    FileReplacement file;
    bool ok = file.Open(SavName);
    if (ok) {
        if (logged) Log("writing...");
        ok = file.Write(head, 2) && file.Write(CartridgeSram + 2, SramSize - 2) &&
             (!eepromInUse || file.Write(EepromState.data, EepromReachableBytes)) && file.Commit();
    }
    if (logged) Log(ok ? "OK\n" : "FAILED\n");
    return ok ? SaveOutcome::Written : SaveOutcome::Failed;
}

// ---------------------------------------------------------------------------
// State file

constexpr uint8_t StateMagic[4] = {0x53, 0x54, 0x44, 0x1A};
constexpr uint32_t HardwareBytes = HardwareBlockWords * 4;

// The units that keep words in the hardware block; each describes its own.
const StateUnit* const HardwareUnits[] = {&InterruptStateUnit, &VideoStateUnit, &TimerStateUnit};

static_assert(StateFlashOffset == StateCpuOffset + sizeof(CpuRecord));
static_assert(StateHardwareOffset == StateFlashOffset + FlashStateBytes);
static_assert(StateRegionsOffset == StateHardwareOffset + HardwareBytes);

// The regions in file order.
constexpr const MemoryRegion* StateRegion(int slot) {
    for (const MemoryRegion& region : MemoryRegions) {
        if (region.stateSlot == slot) return &region;
    }
    return nullptr;
}

constexpr uint32_t StateRegionBytes() {
    uint32_t total = 0;
    for (int slot = 0; slot < StateRegionCount; ++slot) total += StateRegion(slot) ? StateRegion(slot)->size : 0;
    return total;
}
constexpr bool EveryStateSlotFilled() {
    for (int slot = 0; slot < StateRegionCount; ++slot) {
        if (!StateRegion(slot)) return false;
    }
    return true;
}
static_assert(EveryStateSlotFilled());
static_assert(StateRegionsOffset + StateRegionBytes() == StateFileSize);

bool MachineReady() {
    if (!CartridgeRom) return false;
    for (int slot = 0; slot < StateRegionCount; ++slot) {
        if (!*StateRegion(slot)->memory) return false;
    }
    return true;
}

// The cartridge's complement byte and CRC field, low byte first: a state
// file belongs to the cartridge whose header bytes these are.
void CartridgeKey(uint8_t key[3]) {
    key[0] = CartridgeRom[0xBD];
    key[1] = CartridgeRom[0xBF];
    key[2] = CartridgeRom[0xBE];
}

void PackHardware(uint8_t out[HardwareBytes]) {
    uint32_t block[HardwareBlockWords] = {};  // the reserved words stay zero
    for (const StateUnit* unit : HardwareUnits) {
        for (size_t i = 0; i < unit->count; ++i) {
            const StateWords& words = unit->words[i];
            std::memcpy(block + words.index, words.value, 4 * words.count);
        }
    }
    std::memcpy(out, block, HardwareBytes);
}

// The words are checked by their owners before any of them is taken: values
// the machine itself cannot produce would reach code that trusts their
// ranges (a prescale is a divisor, a background number an index).
bool HardwareWordsValid(const uint32_t block[HardwareBlockWords]) {
    for (const StateUnit* unit : HardwareUnits) {
        if (unit->valid && !unit->valid(block)) return false;
    }
    return true;
}

void UnpackHardware(const uint32_t block[HardwareBlockWords]) {
    for (const StateUnit* unit : HardwareUnits) {
        for (size_t i = 0; i < unit->count; ++i) {
            const StateWords& words = unit->words[i];
            std::memcpy(words.value, block + words.index, 4 * words.count);
        }
    }
}

// The slice counters are added to and subtracted from while the machine
// runs, so values near the limits of their type would overflow, and a huge
// positive count would run the processor for minutes without a half-line
// step. The machine itself keeps them within a few slices above zero and,
// after long transfers, within about 2^25 below it: transfers hold the count
// and the remainder of a cut slice to 2^24 cycles of debt each, and the CPU
// loop adds the two up. The bounds leave room around both.
bool CpuCountersValid(const uint8_t* in) {
    constexpr int32_t Lowest = -(1 << 26);
    constexpr int32_t Highest = 1 << 20;
    for (size_t offset : {offsetof(CpuRecord, SliceCycles), offsetof(CpuRecord, Cycles),
                            offsetof(CpuRecord, SavedCycles)}) {
        const int32_t value = static_cast<int32_t>(Peek32(in + offset));
        if (value < Lowest || value > Highest) return false;
    }
    return true;
}

bool StateValid(const uint8_t* state, const uint32_t hardware[HardwareBlockWords]) {
    if (state[0] != StateMagic[0]) return false;  // the format byte is not checked
    uint8_t key[3];
    CartridgeKey(key);
    if (std::memcmp(state + 5, key, 3) != 0) return false;
    return CpuCountersValid(state + StateCpuOffset) && FlashStateValid(state + StateFlashOffset) &&
           HardwareWordsValid(hardware);
}

}  // namespace

uint64_t (*BatterySaveClock)() = SteadyMilliseconds;

void LoadBatterySave() {
    if (!SavName || !CartridgeSram) return;
    if (Verbose) Log("Opening %s...", SavName);
    std::FILE* file = std::fopen(SavName, "rb");
    bool ok = false;
    if (file) {
        if (Verbose) Log("reading...");
        ok = std::fread(CartridgeSram, 1, SramSize, file) == SramSize;
        if (ok) {
            // Older files and cartridges without an EEPROM end here.
            std::fread(EepromState.data, 1, EepromReachableBytes, file);
        }
        std::fclose(file);
    }
    Verdict(ok);
    // The block is as the file left it: no FLASH identification mode yet.
    const uint8_t head[2] = {CartridgeSram[0], CartridgeSram[1]};
    RememberSaved(head);
    FramesSinceCheck = 0;
    LastCheck = BatterySaveClock();
}

void WriteBatterySave() {
    if (!SavName || !CartridgeSram) return;
    uint8_t head[2];
    RealSramHead(head);
    if (WriteBatteryFile(head, true) != SaveOutcome::Failed) RememberSaved(head);
}

void BatterySaveTick() {
    if (!SavName || !CartridgeSram) return;
    // Once a second of emulated time (60 frames) and of wall time, both: a
    // fast-forwarded game does not write more often, nor a slow one.
    if (FramesSinceCheck < 60) ++FramesSinceCheck;
    if (FramesSinceCheck < 60) return;
    const uint64_t now = BatterySaveClock();
    if (now - LastCheck < 1000) return;
    FramesSinceCheck = 0;
    LastCheck = now;

    uint8_t head[2];
    RealSramHead(head);
    if (!ChangedSinceSaved(head)) return;
    // A failed write keeps the old copy, so the next second tries again.
    if (WriteBatteryFile(head, false) != SaveOutcome::Failed) RememberSaved(head);
}

bool SaveStateToBuffer(uint8_t* out) {
    if (!MachineReady()) return false;
    std::memset(out, 0, 16);
    std::memcpy(out, StateMagic, 4);
    out[4] = 0x01;
    CartridgeKey(out + 5);
    std::memcpy(out + StateCpuOffset, &CpuState, sizeof CpuState);
    PackFlashState(out + StateFlashOffset);
    PackHardware(out + StateHardwareOffset);
    uint8_t* p = out + StateRegionsOffset;
    for (int slot = 0; slot < StateRegionCount; ++slot) {
        const MemoryRegion* region = StateRegion(slot);
        std::memcpy(p, *region->memory, region->size);
        p += region->size;
    }
    return true;
}

bool LoadStateFromBuffer(const uint8_t* in, size_t size) {
    // What follows the layout (nothing, in the files this program writes)
    // is not read.
    if (!MachineReady() || size < StateFileSize) return false;
    uint32_t hardware[HardwareBlockWords];
    std::memcpy(hardware, in + StateHardwareOffset, HardwareBytes);
    if (!StateValid(in, hardware)) return false;

    // Everything checked: from here on the load cannot fail.
    std::memcpy(&CpuState, in + StateCpuOffset, sizeof CpuState);
    UnpackFlashState(in + StateFlashOffset);
    UnpackHardware(hardware);
    const uint8_t* p = in + StateRegionsOffset;
    for (int slot = 0; slot < StateRegionCount; ++slot) {
        const MemoryRegion* region = StateRegion(slot);
        std::memcpy(*region->memory, p, region->size);
        p += region->size;
    }
    // The access costs are made from the wait-state control register, which
    // the I/O region just brought back.
    ApplyWaitControl(IoRead16(IoWAITCNT));
    return true;
}

uint8_t SaveState(const char* fileName) {
    if (!fileName || !MachineReady()) return 0;
    std::unique_ptr<uint8_t[]> state(new (std::nothrow) uint8_t[StateFileSize]);
    if (!state || !SaveStateToBuffer(state.get())) return 0;
    FileReplacement file;
    if (!file.Open(fileName)) return 0;
    return file.Write(state.get(), StateFileSize) && file.Commit() ? 1 : 0;
}

uint8_t LoadState(const char* fileName) {
    if (!fileName || !MachineReady()) return 0;
    std::FILE* in = std::fopen(fileName, "rb");
    if (!in) return 0;
    std::unique_ptr<uint8_t[]> state(new (std::nothrow) uint8_t[StateFileSize]);
    const size_t read = state ? std::fread(state.get(), 1, StateFileSize, in) : 0;
    std::fclose(in);
    return LoadStateFromBuffer(state.get(), read) ? 1 : 0;
}

}  // namespace koru
