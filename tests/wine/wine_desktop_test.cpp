// koru.exe as a user meets it, under Wine on a virtual X server: started in a
// fresh directory, driven with xdotool, looked at through window captures.
// This program runs on the build machine; the Windows program it starts is
// the cross build's. Skipped where Wine, Xvfb or the tools are missing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "frontend/ini.h"
#include "support/x_session.h"

namespace koru::test {
namespace {

using namespace x;
namespace fs = std::filesystem;

// Wine's first start in a new prefix builds the prefix: much slower than a
// window coming up later.
constexpr auto FirstStart = std::chrono::seconds(180);
constexpr auto Patience = std::chrono::seconds(45);

const fs::path Exe = KORU_WINDOWS_DESKTOP;
const fs::path RomDir = KORU_ROM_DIR;
const std::string Wine = KORU_WINE;
const std::string Prefix = KORU_WINEPREFIX;

constexpr Rgb White{255, 255, 255};
constexpr Rgb HelloBlue{33, 66, 165};  // the hello cartridge's (4, 8, 20)
constexpr Rgb Grey{99, 99, 99};
constexpr Rgb Red{255, 99, 99};
constexpr Rgb Yellow{197, 197, 0};

// Wine's own environment for every program of the tests: the prefix inside
// the build folder, no debug output, no Mono or Gecko set-up dialogs, and no
// menu entries written into the user's desktop.
void SetWineEnvironment() {
    setenv("WINEPREFIX", Prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d", 1);
    unsetenv("KORU_VERBOSE");
}

std::string WineServer() {
    const fs::path beside = fs::path(Wine).parent_path() / "wineserver";
    return fs::exists(beside) ? beside.string() : "wineserver";
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class WineDesktopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!fs::exists(Exe) || Wine.empty() || !fs::exists(Wine)) return;
        if (!Server::MissingTool().empty()) return;
        server_ = new Server;
        if (!server_->Start()) return;
        SetWineEnvironment();
        // Wine's programs of the prefix left from the tests before (started
        // without this display) go; the prefix is made or brought up to date
        // once, before any test waits for a window.
        Succeeds(Quote(WineServer()) + " -k");
        ready_ = Succeeds(Quote(Wine) + " wineboot --init");
    }

    static void TearDownTestSuite() {
        if (server_) Succeeds(Quote(WineServer()) + " -k");
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        if (!fs::exists(Exe)) GTEST_SKIP() << Exe << " was not built";
        if (Wine.empty() || !fs::exists(Wine)) GTEST_SKIP() << "Wine is not installed";
        const std::string missing = Server::MissingTool();
        if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";
        if (!server_ || server_->Display().empty()) GTEST_SKIP() << "no X server could be started";
        ASSERT_TRUE(ready_) << "Wine could not set up its prefix " << Prefix;
        char pattern[] = "/tmp/koru-wine-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        previous_ = fs::current_path();
        fs::current_path(dir);
    }

    void TearDown() override {
        if (program_ > 0) {
            kill(program_, SIGKILL);
            waitpid(program_, nullptr, 0);
            program_ = -1;
        }
        // Whatever window was left goes before the next test looks for its
        // own.
        WaitFor([] { return FindWindow("^Koru$").empty(); }, std::chrono::seconds(10));
        if (!previous_.empty()) fs::current_path(previous_);
        if (!dir.empty()) {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        }
    }

    // Starts koru.exe in the test's directory; the window must come up.
    void Start(const std::vector<std::string>& arguments) {
        Launch(arguments);
        ASSERT_TRUE(WaitFor([&] { return !(window_ = FindWindow("^Koru$")).empty() || Ended(); }, FirstStart))
            << "no window; it said: " << ReadText(dir / "koru.out.err");
        ASSERT_FALSE(window_.empty()) << "the program ended; it said: " << ReadText(dir / "koru.out.err");
        Focus(window_);
    }

