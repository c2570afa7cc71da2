// The desktop program as a user meets it: started in a fresh directory on a
// virtual X server, driven with xdotool, looked at through window captures.
// Skipped where no X server can be started.
#ifdef KORU_DESKTOP
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <png.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "frontend/ini.h"
#include "machine/savefiles.h"
#include "support/test_machine.h"
#include "support/x_session.h"

namespace koru::test {
namespace {

using namespace x;

// A 240 x 160 PNG written by koru-headless.
bool ReadPng(const std::filesystem::path& path, Picture* picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return false;
    picture->width = static_cast<int>(image.width);
    picture->height = static_cast<int>(image.height);
    picture->pixels.resize(static_cast<size_t>(image.width) * image.height);
    for (size_t i = 0; i < picture->pixels.size(); ++i) {
        picture->pixels[i] = Rgb{bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
    }
    return true;
}

class DesktopTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        const std::string missing = Server::MissingTool();
        KORU_REQUIRE(missing.empty(), missing << " is not installed");
        KORU_REQUIRE(server_.Start(), "no X server could be started");
        unsetenv("KORU_VERBOSE");
    }

    void TearDown() override {
        if (program_ > 0) {
            kill(program_, SIGKILL);
            waitpid(program_, nullptr, 0);
        }
        server_.Stop();
        TempDirTest::TearDown();
    }

    // Starts koru in the test's directory.
    void Start(const std::vector<std::string>& arguments) {
        std::vector<std::string> command = {KORU_DESKTOP};
        command.insert(command.end(), arguments.begin(), arguments.end());
        program_ = Spawn(command, (dir / "koru.out").string());
        ASSERT_GT(program_, 0);
        ASSERT_TRUE(WaitFor([&] { return !(window_ = Find("^Koru$")).empty(); }))
            << "no window; the program " << (waitpid(program_, nullptr, WNOHANG) == 0 ? "runs" : "ended")
            << "; it said: " << ReadText(dir / "koru.out.err");
        Succeeds("xdotool windowfocus --sync " + window_);
    }

    static std::string Find(const std::string& name) { return FindWindow(name); }

    void Keys(const std::string& keys) { ASSERT_TRUE(Succeeds("xdotool key --delay 60 " + keys)); }

    // Waits for the dialog and gives it the keyboard: keys typed between
    // its mapping and its taking the focus would go elsewhere.
    bool FocusDialog(const std::string& name) {
        std::string dialog;
        if (!WaitFor([&] { return !(dialog = Find(name)).empty(); })) return false;
        return Succeeds("xdotool windowfocus --sync " + dialog);
    }

    Picture Capture() { return x::Capture(window_); }
    std::pair<int, int> Geometry() { return x::Geometry(window_); }

