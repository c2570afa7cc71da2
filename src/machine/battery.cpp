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

// A bank as the save must hold it: while FLASH identification mode is on,
// the first two bytes of the bank shown are the identification bytes and
// the real ones wait in FlashState.
void CopyBankOut(uint8_t* out, const uint8_t* bank) {
    std::memcpy(out, bank, FlashBankSize);
    if (FlashState.idMode && FlashState.storage == bank) {
        out[0] = static_cast<uint8_t>(FlashState.savedBytes);
        out[1] = static_cast<uint8_t>(FlashState.savedBytes >> 8);
    }
}

// The EEPROM keeps each block as a little-endian 64-bit value, so the first
// bit sent is bit 7 of the block's last byte; the chip's own address order,
// which raw images use, puts it in the block's first byte. Images of the
// earlier layout keep the data as the EEPROM does.
void CopyEepromOut(uint8_t* out, uint32_t size, bool chipOrder) {
    const uint8_t* data = EepromState.data;
    if (!chipOrder) {
        std::memcpy(out, data, size);
        return;
    }
    for (uint32_t block = 0; block < size; block += BlockBytes) {
        for (uint32_t i = 0; i < BlockBytes; ++i) out[block + i] = data[block + BlockBytes - 1 - i];
    }
}

void CopyEepromIn(const uint8_t* in, uint32_t size, bool chipOrder) {
    uint8_t* data = EepromState.data;
    if (!chipOrder) {
        std::memcpy(data, in, size);
        return;
    }
    for (uint32_t i = 0; i < size; ++i) data[(i & ~(BlockBytes - 1)) + BlockBytes - 1 - (i & (BlockBytes - 1))] = in[i];
}

bool TwoBanks() { return CartridgeSaveType == SaveType::Flash128; }

// The earlier layout: the SRAM block (and bank 1 of a 128 KB chip), then the
// EEPROM data when any of it is in use.
uint32_t PackKoruLayout(uint8_t* out, bool eepromInUse) {
    uint32_t size = 0;
    CopyBankOut(out, CartridgeSram);
    size += SramBytes;
    if (TwoBanks()) {
        CopyBankOut(out + size, FlashBank1);
        size += FlashBankSize;
    }
    if (eepromInUse) {
        CopyEepromOut(out + size, EepromSize(), false);
        size += EepromSize();
    }
    return size;
}

// Packs the memories into out in the layout of the file; returns its size.
uint32_t PackImage(uint8_t* out) {
    const uint32_t eepromSize = EepromSize();
    const bool eepromInUse = !AllZero(EepromState.data, eepromSize);
    const uint32_t koru = PackKoruLayout(out, eepromInUse);
    switch (CartridgeSaveType) {
    case SaveType::Sram:
        if (eepromInUse || !AllZero(out + SmallSramBytes, SramBytes - SmallSramBytes)) return koru;
        return SmallSramBytes;
    case SaveType::Flash64:
        return eepromInUse ? koru : SramBytes;
    case SaveType::Flash128:
        return eepromInUse ? koru : 2 * FlashBankSize;
    case SaveType::Eeprom:
        if (!AllZero(out, SramBytes)) return koru;
        CopyEepromOut(out, eepromSize, true);
        return eepromSize;
    case SaveType::Unknown:
    default:
        return koru;
    }
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

bool ChangedSinceSaved(const uint8_t* image, uint32_t size) {
    return size != SavedSize || std::memcmp(image, Saved, size) != 0;
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
    const uint32_t size = PackImage(Image);
    RememberSaved(Image, size);
    FramesSinceCheck = 0;
    LastCheck = BatterySaveClock();
}

void WriteBatterySave() {
    if (!MachineHasSave()) return;
    const uint32_t size = PackImage(Image);
    if (KeepFileUntilChanged && !ChangedSinceSaved(Image, size)) return;
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

    const uint32_t size = PackImage(Image);
    if (!ChangedSinceSaved(Image, size)) return;
    // A failed write keeps the old copy, so the next second tries again.
    if (WriteBatteryFile(Image, size, false) != SaveOutcome::Failed) RememberSaved(Image, size);
}

BatteryImage BatterySaveImage() {
    if (!CartridgeSram) return {HostImage, 0};
    const uint32_t size = HostImageSize();
    uint32_t filled;
    if (CartridgeSaveType == SaveType::Eeprom) {
        filled = EepromSize();
        CopyEepromOut(HostImage, filled, true);
    } else {
        // The earlier layout begins with the raw image of each of the
        // other memories; with none declared it is the image, the EEPROM
        // data included.
        filled = PackKoruLayout(HostImage, CartridgeSaveType == SaveType::Unknown);
    }
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
    const uint32_t packed = PackImage(Image);
    RememberSaved(Image, packed);
    KeepFileUntilChanged = false;
}

}  // namespace koru
