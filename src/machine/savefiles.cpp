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
#include "hardware/io.h"
#include "hardware/timing.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/safefile.h"

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
constexpr uint32_t FlashBytes = 12;
constexpr uint32_t HardwareBytes = 1024;
constexpr uint32_t HardwareWords = 32;  // the rest is reserved

struct Region {
    uint8_t** memory;
    uint32_t size;
};

// In file order.
constexpr Region StateRegions[] = {
    {&InternalWram, InternalWramSize}, {&ExternalWram, ExternalWramSize}, {&IoRam, IoRamSize},
    {&PaletteRam, PaletteRamSize},     {&Vram, VramSize},                 {&SpriteRam, SpriteRamSize},
    {&CartridgeSram, CartridgeSramSize},
};

static_assert(StateFlashOffset == StateCpuOffset + sizeof(CpuRecord));
static_assert(StateHardwareOffset == StateFlashOffset + FlashBytes);
static_assert(StateRegionsOffset == StateHardwareOffset + HardwareBytes);
static_assert(StateRegionsOffset + InternalWramSize + ExternalWramSize + IoRamSize + PaletteRamSize + VramSize +
                  SpriteRamSize + CartridgeSramSize ==
              StateFileSize);

bool MachineReady() {
    if (!CartridgeRom) return false;
    for (const Region& region : StateRegions) {
        if (!*region.memory) return false;
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

// The FLASH state field by field: the storage reference is a host pointer,
// which has no meaning in a file; 4 zero bytes keep its place.
void PackFlash(uint8_t out[FlashBytes]) {
    std::memset(out, 0, FlashBytes);
    out[4] = FlashState.commandState;
    out[5] = FlashState.idMode;
    out[6] = FlashState.log;
    // A spare byte of the record: the bank a 128 KB chip shows (0 for every
    // other chip, as older files have it).
    out[7] = FlashState.bank;
    Poke16(out + 8, FlashState.savedBytes);
}

void UnpackFlash(const uint8_t in[FlashBytes]) {
    FlashState.bank0 = CartridgeSram;
    FlashState.commandState = in[4];
    FlashState.idMode = in[5];
    FlashState.log = in[6];
    FlashState.savedBytes = Peek16(in + 8);
    MapFlashBank(in[7]);
}

void PackHardware(uint8_t out[HardwareBytes]) {
    std::memset(out, 0, HardwareBytes);
    auto word = [out](int index, uint32_t value) { Poke32(out + 4 * index, value); };
    word(0, HaltState);
    word(1, static_cast<uint32_t>(BlendCoefficients.brightWeight));
    word(2, static_cast<uint32_t>(BlendCoefficients.firstWeight));
    word(3, static_cast<uint32_t>(BlendCoefficients.secondWeight));
    for (int n = 0; n < 4; ++n) {
        word(4 + n, BgOrder[n]);
        word(8 + n, static_cast<uint32_t>(TimerPrescale[n]));
        word(12 + n, static_cast<uint32_t>(TimerCountdown[n]));
    }
    for (int bg = 0; bg < 2; ++bg) {
        const BgAffineRecord& r = BgAffineState[bg];
        const int32_t fields[8] = {r.refX, r.refY, r.curX, r.curY, r.pa, r.pb, r.pc, r.pd};
        for (int i = 0; i < 8; ++i) word(16 + 8 * bg + i, static_cast<uint32_t>(fields[i]));
    }
}

void UnpackHardware(const uint8_t in[HardwareBytes]) {
    auto word = [in](int index) { return Peek32(in + 4 * index); };
    auto sword = [in](int index) { return static_cast<int32_t>(Peek32(in + 4 * index)); };
    HaltState = word(0);
    BlendCoefficients.brightWeight = sword(1);
    BlendCoefficients.firstWeight = sword(2);
    BlendCoefficients.secondWeight = sword(3);
    for (int n = 0; n < 4; ++n) {
        BgOrder[n] = word(4 + n);
        TimerPrescale[n] = sword(8 + n);
        TimerCountdown[n] = sword(12 + n);
    }
    for (int bg = 0; bg < 2; ++bg) {
        BgAffineRecord& r = BgAffineState[bg];
        int32_t* fields[8] = {&r.refX, &r.refY, &r.curX, &r.curY, &r.pa, &r.pb, &r.pc, &r.pd};
        for (int i = 0; i < 8; ++i) *fields[i] = sword(16 + 8 * bg + i);
    }
}

// Whether the hardware words are ones the machine itself can produce:
// anything else would reach code that trusts these ranges (a prescale is a
// divisor, a background number an index).
bool HardwareWordsValid(const uint8_t in[HardwareBytes]) {
    auto word = [in](int index) { return Peek32(in + 4 * index); };
    if (word(0) > 2) return false;  // HaltState
    for (int i = 1; i <= 3; ++i) {
        if (word(i) > 16) return false;  // blend weights, 0-16
    }
    uint32_t backgroundsSeen = 0;
    for (int slot = 0; slot < 4; ++slot) {
        const uint32_t key = word(4 + slot);
        // control value (bits 0-15), second-target flag (bit 27), number
        // (bits 28-29) and the priority from the control value (bits 30-31).
        if (key & 0x07FF0000u) return false;
        if ((key >> 30) != (key & 3)) return false;
        backgroundsSeen |= 1u << ((key >> 28) & 3);
    }
    if (backgroundsSeen != 0xF) return false;  // one word per background
    for (int n = 0; n < 4; ++n) {
        const int32_t prescale = static_cast<int32_t>(word(8 + n));
        const int32_t countdown = static_cast<int32_t>(word(12 + n));
        if (prescale != 0 && prescale != 1 && prescale != 64 && prescale != 256 && prescale != 1024) return false;
        if (countdown < 0 || countdown > prescale) return false;
        // A countdown of 0 marks a timer that counts the overflows of the
        // one before it; timer 0 has none before it.
        if (n == 0 && prescale != 0 && countdown == 0) return false;
    }
    return true;
}

bool FlashBytesValid(const uint8_t in[FlashBytes]) { return in[4] <= FlashBankSelect && in[5] <= 1 && in[7] <= 1; }

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

bool StateFileValid(const uint8_t* file) {
    if (file[0] != StateMagic[0]) return false;  // the format byte is not checked
    uint8_t key[3];
    CartridgeKey(key);
    if (std::memcmp(file + 5, key, 3) != 0) return false;
    return CpuCountersValid(file + StateCpuOffset) && FlashBytesValid(file + StateFlashOffset) &&
           HardwareWordsValid(file + StateHardwareOffset);
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

uint8_t SaveState(const char* fileName) {
    if (!fileName || !MachineReady()) return 0;

    uint8_t header[16] = {};
    std::memcpy(header, StateMagic, 4);
    header[4] = 0x01;
    CartridgeKey(header + 5);
    uint8_t flash[FlashBytes];
    PackFlash(flash);
    uint8_t hardware[HardwareBytes];
    PackHardware(hardware);

    FileReplacement file;
    if (!file.Open(fileName)) return 0;
    bool ok = file.Write(header, sizeof header) && file.Write(&CpuState, sizeof CpuState) &&
              file.Write(flash, FlashBytes) && file.Write(hardware, HardwareBytes);
    for (const Region& region : StateRegions) ok = ok && file.Write(*region.memory, region.size);
    return ok && file.Commit() ? 1 : 0;
}

uint8_t LoadState(const char* fileName) {
    if (!fileName || !MachineReady()) return 0;
    std::FILE* in = std::fopen(fileName, "rb");
    if (!in) return 0;
    std::unique_ptr<uint8_t[]> file(new (std::nothrow) uint8_t[StateFileSize]);
    const size_t read = file ? std::fread(file.get(), 1, StateFileSize, in) : 0;
    std::fclose(in);
    if (read != StateFileSize || !StateFileValid(file.get())) return 0;

    // Everything checked: from here on the load cannot fail.
    std::memcpy(&CpuState, file.get() + StateCpuOffset, sizeof CpuState);
    UnpackFlash(file.get() + StateFlashOffset);
    UnpackHardware(file.get() + StateHardwareOffset);
    const uint8_t* p = file.get() + StateRegionsOffset;
    for (const Region& region : StateRegions) {
        std::memcpy(*region.memory, p, region.size);
        p += region.size;
    }
    // The access costs are made from the wait-state control register, which
    // the I/O region just brought back.
    ApplyWaitControl(Peek16(IoRam + 0x204));
    return 1;
}

}  // namespace koru
