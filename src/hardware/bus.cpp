#include "hardware/bus.h"

#include <algorithm>
#include <iterator>

#include "hardware/registers.h"

namespace koru {

namespace {
constexpr int32_t StartWordCost[16] = {1, 1, 6, 1, 1, 2, 2, 1, 4, 4, 4, 4, 4, 4, 6, 1};
constexpr int32_t StartHalfCost[16] = {1, 1, 3, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 6, 1};
}  // namespace

int32_t WordAccessCost[16] = {1, 1, 6, 1, 1, 2, 2, 1, 4, 4, 4, 4, 4, 4, 6, 1};
int32_t HalfAccessCost[16] = {1, 1, 3, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 6, 1};

void ResetAccessCosts() {
    std::copy(std::begin(StartWordCost), std::end(StartWordCost), WordAccessCost);
    std::copy(std::begin(StartHalfCost), std::end(StartHalfCost), HalfAccessCost);
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

void WaitControlWrite(uint32_t offset, uint16_t v) {
    ApplyWaitControl(v);
    IoStore16(offset, v);
}

void ResetWaitControl() {
    IoStore16(IoWAITCNT, 0);
    ApplyWaitControl(0);
}

}  // namespace koru
