// The cartridge's backup memories: battery SRAM, FLASH and EEPROM.
//
// All three are offered at once, so a cartridge finds whichever it was made
// for without being told. SRAM and FLASH share the 64 KB Cartridge SRAM block;
// the EEPROM has its own data block, reached one bit per halfword access.
#pragma once
#include <cstdint>

namespace koru {

struct FlashRecord {
    uint8_t* storage;       // the 64 KB the commands act on (Cartridge SRAM)
    uint8_t commandState;   // 0-6
    uint8_t idMode;         // the identification bytes are shown
    uint8_t log;            // write the "FLASH:" lines
    uint16_t savedBytes;    // storage[0] | storage[1] << 8 while idMode is on
};
extern FlashRecord FlashState;

// Command states of FlashWrite: how much of an unlock sequence was seen.
enum : uint8_t {
    FlashIdle = 0,
    FlashSawAA = 1,
    FlashSaw55 = 2,
    FlashSaw80 = 3,
    FlashSaw80AA = 4,
    FlashSaw80AA55 = 5,
    FlashProgram = 6,
};

// The EEPROM's 6-bit block numbers reach 64 blocks of 8 bytes.
constexpr uint32_t EepromReachableBytes = 512;

struct EepromRecord {
    uint32_t inputLow, inputHigh;    // bits enter at bit 0
    uint32_t outputLow, outputHigh;  // bits leave from bit 63
    uint8_t data[4096];              // bytes 0-511 reachable
    uint8_t addressCountdown;
    uint8_t writeCountdown;
    uint8_t readDelay;
    uint32_t offset;
    uint8_t log;
    uint8_t* picture;  // output bits laid out for direct reads (DummyRam)
};
extern EepromRecord EepromState;

// The power-on state of both memories: FLASH commands act on Cartridge SRAM,
// the EEPROM's serial state is cleared (its data stays), the log flags
// follow Verbose.
void ResetBackupMemories();

// The FLASH record's 12 bytes in the state file; the host pointer's four
// bytes are not kept (the reader points it at Cartridge SRAM).
constexpr uint32_t FlashStateBytes = 12;
void PackFlashState(uint8_t out[FlashStateBytes]);
bool FlashStateValid(const uint8_t in[FlashStateBytes]);
void UnpackFlashState(const uint8_t in[FlashStateBytes]);

// Command state and identification mode off, acting on storage. Called with
// the block it already acts on while identification lasts, it first puts
// the real first two bytes back; called with null it forgets the block (the
// machine that owned it is gone).
void ResetFlash(uint8_t* storage);
// Resets the serial state; the data block is kept.
void ResetEeprom(uint8_t* picture);
// The EEPROM data belongs to the cartridge that is running: a new machine
// starts with it cleared, before its battery save is read.
void ClearEepromData();
// Every byte write to 0x0E000000-0x0E00FFFF.
void FlashWrite(uint32_t offset, uint8_t value);
// Every halfword write to the EEPROM window; only bit 0 counts.
void EepromWriteBit(uint8_t value);
// Every halfword read of the EEPROM window: 0 or 1.
uint8_t EepromReadBit();

}  // namespace koru
