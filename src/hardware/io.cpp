// Placeholder register writes: the value is stored and nothing else happens.
// The side effects of the registers replace this file.
#include "hardware/io.h"

#include "hardware/bus.h"

namespace koru {

uint32_t BgOrder[4];
BgAffineRecord BgAffineState[2];
BlendRecord BlendCoefficients;
uint32_t HaltState;

void IoWrite(uint32_t address, uint16_t value) {
    Poke16(IoRam + (address & 0xFFE), value);
}

void ApplyWaitControl(uint16_t v) {
    auto setRows = [](int row, int32_t half) {
        HalfAccessCost[row] = HalfAccessCost[row + 1] = half;
        WordAccessCost[row] = WordAccessCost[row + 1] = 2 * half;
    };
    setRows(0x8, (v & 0x0010) ? 2 : 3);
    setRows(0xA, (v & 0x0080) ? 2 : 5);
    setRows(0xC, (v & 0x0400) ? 2 : 9);
    static constexpr int32_t SramCost[4] = {5, 4, 3, 9};
    HalfAccessCost[0xE] = SramCost[v & 3];
    WordAccessCost[0xE] = 2 * SramCost[v & 3];
}

}  // namespace koru
