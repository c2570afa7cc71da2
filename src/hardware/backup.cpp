// The FLASH command state machine and the serial EEPROM.
//
// FLASH: the chip is driven by byte writes of unlock sequences (0xAA to
// 0x5555, 0x55 to 0x2AAA, then a command to 0x5555). Bytes that turn out not
// to belong to a sequence are stored as plain SRAM writes, together with the
// sequence bytes that were held back, so battery SRAM works through the same
// route. Reads are never intercepted: identification works because the two
// identification bytes really replace the first two bytes of the bank shown
// while the mode lasts, and a 128 KB chip shows its second bank by pointing
// the page tables of the window at it.
//
// EEPROM: one bit per halfword access. A request is a 1, a command bit (1 =
// read) and the block number, 6 bits for the 512-byte chip and 14 for the
// 8 KB one; a write then sends 64 data bits, a read is answered with 4 dummy
// bits and 64 data bits, most significant first. Nothing in the bits tells
// the two request lengths apart: the console's save library sends each
// request by DMA 3 with a length that gives it away (9 or 73 halfwords for
// the small chip, 17 or 81 for the large one).
#include "hardware/backup.h"

#include <algorithm>
#include <cstring>

#include "hardware/dma.h"
#include "hardware/registers.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"

namespace koru {

FlashRecord FlashState;
EepromRecord EepromState;
SaveType CartridgeSaveType = SaveType::Unknown;
uint8_t FlashBank1[FlashBankSize];

namespace {

constexpr uint32_t FlashSize = FlashBankSize;
constexpr uint32_t FlashPage = 0x1000;

void FlashStore(uint32_t a, uint8_t v) {
    FlashState.storage[a] = v;
    FlashState.commandState = FlashIdle;
}

constexpr uint32_t FlashWindow = 0x0E000000;

bool HasTwoBanks() { return CartridgeSaveType == SaveType::Flash128; }

// The real first two bytes of the bank shown go aside while the
// identification bytes stand in for them.
void ShowIdentification() {
    uint8_t* s = FlashState.storage;
    const FlashIdentity id = FlashIdentification();
    FlashState.savedBytes = static_cast<uint16_t>(s[0] | (s[1] << 8));
    s[0] = id.maker;
    s[1] = id.device;
}

void HideIdentification() {
    FlashState.storage[0] = static_cast<uint8_t>(FlashState.savedBytes);
    FlashState.storage[1] = static_cast<uint8_t>(FlashState.savedBytes >> 8);
}

void LeaveIdentification() {
    FlashState.idMode = 0;
    HideIdentification();
}

void SelectBank(uint32_t bank) {
    // The chip shows its identification whichever bank is selected: the
    // real bytes of the old bank come back and those of the new one go
    // aside.
    if (FlashState.idMode) HideIdentification();
    MapFlashBank(bank);
    if (FlashState.idMode) ShowIdentification();
}

void EraseChip() {
    std::memset(FlashState.bank0, 0xFF, FlashBankSize);
    if (HasTwoBanks()) std::memset(FlashBank1, 0xFF, FlashBankSize);
}

uint64_t Input() { return (uint64_t{EepromState.inputHigh} << 32) | EepromState.inputLow; }

void SetInput(uint64_t value) {
    EepromState.inputLow = static_cast<uint32_t>(value);
    EepromState.inputHigh = static_cast<uint32_t>(value >> 32);
}

void SetOutput(uint64_t value) {
    EepromState.outputLow = static_cast<uint32_t>(value);
    EepromState.outputHigh = static_cast<uint32_t>(value >> 32);
}

// Processor reads that bypass the bus (the CPU's direct loads) see the
// output as halfwords in DummyRam, where the unmapped window lands.
void PictureReady() {
    uint8_t* picture = EepromState.picture;
    if (!picture) return;
    picture[0] = 1;
    picture[1] = 0;
}

void PictureOutput(uint64_t output) {
    uint8_t* picture = EepromState.picture;
    if (!picture) return;
    std::memset(picture, 0, 8);  // the four dummy bits
    for (int bit = 63, i = 8; bit >= 0; --bit, i += 2) {
        picture[i] = static_cast<uint8_t>((output >> bit) & 1);
        picture[i + 1] = 0;
    }
}

// The request starting now has as many block-number bits as its DMA
// length says; a request sent by the processor bit by bit has those of the
// chip that the save or an earlier request made known.
uint32_t RequestBits() {
    EepromRecord& e = EepromState;
    if (DmaRunning()) {
        // Only channel 3 reaches the cartridge's upper half. Its count
        // register keeps the length the transfer was started with.
        switch (IoRead16(IoDMACNT_L(3))) {
        case 9:
        case 73: return 6;
        case 17:
        case 81: e.large = 1; return 14;
        default: break;
        }
    }
    return e.large ? 14 : 6;
}

void StartRequest(uint32_t request) {
    const uint32_t bits = EepromState.requestBits;
    const uint32_t block = request & ((1u << bits) - 1);
    const bool read = ((request >> bits) & 1) != 0;
    if (EepromState.log) Log(" %s(%X) ", read ? "READ" : "WRITE", block);
    // The 8 KB chip has 1024 blocks: the top four of its fourteen bits
    // reach nothing.
    EepromState.offset = (block & (EepromLargeBytes / 8 - 1)) * 8;
    if (read) {
        EepromState.readDelay = 4;
        uint64_t output = 0;
        for (int i = 7; i >= 0; --i) output = (output << 8) | EepromState.data[EepromState.offset + i];
        SetOutput(output);
        EepromState.offset += 8;
        if (EepromState.log) Log("OUT=%08X%08X ", EepromState.outputHigh, EepromState.outputLow);
        PictureOutput(output);
    } else {
        EepromState.writeCountdown = 64;
    }
    SetInput(0);
}

}  // namespace

SaveType FindSaveType(const uint8_t* image, uint32_t length) {
    struct Tag {
        const char* text;
        uint32_t size;
        SaveType type;
    };
    // "SRAM_F_V" is the library of the 32 KB FRAM, which works as SRAM.
    static constexpr Tag Tags[] = {
        {"SRAM_V", 6, SaveType::Sram},          {"SRAM_F_V", 8, SaveType::Sram},
        {"FLASH_V", 7, SaveType::Flash64},      {"FLASH512_V", 10, SaveType::Flash64},
        {"FLASH1M_V", 9, SaveType::Flash128},   {"EEPROM_V", 8, SaveType::Eeprom},
    };
    if (!image) return SaveType::Unknown;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t c = image[i];
        if (c != 'S' && c != 'F' && c != 'E') continue;
        for (const Tag& tag : Tags) {
            if (tag.text[0] == c && length - i >= tag.size && std::memcmp(image + i, tag.text, tag.size) == 0) {
                return tag.type;
            }
        }
    }
    return SaveType::Unknown;
}

