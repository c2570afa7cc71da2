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

// A quarter of the console's sine table: sin(2 pi i / 256) in 1.14 fixed
// point, truncated, for i = 0-64. Kept as numbers rather than computed so
// that every build gets the same results whatever its maths library does
// in the last bit.
constexpr int32_t QuarterSine[65] = {
    0,     402,   803,   1205,  1605,  2005,  2404,  2801,  3196,  3589,  3980,  4369,  4756,
    5139,  5519,  5896,  6269,  6639,  7005,  7366,  7723,  8075,  8423,  8765,  9102,  9434,
    9759,  10079, 10393, 10701, 11002, 11297, 11585, 11866, 12139, 12406, 12665, 12916, 13159,
    13395, 13622, 13842, 14053, 14255, 14449, 14634, 14810, 14978, 15136, 15286, 15426, 15557,
    15678, 15790, 15892, 15985, 16069, 16142, 16206, 16260, 16305, 16339, 16364, 16379, 16384,
};

int32_t Sine(uint32_t step) {
    step &= 0xFF;
    const uint32_t quarter = step & 0x3F;
    int32_t v;
    switch (step >> 6) {
    case 0: v = QuarterSine[quarter]; break;
    case 1: v = QuarterSine[64 - quarter]; break;
    case 2: v = -QuarterSine[quarter]; break;
    default: v = -QuarterSine[64 - quarter]; break;
    }
    return v;
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

BackgroundTransform BackgroundAffine(int32_t centreX, int32_t centreY, int16_t screenX, int16_t screenY, int16_t sx,
                                     int16_t sy, uint16_t angle) {
    const uint32_t step = angle >> 8;
    const int32_t s = Sine(step);
    const int32_t c = Sine(step + 64);
    // 8.8 scales times 1.14 sines, back to 8.8 by an arithmetic shift
    // (rounding toward minus infinity).
    const int32_t pa = (sx * c) >> 14;
    const int32_t pb = -((sx * s) >> 14);
    const int32_t pc = (sy * s) >> 14;
    const int32_t pd = (sy * c) >> 14;
    // The start point is the picture point that lands on the screen's
    // origin: the centre, less the matrix applied to the screen point.
    const int64_t x = int64_t{centreX} - (int64_t{pa} * screenX + int64_t{pb} * screenY);
    const int64_t y = int64_t{centreY} - (int64_t{pc} * screenX + int64_t{pd} * screenY);
    return {static_cast<uint16_t>(pa), static_cast<uint16_t>(pb), static_cast<uint16_t>(pc),
            static_cast<uint16_t>(pd), static_cast<uint32_t>(x), static_cast<uint32_t>(y)};
}

uint32_t MidiKeyFrequency(uint32_t frequency, uint8_t key, uint8_t fine) {
    const long double semitones = static_cast<long double>(key) - 180.0L + fine / 256.0L;
    const long double v = static_cast<long double>(frequency) * std::exp2(semitones / 12.0L);
    // Only keys far above the MIDI range could pass 32 bits; such a value
    // is held at the top rather than left to an undefined conversion.
    if (v >= 4294967295.0L) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(v);
}

}  // namespace koru
