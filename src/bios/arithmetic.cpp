#include "bios/arithmetic.h"

#include <cmath>

namespace koru {

namespace {

// The BIOS's pi is cut short to 3.1415926; the angle scale is the double
// nearest to its reciprocal, which keeps results such as atan(1) -> 0x1FFF.
constexpr double ShortPi = 3.1415926;
constexpr double InverseShortPi = 0.31830989161357204;
constexpr long double AngleScale = 32767.0L;

uint16_t TruncateTo16(long double v) {
    return static_cast<uint16_t>(static_cast<int32_t>(v));  // toward zero
}

}  // namespace

Quotient Divide(int32_t dividend, int32_t divisor) {
    // 64 bits hold every quotient, including 2^31 from -2^31 / -1, which
    // then wraps to 0x80000000 like the console's result.
    const int64_t q = static_cast<int64_t>(dividend) / divisor;
    const int64_t r = static_cast<int64_t>(dividend) - q * divisor;
    return {static_cast<uint32_t>(q), static_cast<uint32_t>(r), static_cast<uint32_t>(q < 0 ? -q : q)};
}

uint32_t SquareRoot(uint32_t value) {
    // Digit by digit: exact for the whole range, unlike a rounded float.
    uint32_t root = 0;
    uint32_t rest = value;
    uint32_t bit = 1u << 30;
    while (bit > rest) bit >>= 2;
    while (bit != 0) {
        if (rest >= root + bit) {
            rest -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return root;
}

uint16_t ArcTangent(uint16_t tangent) {
    // Formed in extended precision, truncated only at the end.
    const long double x = static_cast<int16_t>(tangent) / 16384.0L;
    return TruncateTo16(std::atan(x) * AngleScale * static_cast<long double>(InverseShortPi));
}

uint16_t ArcTangent2(uint16_t x, uint16_t y) {
    const long double angle = std::atan2(static_cast<long double>(static_cast<int16_t>(y)),
                                         static_cast<long double>(static_cast<int16_t>(x)));
    return TruncateTo16(angle * AngleScale * static_cast<long double>(InverseShortPi));
}

AffineMatrix ObjectAffine(int16_t sx, int16_t sy, uint16_t angle) {
    const double scaleX = sx ? sx : 256;
    const double scaleY = sy ? sy : 256;
    const double t = -static_cast<double>(angle) * ShortPi / 32768;
    const double c = std::cos(t);
    const double s = std::sin(t);
    auto entry = [](double v) { return static_cast<uint16_t>(static_cast<int32_t>(v)); };
    return {entry(c * scaleX), entry(s * scaleX), entry(-s * scaleY), entry(c * scaleY)};
}

}  // namespace koru
