// The video registers' writes: what the renderers need that the I/O area
// does not hold as they need it (the backgrounds in drawing order, the
// rotation/scaling parameters as numbers, the effect weights), kept up to
// date by every write, and the reset of all video registers.
#pragma once
#include <cstdint>

#include "machine/state_words.h"

namespace koru {

// Background order for the renderers, rear-most first: each word is the
// background's control value | second-target flag | number << 28 |
// priority << 30, so that sorting the words sorts by priority, then number.
extern uint32_t BgOrder[4];

constexpr uint32_t BgOrderControl = 0x0000FFFF;
constexpr uint32_t BgOrderSecondTarget = 0x08000000;  // set by the line driver per line
constexpr uint32_t BgOrderNumberShift = 28;
constexpr uint32_t BgOrderPriorityShift = 30;

inline uint32_t BgOrderNumber(uint32_t word) { return (word >> BgOrderNumberShift) & 3; }
inline uint32_t BgOrderPriority(uint32_t word) { return word >> BgOrderPriorityShift; }
inline uint32_t BgOrderWord(uint32_t n, uint16_t control) {
    return control | (n << BgOrderNumberShift) | ((control & 3u) << BgOrderPriorityShift);
}

// Rotation/scaling state of one background: parameters in 8.8 fixed point,
// reference points in 20.8 (latched and current). The state file keeps the
// eight fields in this order.
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

// Writes to the video registers (offsets 0x000-0x05F).
void VideoRegisterWrite(uint32_t offset, uint16_t value);
void ResetVideoRegisters();

extern const StateUnit VideoStateUnit;

}  // namespace koru