    // The status the program ended with, or -1 if it did not end in time.
    int WaitExit() {
        int status = 0;
        const bool ended = WaitFor([&] { return waitpid(program_, &status, WNOHANG) == program_; });
        if (!ended) return -1;
        program_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string Ini(const char* section, const char* key) {
        char value[251];
        ProfileGetString(section, key, "", value, sizeof value, (dir / "KORU.ini").string().c_str());
        return value;
    }

    // A copy of a built cartridge in the test's directory, so that its
    // ".sav" and ".sta" land there.
    std::string Cartridge(const std::string& name) {
        const auto source = BuiltRom(name);
        if (!std::filesystem::exists(source)) return "";
        std::filesystem::copy_file(source, dir / (name + ".gba"), std::filesystem::copy_options::overwrite_existing);
        return (dir / (name + ".gba")).string();
    }

    // Holds Select until the keys cartridge turned yellow. A key pressed and
    // released between two frames is never seen by the game, so tests hold
    // keys until the picture shows them.
    void PressSelect() {
        ASSERT_TRUE(Succeeds("xdotool keydown Tab"));
        const bool yellow = WaitFor([&] { return Near(Middle(), Yellow); });
        ASSERT_TRUE(Succeeds("xdotool keyup Tab"));
        ASSERT_TRUE(yellow) << Describe(Middle());
    }

    // The colour the keys cartridge shows, read in the middle of the window.
    Rgb Middle() {
        const Picture picture = Capture();
        if (picture.width == 0) return Rgb{-1, -1, -1};
        return picture.At(picture.width / 2, picture.height - 40);
    }

    // The picture koru-headless makes of the cartridge with these keys held.
    bool HeadlessPicture(const std::string& cartridge, const std::string& keys, Picture* picture) {
        const auto png = dir / "headless.png";
        const std::string args = "--frames 30 " + (keys.empty() ? "" : "--keys 0:" + keys + " ") + "--screenshot " +
                                 png.string() + " " + cartridge;
        const bool ok = RunHeadless(args) == 0 && ReadPng(png, picture);
        std::filesystem::remove(png);
        std::filesystem::remove(dir / "keys.sav");
        return ok;
    }

    // The keys cartridge, once koru-headless shows it grey with no key and
    // red with A held, the colours the tests wait for; empty (and the test
    // failed) otherwise.
    std::string KeysCartridge() {
        const std::string cartridge = Cartridge("keys");
        if (cartridge.empty()) {
            ADD_FAILURE() << "the keys cartridge was not built";
            return "";
        }
        Picture idle, pressed;
        if (!HeadlessPicture(cartridge, "", &idle) || !HeadlessPicture(cartridge, "1", &pressed)) {
            ADD_FAILURE() << "koru-headless could not draw the keys cartridge";
            return "";
        }
        if (!Near(idle.At(120, 80), Grey) || !Near(pressed.At(120, 80), Red)) {
            ADD_FAILURE() << "the keys cartridge shows " << Describe(idle.At(120, 80)) << " with no key and "
                          << Describe(pressed.At(120, 80)) << " with A";
            return "";
        }
        return cartridge;
    }

    static constexpr Rgb Grey{99, 99, 99};
    static constexpr Rgb Red{255, 99, 99};
    static constexpr Rgb Green{99, 255, 99};
    static constexpr Rgb Yellow{197, 197, 0};

    Server server_;
    pid_t program_ = -1;
    std::string window_;
};

TEST_F(DesktopTest, TheFirstPictureShowsTheCartridge) {
    const std::string cartridge = Cartridge("hello");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    Picture expected;
    ASSERT_TRUE(HeadlessPicture(cartridge, "", &expected));
    ASSERT_FALSE(Near(expected.At(120, 80), Rgb{0, 0, 0}, 0)) << "koru-headless draws the cartridge black";

    Start({cartridge});
    // At 1:1 the client area is the window's lowest 160 rows, pixel for
    // pixel the console's screen.
    bool same = false;
    std::string difference;
    WaitFor([&] {
        const Picture window = Capture();
        if (window.width != 240 || window.height < 160) return false;
        const int top = window.height - 160;
        for (int y = 0; y < 160; y += 3) {
            for (int x = 0; x < 240; x += 3) {
                if (!Near(window.At(x, top + y), expected.At(x, y))) {
                    difference = "at " + std::to_string(x) + "," + std::to_string(y) + ": " +
                                 Describe(window.At(x, top + y)) + " instead of " + Describe(expected.At(x, y));
                    return false;
                }
            }
        }
        return same = true;
    });
    EXPECT_TRUE(same) << difference;
}

TEST_F(DesktopTest, KeysReachTheGame) {
    const std::string cartridge = KeysCartridge();
    if (cartridge.empty()) return;  // KeysCartridge has said why
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    ASSERT_TRUE(WaitFor([&] { return Near(Middle(), Grey); })) << Describe(Middle());
    ASSERT_TRUE(Succeeds("xdotool keydown space"));
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Red); })) << Describe(Middle());
    ASSERT_TRUE(Succeeds("xdotool keydown Right"));
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Rgb{255, 255, 99}); })) << Describe(Middle());
    ASSERT_TRUE(Succeeds("xdotool keyup space keyup Right"));
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Grey); })) << Describe(Middle());
    // Another key of the A row, and Enter as Start.
    ASSERT_TRUE(Succeeds("xdotool keydown k"));
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Red); })) << Describe(Middle());
    ASSERT_TRUE(Succeeds("xdotool keyup k"));
}

TEST_F(DesktopTest, DigitKeysAreTheKeysOfTheDigitRowWhateverTheyType) {
    const std::string cartridge = Cartridge("hello");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    // The cartridge draws its blue picture on background 2, which the key 7
    // hides and shows; the backdrop behind it is black.
    const Rgb black{0, 0, 0};
    ASSERT_TRUE(WaitFor([&] { return Middle().b > 100; })) << Describe(Middle());
    const Rgb blue = Middle();
    // With Shift the key types '&' on a US keyboard; it is the 7 key still.
    Keys("shift+7");
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), black); })) << Describe(Middle());
    // On a French keyboard the same key types a grave e without Shift.
    ASSERT_TRUE(Succeeds("setxkbmap -display " + server_.Display() + " fr"));
    Keys("egrave");
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), blue); })) << Describe(Middle());
}

