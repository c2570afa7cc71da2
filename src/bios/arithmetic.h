// The arithmetic of the BIOS services, as plain functions of their inputs.
#pragma once
#include <cstdint>

namespace koru {

struct Quotient {
    uint32_t quotient;   // truncated toward zero
    uint32_t remainder;  // with the sign of the dividend
    uint32_t magnitude;  // absolute value of the quotient
};
// Signed 32-bit division for a non-zero divisor. -2147483648 / -1 gives
// quotient and magnitude 0x80000000 and remainder 0, as the hardware does.
Quotient Divide(int32_t dividend, int32_t divisor);

// Integer square root, truncated toward zero.
uint32_t SquareRoot(uint32_t value);

// The angle of the 1.14 fixed-point tangent, as the BIOS's 16-bit angle
// (about 32767/pi per radian).
uint16_t ArcTangent(uint16_t tangent);
// The angle of the point (x, y), both signed 16-bit, in -pi..pi; x must not
// be 0.
uint16_t ArcTangent2(uint16_t x, uint16_t y);

// The four 8.8 matrix entries for scales sx, sy and a 16-bit angle; a scale
// of 0 counts as 1.0.
struct AffineMatrix {
    uint16_t pa, pb, pc, pd;
};
AffineMatrix ObjectAffine(int16_t sx, int16_t sy, uint16_t angle);

// BgAffineSet's matrix and start point for one background. The angle turns
// in 256 steps (its high byte) on the console's sine table; the centre of
// the picture (centreX, centreY) is 20.8 fixed point, the screen point that
// shows it (screenX, screenY) whole pixels.
struct BackgroundTransform {
    uint16_t pa, pb, pc, pd;
    uint32_t x, y;  // the reference point, 20.8
};
BackgroundTransform BackgroundAffine(int32_t centreX, int32_t centreY, int16_t screenX, int16_t screenY, int16_t sx,
                                     int16_t sy, uint16_t angle);

// MIDIKey2Freq: the playback value of a sample whose header frequency is
// frequency, played at MIDI key `key` raised by fine/256 of a semitone:
// frequency x 2^((key - 180 + fine / 256) / 12), truncated.
uint32_t MidiKeyFrequency(uint32_t frequency, uint8_t key, uint8_t fine);

}  // namespace koru
