#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "frontend/commands.h"
#include "frontend/config.h"
#include "frontend/frontend.h"
#include "frontend/ini.h"
#include "frontend/input.h"
#include "frontend_test.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "support/test_host.h"

namespace koru::test {
namespace {

class StartupTest : public FrontendTest {
protected:
    void Ini(const std::string& text) {
        std::ofstream out(dir / "KORU.ini", std::ios::binary);
        out << text;
    }
    std::string Cartridge(const char* name, const char* title) {
        WriteFile(dir / name, MakeCartridge(64 * 1024, title));
        return (dir / name).string();
    }
    // Runs the program until it ends; the status it ended with, or -1 when
    // RunDesktop returned (its result is then in returned).
    int Run(const std::string& commandLine) {
        try {
            returned = RunDesktop(commandLine.c_str());
            return -1;
        } catch (const ProcessExit& exit) {
            return exit.status;
        }
    }
    // The user quits at the next frame.
    static void QuitAtNextFrame() {
        PollInputHook = [] {
            OnDestroy();
            return 0u;
        };
    }
    int returned = -99;
};

TEST_F(StartupTest, TheIniFileLiesInTheCurrentDirectory) {
    const std::string separator(1, platform::PathSeparator);
    Fake.currentDirectory = separator + "games" + separator + "gba";
    BuildIniPath();
    EXPECT_STREQ(IniPath, (*Fake.currentDirectory + separator + "KORU.ini").c_str());
    // A directory that ends in a separator (a drive's root) gets no second
    // one.
    Fake.currentDirectory = "C:" + separator;
    BuildIniPath();
    EXPECT_STREQ(IniPath, ("C:" + separator + "KORU.ini").c_str());
    // Without a current directory (or one longer than 200 characters) the
    // bare name is used.
    Fake.currentDirectory.reset();
    BuildIniPath();
    EXPECT_STREQ(IniPath, "KORU.ini");
    Fake.currentDirectory = separator + std::string(200, 'd');
    BuildIniPath();
    EXPECT_STREQ(IniPath, "KORU.ini");
    Fake.currentDirectory = std::string(200, 'd');
    BuildIniPath();
    EXPECT_STREQ(IniPath, (std::string(200, 'd') + separator + "KORU.ini").c_str());
}

TEST_F(StartupTest, WithNoCommandLineTheDialogOffersTheDefaultCartridge) {
    Verbose = 5;
    EXPECT_EQ(Run(""), -1);
    EXPECT_EQ(returned, 0);  // cancelled
    EXPECT_EQ(Verbose, 0u);
    ASSERT_EQ(Fake.fileStarts.size(), 1u);
    EXPECT_EQ(Fake.fileStarts[0], "CART.GBA");
    const std::vector<std::string> expected = {
        "CreateMainWindow", "CreateFrameSurface 500 160", "AcquireWindowContext", "SetClientSize 240 160",
        "MoveWindowTo 50 50", "SetClientSize 240 160", "MoveWindowTo 50 50", "OpenFileDialog cartridges",
        "ReleaseWindowContext", "FreeFrameSurface"};
    EXPECT_EQ(Fake.calls, expected);
    EXPECT_EQ(EmulationActive, 1u);
}

TEST_F(StartupTest, TheIniGivesGeometryAndTheLastCartridge) {
    Ini("[KORU]\nWidth=720\nHeight=-480\nX=-10\nY=7\nCartridge=/x/last.gba\n");
    Run("");
    EXPECT_TRUE(Fake.Called("SetClientSize 720 -480"));
    EXPECT_TRUE(Fake.Called("MoveWindowTo -10 7"));
    ASSERT_EQ(Fake.fileStarts.size(), 1u);
    EXPECT_EQ(Fake.fileStarts[0], "/x/last.gba");
}

TEST_F(StartupTest, ACommandLineIsRunWithoutDialogAndAsItIs) {
    const std::string game = Cartridge("my game.gba", "ZELDA");
    QuitAtNextFrame();
    EXPECT_EQ(Run(game), 0);
    EXPECT_EQ(Fake.Count("OpenFileDialog"), 0);
    EXPECT_STREQ(CartridgeSection, "ZELDA");
    char name[251];
    ProfileGetString("KORU", "Cartridge", "", name, sizeof name, IniPath);
    EXPECT_EQ(name, game);
}

// The dialog says why in its title; Cancel there ends the program as
// quitting does, with the name written.
TEST_F(StartupTest, ACartridgeThatCannotRunBringsTheDialogWithTheReasonAndCancelQuits) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run("\"quoted.gba\""), 0);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(CartridgeName, "\"quoted.gba\"");  // quotes are part of the name
    // Windows allows no quotes in a file's name.
#ifdef _WIN32
    const std::string reason = "it cannot be opened";
#else
    const std::string reason = "no such file";
#endif
    ASSERT_EQ(Fake.fileTitles.size(), 1u);
    EXPECT_EQ(Fake.fileTitles[0], "Open cartridge - \"quoted.gba\": " + reason);
    EXPECT_NE(message.find("cannot run \"quoted.gba\": " + reason), std::string::npos) << message;
    EXPECT_TRUE(Fake.Called("FreeFrameSurface"));
    EXPECT_NE(Text("KORU.ini").find("Cartridge=\"quoted.gba\""), std::string::npos) << Text("KORU.ini");
}

