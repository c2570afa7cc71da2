#include "demo_run.h"

#ifndef KORU_PLAIN_PNG_READER
#include <png.h>
#endif

#include <algorithm>

#include "font.h"

namespace koru::test {

namespace fs = std::filesystem;

#ifdef KORU_PLAIN_PNG_READER
namespace {

uint32_t Big(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

// The 8-bit RGB pixels of a PNG whose image data is unfiltered rows in
// stored deflate blocks, as the Windows koru-headless writes it; empty for
// anything else.
std::vector<uint8_t> ReadPlainPng(const fs::path& path, uint32_t& width, uint32_t& height) {
    const std::vector<uint8_t> file = ReadFile(path);
    std::vector<uint8_t> zlib;
    width = height = 0;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = Big(file, at);
        if (at + 12 + length > file.size()) return {};
        const std::string type(file.begin() + at + 4, file.begin() + at + 8);
        if (type == "IHDR" && length == 13) {
            width = Big(file, at + 8);
            height = Big(file, at + 12);
            if (file[at + 16] != 8 || file[at + 17] != 2 || file[at + 20] != 0) return {};
        } else if (type == "IDAT") {
            zlib.insert(zlib.end(), file.begin() + at + 8, file.begin() + at + 8 + length);
        }
        at += 12 + length;
    }
    std::vector<uint8_t> raw;
    size_t at = 2;
    for (bool last = false; !last;) {
        if (at + 5 > zlib.size() || (zlib[at] & 6) != 0) return {};  // stored blocks only
        last = zlib[at] & 1;
        const size_t length = zlib[at + 1] | zlib[at + 2] << 8;
        at += 5;
        if (at + length > zlib.size()) return {};
        raw.insert(raw.end(), zlib.begin() + at, zlib.begin() + at + length);
        at += length;
    }
    const size_t row = static_cast<size_t>(width) * 3;
    if (raw.size() != (row + 1) * height) return {};
    std::vector<uint8_t> rgb;
    for (uint32_t y = 0; y < height; ++y) {
        if (raw[y * (row + 1)] != 0) return {};  // filter "none" only
        rgb.insert(rgb.end(), raw.begin() + y * (row + 1) + 1, raw.begin() + (y + 1) * (row + 1));
    }
    return rgb;
}

}  // namespace

Screen ReadScreen(const fs::path& path) {
    Screen screen;
    uint32_t width = 0, height = 0;
    const std::vector<uint8_t> rgb = ReadPlainPng(path, width, height);
    if (rgb.empty() || width != 240 || height != 160) return screen;
#else
Screen ReadScreen(const fs::path& path) {
    Screen screen;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return screen;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    const bool ok = image.width == 240 && image.height == 160 &&
                    png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
    png_image_free(&image);
    if (!ok) return screen;
#endif
    screen.pixels.resize(240 * 160);
    for (size_t i = 0; i < screen.pixels.size(); ++i)
        screen.pixels[i] = static_cast<uint16_t>((rgb[3 * i] >> 3) | ((rgb[3 * i + 1] >> 3) << 5) | ((rgb[3 * i + 2] >> 3) << 10));
    return screen;
}

namespace {

template <typename F>
uint16_t PerChannel(uint16_t a, uint16_t b, F f) {
    uint16_t out = 0;
    for (int shift = 0; shift < 15; shift += 5) {
        const int v = std::min(31, f((a >> shift) & 31, (b >> shift) & 31));
        out = static_cast<uint16_t>(out | (v << shift));
    }
    return out;
}

}  // namespace

uint16_t Blend(uint16_t top, uint16_t bottom, int top_weight, int bottom_weight) {
    return PerChannel(top, bottom, [&](int t, int b) { return (t * top_weight + b * bottom_weight) >> 4; });
}

uint16_t Brighten(uint16_t colour, int weight) {
    return PerChannel(colour, 0, [&](int c, int) { return (c * 16 + (31 - c) * weight) >> 4; });
}

uint16_t Darken(uint16_t colour, int weight) {
    return PerChannel(colour, 0, [&](int c, int) { return (c * (16 - weight)) >> 4; });
}

int CountOnLine(const Screen& screen, int y, uint16_t colour) {
    int n = 0;
    for (int x = 0; x < 240; ++x) n += screen.At(x, y) == colour;
    return n;
}

double TextMatch(const Screen& screen, int col, int row, const std::string& text, uint16_t ink, uint16_t shadow) {
    int expected = 0, matched = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const int g = FontGlyph(text[i]);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool is_ink = FontInk(g, x, y), is_shadow = !is_ink && FontInk(g, x - 1, y - 1);
                if (!is_ink && !is_shadow) continue;
                ++expected;
                const int sx = (col + static_cast<int>(i)) * 8 + x, sy = row * 8 + y;
                if (sx < 240 && sy < 160) matched += screen.At(sx, sy) == (is_ink ? ink : shadow);
            }
    }
    return expected ? static_cast<double>(matched) / expected : 0.0;
}

void DemoTest::SetUp() {
    TempDirTest::SetUp();
    const fs::path rom = BuiltRom("demo");
    KORU_REQUIRE(fs::exists(rom), "the demo cartridge was not built (no arm-none-eabi-gcc)");
    fs::copy_file(rom, dir / "demo.gba");
}

Screen DemoTest::Run(int frames, const std::string& keys, const std::string& extra) {
    fs::remove(dir / "shot.png");
    std::string args = "--frames " + std::to_string(frames) + " --screenshot shot.png ";
    if (!keys.empty()) args += "--keys " + keys + " ";
    std::string out;
    EXPECT_EQ(RunHeadless(args + extra + " demo.gba", &out), 0) << out;
    Screen screen = ReadScreen(dir / "shot.png");
    EXPECT_FALSE(screen.Empty()) << "no screenshot after " << frames << " frames";
    return screen;
}

}  // namespace koru::test
