// Fills in the header of a cartridge built from source: title, game code,
// complement byte and a CRC field that matches the image length, so that the
// cartridge passes the emulator's start-up checks with "CheckCRC" on.
//
//   gbafix FILE.gba TITLE [CODE]
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: gbafix FILE.gba TITLE [CODE]\n");
        return 2;
    }
    std::FILE* f = std::fopen(argv[1], "rb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<unsigned char> image;
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) image.insert(image.end(), buffer, buffer + n);
    std::fclose(f);
    if (image.size() < 0xC0) image.resize(0xC0, 0);
    // Whole words, so that the last instruction or constant is never cut.
    while (image.size() % 4) image.push_back(0);

    std::memset(&image[0xA0], 0, 12);
    std::memcpy(&image[0xA0], argv[2], std::min<size_t>(12, std::strlen(argv[2])));
    if (argc > 3) std::memcpy(&image[0xAC], argv[3], std::min<size_t>(4, std::strlen(argv[3])));
    image[0xB2] = 0x96;

    unsigned char complement = 0xE7;
    for (int i = 0xA0; i <= 0xBC; ++i) complement = static_cast<unsigned char>(complement - image[i]);
    image[0xBD] = complement;

    // The emulator's CRC value is the image length modulo 65536, big-endian.
    const unsigned crc = static_cast<unsigned>(image.size() & 0xFFFF);
    image[0xBE] = static_cast<unsigned char>(crc >> 8);
    image[0xBF] = static_cast<unsigned char>(crc & 0xFF);

    f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(image.data(), 1, image.size(), f) != image.size()) {
        std::perror(argv[1]);
        if (f) std::fclose(f);
        return 1;
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
