// The FLASH command state machine and the serial EEPROM.
//
// FLASH: the chip is driven by byte writes of unlock sequences (0xAA to
// 0x5555, 0x55 to 0x2AAA, then a command to 0x5555). Bytes that turn out not
// to belong to a sequence are stored as plain SRAM writes, together with the
// sequence bytes that were held back, so battery SRAM works through the same
// route. Reads are never intercepted: identification works because the two
// identification bytes really replace the first two bytes of the block while
// the mode lasts.
//
// EEPROM: one bit per halfword access. A request is a 1, a command bit (1 =
// read) and six address bits; a write then sends 64 data bits, a read is
// answered with 4 dummy bits and 64 data bits, most significant first.
#include "hardware/backup.h"

#include <cstring>

#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"

namespace koru {

FlashRecord FlashState;
EepromRecord EepromState;

namespace {

constexpr uint32_t FlashSize = 0x10000;
constexpr uint32_t FlashPage = 0x1000;

void FlashStore(uint32_t a, uint8_t v) {
    FlashState.storage[a] = v;
    FlashState.commandState = FlashIdle;
}

void LeaveIdentification() {
    FlashState.idMode = 0;
    FlashState.storage[0] = static_cast<uint8_t>(FlashState.savedBytes);
    FlashState.storage[1] = static_cast<uint8_t>(FlashState.savedBytes >> 8);
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

void StartRequest(uint32_t request) {
    const uint32_t block = request & 0x3F;
    const bool read = (request & 0x40) != 0;
    if (EepromState.log) Log(" %s(%X) ", read ? "READ" : "WRITE", block);
    EepromState.offset = block * 8;
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
    Poke16(out + 8, FlashState.savedBytes);
}

bool FlashStateValid(const uint8_t in[FlashStateBytes]) { return in[4] <= FlashProgram && in[5] <= 1; }

void UnpackFlashState(const uint8_t in[FlashStateBytes]) {
    FlashState.storage = CartridgeSram;
    FlashState.commandState = in[4];
    FlashState.idMode = in[5];
    FlashState.log = in[6];
    FlashState.savedBytes = Peek16(in + 8);
}

void ResetFlash(uint8_t* storage) {
    // A reset of the same block while the identification bytes are shown
    // puts the real ones back, or the save would keep the zeros. A new
    // block (a new machine, or none) starts from what it holds.
    if (FlashState.idMode && storage && FlashState.storage == storage) LeaveIdentification();
    FlashState.storage = storage;
    FlashState.commandState = FlashIdle;
    FlashState.idMode = 0;
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
}

void ClearEepromData() { std::memset(EepromState.data, 0, sizeof EepromState.data); }

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
            if (!f.idMode) f.savedBytes = static_cast<uint16_t>(s[0] | (s[1] << 8));
            s[0] = 0x00;
            s[1] = 0x00;
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
                std::memset(s, 0xFF, FlashSize);
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
        if (--e.addressCountdown == 0) StartRequest(e.inputLow & 0xFF);
        return;
    }
    // Idle: a 1 starts a request (command bit and six address bits follow);
    // a 0 is the stop bit that ends every request, or noise.
    if (bit) e.addressCountdown = 7;
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