    void Launch(const std::vector<std::string>& arguments) {
        // The window of a run that just ended may still be on the screen.
        ASSERT_TRUE(WaitFor([] { return FindWindow("^Koru$").empty(); }, Patience));
        std::vector<std::string> command = {Wine, Exe.string()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        program_ = Spawn(command, (dir / "koru.out").string());
        ASSERT_GT(program_, 0);
    }

    bool Ended() {
        if (program_ <= 0) return true;
        int status = 0;
        if (waitpid(program_, &status, WNOHANG) != program_) return false;
        program_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }

    // The status the program ended with, or -1 if it did not end in time.
    int WaitExit() {
        if (!WaitFor([&] { return Ended(); }, Patience)) return -1;
        return status_;
    }

    static void Focus(const std::string& window) { Succeeds("xdotool windowfocus --sync " + window); }

    void Keys(const std::string& keys) { ASSERT_TRUE(Succeeds("xdotool key --delay 80 " + keys)); }

    // A menu command from the keyboard: Alt alone opens the menu bar (the
    // program translates no keys into characters, so Alt with a letter
    // does not), then the menu's letter and the item's.
    void Menu(const std::string& menu, const std::string& item = "") {
        Focus(window_);
        Keys("alt");
        Keys(menu);
        if (!item.empty()) Keys(item);
    }

    // Waits for a dialog window and gives it the keyboard.
    std::string Dialog(const std::string& title) {
        std::string found;
        WaitFor([&] { return !(found = FindWindow(title)).empty(); }, Patience);
        if (!found.empty()) Focus(found);
        return found;
    }

    Picture Capture() { return x::Capture(window_); }
    std::pair<int, int> Geometry() { return x::Geometry(window_); }

    // The client area is the window's lowest rows: the menu bar lies above
    // it.
    Rgb Client(const Picture& picture, int x, int y, int clientHeight = 160) {
        return picture.At(x, picture.height - clientHeight + y);
    }

    Rgb Middle() {
        const Picture picture = Capture();
        if (picture.width == 0) return Rgb{-1, -1, -1};
        return picture.At(picture.width / 2, picture.height - 40);
    }

    std::string Ini(const char* section, const char* key) {
        char value[251];
        ProfileGetString(section, key, "", value, sizeof value, (dir / "KORU.ini").c_str());
        return value;
    }

    // A copy of a built cartridge in the test's directory, so that its
    // ".sav" and ".sta" land there.
    std::string Cartridge(const std::string& name) {
        const fs::path source = RomDir / (name + ".gba");
        if (!fs::exists(source)) return "";
        fs::copy_file(source, dir / (name + ".gba"), fs::copy_options::overwrite_existing);
        return name + ".gba";
    }

    void WriteIni(const std::string& text) { std::ofstream(dir / "KORU.ini", std::ios::binary) << text; }

    // Holds Select until the keys cartridge turned yellow: a key pressed and
    // released between two frames is never seen by the game.
    void PressSelect() {
        ASSERT_TRUE(Succeeds("xdotool keydown Tab"));
        const bool yellow = WaitFor([&] { return Near(Middle(), Yellow); }, Patience);
        ASSERT_TRUE(Succeeds("xdotool keyup Tab"));
        ASSERT_TRUE(yellow) << Describe(Middle());
    }

    // The keys cartridge, started and showing its grey.
    void StartKeys(const std::string& ini = "[KORU]\r\nSaveCPU=0\r\n") {
        const std::string cartridge = Cartridge("keys");
        if (cartridge.empty()) GTEST_SKIP() << "the test cartridges were not built";
        WriteIni(ini);
        Start({cartridge});
        ASSERT_TRUE(WaitFor([&] { return Near(Middle(), Grey); }, Patience)) << Describe(Middle());
    }

    // The battery save the keys cartridge writes: 'K' and its Select count.
    std::string KeysSave() {
        const std::string save = ReadText(dir / "keys.sav");
        return save.size() >= 2 ? save.substr(0, 2) : save;
    }

    // The game writes its save within a second of a change; once that copy
    // is there it is removed, so that a save found after the program ended
    // was written by the end of the program.
    void ForgetTheSaveOnceWritten() {
        ASSERT_TRUE(WaitFor([&] { return KeysSave() == "K1"; }, Patience)) << KeysSave();
        fs::remove(dir / "keys.sav");
        ASSERT_FALSE(fs::exists(dir / "keys.sav"));
    }

    fs::path dir;
    std::string window_;
    pid_t program_ = -1;
    int status_ = -1;

private:
    fs::path previous_;
    static Server* server_;
    static bool ready_;
};

Server* WineDesktopTest::server_ = nullptr;
bool WineDesktopTest::ready_ = false;

TEST_F(WineDesktopTest, TheWindowShowsTheCartridgeStretchedToTheClientArea) {
    const std::string cartridge = Cartridge("hello");
    if (cartridge.empty()) GTEST_SKIP() << "the test cartridges were not built";
    WriteIni("[KORU]\r\nSaveCPU=0\r\n");
    Start({cartridge});
    // 1:1: the client area is the console screen pixel for pixel, an
    // 8-pixel white frame round a blue field.
    std::string difference;
    const auto sameAsHello = [&](int scale) {
        const Picture window = Capture();
        if (window.width != 240 * scale || window.height <= 160 * scale) {
            difference = "size " + std::to_string(window.width) + "x" + std::to_string(window.height);
            return false;
        }
        for (int y = 0; y < 160; y += 3) {
            for (int x = 0; x < 240; x += 3) {
                const bool edge = x < 8 || x >= 232 || y < 8 || y >= 152;
                // The middle of each console pixel's square.
                const Rgb seen = Client(window, x * scale + scale / 2, y * scale + scale / 2, 160 * scale);
                if (!Near(seen, edge ? White : HelloBlue)) {
                    difference = "at " + std::to_string(x) + "," + std::to_string(y) + ": " + Describe(seen);
                    return false;
                }
            }
        }
        return true;
    };
    EXPECT_TRUE(WaitFor([&] { return sameAsHello(1); }, Patience)) << difference;
    const int menu = Geometry().second - 160;
    EXPECT_GT(menu, 0);

    // Size 2:1 makes the client area 480 x 320, the picture stretched over
    // all of it (the frame now 16 pixels wide).
    Menu("s", "Down Return");
    EXPECT_TRUE(WaitFor([&] { return Geometry() == std::make_pair(480, 320 + menu); }, Patience))
        << Geometry().first << "x" << Geometry().second;
    EXPECT_TRUE(WaitFor([&] { return sameAsHello(2); }, Patience)) << difference;
    const Picture twice = Capture();
    EXPECT_TRUE(Near(Client(twice, 15, 100, 320), White)) << Describe(Client(twice, 15, 100, 320));
    EXPECT_TRUE(Near(Client(twice, 16, 100, 320), HelloBlue)) << Describe(Client(twice, 16, 100, 320));

    // Snapshot writes the client size and the window's place.
    Menu("s", "s");
    ASSERT_TRUE(WaitFor([&] { return !Ini("KORU", "Y").empty(); }, Patience));
    EXPECT_EQ(Ini("KORU", "Width"), "480");
    EXPECT_EQ(Ini("KORU", "Height"), "320");
    EXPECT_EQ(Ini("KORU", "X"), "50");
    EXPECT_EQ(Ini("KORU", "Y"), "50");

    // The next start comes up at that size.
    Keys("Escape");
    ASSERT_EQ(WaitExit(), 0);
    Start({cartridge});
    EXPECT_TRUE(WaitFor([&] { return sameAsHello(2); }, Patience)) << difference;
}

// With the sync timer on, so that each frame waits for the multimedia
// timer's tick.
TEST_F(WineDesktopTest, KeysReachTheGameWithTheSyncTimerOn) {
    StartKeys("[KORU]\r\nSaveCPU=0\r\nTimerPeriod=60\r\n");
    ASSERT_TRUE(Succeeds("xdotool keydown space"));
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Red); }, Patience)) << Describe(Middle());
    ASSERT_TRUE(Succeeds("xdotool keydown Right"));
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Rgb{255, 255, 99}); }, Patience)) << Describe(Middle());
    ASSERT_TRUE(Succeeds("xdotool keyup space keyup Right"));
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Grey); }, Patience)) << Describe(Middle());
    // Another key of the A row.
    ASSERT_TRUE(Succeeds("xdotool keydown k"));
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Red); }, Patience)) << Describe(Middle());
    ASSERT_TRUE(Succeeds("xdotool keyup k"));
    EXPECT_TRUE(WaitFor([&] { return Near(Middle(), Grey); }, Patience)) << Describe(Middle());
}