TEST_F(StartupTest, TheReasonsOfARefusal) {
    EXPECT_EQ(RefusalReason((dir / "missing.gba").string().c_str()), "no such file");
    WriteFile(dir / "empty.gba", {});
    EXPECT_EQ(RefusalReason((dir / "empty.gba").string().c_str()), "the file is empty");
    std::vector<uint8_t> image = MakeCartridge(64 * 1024, "HOMEBREW");
    image[0xBE] ^= 0x55;  // a CRC field that is not the length, as on real cartridges
    WriteFile(dir / "game.gba", image);
    CheckCRC = 1;
    EXPECT_EQ(RefusalReason((dir / "game.gba").string().c_str()), "cartridge check failed");
    EXPECT_EQ(RefusalTitle((dir / "game.gba").string().c_str(), "cartridge check failed"),
              "Open cartridge - game.gba: cartridge check failed");
}

TEST_F(StartupTest, ALongCommandLineIsRefusedAndTheDialogComesUp) {
    Ini("[KORU]\nCartridge=last.gba\n");
    const std::string game = Cartridge("game.gba", "METROID");
    const std::string longName = std::string(200, 'x') + " " + std::string(60, 'y') + ".gba";
    Fake.fileAnswers = {game};
    QuitAtNextFrame();
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(longName), 0);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("longer than 250"), std::string::npos) << message;
    ASSERT_EQ(Fake.fileStarts.size(), 1u);
    EXPECT_EQ(Fake.fileStarts[0], "last.gba");
    EXPECT_STREQ(CartridgeName, game.c_str());
    EXPECT_STREQ(CartridgeSection, "METROID");
    // Nothing was made from a cut name.
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        EXPECT_EQ(entry.path().filename().string().find("xxx"), std::string::npos);
    }
}

TEST_F(StartupTest, NoWindowNoProgram) {
    Fake.windowFails = true;
    testing::internal::CaptureStderr();
    Run("game.gba");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(returned, 1);
    EXPECT_EQ(Fake.Count("OpenFileDialog"), 0);
}

TEST_F(StartupTest, ARunAskedToStopStartsTheNewCartridge) {
    const std::string first = Cartridge("first.gba", "FIRST");
    const std::string second = Cartridge("second.gba", "SECOND");
    int frames = 0;
    PollInputHook = [&] {
        if (++frames == 1) {
            // File / New chose the second cartridge.
            std::strcpy(CartridgeName, second.c_str());
            ExitRequest = 1;
        } else {
            OnDestroy();
        }
        return 0u;
    };
    EXPECT_EQ(Run(first), 0);
    EXPECT_STREQ(CartridgeSection, "SECOND");
    EXPECT_EQ(Fake.Count("OpenFileDialog"), 0);
}

TEST_F(StartupTest, ALaterCartridgeThatCannotRunBringsTheDialog) {
    const std::string first = Cartridge("first.gba", "FIRST");
    int frames = 0;
    PollInputHook = [&] {
        if (++frames == 1) {
            std::strcpy(CartridgeName, (dir / "missing.gba").string().c_str());
            ExitRequest = 1;
        } else {
            OnDestroy();
        }
        return 0u;
    };
    Fake.fileAnswers = {first};
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(first), 0);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(Fake.fileStarts.size(), 1u);
    EXPECT_EQ(Fake.fileStarts[0], (dir / "missing.gba").string());
    EXPECT_EQ(Fake.fileTitles[0], "Open cartridge - missing.gba: no such file");
    EXPECT_EQ(frames, 2);
}

// Alone on the command line, --help and --version are answered and the
// program ends; with anything beside them they name a cartridge.
TEST_F(StartupTest, HelpAndVersionAreAnsweredOnlyAlone) {
    const char* help[] = {"koru", "--help"};
    const char* version[] = {"koru", "--version"};
    const char* more[] = {"koru", "--help", "me.gba"};
    const char* game[] = {"koru", "game.gba"};
    testing::internal::CaptureStdout();
    EXPECT_EQ(InformationOption(2, help), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("Usage: koru [CARTRIDGE]\n", 0), 0u);
    testing::internal::CaptureStdout();
    EXPECT_EQ(InformationOption(2, version), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("koru ") + KORU_TEST_VERSION + "\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(InformationOption(3, more), -1);
    EXPECT_EQ(InformationOption(2, game), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
}  // namespace koru::test
