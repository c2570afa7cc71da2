// The state file (".sta"): header, processor record, FLASH state, the
// hardware words kept outside the I/O area and the seven memory regions; for
// a cartridge with a 128 KB FLASH chip, a tagged block with the chip's second
// bank follows, and with direct sound on, a tagged block with its FIFOs. A
// state file is read and checked whole before anything is
// changed, so a damaged or foreign file leaves the running machine as it was.
// It is written through FileReplacement: the old file stays until the new
// one is completely on the disk. The battery save is in battery.cpp.
#include "machine/savefiles.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
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
#include "machine/settings.h"
#include "machine/state_words.h"
#include "sound/direct_sound.h"
#include "video/video_registers.h"

namespace koru {

namespace {

constexpr uint8_t StateMagic[4] = {0x53, 0x54, 0x44, 0x1A};

// The second bank of a 128 KB FLASH chip follows the layout as a tagged
// block: the tag, the length of what follows (the bank), the bank. A reader
// of the layout alone reads no further than the layout; this one takes the
// bank when the block is there and whole, and otherwise (a file from before
// banks) leaves bank 1 as the battery save brought it.
constexpr uint8_t BankTag[4] = {'F', 'B', 'K', '1'};
constexpr uint32_t BankBlockBytes = 8 + FlashBankSize;

// Direct sound (the "DirectSound" setting) keeps its FIFOs, their positions
// and the sample clocks in a block of the same kind after the layout and the
// bank's block. With the setting off it is neither written nor read, so the
// file is the one the machine without direct sound writes; with it on, a
// file without the block (or with a damaged one) loads with the FIFOs empty.
constexpr uint8_t SoundTag[4] = {'D', 'S', 'N', 'D'};
constexpr uint32_t SoundBlockBytes = 8 + DirectSoundStateBytes;
constexpr uint32_t LargestState = StateFileSize + BankBlockBytes + SoundBlockBytes;

bool HasBankBlock() { return CartridgeSaveType == SaveType::Flash128; }
bool HasSoundBlock() { return DirectSound != 0; }
uint32_t SoundBlockOffset() { return StateFileSize + (HasBankBlock() ? BankBlockBytes : 0); }

// The direct-sound block of the state in, when it is there, whole and holds
// values the machine can produce; null otherwise.
const uint8_t* SoundBlockIn(const uint8_t* in, size_t size) {
    const uint8_t* block = in + SoundBlockOffset();
    if (!HasSoundBlock() || size < SoundBlockOffset() + SoundBlockBytes) return nullptr;
    if (std::memcmp(block, SoundTag, 4) != 0 || Peek32(block + 4) != DirectSoundStateBytes) return nullptr;
    return DirectSoundStateValid(block + 8) ? block + 8 : nullptr;
}

// Whether the block with bank 1 follows the layout of the state in, whole.
bool BankBlockIn(const uint8_t* in, size_t size) {
    const uint8_t* block = in + StateFileSize;
    return HasBankBlock() && size >= StateFileSize + BankBlockBytes && std::memcmp(block, BankTag, 4) == 0 &&
           Peek32(block + 4) == FlashBankSize;
}
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
    if (HasBankBlock()) {
        std::memcpy(p, BankTag, 4);
        Poke32(p + 4, FlashBankSize);
        std::memcpy(p + 8, FlashBank1, FlashBankSize);
        p += BankBlockBytes;
    }
    if (HasSoundBlock()) {
        std::memcpy(p, SoundTag, 4);
        Poke32(p + 4, DirectSoundStateBytes);
        PackDirectSound(p + 8);
    }
    return true;
}

uint32_t StateSize() {
    return StateFileSize + (HasBankBlock() ? BankBlockBytes : 0) + (HasSoundBlock() ? SoundBlockBytes : 0);
}

bool LoadStateFromBuffer(const uint8_t* in, size_t size) {
    // After the layout only the blocks of bank 1 and of direct sound are
    // looked for; whatever else follows is not read.
    if (!MachineReady() || size < StateFileSize) return false;
    uint32_t hardware[HardwareBlockWords];
    std::memcpy(hardware, in + StateHardwareOffset, HardwareBytes);
    if (!StateValid(in, hardware)) return false;
    // A state that shows bank 1 was written with the block that holds it:
    // without the block the file was cut short.
    const bool bankBlock = BankBlockIn(in, size);
    if (HasBankBlock() && in[StateFlashOffset + 7] && !bankBlock) return false;

    // Everything checked: from here on the load cannot fail. The chip is
    // reset first, so that identification bytes the running machine shows
    // over a bank the file does not hold (bank 1, from a file of the
    // earlier layout) give way to the real ones.
    ResetFlash(CartridgeSram);
    std::memcpy(&CpuState, in + StateCpuOffset, sizeof CpuState);
    UnpackFlashState(in + StateFlashOffset);
    UnpackHardware(hardware);
    const uint8_t* p = in + StateRegionsOffset;
    for (int slot = 0; slot < StateRegionCount; ++slot) {
        const MemoryRegion* region = StateRegion(slot);
        std::memcpy(*region->memory, p, region->size);
        p += region->size;
    }
    if (bankBlock) std::memcpy(FlashBank1, p + 8, FlashBankSize);
    if (HasSoundBlock()) {
        if (const uint8_t* sound = SoundBlockIn(in, size)) {
            UnpackDirectSound(sound);
        } else {
            ResetDirectSound();
        }
    }
    for (const StateUnit* unit : HardwareUnits) {
        if (unit->loaded) unit->loaded();
    }
    // The access costs are made from the wait-state control register, which
    // the I/O region just brought back.
    ApplyWaitControl(IoRead16(IoWAITCNT));
    return true;
}

bool StateWouldUndoBatterySave(const char* fileName) {
    if (!fileName || !SavName || !MachineReady()) return false;
    // Most runs have no state file: that is told by opening it, before the
    // file times are asked for, which would bring the file-system library's
    // code into memory for nothing.
    std::FILE* in = std::fopen(fileName, "rb");
    if (!in) return false;
    std::error_code stateMissing, saveMissing;
    const auto stateTime = std::filesystem::last_write_time(std::filesystem::path(fileName), stateMissing);
    const auto saveTime = std::filesystem::last_write_time(std::filesystem::path(SavName), saveMissing);
    if (stateMissing || saveMissing || !(stateTime < saveTime)) {
        std::fclose(in);
        return false;
    }
    std::unique_ptr<uint8_t[]> state(new (std::nothrow) uint8_t[LargestState]);
    const size_t read = state ? std::fread(state.get(), 1, StateSize(), in) : 0;
    std::fclose(in);
    // A file the loader would refuse is no danger to the save.
    if (read < StateFileSize) return false;
    // The save memories of the file against those the battery save just
    // brought in: an older state with the same saves loses nothing.
    uint32_t offset = StateRegionsOffset;
    for (int slot = 0; slot < StateRegionCount; ++slot) {
        const MemoryRegion* region = StateRegion(slot);
        if (region->memory == &CartridgeSram) break;
        offset += region->size;
    }
    uint8_t* bank0 = state.get() + offset;
    uint8_t* bank1 = state.get() + StateFileSize + 8;
    const bool hasBank1 = BankBlockIn(state.get(), read);
    // In identification mode the bank shown holds the identification
    // bytes, and the record the real ones.
    const uint8_t* flash = state.get() + StateFlashOffset;
    if (flash[5]) {
        uint8_t* shown = flash[7] && hasBank1 ? bank1 : bank0;
        shown[0] = flash[8];
        shown[1] = flash[9];
    }
    if (std::memcmp(bank0, CartridgeSram, CartridgeSramSize) != 0) return true;
    return hasBank1 && std::memcmp(bank1, FlashBank1, FlashBankSize) != 0;
}

uint8_t SaveState(const char* fileName) {
    if (!fileName || !MachineReady()) return 0;
    const uint32_t size = StateSize();
    std::unique_ptr<uint8_t[]> state(new (std::nothrow) uint8_t[size]);
    if (!state || !SaveStateToBuffer(state.get())) return 0;
    FileReplacement file;
    if (!file.Open(fileName)) return 0;
    return file.Write(state.get(), size) && file.Commit() ? 1 : 0;
}

uint8_t LoadState(const char* fileName) {
    if (!fileName || !MachineReady()) return 0;
    std::FILE* in = std::fopen(fileName, "rb");
    if (!in) return 0;
    std::unique_ptr<uint8_t[]> state(new (std::nothrow) uint8_t[LargestState]);
    const size_t read = state ? std::fread(state.get(), 1, StateSize(), in) : 0;
    std::fclose(in);
    return LoadStateFromBuffer(state.get(), read) ? 1 : 0;
}

}  // namespace koru