TEST_F(WineDesktopTest, SetupWritesTheIniFileAndKeepsTheUsersLines) {
    StartKeys("; mine\r\n[KORU]\r\nSaveCPU=0\r\nUpdatePeriod=2\r\n");
    Menu("f", "e");
    ASSERT_FALSE(Dialog("^Koru Setup$").empty());
    Keys("Return");
    ASSERT_TRUE(WaitFor([&] { return !Ini("KORU KEYS", "UseDrums").empty(); }, Patience));
    EXPECT_EQ(ReadText(dir / "KORU.ini"),
              "; mine\r\n[KORU]\r\nSaveCPU=0\r\nUpdatePeriod=2\r\nSoundRate=1\r\nSoundBuffers=16\r\nSoundVolume=200\r\n"
              "CheckCRC=0\r\nTimerPeriod=60\r\nSoundLogFile=LOG.MID\r\n\r\n[KORU KEYS]\r\nSoundSwitch=32783\r\n"
              "AutoFire=0\r\nUseDrums=0\r\n");
    EXPECT_TRUE(WaitFor([] { return FindWindow("^Koru Setup$").empty(); }, Patience));
    // The game runs on (the keyboard given back to the window by hand: the
    // virtual X server has no window manager to do it).
    Focus(window_);
    ASSERT_NO_FATAL_FAILURE(PressSelect());
}

