// The cartridge's backup memories: battery SRAM, FLASH and EEPROM.
//
// All three are offered at once, so a cartridge finds whichever it was made
// for without being told. SRAM and FLASH share the 64 KB Cartridge SRAM block;
// the EEPROM has its own data block, reached one bit per halfword access.
#pragma once
#include <cstdint>

namespace koru {

struct FlashRecord {
    uint8_t* storage;       // the 64 KB bank the commands act on
    uint8_t commandState;   // 0-7
    uint8_t idMode;         // the identification bytes are shown
    uint8_t log;            // write the "FLASH:" lines
    uint16_t savedBytes;    // storage[0] | storage[1] << 8 while idMode is on
    uint8_t bank;           // 0, or 1 while a 128 KB chip shows its second bank
    uint8_t* bank0;         // the first bank (Cartridge SRAM)
};
extern FlashRecord FlashState;

// The save memory that a cartridge's save library declares in its image.
// Unknown keeps every memory offered at once, as for a cartridge that says
// nothing; the FLASH types give the chip a real part's identification and,
// for 128 KB, its second bank.
enum class SaveType : uint8_t { Unknown, Sram, Flash64, Flash128, Eeprom };
extern SaveType CartridgeSaveType;
// The save memory the image declares: the first tag of the console's save
// library found in it, in address order ("SRAM_V", "SRAM_F_V", "FLASH_V",
// "FLASH512_V", "FLASH1M_V" or "EEPROM_V", each followed in the image by
// the library's version). Unknown when there is none. Looked for once, when
// the cartridge is loaded.
SaveType FindSaveType(const uint8_t* image, uint32_t length);

// The second 64 KB bank of a 128 KB FLASH chip. Like the EEPROM data it
// lives beside the machine rather than in its regions: only a cartridge of
// that type reaches it, through the page tables of 0x0E000000-0x0E00FFFF
// while it is selected.
constexpr uint32_t FlashBankSize = 0x10000;
extern uint8_t FlashBank1[FlashBankSize];

// The identification bytes at 0x0E000000 (maker) and 0x0E000001 (device).
struct FlashIdentity {
    uint8_t maker, device;
};
FlashIdentity FlashIdentification();

// Command states of FlashWrite: how much of an unlock sequence was seen.
enum : uint8_t {
    FlashIdle = 0,
    FlashSawAA = 1,
    FlashSaw55 = 2,
    FlashSaw80 = 3,
    FlashSaw80AA = 4,
    FlashSaw80AA55 = 5,
    FlashProgram = 6,
    FlashBankSelect = 7,  // AA 55 B0 seen: the bank number follows at 0x0000
};

// The EEPROM comes in two sizes: 512 bytes reached by 6-bit block numbers,
// and 8 KB reached by 14-bit ones (of which 10 bits count).
constexpr uint32_t EepromReachableBytes = 512;
constexpr uint32_t EepromLargeBytes = 8192;

struct EepromRecord {
    uint32_t inputLow, inputHigh;    // bits enter at bit 0
    uint32_t outputLow, outputHigh;  // bits leave from bit 63
    uint8_t data[EepromLargeBytes];  // the first 512 bytes only, unless large
    uint8_t addressCountdown;
    uint8_t writeCountdown;
    uint8_t readDelay;
    uint32_t offset;
    uint8_t log;
    uint8_t* picture;     // output bits laid out for direct reads (DummyRam)
    uint8_t requestBits;  // block-number bits of the request under way: 6 or 14
    uint8_t large;        // the chip is the 8 KB one
};
extern EepromRecord EepromState;

// The power-on state of both memories: FLASH commands act on Cartridge SRAM
// (bank 0), the EEPROM's serial state is cleared (its data stays), the log
// flags follow Verbose.
void ResetBackupMemories();

// The FLASH record's 12 bytes in the state file; the host pointer's four
// bytes are not kept (the reader points it at the bank the record names).
// Byte 7, padding in the record as first laid out, holds the bank a 128 KB
// chip shows: 0 for every other chip, as in files written before banks.
constexpr uint32_t FlashStateBytes = 12;
void PackFlashState(uint8_t out[FlashStateBytes]);
bool FlashStateValid(const uint8_t in[FlashStateBytes]);
void UnpackFlashState(const uint8_t in[FlashStateBytes]);

// Command state and identification mode off, acting on storage as bank 0,
// which the window then shows. Called with the block it already acts on
// while identification lasts, it first puts the real first two bytes back;
// called with null it forgets the block (the machine that owned it is
// gone), giving the window back to that block if bank 1 was showing.
void ResetFlash(uint8_t* storage);
// Resets the serial state; the data block is kept.
void ResetEeprom(uint8_t* picture);
// The EEPROM data and the second FLASH bank belong to the cartridge that is
// running: a new machine starts with them cleared and the small EEPROM,
// before its battery save is read.
void ClearEepromData();
// Shows bank (0 or 1) of a 128 KB chip at 0x0E000000: the commands act on
// it and the page tables of the window point at it. The state loader calls
// it with the bank the file names.
void MapFlashBank(uint32_t bank);
// After the banks were written from outside (a save a host put in place):
// identification, if the chip is showing it, stands over the new bytes.
void FlashBanksReplaced();
// Bytes of the EEPROM that the save holds: 512, or 8 KB for the large chip.
uint32_t EepromSize();
// Makes the EEPROM the 8 KB one (a save of that size was read) or the
// 512-byte one.
void SetEepromLarge(bool large);
// Every byte write to 0x0E000000-0x0E00FFFF.
void FlashWrite(uint32_t offset, uint8_t value);
// Every halfword write to the EEPROM window; only bit 0 counts.
void EepromWriteBit(uint8_t value);
// Every halfword read of the EEPROM window: 0 or 1.
uint8_t EepromReadBit();

}  // namespace koru
