#include "headless/screenshot.h"

#include <png.h>

#include <cstdio>
#include <vector>

namespace koru::headless {

bool WriteScreenshot(const std::string& path, const uint16_t* pixels) {
    constexpr int Width = 240, Height = 160;
    std::vector<png_byte> rgb(Width * Height * 3);
    for (int i = 0; i < Width * Height; ++i) {
        const uint16_t p = pixels[i];
        const unsigned channels[3] = {(p >> 10) & 31u, (p >> 5) & 31u, p & 31u};
        for (int c = 0; c < 3; ++c) rgb[3 * i + c] = static_cast<png_byte>((channels[c] << 3) | (channels[c] >> 2));
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        std::remove(path.c_str());
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, Width, Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < Height; ++y) png_write_row(png, &rgb[y * Width * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

}  // namespace koru::headless
