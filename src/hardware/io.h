// Writes to the hardware registers of the I/O area and the state they keep
// outside it.
#pragma once
#include <cstdint>

namespace koru {

// Background order for the renderers, rear-most first: each word is the
// control value | number << 28 | priority << 30 (bit 27: second target).
extern uint32_t BgOrder[4];

// Rotation/scaling state of one background: parameters in 8.8 fixed point,
// reference points in 20.8 (latched and current).
struct BgAffineRecord {
    int32_t refX, refY, curX, curY;
    int32_t pa, pb, pc, pd;
};
// [0] is background 2, [1] background 3.
extern BgAffineRecord BgAffineState[2];

struct BlendRecord {
    int32_t firstWeight;   // 0-16
    int32_t secondWeight;  // 0-16
    int32_t brightWeight;  // 0-16
};
extern BlendRecord BlendCoefficients;

// 0 running, 1 halted, 2 an interrupt arrived while halted.
extern uint32_t HaltState;

// Sound register index of each byte offset 0x060-0x09F (index 0 = offset
// 0x060); 0xFF where the older chip has no register.
extern const uint8_t SoundRegisterMap[0x40];

// A halfword write to the I/O window; only the offset (address AND 0xFFE)
// is used. Stores the value (or what the register keeps of it) and performs
// the register's side effect.
void IoWrite(uint32_t address, uint16_t value);

// Rewrites the cartridge rows of the access cost tables.
void ApplyWaitControl(uint16_t value);

}  // namespace koru
