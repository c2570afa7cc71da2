#include "headless/screenshot.h"

#include <cstdio>
#include <vector>

#ifdef KORU_HAVE_LIBPNG
#include <png.h>
#else
#include "headless/png_writer.h"
#endif

namespace koru::headless {
namespace {

constexpr int Width = 240, Height = 160;

#ifdef KORU_HAVE_LIBPNG
bool WriteRgbPng(std::FILE* file, const std::vector<uint8_t>& rgb) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, Width, Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < Height; ++y) png_write_row(png, &rgb[y * Width * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
#else
bool WriteRgbPng(std::FILE* file, const std::vector<uint8_t>& rgb) {
    const std::vector<uint8_t> bytes = EncodePlainPng(rgb.data(), Width, Height);
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}
#endif

}  // namespace

bool WriteScreenshot(const std::string& path, const uint16_t* pixels) {
    std::vector<uint8_t> rgb(Width * Height * 3);
    for (int i = 0; i < Width * Height; ++i) {
        const uint16_t p = pixels[i];
        const unsigned channels[3] = {(p >> 10) & 31u, (p >> 5) & 31u, p & 31u};
        for (int c = 0; c < 3; ++c) rgb[3 * i + c] = static_cast<uint8_t>((channels[c] << 3) | (channels[c] >> 2));
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = WriteRgbPng(file, rgb);
    if (std::fclose(file) != 0 || !written) {
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace koru::headless
