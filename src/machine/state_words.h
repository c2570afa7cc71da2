// The hardware block of the state file: 256 32-bit words that hold what the
// hardware units keep outside the I/O area. Each unit describes its own words
// in a table beside its registers (which word, which variable, and what a
// file may put there); the state file's writer, reader and checker all read
// those tables, so a unit that keeps one more value adds one line to its own
// table and nothing elsewhere.
#pragma once
#include <cstddef>
#include <cstdint>

namespace koru {

constexpr uint32_t HardwareBlockWords = 256;

// `count` consecutive words from word `index` on hold `count` consecutive
// 32-bit variables from `value` on.
struct StateWords {
    uint32_t index;
    uint32_t count;
    uint32_t* value;
};

// Signed variables are kept in the file as their two's-complement bits.
inline uint32_t* StateBits(int32_t* value) { return reinterpret_cast<uint32_t*>(value); }

// One unit's words, and the test a file's words must pass before any of
// them is taken (null: any value will do). The test sees the whole block,
// so a unit can check values against each other.
// `loaded` (null: nothing to do) runs once the whole state is in place, the
// memory regions too, for a unit whose state is partly made from them.
struct StateUnit {
    const StateWords* words;
    size_t count;
    bool (*valid)(const uint32_t* block);
    void (*loaded)() = nullptr;
};

template <size_t N>
constexpr StateUnit MakeStateUnit(const StateWords (&words)[N], bool (*valid)(const uint32_t*),
                                  void (*loaded)() = nullptr) {
    return StateUnit{words, N, valid, loaded};
}

}  // namespace koru
