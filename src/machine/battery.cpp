// The battery save (".sav"), in the layouts described in savefiles.h. It is
// read at start-up, written at shut-down and, while the game runs, whenever
// the backup memory changed (at most once a second), so that a crash or a
// kill loses at most the last second of play. Every write goes through
// FileReplacement: the old file stays until the new one is completely on the
// disk.
//
// The backup memories are packed into one image in the file's layout, which
// is what the file receives and what is compared to tell whether the game
// saved; hosts that keep the save themselves get an image of their own, of
// one size for the whole run.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "hardware/backup.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/safefile.h"
#include "machine/savefiles.h"

namespace koru {

namespace {

constexpr uint32_t SramBytes = CartridgeSramSize;
constexpr uint32_t SmallSramBytes = 32 * 1024;
constexpr uint32_t BlockBytes = 8;
// The largest layout: two FLASH banks and the 8 KB EEPROM after them.
constexpr uint32_t ImageCapacity = 2 * FlashBankSize + EepromLargeBytes;
static_assert(FlashBankSize == SramBytes);

uint8_t Image[ImageCapacity];
// The image handed to hosts that keep the save themselves.
uint8_t HostImage[ImageCapacity];
// What was last read from or written to the file, to tell whether the game
// changed its save since.
uint8_t Saved[ImageCapacity];
uint32_t SavedSize;
// The file had a size of no layout: it is rewritten only once the game has
// saved something, so that a file this program does not understand is not
// cut down to what it does.
bool KeepFileUntilChanged;
// Frames and wall time since the backup memory was last compared.
uint32_t FramesSinceCheck;
uint64_t LastCheck;

uint64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool AllZero(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i]) return false;
    }
    return true;
}

// Whether the bank shows the FLASH identification bytes in place of its
// first two: while identification mode is on, the real ones wait in
// FlashState, and the save must hold those.
bool ShowsIdBytes(const uint8_t* bank) { return FlashState.idMode && FlashState.storage == bank; }

bool BankAllZero(const uint8_t* bank) {
    if (ShowsIdBytes(bank)) return (FlashState.savedBytes & 0xFFFF) == 0 && AllZero(bank + 2, FlashBankSize - 2);
    return AllZero(bank, FlashBankSize);
}

bool TwoBanks() { return CartridgeSaveType == SaveType::Flash128; }

// What an image holds, in its order: the first `sramBytes` of the SRAM
// block (bank 0 of a FLASH chip), bank 1 when `bank1` is set, then the
// EEPROM data when `eeprom` says so.
enum class EepromPiece : uint8_t { None, StoredOrder, ChipOrder };
struct Layout {
    uint32_t sramBytes;
    bool bank1;
    EepromPiece eeprom;
};

// The earlier layout: the SRAM block (and bank 1 of a 128 KB chip), then
// the EEPROM data when any of it is in use.
Layout KoruLayout(bool eepromInUse) {
    return {SramBytes, TwoBanks(), eepromInUse ? EepromPiece::StoredOrder : EepromPiece::None};
}

// The layout of the file for the memories as they are now.
Layout FileLayout() {
    const bool eepromInUse = !AllZero(EepromState.data, EepromSize());
    const Layout koru = KoruLayout(eepromInUse);
    switch (CartridgeSaveType) {
    case SaveType::Sram:
        if (eepromInUse || !AllZero(CartridgeSram + SmallSramBytes, SramBytes - SmallSramBytes)) return koru;
        return {SmallSramBytes, false, EepromPiece::None};
    case SaveType::Flash64:
        return eepromInUse ? koru : Layout{SramBytes, false, EepromPiece::None};
    case SaveType::Flash128:
        return eepromInUse ? koru : Layout{SramBytes, true, EepromPiece::None};
    case SaveType::Eeprom:
        if (!BankAllZero(CartridgeSram)) return koru;
        return {0, false, EepromPiece::ChipOrder};
    case SaveType::Unknown:
    default:
        return koru;
    }
}

// Hands the image of `layout` to put(offset, bytes, count) piece by piece,
// without building it, and returns its size: packing copies the pieces,
// and the check for a changed save compares them where they lie, so that
// the image is only built when there is a file to write.
template <typename Put>
uint32_t ForEachPiece(const Layout& layout, Put&& put) {
    uint32_t at = 0;
    const auto bank = [&](const uint8_t* memory, uint32_t count) {
        if (ShowsIdBytes(memory)) {
            const uint8_t real[2] = {static_cast<uint8_t>(FlashState.savedBytes),
                                     static_cast<uint8_t>(FlashState.savedBytes >> 8)};
            put(at, real, 2);
            put(at + 2, memory + 2, count - 2);
        } else {
            put(at, memory, count);
        }
        at += count;
    };
    if (layout.sramBytes) bank(CartridgeSram, layout.sramBytes);
    if (layout.bank1) bank(FlashBank1, FlashBankSize);
    const uint32_t eepromSize = EepromSize();
    if (layout.eeprom == EepromPiece::StoredOrder) {
        put(at, EepromState.data, eepromSize);
        at += eepromSize;
    } else if (layout.eeprom == EepromPiece::ChipOrder) {
        // The EEPROM keeps each block as a little-endian 64-bit value, so
        // the first bit sent is bit 7 of the block's last byte; the chip's
        // own address order, which raw images use, puts it in the block's
        // first byte.
        for (uint32_t block = 0; block < eepromSize; block += BlockBytes) {
            uint8_t ordered[BlockBytes];
            for (uint32_t i = 0; i < BlockBytes; ++i) ordered[i] = EepromState.data[block + BlockBytes - 1 - i];
            put(at, ordered, BlockBytes);
            at += BlockBytes;
        }
    }
    return at;
}

