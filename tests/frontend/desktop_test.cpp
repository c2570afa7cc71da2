// The desktop program as a user meets it: started in a fresh directory on a
// virtual X server, driven with xdotool, looked at through window captures.
// Skipped where no X server can be started.
#ifdef KORU_DESKTOP
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <png.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
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
        KORU_REQUIRE(server_.StartWindowManager(), "no window manager (openbox, xprop) could be started");
        unsetenv("KORU_VERBOSE");
    }

    void TearDown() override {
        for (pid_t pid : {program_, helper_}) {
            if (pid <= 0) continue;
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
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

    // Chooses the file in the open-file dialog named so, which has the
    // keyboard: its name field takes the whole path.
    void Choose(const std::string& dialog, const std::string& path) {
        ASSERT_TRUE(FocusDialog(dialog));
        Keys("ctrl+a");
        ASSERT_TRUE(Succeeds("xdotool type --delay 5 '" + path + "'"));
        Keys("Return");
    }

    // File / New with that cartridge.
    void OpenCartridge(const std::string& path) {
        Keys("alt+f n");
        Choose("^Open$", path);
    }

    // Whether the client area shows the picture (240 x 160 at 1:1, each
    // pixel a block of scale x scale at the larger sizes), within a few
    // seconds; what differed otherwise.
    bool Shows(const Picture& expected, std::string* difference, int scale = 1) {
        return WaitFor(
            [&] {
                const Picture window = Capture();
                if (window.width != 240 * scale || window.height < 160 * scale) return false;
                const int top = window.height - 160 * scale;
                for (int y = 0; y < 160; ++y) {
                    for (int x = 0; x < 240; ++x) {
                        for (int i = 0; i < scale * scale; ++i) {
                            const Rgb shown = window.At(x * scale + i % scale, top + y * scale + i / scale);
                            if (!Near(shown, expected.At(x, y))) {
                                *difference = "at " + std::to_string(x) + "," + std::to_string(y) + ": " +
                                              Describe(shown) + " instead of " + Describe(expected.At(x, y));
                                return false;
                            }
                        }
                    }
                }
                return true;
            },
            std::chrono::seconds(10));
    }

    // Starts the cartridge and checks the picture at 1:1, where the client
    // area is the window's lowest 160 rows, pixel for pixel the console's
    // screen, and at 4:1, where every pixel is a block of 4 x 4.
    void ShowsAtOneAndFourToOne(const std::string& cartridge, const Picture& expected) {
        Start({cartridge});
        std::string difference;
        EXPECT_TRUE(Shows(expected, &difference)) << difference;
        Keys("alt+s Down Down Down Return");
        EXPECT_TRUE(Shows(expected, &difference, 4)) << difference;
    }

    // Starts the cartridge, waits until it shows the picture at 1:1, and
    // pauses the game.
    void StartPausedShowing(const std::string& cartridge, const Picture& expected) {
        std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
        Start({cartridge});
        std::string difference;
        ASSERT_TRUE(Shows(expected, &difference)) << difference;
        Keys("Pause");
        ASSERT_TRUE(WaitFor([&] { return !Find("^Koru - paused$").empty(); }));
    }

    // The frames the frames cartridge counted, from the battery save the
    // program wrote at its end; -1 without one.
    int64_t CountedFrames() {
        const std::vector<uint8_t> save = ReadFile(dir / "frames.sav");
        if (save.size() < 4) return -1;
        return save[0] | save[1] << 8 | save[2] << 16 | int64_t{save[3]} << 24;
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
    pid_t helper_ = -1;  // another program a test started
    std::string window_;
};

TEST_F(DesktopTest, TheFirstPictureShowsTheCartridge) {
    const std::string cartridge = Cartridge("hello");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    Picture expected;
    ASSERT_TRUE(HeadlessPicture(cartridge, "", &expected));
    ASSERT_FALSE(Near(expected.At(120, 80), Rgb{0, 0, 0}, 0)) << "koru-headless draws the cartridge black";

    ShowsAtOneAndFourToOne(cartridge, expected);
}

// An X server without the RENDER extension cannot stretch the picture
// itself: the program then paints it at the window's size.
TEST_F(DesktopTest, ThePictureShowsOnAServerThatCannotStretchIt) {
    const std::string cartridge = Cartridge("hello");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    Picture expected;
    ASSERT_TRUE(HeadlessPicture(cartridge, "", &expected));
    server_.Stop();
    ASSERT_TRUE(server_.Start({"-extension", "RENDER"}));
    ASSERT_EQ(Output("xdpyinfo -queryExtensions").find("RENDER"), std::string::npos);
    // Without a window manager the window must not pause for want of the focus.
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    ShowsAtOneAndFourToOne(cartridge, expected);
}

// The server keeps nothing of what a covered window showed: uncovered while
// the game is paused, the client area must be drawn again from the picture
// the program last showed.
TEST_F(DesktopTest, AWindowUncoveredWhilePausedShowsThePictureAgain) {
    const std::string cartridge = Cartridge("hello");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    KORU_REQUIRE(Succeeds("command -v xlogo"), "xlogo is not installed");
    Picture expected;
    ASSERT_TRUE(HeadlessPicture(cartridge, "", &expected));
    StartPausedShowing(cartridge, expected);
    if (HasFatalFailure()) return;
    std::string difference;
    const auto [left, top] = x::Position(window_);
    ASSERT_GE(left, 0);
    helper_ = SpawnQuiet({"xlogo", "-geometry", "500x500"});
    std::string logo;
    ASSERT_TRUE(WaitFor([&] { return !(logo = Find("^xlogo$")).empty(); }));
    ASSERT_TRUE(Succeeds("xdotool windowmove --sync " + logo + " " + std::to_string(std::max(left - 100, 0)) + " " +
                         std::to_string(std::max(top - 100, 0))));
    // Covered, the window's place on the screen shows the other window.
    ASSERT_TRUE(WaitFor([&] { return !Near(Middle(), expected.At(120, 80)); })) << Describe(Middle());
    kill(helper_, SIGTERM);
    waitpid(helper_, nullptr, 0);
    helper_ = -1;
    EXPECT_TRUE(Shows(expected, &difference)) << difference;
}

// While the game is paused no frame comes; a window made larger, then
// smaller, still shows the last one stretched over all of it.
TEST_F(DesktopTest, APausedPictureFollowsTheWindowsSize) {
    const std::string cartridge = Cartridge("hello");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    Picture expected;
    ASSERT_TRUE(HeadlessPicture(cartridge, "", &expected));
    StartPausedShowing(cartridge, expected);
    if (HasFatalFailure()) return;
    std::string difference;
    Keys("alt+s Down Down Return");
    EXPECT_TRUE(Shows(expected, &difference, 3)) << difference;
    Keys("alt+s Down Return");
    EXPECT_TRUE(Shows(expected, &difference, 2)) << difference;
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
              "; mine\n[KORU]\nSaveCPU=0\nUpdatePeriod=2\nSoundRate=1\nSoundBuffers=16\nSoundVolume=200\nCheckCRC=0\n"
              "TimerPeriod=60\nSoundLogFile=LOG.MID\n\n[KORU KEYS]\nSoundSwitch=32783\nAutoFire=0\nUseDrums=0\n");
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
    // Nor does ALSA's own error output reach standard error (on a machine
    // without a sound card it says so a dozen times as the sound opens).
    EXPECT_EQ(ReadText(dir / "koru.out.err").find("ALSA lib"), std::string::npos) << ReadText(dir / "koru.out.err");

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
    ASSERT_TRUE(WaitFor([&] { return !(dialog = Find("^Open cartridge - x+ y+[.]gba: the path is too long$")).empty(); }))
        << "no dialog; the program " << (waitpid(program_, nullptr, WNOHANG) == 0 ? "runs" : "ended")
        << "; it said: " << ReadText(dir / "koru.out.err");
    EXPECT_NE(ReadText(dir / "koru.out.err").find("longer than 250"), std::string::npos);
    Succeeds("xdotool windowfocus --sync " + dialog);
    // Cancelling ends the program without a run.
    Keys("Escape");
    EXPECT_EQ(WaitExit(), 0);
}

// With no settings file: 60 frames a second (the sync's 16 ms ticks give
// 62.5), and a cartridge whose header no check accepts, as homebrew has.
TEST_F(DesktopTest, AFirstRunIsPacedAndRunsACartridgeWithAnyHeader) {
    const std::string cartridge = Cartridge("frames");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    std::vector<uint8_t> image = ReadFile(cartridge);
    image[0xBD] ^= 0x5A;
    image[0xBE] = 0x12;
    image[0xBF] = 0x34;
    WriteFile(cartridge, image);
    Start({cartridge});
    std::this_thread::sleep_for(std::chrono::seconds(2));
    kill(program_, SIGTERM);
    ASSERT_EQ(WaitExit(), 0);
    // Two seconds from the window's showing, and the moment before it.
    EXPECT_GE(CountedFrames(), 100);
    EXPECT_LE(CountedFrames(), 150);
}

// Held, Backspace runs the game as fast as it goes; released, paced again.
TEST_F(DesktopTest, BackspaceHeldRunsUnsynced) {
    const std::string cartridge = Cartridge("frames");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\nTimerPeriod=60\nUpdatePeriod=1\n";
    Start({cartridge});
    ASSERT_TRUE(Succeeds("xdotool keydown BackSpace"));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_TRUE(Succeeds("xdotool keyup BackSpace"));
    kill(program_, SIGTERM);
    ASSERT_EQ(WaitExit(), 0);
    EXPECT_GT(CountedFrames(), 300) << "a second held, and the moment before";
}

// The player's scenario: a game runs, File / New names a cartridge the
// check refuses; the dialog comes back saying why, and Cancel there ends
// the program as quitting does, with the INI and the battery save written.
TEST_F(DesktopTest, ARefusedCartridgeSaysWhyInTheDialogAndCancelEndsTheProgram) {
    const std::string cartridge = KeysCartridge();
    if (cartridge.empty()) return;  // KeysCartridge has said why
    std::vector<uint8_t> image = ReadFile(cartridge);
    image[0xBD] ^= 0x5A;
    WriteFile(dir / "refused.gba", image);
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\nCheckCRC=1\n";
    Start({cartridge});
    PressSelect();
    OpenCartridge((dir / "refused.gba").string());
    ASSERT_TRUE(FocusDialog("^Open cartridge - refused[.]gba: cartridge check failed$"))
        << "the program said: " << ReadText(dir / "koru.out.err");
    Keys("Escape");
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_EQ(Ini("KORU", "Cartridge"), (dir / "refused.gba").string());
    const std::vector<uint8_t> save = ReadFile(dir / "keys.sav");
    ASSERT_GE(save.size(), 2u);
    EXPECT_EQ(save[1], '1');
}

// Under a window manager, which frames the window: Snapshot stores the
// corner that the next start places.
TEST_F(DesktopTest, TheWindowStaysWhereSnapshotLeftItOverThreeStarts) {
    const std::string cartridge = Cartridge("keys");
    KORU_REQUIRE(!cartridge.empty(), "the test cartridges were not built");
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    ASSERT_TRUE(Succeeds("xdotool windowmove --sync " + window_ + " 300 200"));
    const std::pair<int, int> placed = x::Position(window_);
    for (int start = 0; start < 3; ++start) {
        if (start > 0) {
            Start({cartridge});
            EXPECT_TRUE(WaitFor([&] { return x::Position(window_) == placed; }, std::chrono::seconds(5)))
                << "start " << start << ": at " << x::Position(window_).first << "," << x::Position(window_).second
                << " instead of " << placed.first << "," << placed.second;
        }
        std::filesystem::remove(dir / "KORU.ini");
        Keys("alt+s s");
        ASSERT_TRUE(WaitFor([&] { return !Ini("KORU", "Y").empty(); }));
        Keys("Escape");
        ASSERT_EQ(WaitExit(), 0);
    }
}

// xdotool presses and releases the key at once: the game's next frame sees
// the tap.
TEST_F(DesktopTest, ATapShorterThanAFrameReachesTheGame) {
    const std::string cartridge = KeysCartridge();
    if (cartridge.empty()) return;  // KeysCartridge has said why
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    ASSERT_TRUE(WaitFor([&] { return Near(Middle(), Grey); })) << Describe(Middle());
    Keys("--delay 0 Tab");
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Yellow); }, std::chrono::seconds(5))) << Describe(Middle());
}

