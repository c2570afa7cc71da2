// Writes the program's picture, drawn by the same code as the window's:
//   koru-icon SIZE FILE [SIZE FILE ...]   PNG files for the desktop entry
//   koru-icon --ico FILE                  the Windows program's icon
//   koru-icon --bmp SIZE FILE             its dialogs' "LOGO" bitmap
// The Windows files are made here, where Qt draws, and kept in the sources
// beside the resource script, since a cross build has no Qt to draw with.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/qt/logo.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// The picture with straight (not premultiplied) alpha.
QImage Straight(int size) { return koru::LogoImage(size).convertToFormat(QImage::Format_ARGB32); }

// A 40-byte BITMAPINFOHEADER of a 32-bit uncompressed picture.
void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, uint32_t imageBytes) {
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);   // planes
    Put16(out, 32);  // bits per pixel
    Put32(out, 0);   // uncompressed
    Put32(out, imageBytes);
    Put32(out, 2835);  // 72 dots per inch
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
}

// Rows bottom to top, each pixel blue, green, red, alpha. Pixels nobody can
// see get the dialogs' usual face colour, for viewers that ignore alpha.
void PutPixels(std::vector<uint8_t>& out, const QImage& image) {
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = row[x];
            const bool hidden = qAlpha(pixel) == 0;
            out.push_back(hidden ? 0xF0 : static_cast<uint8_t>(qBlue(pixel)));
            out.push_back(hidden ? 0xF0 : static_cast<uint8_t>(qGreen(pixel)));
            out.push_back(hidden ? 0xF0 : static_cast<uint8_t>(qRed(pixel)));
            out.push_back(static_cast<uint8_t>(qAlpha(pixel)));
        }
    }
}

// One icon image: up to 64 pixels a device-independent bitmap with its
// transparency mask (what every Windows reads); larger ones as PNG, which is
// how large icons are kept.
std::vector<uint8_t> IconImage(int size) {
    std::vector<uint8_t> out;
    const QImage image = Straight(size);
    if (size > 64) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        out.assign(png.begin(), png.end());
        return out;
    }
    const uint32_t maskRow = static_cast<uint32_t>((size + 31) / 32 * 4);
    PutInfoHeader(out, size, 2 * size, static_cast<uint32_t>(size * size * 4) + maskRow * size);
    PutPixels(out, image);
    // The mask: a set bit where the picture is fully transparent.
    for (int y = size - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskRow, 0);
        for (int x = 0; x < size; ++x) {
            if (qAlpha(image.pixel(x, y)) == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

bool WriteFile(const char* path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

bool WriteIcon(const char* path) {
    const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    std::vector<std::vector<uint8_t>> images;
    for (int size : sizes) images.push_back(IconImage(size));
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);  // an icon
    Put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int size = sizes[i];
        out.push_back(static_cast<uint8_t>(size == 256 ? 0 : size));  // 0 means 256
        out.push_back(static_cast<uint8_t>(size == 256 ? 0 : size));
        out.push_back(0);  // no palette
        out.push_back(0);
        Put16(out, 1);   // planes
        Put16(out, 32);  // bits per pixel
        Put32(out, static_cast<uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    return WriteFile(path, out);
}

bool WriteBitmap(int size, const char* path) {
    const QImage image = Straight(size);
    const uint32_t imageBytes = static_cast<uint32_t>(size * size * 4);
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + imageBytes);
    Put32(out, 0);
    Put32(out, 14 + 40);
    PutInfoHeader(out, size, size, imageBytes);
    PutPixels(out, image);
    return WriteFile(path, out);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: koru-icon SIZE FILE [SIZE FILE ...]\n"
                 "       koru-icon --ico FILE\n"
                 "       koru-icon --bmp SIZE FILE\n");
    return 2;
}

bool SizeOk(int size) { return size >= 8 && size <= 1024; }

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--ico") == 0) {
        if (WriteIcon(argv[2])) return 0;
        std::fprintf(stderr, "koru-icon: cannot write %s\n", argv[2]);
        return 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "--bmp") == 0) {
        const int size = std::atoi(argv[2]);
        if (SizeOk(size) && WriteBitmap(size, argv[3])) return 0;
        std::fprintf(stderr, "koru-icon: cannot write %s\n", argv[3]);
        return 1;
    }
    if (argc < 3 || argc % 2 == 0) return Usage();
    for (int i = 1; i + 1 < argc; i += 2) {
        const int size = std::atoi(argv[i]);
        if (!SizeOk(size) || !koru::LogoImage(size).save(argv[i + 1], "PNG")) {
            std::fprintf(stderr, "koru-icon: cannot write %s\n", argv[i + 1]);
            return 1;
        }
    }
    return 0;
}