uint32_t Pack(const Layout& layout, uint8_t* out) {
    return ForEachPiece(layout, [out](uint32_t at, const uint8_t* bytes, uint32_t count) {
        std::memcpy(out + at, bytes, count);
    });
}

// Packs the memories into out in the layout of the file; returns its size.
uint32_t PackImage(uint8_t* out) { return Pack(FileLayout(), out); }

// Images of the earlier layout keep the EEPROM data as the EEPROM does;
// raw EEPROM images are in the chip's order (see ForEachPiece).
void CopyEepromIn(const uint8_t* in, uint32_t size, bool chipOrder) {
    uint8_t* data = EepromState.data;
    if (!chipOrder) {
        std::memcpy(data, in, size);
        return;
    }
    for (uint32_t i = 0; i < size; ++i) data[(i & ~(BlockBytes - 1)) + BlockBytes - 1 - (i & (BlockBytes - 1))] = in[i];
}

void ClearBackupData() {
    std::memset(CartridgeSram, 0, SramBytes);
    ClearEepromData();
}

// Puts an image of `size` bytes into the memories, which the caller has
// cleared. Returns whether the size is one of a layout.
bool UnpackImage(const uint8_t* in, uint32_t size) {
    const SaveType type = CartridgeSaveType;
    if (type == SaveType::Eeprom && (size == EepromReachableBytes || size == EepromLargeBytes)) {
        SetEepromLarge(size == EepromLargeBytes);
        CopyEepromIn(in, size, true);
        return true;
    }
    if (type == SaveType::Sram && size == SmallSramBytes) {
        std::memcpy(CartridgeSram, in, size);
        return true;
    }
    if (size >= SramBytes) {
        // The earlier layout, or the raw image of a FLASH chip.
        std::memcpy(CartridgeSram, in, SramBytes);
        uint32_t at = SramBytes;
        if (TwoBanks() && size - at >= FlashBankSize) {
            std::memcpy(FlashBank1, in + at, FlashBankSize);
            at += FlashBankSize;
        } else if (TwoBanks() && size != at && size - at != EepromReachableBytes && size - at != EepromLargeBytes) {
            // A piece of a second bank.
            std::memcpy(FlashBank1, in + at, size - at);
            return false;
        }
        const uint32_t rest = size - at;
        const bool layout = rest == 0 || rest == EepromReachableBytes || rest == EepromLargeBytes;
        if (rest == EepromLargeBytes) {
            SetEepromLarge(true);
            CopyEepromIn(in + at, rest, false);
        } else if (layout || type == SaveType::Unknown || type == SaveType::Eeprom) {
            // A longer file of no layout gives the small EEPROM what it
            // can take, as files always did; a cartridge that declares
            // another memory has no EEPROM to give it to.
            CopyEepromIn(in + at, rest < EepromReachableBytes ? rest : EepromReachableBytes, false);
        }
        return layout;
    }
    // As much as fits in the memory the cartridge declares.
    if (type == SaveType::Eeprom) {
        SetEepromLarge(size > EepromReachableBytes);
        const uint32_t fits = size < EepromLargeBytes ? size : EepromLargeBytes;
        CopyEepromIn(in, fits & ~(BlockBytes - 1), true);
    } else {
        std::memcpy(CartridgeSram, in, size);
    }
    return false;
}

void RememberSaved(const uint8_t* image, uint32_t size) {
    std::memcpy(Saved, image, size);
    SavedSize = size;
}

// The memories as the file would now hold them, packed into Saved.
void RememberMemories() { SavedSize = PackImage(Saved); }

// Whether the memories differ from what was last read or written, compared
// in place: a game that never saves never has its image built.
bool ChangedSinceSaved() {
    bool changed = false;
    const uint32_t size = ForEachPiece(FileLayout(), [&changed](uint32_t at, const uint8_t* bytes, uint32_t count) {
        changed = changed || at + count > SavedSize || std::memcmp(Saved + at, bytes, count) != 0;
    });
    return changed || size != SavedSize;
}

enum class SaveOutcome { NothingToWrite, Written, Failed };

// The log lines belong to the write at shut-down; the writes made while the
// game runs are silent, so the log of a run reads the same however long it
// lasted.
SaveOutcome WriteBatteryFile(const uint8_t* image, uint32_t size, bool logged) {
    // A cartridge that never used its backup memory gets no file, and an
    // existing file is left as it is.
    if (AllZero(image, size)) return SaveOutcome::NothingToWrite;
    logged = logged && Verbose;
    if (logged) Log("\nOpening %s...", SavName);
    FileReplacement file;
    bool ok = file.Open(SavName);
    if (ok) {
        if (logged) Log("writing...");
        ok = file.Write(image, size) && file.Commit();
    }
    if (logged) Log(ok ? "OK\n" : "FAILED\n");
    if (ok) KeepFileUntilChanged = false;
    return ok ? SaveOutcome::Written : SaveOutcome::Failed;
}

