#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "frontend/ini.h"
#include "frontend_test.h"

namespace koru::test {
namespace {

class IniTest : public FrontendTest {
protected:
    void Write(const std::string& text) {
        std::ofstream out(dir / "KORU.ini", std::ios::binary);
        out << text;
    }
    std::string Get(const char* section, const char* key, const char* fallback = "none", int size = 251) {
        char buffer[300];
        ProfileGetString(section, key, fallback, buffer, size, "KORU.ini");
        return buffer;
    }
};

TEST_F(IniTest, NamesMatchWithoutRegardToCaseOrSurroundingBlanks) {
    Write("[koru]\n  soundrate = 22050 \n[Zelda Game]\nAutoFire=3\n");
    EXPECT_EQ(ProfileGetInt("KORU", "SoundRate", 1, "KORU.ini"), 22050);
    EXPECT_EQ(ProfileGetInt("ZELDA GAME", "autofire", 0, "KORU.ini"), 3);
    EXPECT_EQ(Get("Koru", "SOUNDRATE"), "22050");
    // A key of another section is not found.
    EXPECT_EQ(ProfileGetInt("KORU", "AutoFire", 7, "KORU.ini"), 7);
}

TEST_F(IniTest, FirstSectionAndFirstKeyOfANameWin) {
    Write("[KORU]\nWidth=480\nWidth=720\n[Other]\n[KORU]\nWidth=960\nHeight=640\n");
    EXPECT_EQ(ProfileGetInt("KORU", "Width", 0, "KORU.ini"), 480);
    EXPECT_EQ(ProfileGetInt("KORU", "Height", 160, "KORU.ini"), 160);
}

TEST_F(IniTest, IntegersAreReadLikeThePrivateProfileCall) {
    Write("[KORU]\nA=12px\nB=-5\nC=abc\nD=  +7\nE=\nF=0x10\nG=\"42\"\n");
    EXPECT_EQ(ProfileGetInt("KORU", "A", 1, "KORU.ini"), 12);   // trailing text ignored
    EXPECT_EQ(ProfileGetInt("KORU", "B", 1, "KORU.ini"), -5);   // negative passed on
    EXPECT_EQ(ProfileGetInt("KORU", "C", 1, "KORU.ini"), 0);    // no digits: 0, not the default
    EXPECT_EQ(ProfileGetInt("KORU", "D", 1, "KORU.ini"), 7);
    EXPECT_EQ(ProfileGetInt("KORU", "E", 99, "KORU.ini"), 99);  // empty value: the default
    EXPECT_EQ(ProfileGetInt("KORU", "F", 1, "KORU.ini"), 0);    // decimal only
    EXPECT_EQ(ProfileGetInt("KORU", "G", 1, "KORU.ini"), 42);   // quotes removed first
    EXPECT_EQ(ProfileGetInt("KORU", "Missing", -3, "KORU.ini"), -3);
    EXPECT_EQ(ProfileGetInt("KORU", "A", 5, "missing.ini"), 5);
}

TEST_F(IniTest, StringsLoseQuotesAndBlanksAndAreCutToTheBuffer) {
    Write("[KORU]\nSoundLogFile = \"my log.mid\" \nSingle='x'\nOdd=\"x\n");
    EXPECT_EQ(Get("KORU", "SoundLogFile"), "my log.mid");
    EXPECT_EQ(Get("KORU", "Single"), "x");
    EXPECT_EQ(Get("KORU", "Odd"), "\"x");
    EXPECT_EQ(Get("KORU", "SoundLogFile", "", 5), "my l");
    // The default loses its trailing blanks.
    EXPECT_EQ(Get("KORU", "Cartridge", "CART.GBA   "), "CART.GBA");
    char buffer[16];
    EXPECT_EQ(ProfileGetString("KORU", "Missing", "LOG.MID", buffer, sizeof buffer, "KORU.ini"), 7);
}

TEST_F(IniTest, WritingKeepsEveryOtherLineAndReplacesInPlace) {
    Write("; settings of my games\n[KORU]\nWidth=240 ; old\n# not ours\n\n[GAME]\nAutoFire=1\n");
    ASSERT_TRUE(ProfileWriteString("koru", "WIDTH", "720", "KORU.ini"));
    ASSERT_TRUE(ProfileWriteString("KORU", "Height", "480", "KORU.ini"));
    ASSERT_TRUE(ProfileWriteString("GAME", "UseDrums", "1", "KORU.ini"));
    ASSERT_TRUE(ProfileWriteString("New Game", "SoundSwitch", "32783", "KORU.ini"));
    EXPECT_EQ(Text("KORU.ini"),
              "; settings of my games\n[KORU]\nWIDTH=720\n# not ours\nHeight=480\n\n[GAME]\nAutoFire=1\nUseDrums=1\n"
              "\n[New Game]\nSoundSwitch=32783\n");
    EXPECT_EQ(ProfileGetInt("KORU", "Width", 0, "KORU.ini"), 720);
}

TEST_F(IniTest, WindowsLineEndingsAreKept) {
    Write("[KORU]\r\nWidth=240\r\n");
    ASSERT_TRUE(ProfileWriteString("KORU", "X", "50", "KORU.ini"));
    EXPECT_EQ(Text("KORU.ini"), "[KORU]\r\nWidth=240\r\nX=50\r\n");
    EXPECT_EQ(ProfileGetInt("KORU", "Width", 0, "KORU.ini"), 240);
}

TEST_F(IniTest, LinesOfMixedEndingsComeBackByteForByte) {
    // A file edited on two systems: every line the program does not change
    // keeps its own ending, stray carriage returns included, write after
    // write.
    const std::string mixed = "; notes\n[KORU]\r\nWidth=240\r\r\nodd line\r\n[GAME]\nAutoFire=1";
    Write(mixed);
    ASSERT_TRUE(ProfileWriteString("KORU", "X", "50", "KORU.ini"));
    ASSERT_TRUE(ProfileWriteString("KORU", "X", "60", "KORU.ini"));
    EXPECT_EQ(Text("KORU.ini"), "; notes\n[KORU]\r\nWidth=240\r\r\nodd line\r\nX=60\n[GAME]\nAutoFire=1\n");
    const IniDocument document(mixed);
    EXPECT_EQ(IniDocument(document.Text()).Text(), document.Text());
}

TEST_F(IniTest, AFileIsCreatedWhenMissing) {
    ASSERT_TRUE(ProfileWriteString("KORU", "Cartridge", "/games/a b.gba", "KORU.ini"));
    EXPECT_EQ(Text("KORU.ini"), "[KORU]\nCartridge=/games/a b.gba\n");
}

TEST_F(IniTest, TheFileIsReplacedWholeNotRewrittenInPlace) {
    Write("[KORU]\nWidth=240\n");
#ifndef _WIN32
    chmod((dir / "KORU.ini").string().c_str(), 0600);
#endif
    // A second name for the old file keeps its old text: the new text went
    // to a new file that was renamed over the name.
    std::filesystem::create_hard_link(dir / "KORU.ini", dir / "old.ini");
    ASSERT_TRUE(ProfileWriteString("KORU", "Width", "720", "KORU.ini"));
    EXPECT_EQ(Text("old.ini"), "[KORU]\nWidth=240\n");
    EXPECT_EQ(Text("KORU.ini"), "[KORU]\nWidth=720\n");
#ifndef _WIN32
    struct stat info;
    ASSERT_EQ(stat((dir / "KORU.ini").string().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
#endif
    // No temporary file is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 2);
}

TEST_F(IniTest, AWriteThatCannotBeMadeLeavesTheFileAlone) {
    Write("[KORU]\nWidth=240\n");
    EXPECT_FALSE(ProfileWriteString("KORU", "Width", "720", "no/such/dir/KORU.ini"));
    // A line break in a name or value would add lines of its own (a
    // cartridge title can hold any byte).
    EXPECT_FALSE(ProfileWriteString("EVIL\n[KORU]", "CheckCRC", "0", "KORU.ini"));
    EXPECT_FALSE(ProfileWriteString("KORU", "Width", "720\nCheckCRC=0", "KORU.ini"));
    EXPECT_FALSE(ProfileWriteString("KORU", "A=B", "1", "KORU.ini"));
    EXPECT_EQ(Text("KORU.ini"), "[KORU]\nWidth=240\n");
}

TEST_F(IniTest, ASectionNameHoldingABracketFindsItselfAgain) {
    ASSERT_TRUE(ProfileWriteString("A]B", "AutoFire", "1", "KORU.ini"));
    ASSERT_TRUE(ProfileWriteString("A]B", "AutoFire", "2", "KORU.ini"));
    EXPECT_EQ(ProfileGetInt("A]B", "AutoFire", 0, "KORU.ini"), 2);
    EXPECT_EQ(Text("KORU.ini"), "[A]B]\nAutoFire=2\n");
}

}  // namespace
}  // namespace koru::test
