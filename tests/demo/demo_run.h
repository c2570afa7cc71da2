// Running the demo cartridge through koru-headless and reading what it
// showed, in the console's own colour terms.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_machine.h"

namespace koru::test {

// A 240x160 screenshot as console colours (15 bits, red in bits 0-4). The
// screenshot's 8-bit channels are turned back into 5 bits, which is exact
// for the (v << 3) | (v >> 2) widening that screenshots use.
struct Screen {
    std::vector<uint16_t> pixels;
    uint16_t At(int x, int y) const { return pixels[y * 240 + x]; }
    bool Empty() const { return pixels.empty(); }
};
Screen ReadScreen(const std::filesystem::path& png);

// The colour arithmetic of the console's effects, per 5-bit channel.
uint16_t Blend(uint16_t top, uint16_t bottom, int top_weight, int bottom_weight);
uint16_t Brighten(uint16_t colour, int weight);
uint16_t Darken(uint16_t colour, int weight);

// Pixels of line y equal to colour.
int CountOnLine(const Screen& screen, int y, uint16_t colour);

// Of the ink and shadow pixels that the font puts in the cells of `text`
// at (col, row), the fraction that shows the ink and shadow colours.
double TextMatch(const Screen& screen, int col, int row, const std::string& text, uint16_t ink, uint16_t shadow);

// Each test runs the demo from its own copy in a fresh directory, so its
// battery save starts empty.
class DemoTest : public TempDirTest {
protected:
    void SetUp() override;
    // Runs `frames` frames with the key script (koru-headless --keys) and
    // returns the last frame.
    Screen Run(int frames, const std::string& keys = "", const std::string& extra = "");
};

}  // namespace koru::test
