// Little-endian loads and stores on the console's memories.
//
// The regions are plain byte blocks that are read and written as bytes,
// halfwords and words at the same places; going through memcpy keeps that
// free of aliasing and alignment trouble and still compiles to one move.
#pragma once
#include <cstdint>
#include <cstring>

namespace koru {

inline uint16_t Peek16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline uint32_t Peek32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void Poke16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
inline void Poke32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

inline uint32_t RotateRight(uint32_t v, unsigned n) {
    n &= 31;
    return n ? (v >> n) | (v << (32 - n)) : v;
}

}  // namespace koru
