// The core installed as make install puts it, loaded by Debian's RetroArch
// under Xvfb as a player would, compared with koru-headless.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "libretro/libretro_host.h"
#include "support/x_session.h"

namespace koru::test {
namespace {

namespace fs = std::filesystem;

// A missing tool skips the test on a developer's machine and fails it in
// CI, where set-up has installed everything.
#define KORU_NEED(condition, what)                                   \
    if (!(condition)) {                                              \
        if (std::getenv("CI")) FAIL() << what;                       \
        std::printf("skipped: %s\n", std::string(what).c_str());     \
        GTEST_SKIP() << what;                                        \
    }

TEST(RetroArchTest, RetroArchRunsTheInstalledCoreWithKoruHeadlessPicturesAndSaves) {
    KORU_NEED(x::Succeeds("command -v retroarch"), "RetroArch is not installed (scripts/setup.sh installs it)");
    const std::string tool = x::Server::MissingTool();
    KORU_NEED(tool.empty(), tool + " is not installed");
    Scratch scratch;
    ASSERT_FALSE(scratch.Dir().empty());

    // Installed with the prefix /usr, the core and its description land
    // where Debian's RetroArch looks for them.
    const fs::path root = scratch.Dir() / "root";
    ASSERT_TRUE(x::Succeeds("DESTDIR='" + root.string() + "' '" KORU_CMAKE "' --install '" KORU_BUILD_DIR
                            "' --prefix /usr"));
    const fs::path core = root / "usr" / KORU_LIBRETRO_DIR / "koru_libretro.so";
    const fs::path info = root / "usr" / KORU_LIBRETRO_INFO_DIR / "koru_libretro.info";
    ASSERT_TRUE(fs::exists(core)) << core;
    ASSERT_TRUE(fs::exists(info)) << info;
    EXPECT_TRUE(x::Succeeds("grep -qx 'libretro_directory = \"/usr/" KORU_LIBRETRO_DIR "/\"' /etc/retroarch.cfg"));
    EXPECT_TRUE(x::Succeeds("grep -qx 'libretro_info_path = \"/usr/" KORU_LIBRETRO_INFO_DIR "/\"' /etc/retroarch.cfg"));

    x::Server server;
    ASSERT_TRUE(server.Start()) << "no X server could be started";
    const fs::path cartridge = scratch.Copy("demo");
    const fs::path home = scratch.Dir() / "home";
    fs::create_directories(home);
    {
        std::ofstream config(scratch.Dir() / "append.cfg");
        // The screenshot is the core's own 240 x 160 frame, not the window.
        config << "video_gpu_screenshot = \"false\"\n"
               << "audio_driver = \"null\"\n"
               << "video_font_enable = \"false\"\n"
               << "libretro_info_path = \"" << info.parent_path().string() << "\"\n";
    }
    const fs::path shot = scratch.Dir() / "shot.png";
    const std::string command = "cd '" + scratch.Dir().string() + "' && HOME='" + home.string() +
                                "' XDG_CONFIG_HOME='" + (home / ".config").string() + "' timeout 120 retroarch -v -L '" +
                                core.string() + "' demo.gba --appendconfig append.cfg --max-frames 120 --max-frames-ss"
                                " --max-frames-ss-path '" + shot.string() + "' > retroarch.log 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << x::ReadText(scratch.Dir() / "retroarch.log");
    const std::vector<uint32_t> picture = ReadPng(shot);
    ASSERT_FALSE(picture.empty()) << "RetroArch wrote no 240 x 160 screenshot; its log:\n"
                                  << x::ReadText(scratch.Dir() / "retroarch.log");

    Scratch other;
    other.Copy("demo");
    ASSERT_TRUE(RunHeadless(other.Dir(), "--frames 120 --screenshot shot.png demo.gba"));
    const std::vector<uint32_t> expected = ReadPng(other.Dir() / "shot.png");
    ASSERT_EQ(expected.size(), picture.size());
    size_t differing = 0;
    for (size_t i = 0; i < picture.size(); ++i) differing += picture[i] != expected[i];
    EXPECT_EQ(differing, 0u) << "pixels differ from koru-headless's frame 120";

    // RetroArch kept the battery save, as koru-headless's file with the
    // room for the 8 KB EEPROM that the image of a cartridge declaring no
    // save memory always has; nothing was written beside the cartridge.
    const std::vector<uint8_t> srm = ReadBytes(home / ".config/retroarch/saves/demo.srm");
    std::vector<uint8_t> sav = ReadBytes(other.Dir() / "demo.sav");
    ASSERT_FALSE(sav.empty());
    sav.resize(65536 + 8192, 0);
    EXPECT_TRUE(srm == sav) << "demo.srm has " << srm.size() << " bytes";
    EXPECT_FALSE(fs::exists(cartridge.parent_path() / "demo.sav"));
    EXPECT_FALSE(fs::exists(cartridge.parent_path() / "demo.sta"));
}

}  // namespace
}  // namespace koru::test