void FlashBanksReplaced() {
    if (FlashState.idMode && FlashState.storage) ShowIdentification();
}

FlashIdentity FlashIdentification() {
    switch (CartridgeSaveType) {
    // Panasonic MN63F805MNP, 64 KB, known to every version of the console's
    // 64 KB FLASH library; it programs single bytes and erases 4 KB
    // sectors, which is what this chip does.
    case SaveType::Flash64: return {0x32, 0x1B};
    // Macronix MX29L010, 128 KB in two banks, one of the two parts the
    // 128 KB library knows; the same byte programming and sectors.
    case SaveType::Flash128: return {0xC2, 0x09};
    // A cartridge that declares no FLASH sees no part it would know.
    default: return {0x00, 0x00};
    }
}

void MapFlashBank(uint32_t bank) {
    FlashRecord& f = FlashState;
    f.bank = HasTwoBanks() ? static_cast<uint8_t>(bank & 1) : 0;
    f.storage = f.bank ? FlashBank1 : f.bank0;
    if (f.storage) MapRegion(f.storage, FlashBankSize, FlashWindow, FlashBankSize, 1);
}

void ResetBackupMemories() {
    ResetFlash(CartridgeSram);
    FlashState.log = static_cast<uint8_t>(Verbose & 0x40);
    ResetEeprom(DummyRam);
    EepromState.log = static_cast<uint8_t>(Verbose & 0x40);
}

void PackFlashState(uint8_t out[FlashStateBytes]) {
    std::memset(out, 0, FlashStateBytes);
    out[4] = FlashState.commandState;
    out[5] = FlashState.idMode;
    out[6] = FlashState.log;
    out[7] = FlashState.bank;
    Poke16(out + 8, FlashState.savedBytes);
}

bool FlashStateValid(const uint8_t in[FlashStateBytes]) {
    return in[4] <= FlashBankSelect && in[5] <= 1 && in[7] <= 1;
}

void UnpackFlashState(const uint8_t in[FlashStateBytes]) {
    FlashState.bank0 = CartridgeSram;
    FlashState.commandState = in[4];
    FlashState.idMode = in[5];
    FlashState.log = in[6];
    FlashState.savedBytes = Peek16(in + 8);
    MapFlashBank(in[7]);
}