TEST_F(DesktopTest, SizeThreeToOneAndSnapshot) {
    const std::string cartridge = Cartridge("keys");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    ASSERT_TRUE(WaitFor([&] { return Geometry().first == 240; }));
    const int menu = Geometry().second - 160;
    ASSERT_GT(menu, 0);
    Keys("alt+s Down Down Return");
    EXPECT_TRUE(WaitFor([&] { return Geometry() == std::make_pair(720, 480 + menu); }))
        << Geometry().first << "x" << Geometry().second;
    Keys("alt+s s");
    // "Y" is the last key written.
    ASSERT_TRUE(WaitFor([&] { return !Ini("KORU", "Y").empty(); }));
    EXPECT_EQ(Ini("KORU", "Width"), "720");
    EXPECT_EQ(Ini("KORU", "Height"), "480");
    EXPECT_EQ(Ini("KORU", "X"), "50");
    EXPECT_EQ(Ini("KORU", "Y"), "50");
    // The picture fills the whole client area.
    const Picture picture = Capture();
    ASSERT_EQ(picture.width, 720);
    EXPECT_EQ(picture.height, 480 + menu);
}

TEST_F(DesktopTest, SetupWritesTheIniFile) {
    const std::string cartridge = Cartridge("keys");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    std::ofstream(dir / "KORU.ini") << "; mine\n[KORU]\nSaveCPU=0\nUpdatePeriod=2\n";
    Start({cartridge});
    Keys("alt+f e");
    ASSERT_TRUE(FocusDialog("^Koru Setup$"));
    Keys("Return");
    ASSERT_TRUE(WaitFor([&] { return !Ini("KORU KEYS", "UseDrums").empty(); }));
    std::ifstream in(dir / "KORU.ini");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "; mine\n[KORU]\nSaveCPU=0\nUpdatePeriod=2\nSoundRate=1\nSoundBuffers=16\nSoundVolume=200\nCheckCRC=1\n"
              "TimerPeriod=0\nSoundLogFile=LOG.MID\n\n[KORU KEYS]\nSoundSwitch=32783\nAutoFire=0\nUseDrums=0\n");
    EXPECT_TRUE(Find("^Koru Setup$").empty());
}

TEST_F(DesktopTest, ReturnPressesTheFocusedButtonOfTheSetupDialog) {
    const std::string cartridge = Cartridge("keys");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    // Tab backwards from the first control reaches Cancel, the last one.
    Keys("alt+f e");
    ASSERT_TRUE(FocusDialog("^Koru Setup$"));
    Keys("shift+Tab Return");
    ASSERT_TRUE(WaitFor([&] { return Find("^Koru Setup$").empty(); }));
    // Cancelled: nothing was written. The program writes at its end, so
    // quitting shows whether a write was merely late.
    kill(program_, SIGTERM);
    ASSERT_EQ(WaitExit(), 0);
    EXPECT_EQ(Ini("KORU", "SoundRate"), "");
    EXPECT_EQ(Ini("KORU KEYS", "UseDrums"), "");
    // With the focus on a check box, Return is OK, the default button.
    Start({cartridge});
    Keys("alt+f e");
    ASSERT_TRUE(FocusDialog("^Koru Setup$"));
    Keys("Return");
    ASSERT_TRUE(WaitFor([&] { return !Ini("KORU KEYS", "UseDrums").empty(); }));
}

TEST_F(DesktopTest, TheLogFileFieldTakesAtMost250BytesNeverHalfALetter) {
    const std::string cartridge = Cartridge("keys");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    // A French keyboard types the accented e, two bytes, with one key.
    ASSERT_TRUE(Succeeds("setxkbmap -display " + server_.Display() + " fr"));
    Keys("alt+f e");
    ASSERT_TRUE(FocusDialog("^Koru Setup$"));
    // The field comes after the seven check boxes; Tab selects its text,
    // which the typing replaces: "x" and 130 accented e, 261 bytes.
    Keys("Tab Tab Tab Tab Tab Tab Tab x");
    std::string accents;
    for (int i = 0; i < 130; ++i) accents += " eacute";
    ASSERT_TRUE(Succeeds("xdotool key --delay 5" + accents));
    Keys("Return");
    ASSERT_TRUE(WaitFor([&] { return !Ini("KORU", "SoundLogFile").empty(); }));
    std::string expected = "x";
    for (int i = 0; i < 124; ++i) expected += "\xC3\xA9";
    EXPECT_EQ(Ini("KORU", "SoundLogFile"), expected);
}