// A file manager's drag, as koru-drag-source makes it, onto the window.
TEST_F(DesktopTest, ACartridgeDroppedOnTheWindowRuns) {
    const std::string cartridge = KeysCartridge(), first = Cartridge("hello");
    if (cartridge.empty()) return;  // KeysCartridge has said why
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({first});
    ASSERT_TRUE(WaitFor([&] { return Middle().b > 100; })) << "hello's blue: " << Describe(Middle());
    helper_ = Spawn({KORU_DRAG_SOURCE, cartridge}, (dir / "drag.out").string());
    ASSERT_GT(helper_, 0);
    std::string source;
    ASSERT_TRUE(WaitFor([&] { return !(source = Find("^Drag source$")).empty(); }));
    ASSERT_TRUE(Succeeds("xdotool windowactivate --sync " + source));
    // Press on the source, move in steps onto the window, release.
    ASSERT_TRUE(Succeeds("xdotool mousemove --window " + source + " 50 50 sleep 0.2 mousedown 1 sleep 0.2"));
    for (int step : {10, 40, 80, 120}) {
        ASSERT_TRUE(Succeeds("xdotool mousemove --window " + source + " " + std::to_string(50 + step) + " 50"));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(Succeeds("xdotool mousemove --window " + window_ + " 120 100 sleep 0.2 mousemove --window " +
                         window_ + " 121 101 sleep 0.3 mouseup 1"));
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Grey); })) << Describe(Middle());
    Succeeds("xdotool windowactivate --sync " + window_);
    Keys("Escape");
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_EQ(Ini("KORU", "Cartridge"), cartridge);
}

