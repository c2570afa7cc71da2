#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "frontend/config.h"
#include "frontend/frontend.h"
#include "frontend/ini.h"
#include "frontend/input.h"
#include "frontend/resources.h"
#include "frontend_test.h"
#include "cpu/cpu_state.h"
#include "machine/machine.h"
#include "support/test_host.h"

namespace koru::test {
namespace {

class ConfigTest : public FrontendTest {
protected:
    void Ini(const std::string& text) {
        std::ofstream out(dir / "KORU.ini", std::ios::binary);
        out << text;
    }
    // A cartridge that passes the checks; the run ends at its first frame.
    std::string Cartridge(const char* title = "ZELDA", const char* name = "game.gba") {
        WriteFile(dir / name, MakeCartridge(64 * 1024, title));
        PollInputHook = [] {
            ExitRequest = 1;
            return 0u;
        };
        return (dir / name).string();
    }
};

TEST_F(ConfigTest, WithoutAnIniFileEverySettingHasItsDefaultAndTheFirstRunDrawsEveryFrameSyncedAndUnchecked) {
    UpdatePeriod = 3;
    SoundRate = 0;
    ReadSettings("GAME");
    EXPECT_EQ(UpdatePeriod, 1);
    EXPECT_EQ(TimerPeriod, 60);
    EXPECT_EQ(SaveCPU, 1);
    EXPECT_EQ(AutoFire, 0);
    EXPECT_EQ(CheckCRC, 0);
    EXPECT_EQ(UseDrums, 0);
    EXPECT_EQ(SoundSwitch, 0x800F);
    EXPECT_EQ(SoundVolume, 200);
    EXPECT_EQ(SoundBuffers, 16);
    EXPECT_EQ(SoundRate, 1);
    EXPECT_STREQ(SoundLogFile, "LOG.MID");
    EXPECT_EQ(DirectSound, 0);
    EXPECT_EQ(DisplayWindows, 0);
}

TEST_F(ConfigTest, TheCartridgeSectionWinsForTheKeysItHolds) {
    Ini("[KORU]\nSoundRate=22050\nSoundVolume=100\nSoundLogFile=all.mid\n"
        "[ZELDA]\nSoundRate=0\nAutoFire=258\nSoundLogFile=zelda.mid\nSaveCPU=256\n");
    ReadSettings("zelda");
    EXPECT_EQ(SoundRate, 0);
    EXPECT_EQ(SoundVolume, 100);
    EXPECT_EQ(AutoFire, 258);
    // The log file is a general setting only.
    EXPECT_STREQ(SoundLogFile, "all.mid");
    // "Sleep when inactive" is a byte.
    EXPECT_EQ(SaveCPU, 0);
}

TEST_F(ConfigTest, ALongFileNameInTheIniIsRefusedNotCut) {
    const std::string longName = std::string(240, 'd') + "/" + std::string(20, 'f') + ".mid";
    Ini("[KORU]\nSoundLogFile=" + longName + "\nCartridge=" + longName + "\n");
    testing::internal::CaptureStderr();
    ReadSettings("GAME");
    char cartridge[MaxPathLength + 1];
    ReadPathSetting("KORU", "Cartridge", "CART.GBA", cartridge);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(SoundLogFile, "LOG.MID");
    EXPECT_STREQ(cartridge, "CART.GBA");
    EXPECT_NE(message.find("longer than 250"), std::string::npos) << message;
    // 250 characters are still taken.
    Ini("[KORU]\nSoundLogFile=" + longName.substr(0, 250) + "\n");
    ReadSettings("GAME");
    EXPECT_EQ(SoundLogFile, longName.substr(0, 250));
}

TEST_F(ConfigTest, RunCartridgeReadsTheSectionNamedByTheHeaderTitle) {
    Ini("[KORU]\nUpdatePeriod=2\n[ZELDA]\nAutoFire=3\nUpdatePeriod=5\n[UNKNOWN]\nAutoFire=1\n");
    ClientWidth = 480;
    ClientHeight = 320;
    EXPECT_EQ(RunCartridge(Cartridge().c_str()), 1);
    EXPECT_STREQ(CartridgeSection, "ZELDA");
    EXPECT_EQ(AutoFire, 3);
    EXPECT_EQ(UpdatePeriod, 5);
    EXPECT_TRUE(Fake.Called("SetClientSize 480 320"));
    EXPECT_EQ(PollInputCalls, 1);
}

TEST_F(ConfigTest, AShortOrMissingFileUsesSectionUnknown) {
    // With the check on, the short file is refused rather than run.
    Ini("[KORU]\nCheckCRC=1\n[UNKNOWN]\nAutoFire=1\n");
    WriteFile(dir / "short.gba", std::vector<uint8_t>(511, 0x41));
    EXPECT_EQ(RunCartridge((dir / "short.gba").string().c_str()), 0);
    EXPECT_STREQ(CartridgeSection, "UNKNOWN");
    EXPECT_EQ(AutoFire, 1);
    EXPECT_EQ(RunCartridge((dir / "missing.gba").string().c_str()), 0);
    EXPECT_STREQ(CartridgeSection, "UNKNOWN");
}

TEST_F(ConfigTest, TheSyncRateIsLimitedTo60WhenRead) {
    Ini("[KORU]\nTimerPeriod=90\n");
    RunCartridge(Cartridge().c_str());
    EXPECT_EQ(TimerPeriod, 60);
    EXPECT_TRUE(Fake.Called("StartPeriodicTick 16 5"));

    Ini("[KORU]\nTimerPeriod=-4\n");
    Fake.calls.clear();
    RunCartridge(Cartridge().c_str());
    EXPECT_EQ(TimerPeriod, 0);
    EXPECT_EQ(SyncTimerId, 0u);
    EXPECT_EQ(Fake.Count("StartPeriodicTick"), 0);
}

TEST_F(ConfigTest, ASyncRateThatCannotStartTurnsSyncOff) {
    Ini("[KORU]\nTimerPeriod=30\n");
    Fake.tickFails = true;
    RunCartridge(Cartridge().c_str());
    EXPECT_TRUE(Fake.Called("StartPeriodicTick 33 11"));
    EXPECT_EQ(TimerPeriod, 0);
}

TEST_F(ConfigTest, ARunStoppedAtAnAddressEndingIn00StartsAgain) {
    Cartridge();
    PollInputHook = [] {
        // The machine stops wherever it is; here at an address whose low
        // byte is 0.
        CpuState.R[15] = 0x08000100;
        ExitRequest = 1;
        return 0u;
    };
    EXPECT_EQ(RunCartridge((dir / "game.gba").string().c_str()), 1);
}

// The Setup dialog.

class SetupTest : public ConfigTest {
protected:
    void Open() { SetupProcedure.init(dialog); }
    void Press(int id) { SetupProcedure.command(dialog, id); }
    FakeDialog dialog;
};

TEST_F(SetupTest, TheDialogShowsTheSettingsWithTheirLabels) {
    UpdatePeriod = 3;
    TimerPeriod = 0;
    SoundVolume = 200;
    SoundBuffers = 16;
    SoundRate = 1;
    AutoFire = 0x201;
    SoundSwitch = 0x8005;
    SaveCPU = 1;
    CheckCRC = 0;
    std::strcpy(SoundLogFile, "music.mid");
    Open();
    EXPECT_EQ(dialog.texts[110], "Update x 3 frames");
    EXPECT_EQ(dialog.texts[111], "Don't sync updates");
    EXPECT_EQ(dialog.texts[112], "Volume 200");
    EXPECT_EQ(dialog.texts[113], "Sound Buffers 16");
    EXPECT_EQ(dialog.texts[114], "Sound Rate 22050Hz");
    EXPECT_EQ(dialog.positions[104], 22050);
    EXPECT_EQ(dialog.ranges[100], std::make_pair(1, 20));
    EXPECT_EQ(dialog.ranges[101], std::make_pair(0, 120));
    EXPECT_EQ(dialog.ranges[102], std::make_pair(0, 255));
    EXPECT_EQ(dialog.ranges[103], std::make_pair(2, 32));
    EXPECT_EQ(dialog.ranges[104], std::make_pair(8192, 44100));
    EXPECT_TRUE(dialog.checks[120]);
    EXPECT_FALSE(dialog.checks[121]);
    EXPECT_TRUE(dialog.checks[122]);  // L is 0x200
    EXPECT_FALSE(dialog.checks[123]);
    EXPECT_FALSE(dialog.checks[127]);
    EXPECT_TRUE(dialog.checks[124]);
    EXPECT_TRUE(dialog.checks[125]);
    EXPECT_TRUE(dialog.checks[134]);
    EXPECT_FALSE(dialog.checks[135]);
    EXPECT_TRUE(dialog.checks[136]);
    EXPECT_FALSE(dialog.checks[137]);
    EXPECT_EQ(dialog.texts[140], "music.mid");
}

TEST_F(SetupTest, ScrollBarsMoveAndRelabel) {
    UpdatePeriod = 3;
    Open();
    SetScrollValue(dialog, 101, 90);
    EXPECT_EQ(dialog.texts[111], "Sync updates to 90Hz");
    SetupProcedure.hscroll(dialog, 101, ScrollLineLeft, 0);
    EXPECT_EQ(dialog.positions[101], 89);
    SetupProcedure.hscroll(dialog, 104, ScrollThumbTrack, 44100);
    EXPECT_EQ(dialog.texts[114], "Sound Rate 44100Hz");
    SetupProcedure.hscroll(dialog, 100, ScrollPageRight, 0);
    EXPECT_EQ(dialog.texts[110], "Update x 4 frames");
    SetupProcedure.hscroll(dialog, 100, ScrollEnd, 17);
    EXPECT_EQ(dialog.positions[100], 4);
    // The scroll bar keeps its range; the label shows the value asked for.
    SetScrollValue(dialog, 102, 300);
    EXPECT_EQ(dialog.positions[102], 255);
    EXPECT_EQ(dialog.texts[112], "Volume 300");
}

TEST_F(SetupTest, NinetyHertzIsWrittenButLeavesSyncOff) {
    Cartridge();
    std::strcpy(CartridgeSection, "ZELDA");
    Open();
    SetScrollValue(dialog, 101, 90);
    Press(IdOk);
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(TimerPeriod, 0);
    EXPECT_EQ(SyncTimerId, 0u);
    EXPECT_EQ(ProfileGetInt("KORU", "TimerPeriod", -1, IniPath), 90);
}

// The display windows are read with the common settings (the cartridge's
// section winning) and written back by Setup only when switched on: the
// file of a player who never switched them on stays as it was.
TEST_F(SetupTest, DisplayWindowsIsReadAndWrittenBackWhenOn) {
    Ini("[KORU]\nDisplayWindows=1\n[ZELDA]\nDisplayWindows=0\n");
    ReadSettings("ZELDA");
    EXPECT_EQ(DisplayWindows, 0);
    ReadSettings("OTHER");
    EXPECT_EQ(DisplayWindows, 1);
    std::filesystem::remove(dir / "KORU.ini");
    Open();
    Press(IdOk);
    EXPECT_EQ(ProfileGetInt("KORU", "DisplayWindows", -1, IniPath), 1);
    DisplayWindows = 0;
    std::filesystem::remove(dir / "KORU.ini");
    Open();
    Press(IdOk);
    EXPECT_EQ(ProfileGetInt("KORU", "DisplayWindows", -1, IniPath), -1);
}

TEST_F(SetupTest, MidiIsCheckedForSoundRate0AndOkMakesIt1) {
    SoundRate = 0;
    Open();
    EXPECT_TRUE(dialog.checks[125]);
    EXPECT_EQ(dialog.positions[104], 22050);
    Press(IdOk);
    EXPECT_EQ(SoundRate, 1);
    EXPECT_EQ(ProfileGetInt("KORU", "SoundRate", -1, IniPath), 1);
    // Without the box the bar's rate is taken.
    Open();
    dialog.checks[125] = false;
    SetScrollValue(dialog, 104, 32000);
    Press(IdOk);
    EXPECT_EQ(SoundRate, 32000);
}

TEST_F(SetupTest, OkWritesGeneralAndPerCartridgeKeysToTheirSections) {
    std::strcpy(CartridgeSection, "ZELDA");
    Open();
    dialog.checks[121] = true;  // autofire B
    dialog.checks[123] = true;  // autofire R
    dialog.checks[119] = true;  // drums
    dialog.checks[124] = false;
    dialog.checks[134] = dialog.checks[135] = dialog.checks[136] = dialog.checks[137] = false;
    dialog.checks[135] = true;
    dialog.texts[140] = "out.mid";
    SetScrollValue(dialog, 102, 130);
    SetScrollValue(dialog, 103, 8);
    Press(IdOk);
    EXPECT_EQ(AutoFire, 0x102);
    EXPECT_EQ(UseDrums, 1);
    EXPECT_EQ(SaveCPU, 0);
    EXPECT_EQ(SoundSwitch, 0x8002);  // the drum bit is always set
    EXPECT_STREQ(SoundLogFile, "out.mid");
    EXPECT_EQ(Text("KORU.ini"),
              "[KORU]\nSoundRate=1\nSoundBuffers=8\nSoundVolume=130\nSaveCPU=0\nCheckCRC=1\nUpdatePeriod=1\n"
              "TimerPeriod=0\nSoundLogFile=out.mid\n\n[ZELDA]\nSoundSwitch=32770\nAutoFire=258\nUseDrums=1\n");
    EXPECT_EQ(EmulationActive, 1u);
    EXPECT_EQ(ExitRequest, 0u);
}

TEST_F(SetupTest, DirectSoundIsReadFromTheIniAndOkWritesItBackWhenOn) {
    std::ofstream(dir / "KORU.ini", std::ios::binary) << "[KORU]\nDirectSound=1\n";
    ReadSettings("ZELDA");
    EXPECT_EQ(DirectSound, 1);
    std::filesystem::remove(dir / "KORU.ini");
    Open();
    Press(IdOk);
    EXPECT_EQ(ProfileGetInt("KORU", "DirectSound", -1, IniPath), 1);
}

TEST_F(SetupTest, ChangingTheCrcCheckRestartsTheCartridge) {
    Open();
    Press(IdOk);
    EXPECT_EQ(ExitRequest, 0u);
    Open();
    dialog.checks[127] = false;
    Press(IdOk);
    EXPECT_EQ(ExitRequest, 1u);
    EXPECT_EQ(CheckCRC, 0);
}

TEST_F(SetupTest, ResetAppliesAndRestarts) {
    Open();
    SetScrollValue(dialog, 100, 7);
    Press(SetupReset);
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(UpdatePeriod, 7);
    EXPECT_EQ(ExitRequest, 1u);
}

TEST_F(SetupTest, CancelChangesNothing) {
    EmulationActive = 0;
    UpdatePeriod = 3;
    Open();
    SetupProcedure.hscroll(dialog, 100, ScrollLineRight, 0);
    SetupProcedure.hscroll(dialog, 102, ScrollThumbPosition, 17);
    dialog.checks[120] = true;
    dialog.checks[127] = false;
    Press(IdCancel);
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(UpdatePeriod, 3);
    EXPECT_EQ(SoundVolume, 200);
    EXPECT_EQ(AutoFire, 0);
    EXPECT_EQ(CheckCRC, 1);
    EXPECT_EQ(ExitRequest, 0u);
    EXPECT_FALSE(std::filesystem::exists(dir / "KORU.ini"));
    EXPECT_EQ(EmulationActive, 1u);
    // So does closing the dialog, and any other command.
    FakeDialog other;
    SetupProcedure.init(other);
    SetupProcedure.command(other, SetupAutoFireA);
    EXPECT_FALSE(other.ended);
    SetupProcedure.close(other);
    EXPECT_TRUE(other.ended);
    EXPECT_FALSE(std::filesystem::exists(dir / "KORU.ini"));
}

TEST_F(SetupTest, EveryControlTheProcedureUsesIsInTheTemplate) {
    std::set<int> ids;
    for (size_t i = 0; i < SetupDialog.controlCount; ++i) ids.insert(SetupDialog.controls[i].id);
    for (int id : {100, 101, 102, 103, 104, 110, 111, 112, 113, 114, 119, 120, 121, 122, 123, 124, 125, 126, 127,
                   134, 135, 136, 137, 140, 1, 2, 146}) {
        EXPECT_TRUE(ids.count(id)) << id;
    }
    EXPECT_STREQ(SetupDialog.caption, "Koru Setup");
    EXPECT_EQ(SetupDialog.width, 220);
    EXPECT_EQ(SetupDialog.height, 205);
}

}  // namespace
}  // namespace koru::test