TEST_F(DesktopTest, F7AndF8WriteAndReadTheStateFile) {
    const std::string cartridge = KeysCartridge();
    if (cartridge.empty()) return;  // KeysCartridge has said why
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    ASSERT_TRUE(WaitFor([&] { return Near(Middle(), Grey); })) << Describe(Middle());
    Keys("F7");
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(dir / "keys.sta"); }));
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::file_size(dir / "keys.sta") == StateFileSize; }));
    // Select turns the game yellow; loading the state brings the grey back.
    PressSelect();
    Keys("F8");
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Grey); })) << Describe(Middle());
}

TEST_F(DesktopTest, EscapeEndsTheProgramWithEverythingWritten) {
    // Where the core runs the keys cartridge, the game also writes its
    // battery save; otherwise only the program's own files are checked.
    std::string cartridge = KeysCartridge();
    const bool playing = !cartridge.empty();
    if (!playing) cartridge = Cartridge("keys");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    if (playing) {
        PressSelect();
    }
    Keys("Escape");
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_EQ(Ini("KORU", "Cartridge"), cartridge);
    if (playing) {
        const std::vector<uint8_t> save = ReadFile(dir / "keys.sav");
        ASSERT_GE(save.size(), 2u);
        EXPECT_EQ(save[0], 'K');
        EXPECT_EQ(save[1], '1');
    }
}

TEST_F(DesktopTest, SigtermEndsTheProgramLikeClosingTheWindow) {
    const std::string cartridge = Cartridge("keys");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    kill(program_, SIGTERM);
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_EQ(Ini("KORU", "Cartridge"), cartridge);
}

TEST_F(DesktopTest, SignalsEndTheProgramAlsoWhileItSleeps) {
    const std::string cartridge = Cartridge("keys");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    // With "Sleep when inactive", an open menu stops the emulation, which
    // then waits for events only.
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=1\n";
    Start({cartridge});
    Keys("alt+h");
    kill(program_, SIGHUP);
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_EQ(Ini("KORU", "Cartridge"), cartridge);
}

TEST_F(DesktopTest, TheLogIsSilentUnlessKoruVerboseAsks) {
    const std::string cartridge = Cartridge("keys");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    Keys("Escape");
    ASSERT_EQ(WaitExit(), 0);
    EXPECT_EQ(ReadText(dir / "koru.out"), "");

    setenv("KORU_VERBOSE", "0x1", 1);
    Start({cartridge});
    Keys("Escape");
    ASSERT_EQ(WaitExit(), 0);
    const std::string log = ReadText(dir / "koru.out");
    EXPECT_NE(log.find("Starting CPU"), std::string::npos) << log;
    EXPECT_NE(log.find("KORU KEYS"), std::string::npos) << log;
}

TEST_F(DesktopTest, ALongCommandLineIsRefusedAndTheDialogAsks) {
    const std::string longName = (dir / (std::string(200, 'x') + " " + std::string(60, 'y') + ".gba")).string();
    program_ = Spawn({KORU_DESKTOP, longName}, (dir / "koru.out").string());
    ASSERT_GT(program_, 0);
    // The open-file dialog comes up: the cartridge was not run.
    std::string dialog;
    ASSERT_TRUE(WaitFor([&] { return !(dialog = Find("^Open$")).empty(); }))
        << "no dialog; the program " << (waitpid(program_, nullptr, WNOHANG) == 0 ? "runs" : "ended")
        << "; it said: " << ReadText(dir / "koru.out.err");
    EXPECT_NE(ReadText(dir / "koru.out.err").find("longer than 250"), std::string::npos);
    Succeeds("xdotool windowfocus --sync " + dialog);
    // Cancelling ends the program without a run.
    Keys("Escape");
    EXPECT_EQ(WaitExit(), 0);
}

}  // namespace
}  // namespace koru::test
#endif