void ResetFlash(uint8_t* storage) {
    FlashRecord& f = FlashState;
    // A reset of the same block while the identification bytes are shown
    // puts the real ones back, or the save would keep them. A new block (a
    // new machine, or none) starts from what it holds.
    if (f.idMode && storage && f.bank0 == storage) LeaveIdentification();
    // The window goes back to the first bank, which is the region the
    // machine frees at its end.
    if (f.bank && f.bank0 && ReadPageTable[FlashWindow >> PageShift] == FlashBank1) {
        MapRegion(f.bank0, FlashBankSize, FlashWindow, FlashBankSize, 1);
    }
    f.bank0 = storage;
    f.bank = 0;
    f.storage = storage;
    f.commandState = FlashIdle;
    f.idMode = 0;
    if (storage) MapRegion(storage, FlashBankSize, FlashWindow, FlashBankSize, 1);
}

void ResetEeprom(uint8_t* picture) {
    SetInput(0);
    SetOutput(~uint64_t{0});
    EepromState.addressCountdown = 0;
    EepromState.writeCountdown = 0;
    EepromState.readDelay = 0;
    EepromState.offset = 0;
    EepromState.log = 0;
    EepromState.picture = picture;
    EepromState.requestBits = 6;
}

namespace {

// Clears memory that is seldom used: where it is clear already it is left
// untouched, so that its pages are never made resident for the cartridges
// that have no use for them.
void ClearUnlessClear(uint8_t* bytes, size_t size) {
    if (std::any_of(bytes, bytes + size, [](uint8_t b) { return b != 0; })) std::memset(bytes, 0, size);
}

}  // namespace

void ClearEepromData() {
    // Most cartridges have no EEPROM, and only a 128 KB chip ever writes
    // the second bank.
    ClearUnlessClear(EepromState.data, sizeof EepromState.data);
    EepromState.large = 0;
    ClearUnlessClear(FlashBank1, sizeof FlashBank1);
}

uint32_t EepromSize() { return EepromState.large ? EepromLargeBytes : EepromReachableBytes; }

void SetEepromLarge(bool large) { EepromState.large = large ? 1 : 0; }