TEST_F(WineDesktopTest, TheInformationDialogsOpenAndCloseWhileTheGameRunsOn) {
    StartKeys();
    Menu("h", "i");
    ASSERT_FALSE(Dialog("^Cartridge Information$").empty());
    Keys("Return");
    EXPECT_TRUE(WaitFor([] { return FindWindow("^Cartridge Information$").empty(); }, Patience));
    Menu("h", "a");
    ASSERT_FALSE(Dialog("^About Koru$").empty());
    Keys("Return");
    EXPECT_TRUE(WaitFor([] { return FindWindow("^About Koru$").empty(); }, Patience));
    Focus(window_);
    ASSERT_NO_FATAL_FAILURE(PressSelect());
}

TEST_F(WineDesktopTest, QuitFromTheMenuWritesTheBatterySaveAndTheIniFile) {
    StartKeys();
    ASSERT_NO_FATAL_FAILURE(PressSelect());
    ASSERT_NO_FATAL_FAILURE(ForgetTheSaveOnceWritten());
    Menu("f", "q");
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_EQ(KeysSave(), "K1");
    EXPECT_EQ(Ini("KORU", "Cartridge"), "keys.gba");
}

// Escape, F12 and the close box (Alt+F4 sends the same close command) all
// end the program the same way.
TEST_F(WineDesktopTest, EscapeF12AndClosingTheWindowEndTheProgramWithEverythingWritten) {
    for (const char* quit : {"Escape", "F12", "alt+F4"}) {
        SCOPED_TRACE(quit);
        std::error_code ignored;
        fs::remove(dir / "KORU.ini", ignored);
        StartKeys();
        ASSERT_NO_FATAL_FAILURE(PressSelect());
        ASSERT_NO_FATAL_FAILURE(ForgetTheSaveOnceWritten());
        Keys(quit);
        EXPECT_EQ(WaitExit(), 0);
        EXPECT_EQ(KeysSave(), "K1");
        EXPECT_EQ(Ini("KORU", "Cartridge"), "keys.gba");
    }
}

