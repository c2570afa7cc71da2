#include "hardware/bus.h"

#include <algorithm>
#include <iterator>

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

}  // namespace koru