void FlashWrite(uint32_t offset, uint8_t v) {
    FlashRecord& f = FlashState;
    uint8_t* s = f.storage;
    const uint32_t a = offset & (FlashSize - 1);
    switch (f.commandState) {
    case FlashIdle:
        if (a == 0x5555 && v == 0xAA) {
            f.commandState = FlashSawAA;
        } else if (f.idMode && v == 0xF0) {
            if (f.log) Log("FLASH: Product ID mode exited.\n");
            LeaveIdentification();
        } else {
            FlashStore(a, v);
        }
        return;

    case FlashSawAA:
        if (a == 0x2AAA && v == 0x55) {
            f.commandState = FlashSaw55;
            return;
        }
        if (f.log) Log("FLASH: 0xAA 0x%02X?\n", v);
        s[0x5555] = 0xAA;
        FlashStore(a, v);
        return;

    case FlashSaw55:
        if (a != 0x5555) {
            if (f.log) Log("FLASH: 0xAA 0x55 0x%02X?\n", v);
            s[0x5555] = 0xAA;
            s[0x2AAA] = 0x55;
            FlashStore(a, v);
            return;
        }
        f.commandState = FlashIdle;
        switch (v) {
        case 0x90:
            if (f.log) Log("FLASH: Product ID mode entered.\n");
            // Entered again while it lasts, the block already shows the
            // identification bytes: setting those aside would lose the
            // real ones for good, where the chip itself loses nothing.
            if (!f.idMode) ShowIdentification();
            f.idMode = 1;
            break;
        case 0xF0:
            if (f.log) Log("FLASH: Product ID mode exited.\n");
            if (f.idMode) LeaveIdentification();
            break;
        case 0x80:
            f.commandState = FlashSaw80;
            break;
        case 0xA0:
            f.commandState = FlashProgram;
            break;
        case 0xB0:
            // Only the 128 KB chip has banks to switch.
            if (HasTwoBanks()) {
                f.commandState = FlashBankSelect;
                break;
            }
            if (f.log) Log("FLASH: Unknown command 0x%02X.\n", v);
            break;
        default:
            if (f.log) Log("FLASH: Unknown command 0x%02X.\n", v);
            break;
        }
        return;

    case FlashSaw80:
        if (a == 0x5555 && v == 0xAA) {
            f.commandState = FlashSaw80AA;
            return;
        }
        // The three swallowed bytes are not put back.
        if (f.log) Log("FLASH: 0xAA 0x55 0x80 0x%02X?\n", v);
        FlashStore(a, v);
        return;

    case FlashSaw80AA:
        if (a == 0x2AAA && v == 0x55) {
            f.commandState = FlashSaw80AA55;
            return;
        }
        if (f.log) Log("FLASH: 0xAA 0x55 0x80 0xAA 0x%02X?\n", v);
        s[0x5555] = 0xAA;
        FlashStore(a, v);
        return;

    case FlashSaw80AA55:
        if (v == 0x30) {
            const uint32_t page = a & 0xF000;
            if (f.log) Log("FLASH: Erasing page 0x%04X-0x%04X.\n", page, page + FlashPage - 1);
            if (!f.idMode) std::memset(s + page, 0xFF, FlashPage);
            f.commandState = FlashIdle;
        } else if (a == 0x5555 && v == 0x10) {
            if (!f.idMode) {
                if (f.log) Log("FLASH: Erasing entire ROM.\n");
                EraseChip();
            }
            f.commandState = FlashIdle;
        } else if (a == 0x5555) {
            if (f.log) Log("FLASH: Unknown command 0x80 0x%02X.\n", v);
            f.commandState = FlashIdle;
        } else {
            if (f.log) Log("FLASH: 0xAA 0x55 0x80 0xAA 0x55 0x%02X?.\n", v);
            s[0x5555] = 0xAA;
            s[0x2AAA] = 0x55;
            FlashStore(a, v);
        }
        return;

    case FlashProgram:
        // Programming can only clear bits; erasing sets them.
        if (!f.idMode) {
            const uint8_t old = s[a];
            if (f.log) {
                Log("FLASH: Writing to 0x%04X: 0x%02X AND 0x%02X ==> 0x%02X.\n", a, v, old,
                    static_cast<uint8_t>(old & v));
            }
            s[a] = static_cast<uint8_t>(old & v);
        }
        f.commandState = FlashIdle;
        return;

    case FlashBankSelect:
        if (a == 0x0000) {
            if (f.log) Log("FLASH: Bank %d selected.\n", v & 1);
            f.commandState = FlashIdle;
            SelectBank(v & 1);
            return;
        }
        // The three swallowed bytes are not put back, as after 0x80.
        if (f.log) Log("FLASH: 0xAA 0x55 0xB0 0x%02X?\n", v);
        FlashStore(a, v);
        return;

    default:
        // Not a state this machine enters; the state file loader refuses
        // such values, so this only keeps the chip usable.
        FlashStore(a, v);
        return;
    }
}

void EepromWriteBit(uint8_t value) {
    EepromRecord& e = EepromState;
    const uint32_t bit = value & 1;
    if (e.log) Log("%c", bit ? '1' : '0');
    SetInput((Input() << 1) | bit);

    if (e.writeCountdown) {
        if (--e.writeCountdown == 0) {
            // The first bit sent ends as bit 7 of the block's last byte.
            const uint64_t input = Input();
            const uint32_t offset = e.offset & (sizeof e.data - 8);
            for (int i = 0; i < 8; ++i) e.data[offset + i] = static_cast<uint8_t>(input >> (8 * i));
            e.offset += 8;
            if (e.log) Log(" IN=%08X%08X ", e.inputHigh, e.inputLow);
            PictureReady();
            SetInput(0);
        }
        return;
    }
    if (e.addressCountdown) {
        if (--e.addressCountdown == 0) StartRequest(e.inputLow & ((2u << e.requestBits) - 1));
        return;
    }
    // Idle: a 1 starts a request (the command bit and the block number
    // follow); a 0 is the stop bit that ends every request, or noise.
    if (bit) {
        e.requestBits = static_cast<uint8_t>(RequestBits());
        e.addressCountdown = static_cast<uint8_t>(e.requestBits + 1);
    }
}

uint8_t EepromReadBit() {
    EepromRecord& e = EepromState;
    if (e.log) Log("#");
    if (e.readDelay) {
        --e.readDelay;
        return 0;
    }
    const uint8_t bit = static_cast<uint8_t>(e.outputHigh >> 31);
    // A 1 enters behind the data, so reads after the 64 bits say "ready".
    e.outputHigh = (e.outputHigh << 1) | (e.outputLow >> 31);
    e.outputLow = (e.outputLow << 1) | 1;
    return bit;
}

}  // namespace koru
