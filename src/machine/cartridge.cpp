#include "machine/cartridge.h"

#include "machine/log.h"
#include "machine/memory.h"

namespace koru {

namespace {

struct MakerEntry {
    uint32_t code;  // the two maker characters as a big-endian number
    const char* name;
};

// Searched from the first row; the null name ends it.
const MakerEntry MakerTable[] = {
    {0x3031, "Nintendo"}, {0x3038, "Capcom"}, {0x3138, "Hudson Soft"},
    {0x3238, "Kemco"},    {0x324C, "TAM"},    {0x3850, "SEGA"},
    {0x4134, "Konami/KCEO"}, {0x4146, "Namco"}, {0x424C, "MTO"},
    {0x4338, "KOEI"},     {0x4542, "Atlus"},  {0x454C, "Spike"},
    {0x454D, "Konami"},   {0, nullptr},
};

char TitleBuffer[13];

}  // namespace

const char* CartTitle(const uint8_t* image) {
    int i = 0;
    for (; i < 12 && image[0xA0 + i] != 0; ++i) TitleBuffer[i] = static_cast<char>(image[0xA0 + i]);
    TitleBuffer[i] = 0;
    return TitleBuffer;
}

uint16_t CartCrc(const uint8_t* /*image*/, int32_t length) {
    return length > 0 ? static_cast<uint16_t>(length & 0xFFFF) : 0;
}

uint8_t CartComplement(const uint8_t* image) {
    uint8_t sum = 0xE7;
    for (int i = 0xA0; i <= 0xBC; ++i) sum = static_cast<uint8_t>(sum - image[i]);
    return sum;
}

const char* CartMaker(const uint8_t* image) {
    const uint32_t code = (image[0xB0] << 8) | image[0xB1];
    for (const MakerEntry* entry = MakerTable; entry->name; ++entry) {
        if ((entry->code & 0xFFFF) == code) return entry->name;
    }
    return nullptr;
}

uint16_t CartCrcField(const uint8_t* image) {
    return static_cast<uint16_t>((image[0xBE] << 8) | image[0xBF]);
}

uint32_t CartEntryAddress(const uint8_t* image) {
    return (Peek32(image) & 0x00FFFFFF) * 4 + 0x08000008;
}

void WriteHeaderReport(const uint8_t* image, int32_t romSize) {
    const char* maker = CartMaker(image);
    Log("  Title:    %s (%c%c%c%c)\n", CartTitle(image), image[0xAC], image[0xAD], image[0xAE], image[0xAF]);
    Log("  Maker:    %s (%c%c)\n", maker ? maker : "Unknown", image[0xB0], image[0xB1]);
    Log("  Japanese: %s\n", image[0xAF] == 'J' ? "YES" : "NO");
    Log("  Version:  %02Xh\n", image[0xBC]);
    Log("  Unit:     %02Xh\n", image[0xB3]);
    Log("  Device:   %02Xh\n", image[0xB4]);
    Log("  Start:    %08Xh\n", CartEntryAddress(image));
    Log("  CRC:      %04Xh (\x96\x14=%04Xh)\n", CartCrcField(image), CartCrc(image, romSize));
    Log("  CMP:      %02Xh (\x96\x14=%02Xh)\n", image[0xBD], CartComplement(image));
}

}  // namespace koru
