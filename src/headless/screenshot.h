// PNG pictures of the console screen.
#pragma once
#include <cstdint>
#include <string>

namespace koru::headless {

// Writes 240 x 160 host pixels (red bits 10-14, blue bits 0-4) as an 8-bit
// RGB PNG, each 5-bit channel widened as (c << 3) | (c >> 2).
bool WriteScreenshot(const std::string& path, const uint16_t* pixels);

}  // namespace koru::headless
