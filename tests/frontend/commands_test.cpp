#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "frontend/commands.h"
#include "frontend/config.h"
#include "frontend/frontend.h"
#include "frontend/ini.h"
#include "frontend/input.h"
#include "frontend/resources.h"
#include "frontend_test.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "video/video.h"

namespace koru::test {
namespace {

using CommandTest = FrontendTest;

TEST_F(CommandTest, FunctionKeysToggleAutofireBits) {
    const std::pair<int, int32_t> keys[] = {{VkF1 + 2, 0x001}, {VkF1 + 3, 0x002}, {VkF1 + 4, 0x200}, {VkF1 + 5, 0x100}};
    for (const auto& [vk, bit] : keys) {
        AutoFire = 0x303;
        EXPECT_EQ(KeyCommand(vk), 1);
        EXPECT_EQ(AutoFire, 0x303 ^ bit) << vk;
    }
}

TEST_F(CommandTest, DigitKeysSwitchChannelsAndLayers) {
    SoundSwitch = 0x8005;
    KeyCommand(Vk0);
    EXPECT_EQ(SoundSwitch, 0);
    KeyCommand(Vk0);
    // Back to every channel, not to what was there before.
    EXPECT_EQ(SoundSwitch, 0x800F);
    KeyCommand(Vk0 + 1);
    EXPECT_EQ(SoundSwitch, 0x800E);
    KeyCommand(Vk0 + 4);
    EXPECT_EQ(SoundSwitch, 0x8006);
    KeyCommand(Vk0 + 1);
    EXPECT_EQ(SoundSwitch, 0x8007);
    for (int k = 0; k < 5; ++k) {
        HiddenLayerMask = 0;
        EXPECT_EQ(KeyCommand(Vk0 + 5 + k), 1);
        EXPECT_EQ(HiddenLayerMask, 1u << k);
        KeyCommand(Vk0 + 5 + k);
        EXPECT_EQ(HiddenLayerMask, 0u);
    }
}

TEST_F(CommandTest, VolumeKeysKeepTheirBounds) {
    SoundVolume = 250;
    KeyCommand(VkOemPlus);
    EXPECT_EQ(SoundVolume, 250);
    SoundVolume = 245;
    KeyCommand(VkOemPlus);
    EXPECT_EQ(SoundVolume, 255);
    SoundVolume = 5;
    KeyCommand(VkOemMinus);
    EXPECT_EQ(SoundVolume, -5);
    KeyCommand(VkOemMinus);
    EXPECT_EQ(SoundVolume, -5);
    // None of it is written to the file.
    EXPECT_FALSE(std::filesystem::exists(dir / "KORU.ini"));
}

TEST_F(CommandTest, EscapeAndF12Quit) {
    EXPECT_EQ(KeyCommand(VkEscape), 1);
    EXPECT_EQ(KeyCommand(VkF12), 1);
    EXPECT_EQ(Fake.Count("DestroyMainWindow"), 2);
}

TEST_F(CommandTest, StateKeysNeedAStateFileName) {
    ASSERT_EQ(StaName, nullptr);
    EXPECT_EQ(KeyCommand(VkF1 + 6), 1);
    EXPECT_EQ(KeyCommand(VkF1 + 7), 1);
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST_F(CommandTest, F11ResetsTheConsole) {
    WriteFile(dir / "game.gba", MakeCartridge());
    ASSERT_TRUE(PrepareMachine((dir / "game.gba").string().c_str()));
    Poke16(IoRam + 0x130, 0x0000);
    EXPECT_EQ(KeyCommand(VkF1 + 10), 1);
    EXPECT_EQ(Peek16(IoRam + 0x130), 0xFFFF);
}

TEST_F(CommandTest, SizeCommandsSetMultiplesOfTheScreen) {
    for (int id = 150; id <= 153; ++id) OnCommand(id);
    EXPECT_TRUE(Fake.Called("SetClientSize 240 160"));
    EXPECT_TRUE(Fake.Called("SetClientSize 480 320"));
    EXPECT_TRUE(Fake.Called("SetClientSize 720 480"));
    EXPECT_TRUE(Fake.Called("SetClientSize 960 640"));
}

TEST_F(CommandTest, SnapshotWritesClientSizeAndWindowCorner) {
    OnSize(720, 480);
    Fake.windowLeft = -8;
    Fake.windowTop = 30;
    OnCommand(CommandSnapshot);
    EXPECT_EQ(Text("KORU.ini"), "[KORU]\nWidth=720\nHeight=480\nX=-8\nY=30\n");
    std::filesystem::remove(dir / "KORU.ini");
    Fake.rectFails = true;
    OnCommand(CommandSnapshot);
    EXPECT_FALSE(std::filesystem::exists(dir / "KORU.ini"));
}

TEST_F(CommandTest, NewRestartsOnlyWhenAFileWasChosen) {
    std::strcpy(CartridgeName, "old.gba");
    Fake.fileAnswers = {std::nullopt, std::string("/games/new.gba")};
    OnCommand(CommandNew);
    EXPECT_STREQ(CartridgeName, "old.gba");
    EXPECT_EQ(ExitRequest, 0u);
    OnCommand(CommandNew);
    EXPECT_STREQ(CartridgeName, "/games/new.gba");
    EXPECT_EQ(ExitRequest, 1u);
    EXPECT_EQ(Fake.fileStarts[0], "old.gba");
}

TEST_F(CommandTest, ALongChosenPathIsRefusedNotCut) {
    const std::string longPath = "/" + std::string(260, 'd') + "/state.sta";
    std::strcpy(StateFileName, "keep.sta");
    Fake.fileAnswers = {longPath, longPath, "/" + std::string(249, 'e')};
    testing::internal::CaptureStderr();
    OnCommand(CommandSaveState);
    OnCommand(CommandLoadState);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(StateFileName, "keep.sta");
    EXPECT_NE(message.find("longer than 250"), std::string::npos) << message;
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    // 250 characters are still taken.
    std::strcpy(CartridgeName, "a.gba");
    OnCommand(CommandNew);
    EXPECT_EQ(std::strlen(CartridgeName), 250u);
}

TEST_F(CommandTest, DialogCommandsOpenTheirDialogs) {
    std::vector<int> opened;
    Fake.dialogHook = [&](const DialogTemplate& dialog, const DialogProcedure&) { opened.push_back(dialog.resource); };
    OnCommand(CommandSetup);
    OnCommand(CommandAbout);
    OnCommand(CommandInfo);
    OnCommand(149);
    OnCommand(162);
    EXPECT_EQ(opened, (std::vector<int>{143, 144, 145}));
    OnCommand(CommandQuit);
    EXPECT_EQ(Fake.Count("DestroyMainWindow"), 1);
    // Load State opens, Save State saves, and says so.
    OnCommand(CommandLoadState);
    OnCommand(CommandSaveState);
    EXPECT_TRUE(Fake.Called("OpenFileDialog states"));
    EXPECT_TRUE(Fake.Called("SaveFileDialog states"));
    EXPECT_EQ(Fake.fileTitles, (std::vector<std::string>{"", "Save State"}));
}

TEST_F(CommandTest, ADroppedFileRunsAndF9WritesThePictureBesideTheCartridge) {
    OnDropFile("/games/dropped.gba");
    EXPECT_STREQ(CartridgeName, "/games/dropped.gba");
    EXPECT_EQ(ExitRequest, 1u);
    ExitRequest = 0;
    OnDropFile(std::string(251, 'x').c_str());
    EXPECT_EQ(ExitRequest, 0u) << "a path longer than the limit is refused, not cut";

    std::vector<uint16_t> surface(FrameWidth * FrameHeight, 0);
    FrameBuffer = surface.data();
    surface[ScreenLeft] = 0x7C00;                          // screen (0, 0)
    surface[159 * FrameWidth + ScreenLeft + 239] = 0x001F;  // screen (239, 159)
    std::strcpy(CartridgeName, (dir / "game.gba").string().c_str());
    WriteFile(dir / "game-1.png", {});
    EXPECT_EQ(KeyCommand(VkF9), 1);
    EXPECT_TRUE(Fake.Called("WritePicture " + (dir / "game-2.png").string())) << "the first free number";
    ASSERT_EQ(Fake.picture.size(), 240u * 160u);
    EXPECT_EQ(Fake.picture.front(), 0x7C00);
    EXPECT_EQ(Fake.picture.back(), 0x001F);
    FrameBuffer = nullptr;
}

TEST_F(CommandTest, TheMenuHasItsItemsAndIds) {
    ASSERT_STREQ(MainMenu[0].title, "&File");
    ASSERT_STREQ(MainMenu[1].title, "&Size");
    ASSERT_STREQ(MainMenu[2].title, "&Help");
    std::map<int, std::string> items;
    for (const MenuTemplate& menu : MainMenu) {
        for (size_t i = 0; i < menu.count; ++i) {
            if (menu.items[i].text) items[menu.items[i].id] = menu.items[i].text;
        }
    }
    EXPECT_EQ(items[155], "&New");
    EXPECT_EQ(items[156], "S&etup");
    EXPECT_EQ(items[160], "&Load State");
    EXPECT_EQ(items[161], "&Save State");
    EXPECT_EQ(items[157], "&Quit");
    EXPECT_EQ(items[152], "3:1 (720x480)");
    EXPECT_EQ(items[154], "&Snapshot");
    EXPECT_EQ(items[159], "&Info");
    EXPECT_EQ(items[158], "&About");
    EXPECT_EQ(items.size(), 12u);
    EXPECT_STREQ(CommandDescription(153), "Set 4:1 screen resolution (960x640)");
}

TEST_F(CommandTest, TheEndWritesTheCartridgeNameAndShutsDownInOrder) {
    std::strcpy(CartridgeName, "/games/zelda.gba");
    ASSERT_NE(SetSyncTimer(60), 0u);
    WriteFile(dir / "game.gba", MakeCartridge());
    ASSERT_TRUE(PrepareMachine((dir / "game.gba").string().c_str()));
    try {
        OnDestroy();
        FAIL() << "the program did not end";
    } catch (const ProcessExit& exit) {
        EXPECT_EQ(exit.status, 0);
    }
    EXPECT_EQ(ProfileGetInt("KORU", "Cartridge", 0, IniPath), 0);
    char name[251];
    ProfileGetString("KORU", "Cartridge", "", name, sizeof name, IniPath);
    EXPECT_STREQ(name, "/games/zelda.gba");
    EXPECT_EQ(CartridgeRom, nullptr);  // the machine was shut down
    EXPECT_EQ(SyncTimerId, 0u);
    // Window context, surface, timer, then the end.
    std::vector<std::string> order;
    for (const std::string& call : Fake.calls) {
        if (call == "ReleaseWindowContext" || call == "FreeFrameSurface" || call.rfind("StopPeriodicTick", 0) == 0 ||
            call.rfind("ExitProcess", 0) == 0) {
            order.push_back(call.substr(0, call.find(' ')));
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"ReleaseWindowContext", "FreeFrameSurface", "StopPeriodicTick",
                                               "ExitProcess"}));
    EXPECT_EQ(Fake.calls.back(), "ExitProcess 0");
}

// The information dialogs.

TEST_F(CommandTest, AboutPausesAndShowsItsTexts) {
    FakeDialog dialog;
    AboutProcedure.init(dialog);
    EXPECT_EQ(EmulationActive, 0u);
    EXPECT_EQ(dialog.texts[181], "compiled on May 21 2001");
    EXPECT_FALSE(dialog.texts[180].empty());
    AboutProcedure.command(dialog, 2);
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(EmulationActive, 1u);
    EXPECT_STREQ(AboutDialog.caption, "About Koru");
}

TEST_F(CommandTest, CartridgeInformationShowsTheHeader) {
    std::vector<uint8_t> image = MakeCartridge(64 * 1024, "METROID");
    image[0xBC] = 0x01;
    image[0xB3] = 0x02;
    image[0xB4] = 0x80;
    FixHeader(image);
    image[0xBE] = 0x12;  // a CRC field that does not match
    image[0xBF] = 0x34;
    WriteFile(dir / "game.gba", image);
    CheckCRC = 0;
    ASSERT_TRUE(PrepareMachine((dir / "game.gba").string().c_str()));
    FakeDialog dialog;
    InfoProcedure.init(dialog);
    EXPECT_EQ(dialog.texts[174], "METROID (KTSE)");
    EXPECT_EQ(dialog.texts[170], "Nintendo (01)");
    EXPECT_EQ(dialog.texts[171], "1234h (computed as 0000h)");
    char complement[40];
    std::snprintf(complement, sizeof complement, "%02Xh (computed as %02Xh)", image[0xBD], image[0xBD]);
    EXPECT_EQ(dialog.texts[172], complement);
    EXPECT_EQ(dialog.texts[173], "01h");
    EXPECT_EQ(dialog.texts[175], "02h");
    EXPECT_EQ(dialog.texts[176], "80h");
    // Cancel is no command of this dialog; OK and closing end it.
    InfoProcedure.command(dialog, 2);
    EXPECT_FALSE(dialog.ended);
    InfoProcedure.command(dialog, 1);
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(EmulationActive, 1u);
}

TEST_F(CommandTest, AnUnknownMakerIsShownAsUnknownWithItsCode) {
    std::vector<uint8_t> image = MakeCartridge();
    image[0xB0] = 'Z';
    image[0xB1] = 'Q';
    FixHeader(image);
    WriteFile(dir / "game.gba", image);
    ASSERT_TRUE(PrepareMachine((dir / "game.gba").string().c_str()));
    FakeDialog dialog;
    InfoProcedure.init(dialog);
    EXPECT_EQ(dialog.texts[170], "Unknown (ZQ)");
    FakeDialog closing;
    InfoProcedure.close(closing);
    EXPECT_TRUE(closing.ended);
}

}  // namespace
}  // namespace koru::test