bool MachineHasSave() { return SavName && CartridgeSram; }

// The size of the hosts' image: the largest the declared memory takes.
uint32_t HostImageSize() {
    switch (CartridgeSaveType) {
    case SaveType::Sram: return SmallSramBytes;
    case SaveType::Flash64: return SramBytes;
    case SaveType::Flash128: return 2 * FlashBankSize;
    case SaveType::Eeprom: return EepromLargeBytes;
    case SaveType::Unknown:
    default: return SramBytes + EepromLargeBytes;
    }
}

}  // namespace

uint64_t (*BatterySaveClock)() = SteadyMilliseconds;

void LoadBatterySave() {
    KeepFileUntilChanged = false;
    if (!MachineHasSave()) return;
    if (Verbose) Log("Opening %s...", SavName);
    std::FILE* file = std::fopen(SavName, "rb");
    bool ok = false;
    if (file) {
        if (Verbose) Log("reading...");
        // One byte more than the largest layout tells a longer file.
        static uint8_t buffer[ImageCapacity + 1];
        const uint32_t size = static_cast<uint32_t>(std::fread(buffer, 1, sizeof buffer, file));
        std::fclose(file);
        const bool layout = UnpackImage(buffer, size > ImageCapacity ? ImageCapacity : size) && size <= ImageCapacity;
        KeepFileUntilChanged = !layout;
        // With no save type, a file that filled the SRAM block reads as
        // it always did.
        ok = CartridgeSaveType == SaveType::Unknown ? size >= SramBytes : layout;
    }
    if (Verbose) Log(ok ? "OK\n" : "FAILED\n");
    // The memories are as the file left them: no FLASH identification yet.
    RememberMemories();
    FramesSinceCheck = 0;
    LastCheck = BatterySaveClock();
}

void WriteBatterySave() {
    if (!MachineHasSave()) return;
    const bool changed = ChangedSinceSaved();
    if (KeepFileUntilChanged && !changed) return;
    if (!changed) {
        // The image is the one kept already.
        WriteBatteryFile(Saved, SavedSize, true);
        return;
    }
    const uint32_t size = PackImage(Image);
    if (WriteBatteryFile(Image, size, true) != SaveOutcome::Failed) RememberSaved(Image, size);
}

void BatterySaveTick() {
    if (!MachineHasSave()) return;
    // Once a second of emulated time (60 frames) and of wall time, both: a
    // fast-forwarded game does not write more often, nor a slow one.
    if (FramesSinceCheck < 60) ++FramesSinceCheck;
    if (FramesSinceCheck < 60) return;
    const uint64_t now = BatterySaveClock();
    if (now - LastCheck < 1000) return;
    FramesSinceCheck = 0;
    LastCheck = now;

    if (!ChangedSinceSaved()) return;
    const uint32_t size = PackImage(Image);
    // A failed write keeps the old copy, so the next second tries again.
    if (WriteBatteryFile(Image, size, false) != SaveOutcome::Failed) RememberSaved(Image, size);
}

BatteryImage BatterySaveImage() {
    if (!CartridgeSram) return {HostImage, 0};
    const uint32_t size = HostImageSize();
    // The earlier layout begins with the raw image of each of the other
    // memories; with none declared it is the image, the EEPROM data
    // included.
    const Layout layout = CartridgeSaveType == SaveType::Eeprom ? Layout{0, false, EepromPiece::ChipOrder}
                                                                : KoruLayout(CartridgeSaveType == SaveType::Unknown);
    const uint32_t filled = Pack(layout, HostImage);
    if (filled < size) std::memset(HostImage + filled, 0, size - filled);
    return {HostImage, size};
}

void BatterySaveImageWritten() {
    if (!CartridgeSram) return;
    const SaveType type = CartridgeSaveType;
    const uint32_t size = HostImageSize();
    // The memories are rebuilt from a copy, since clearing them must not
    // touch what the host wrote.
    static uint8_t copy[ImageCapacity];
    std::memcpy(copy, HostImage, size);
    // The image has room for the 8 KB EEPROM whichever chip the game has:
    // the small one is taken unless the image or the game says otherwise.
    uint32_t used = size;
    if (type == SaveType::Eeprom || type == SaveType::Unknown) {
        const uint32_t eeprom = type == SaveType::Eeprom ? 0 : SramBytes;
        if (!EepromState.large &&
            AllZero(copy + eeprom + EepromReachableBytes, EepromLargeBytes - EepromReachableBytes)) {
            used = eeprom + EepromReachableBytes;
        }
    }
    ClearBackupData();
    UnpackImage(copy, used);
    FlashBanksReplaced();
    // What the host put in place is the save the game started from.
    RememberMemories();
    KeepFileUntilChanged = false;
}

}  // namespace koru
