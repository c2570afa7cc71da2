// The cartridge header routines and the report written at start-up.
#include <gtest/gtest.h>

#include "machine/cartridge.h"
#include "machine/log.h"
#include "support/test_machine.h"

namespace koru {
namespace {

TEST(CartridgeHeader, CrcValueIsTheLengthKeptToSixteenBits) {
    std::vector<uint8_t> image(192, 0);
    EXPECT_EQ(CartCrc(image.data(), 4 * 1024 * 1024), 0);
    EXPECT_EQ(CartCrc(image.data(), 4000000), 0x0900);
    EXPECT_EQ(CartCrc(image.data(), 0), 0);
    EXPECT_EQ(CartCrc(image.data(), -5), 0);
}

TEST(CartridgeHeader, ComplementCountsBytesA0ThroughBC) {
    std::vector<uint8_t> image(192, 0);
    EXPECT_EQ(CartComplement(image.data()), 0xE7);
    image[0xA0] = 0x01;
    image[0xBC] = 0x02;
    image[0xBD] = 0x50;  // outside the range
    image[0x9F] = 0x50;
    EXPECT_EQ(CartComplement(image.data()), 0xE4);
    for (int i = 0xA0; i <= 0xBC; ++i) image[i] = 0xFF;
    // -(0x19 + 29 * 0xFF) mod 256
    EXPECT_EQ(CartComplement(image.data()), static_cast<uint8_t>(-(0x19 + 29 * 0xFF)));
}

TEST(CartridgeHeader, TitleStopsAtNulOrTwelveCharacters) {
    std::vector<uint8_t> image(192, 0);
    const char full[] = "ABCDEFGHIJKLMNOP";
    for (int i = 0; i < 16; ++i) image[0xA0 + i] = static_cast<uint8_t>(full[i]);
    EXPECT_STREQ(CartTitle(image.data()), "ABCDEFGHIJKL");
    image[0xA3] = 0;
    EXPECT_STREQ(CartTitle(image.data()), "ABC");
}

TEST(CartridgeHeader, MakerLookupAndEntryAddress) {
    std::vector<uint8_t> image(192, 0);
    image[0xB0] = '0';
    image[0xB1] = '1';
    EXPECT_STREQ(CartMaker(image.data()), "Nintendo");
    image[0xB0] = 'E';
    image[0xB1] = 'M';
    EXPECT_STREQ(CartMaker(image.data()), "Konami");
    image[0xB0] = 'Z';
    image[0xB1] = 'Z';
    EXPECT_EQ(CartMaker(image.data()), nullptr);
    image[0] = 0x2E;
    image[3] = 0xEA;
    EXPECT_EQ(CartEntryAddress(image.data()), 0x080000C0u);
    image[2] = 0x80;  // a negative offset is not sign-extended
    EXPECT_EQ(CartEntryAddress(image.data()), 0x080000C0u + 0x800000u * 4);
}

TEST(CartridgeHeader, ReportUsesTheExactFormats) {
    auto image = test::MakeCartridge(65536, "TWELVECHARSX");
    image[0xAF] = 'J';
    image[0xB0] = 'Z';
    image[0xB1] = 'Z';
    image[0xBC] = 0x05;
    testing::internal::CaptureStdout();
    WriteHeaderReport(image.data(), 65536);
    const std::string report = testing::internal::GetCapturedStdout();
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "  Title:    TWELVECHARSX (KTSJ)\n"
                  "  Maker:    Unknown (ZZ)\n"
                  "  Japanese: YES\n"
                  "  Version:  05h\n"
                  "  Unit:     00h\n"
                  "  Device:   00h\n"
                  "  Start:    080000C0h\n"
                  "  CRC:      %04Xh (\x96\x14=0000h)\n"
                  "  CMP:      %02Xh (\x96\x14=%02Xh)\n",
                  (image[0xBE] << 8) | image[0xBF], image[0xBD], CartComplement(image.data()));
    EXPECT_EQ(report, expected);
}

}  // namespace
}  // namespace koru