// While paused a held key does not reach the game, and the caption says so.
TEST_F(DesktopTest, PauseStopsTheGameUntilPressedAgain) {
    const std::string cartridge = KeysCartridge();
    if (cartridge.empty()) return;  // KeysCartridge has said why
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    ASSERT_TRUE(WaitFor([&] { return Near(Middle(), Grey); })) << Describe(Middle());
    Keys("Pause");
    ASSERT_TRUE(WaitFor([&] { return !Find("^Koru - paused$").empty(); }));
    ASSERT_TRUE(Succeeds("xdotool keydown space"));
    // Half a second is thirty frames the game would have run.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(Near(Middle(), Grey)) << Describe(Middle());
    Keys("Pause");
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Red); })) << Describe(Middle());
    ASSERT_TRUE(Succeeds("xdotool keyup space"));
    EXPECT_FALSE(Find("^Koru$").empty());
}

// F9: the picture shown, as koru-headless draws it, beside the cartridge.
TEST_F(DesktopTest, F9WritesThePictureBesideTheCartridge) {
    const std::string cartridge = KeysCartridge();
    if (cartridge.empty()) return;  // KeysCartridge has said why
    Picture expected;
    ASSERT_TRUE(HeadlessPicture(cartridge, "1", &expected));
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({cartridge});
    ASSERT_TRUE(Succeeds("xdotool keydown space"));
    ASSERT_TRUE(WaitFor([&] { return Near(Middle(), Red); })) << Describe(Middle());
    Keys("F9");
    ASSERT_TRUE(Succeeds("xdotool keyup space"));
    Picture written;
    ASSERT_TRUE(WaitFor([&] { return ReadPng(dir / "keys-1.png", &written); }));
    ASSERT_EQ(written.width, 240);
    ASSERT_EQ(written.height, 160);
    EXPECT_TRUE(written.pixels == expected.pixels);
}

// The demo's rotation scene turns background 2 and moves its reference
// point far off; a bitmap cartridge run after it with File / New never sets
// them, and must show what a fresh process shows. The demo starts from a
// state file in that scene, as a fresh process would load one.
TEST_F(DesktopTest, ACartridgeRunAfterAnotherShowsWhatAFreshProcessShows) {
    const std::string demo = Cartridge("demo"), bitmap = Cartridge("video_mode3");
    KORU_REQUIRE(!demo.empty() && !bitmap.empty(), "the test cartridges were not built");
    Picture expected;
    ASSERT_TRUE(HeadlessPicture(bitmap, "", &expected));
    // A at frames 150 and 300: the picture scene, then the rotation.
    ASSERT_EQ(RunHeadless("--frames 420 --keys 150:1,152:0,300:1,302:0 --save-state " + (dir / "demo.sta").string() +
                          " " + demo),
              0);
    std::filesystem::remove(dir / "demo.sav");
    std::ofstream(dir / "KORU.ini") << "[KORU]\nSaveCPU=0\n";
    Start({demo});
    OpenCartridge(bitmap);
    std::string difference;
    EXPECT_TRUE(Shows(expected, &difference)) << difference;
}

}  // namespace
}  // namespace koru::test
#endif