// The close box of a window framed by Wine's own desktop: a click there is
// the close command, which ends the program the way quitting does.
TEST_F(WineDesktopTest, TheCloseBoxEndsTheProgramWithEverythingWritten) {
    const std::string cartridge = Cartridge("keys");
    if (cartridge.empty()) GTEST_SKIP() << "the test cartridges were not built";
    WriteIni("[KORU]\r\nSaveCPU=0\r\n");
    ASSERT_TRUE(WaitFor([] { return FindWindow("^Koru$").empty(); }, Patience));
    program_ = Spawn({Wine, "explorer", "/desktop=koru-test,800x600", Exe.string(), cartridge},
                     (dir / "koru.out").string());
    ASSERT_GT(program_, 0);
    ASSERT_TRUE(WaitFor([&] { return !(window_ = FindWindow("^Koru$")).empty(); }, FirstStart));
    Focus(window_);
    ASSERT_TRUE(WaitFor([&] { return Near(Middle(), Grey); }, Patience)) << Describe(Middle());
    ASSERT_NO_FATAL_FAILURE(PressSelect());
    ASSERT_NO_FATAL_FAILURE(ForgetTheSaveOnceWritten());
    // The close box is the last button of the caption: 13 pixels in from
    // the frame's right edge, 12 down from its top (xwininfo tells where the
    // frame lies on the screen; xdotool counts the desktop's place twice).
    std::istringstream place(Output("xwininfo -id " + window_));
    int x = -1, y = -1, width = 0;
    std::string line;
    while (std::getline(place, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = line.substr(0, colon), value = line.substr(colon + 1);
        if (name.find("Absolute upper-left X") != std::string::npos) x = std::stoi(value);
        if (name.find("Absolute upper-left Y") != std::string::npos) y = std::stoi(value);
        if (name.find("Width") != std::string::npos) width = std::stoi(value);
    }
    ASSERT_GE(x, 0);
    ASSERT_GT(width, 13);
    ASSERT_TRUE(Succeeds("xdotool mousemove " + std::to_string(x + width - 13) + " " + std::to_string(y + 12) +
                         " click 1"));
    ASSERT_TRUE(WaitFor([&] { return KeysSave() == "K1"; }, Patience)) << "no battery save written";
    EXPECT_TRUE(WaitFor([&] { return Ini("KORU", "Cartridge") == "keys.gba"; }, Patience));
    // The desktop goes with its last program.
    EXPECT_EQ(WaitExit(), 0);
}

// With "Sleep when inactive", an open menu stops the emulation, which then
// waits for messages only: quitting from there still writes everything.
TEST_F(WineDesktopTest, QuittingWhileAsleepInAMenuWritesEverything) {
    StartKeys("[KORU]\r\nSaveCPU=1\r\n");
    ASSERT_NO_FATAL_FAILURE(PressSelect());
    ASSERT_NO_FATAL_FAILURE(ForgetTheSaveOnceWritten());
    Menu("f");
    Keys("q");
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_EQ(KeysSave(), "K1");
    EXPECT_EQ(Ini("KORU", "Cartridge"), "keys.gba");
}

// Windows ends the session (log-off, shut-down): the program may go, and
// writes its files before the process is ended.
TEST_F(WineDesktopTest, TheEndOfTheSessionWritesTheBatterySaveAndTheIniFile) {
    StartKeys();
    ASSERT_NO_FATAL_FAILURE(PressSelect());
    ASSERT_NO_FATAL_FAILURE(ForgetTheSaveOnceWritten());
    ASSERT_TRUE(Succeeds(Quote(Wine) + " wineboot --end-session"));
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_EQ(KeysSave(), "K1");
    EXPECT_EQ(Ini("KORU", "Cartridge"), "keys.gba");
}

// A Windows path, with backslashes and a drive, and in quotes as Explorer
// passes a path holding a space: the saves land beside the cartridge, named
// after it even when only its folder's name has a dot.
TEST_F(WineDesktopTest, AQuotedWindowsPathRunsTheCartridgeWithItsSavesBesideIt) {
    const std::string cartridge = Cartridge("keys");
    if (cartridge.empty()) GTEST_SKIP() << "the test cartridges were not built";
    const fs::path folder = dir / "my games.v2";
    fs::create_directory(folder);
    fs::rename(dir / cartridge, folder / "keys");
    std::string windowsPath = "Z:" + (folder / "keys").string();
    for (char& c : windowsPath) {
        if (c == '/') c = '\\';
    }
    WriteIni("[KORU]\r\nSaveCPU=0\r\n");
    Start({windowsPath});
    ASSERT_TRUE(WaitFor([&] { return Near(Middle(), Grey); }, Patience)) << Describe(Middle());
    ASSERT_NO_FATAL_FAILURE(PressSelect());
    Keys("F7");
    EXPECT_TRUE(WaitFor([&] { return fs::exists(folder / "keys.sta"); }, Patience));
    Keys("Escape");
    EXPECT_EQ(WaitExit(), 0);
    EXPECT_EQ(ReadText(folder / "keys.sav").substr(0, 2), "K1");
    EXPECT_EQ(Ini("KORU", "Cartridge"), windowsPath);
}

TEST_F(WineDesktopTest, WithoutACartridgeTheOpenDialogAsksAndCancelEndsTheProgram) {
    Launch({});
    std::string dialog;
    ASSERT_TRUE(WaitFor([&] { return !(dialog = FindWindow("^Open$")).empty() || Ended(); }, FirstStart))
        << "no dialog; it said: " << ReadText(dir / "koru.out.err");
    ASSERT_FALSE(dialog.empty()) << "the program ended";
    Focus(dialog);
    Keys("Escape");
    // The program ends from its entry point: 1, as it always returns.
    EXPECT_EQ(WaitExit(), 1);
    EXPECT_FALSE(fs::exists(dir / "KORU.ini"));
}

TEST_F(WineDesktopTest, APathLongerThanTheLimitIsRefusedAndTheDialogAsks) {
    const std::string longName = std::string(200, 'x') + " " + std::string(60, 'y') + ".gba";
    Launch({longName});
    // The dialog's title says why.
    std::string dialog;
    ASSERT_TRUE(WaitFor(
        [&] { return !(dialog = FindWindow("^Open cartridge - x+ y+[.]gba: the path is too long$")).empty() || Ended(); },
        FirstStart))
        << "no dialog; it said: " << ReadText(dir / "koru.out.err");
    ASSERT_FALSE(dialog.empty()) << "the program ended";
    EXPECT_NE(ReadText(dir / "koru.out.err").find("longer than 250"), std::string::npos);
    Focus(dialog);
    Keys("Escape");
    EXPECT_EQ(WaitExit(), 1);
}

}  // namespace
}  // namespace koru::test
