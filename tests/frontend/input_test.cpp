#include <gtest/gtest.h>

#include <thread>

#include "frontend/commands.h"
#include "frontend/frontend.h"
#include "frontend/input.h"
#include "frontend_test.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "sound/synthesis.h"
#include "video/video.h"

namespace koru::test {
namespace {

// Keeps the channel switches each SetSoundVolume sends.
int SentSwitches = -1;
const DeviceOperations SwitchRecorder = {
    [](int, int) {}, [](int, int) {}, [](int, int switches) { SentSwitches = switches; }, [](int, int, int) {},
    [](int, const int8_t*, int) {}};

class InputTest : public FrontendTest {
protected:
    void SetUp() override {
        FrontendTest::SetUp();
        Operations = &SwitchRecorder;
    }
    void TearDown() override {
        Operations = nullptr;
        FrontendTest::TearDown();
    }
};

TEST_F(InputTest, KeysOfTheMapSetAndClearTheirConsoleBits) {
    EXPECT_EQ(KeyEvent(VkSpace, 1), 1);
    EXPECT_EQ(KeyEvent(VkRight, 1), 1);
    EXPECT_EQ(KeyboardKeys, 0x011u);
    EXPECT_EQ(KeyEvent(VkSpace, 0), 1);
    EXPECT_EQ(KeyboardKeys, 0x010u);
    const std::pair<int, uint32_t> rows[] = {
        {VkReturn, KeyStart}, {VkTab, KeySelect}, {VkControl, KeyB}, {VkUp, KeyUp}, {VkDown, KeyDown},
        {VkLeft, KeyLeft},    {'Z', KeyB},        {'M', KeyB},       {'A', KeyA},   {'L', KeyA},
        {'Q', KeyL},          {'O', KeyL},        {'W', KeyR},       {'P', KeyR},
    };
    for (const auto& [vk, key] : rows) {
        KeyboardKeys = 0;
        KeyEvent(vk, 1);
        EXPECT_EQ(KeyboardKeys, key) << vk;
    }
}

TEST_F(InputTest, KeysShareTheirConsoleBit) {
    KeyEvent('A', 1);
    KeyEvent('S', 1);
    KeyEvent('S', 0);
    // Releasing S releases A although the A key is still held.
    EXPECT_EQ(KeyboardKeys, 0u);
}

TEST_F(InputTest, OtherKeysAreCommandsOnPressOnly) {
    EXPECT_EQ(KeyEvent(VkF1 + 2, 0), 0);  // F3 released: nothing
    EXPECT_EQ(AutoFire, 0);
    EXPECT_EQ(KeyEvent(VkF1 + 2, 1), 1);
    EXPECT_EQ(AutoFire, 1);
    EXPECT_EQ(KeyEvent(VkF1, 1), 0);  // F1 is no command
    EXPECT_EQ(KeyEvent(VkShift, 1), 0);
}

TEST_F(InputTest, AnAutomaticRepeatChangesNothing) {
    OnKeyDown(VkF1 + 2, false);
    OnKeyDown(VkF1 + 2, true);
    OnKeyDown(VkF1 + 2, true);
    EXPECT_EQ(AutoFire, 1);
    OnKeyDown(VkSpace, true);
    EXPECT_EQ(KeyboardKeys, 0u);
    OnKeyDown(VkSpace, false);
    OnKeyUp(VkSpace);
    EXPECT_EQ(KeyboardKeys, 0u);
}

TEST_F(InputTest, JoystickThirds) {
    const JoystickCaps caps{0, 65535, 0, 65535};  // a third is 21845
    auto keys = [&](uint32_t x, uint32_t y, uint32_t buttons = 0) {
        return JoystickKeys(caps, JoystickPosition{x, y, buttons});
    };
    EXPECT_EQ(keys(32768, 32768), 0u);
    EXPECT_EQ(keys(21845, 32768), 0u);  // exactly min + third is centred
    EXPECT_EQ(keys(21844, 32768), KeyLeft);
    EXPECT_EQ(keys(43690, 32768), 0u);
    EXPECT_EQ(keys(43691, 32768), KeyRight);
    EXPECT_EQ(keys(32768, 0), KeyUp);
    EXPECT_EQ(keys(32768, 65535), KeyDown);
    EXPECT_EQ(keys(0, 65535), KeyLeft | KeyDown);
    EXPECT_EQ(keys(32768, 32768, 1), KeyA);
    EXPECT_EQ(keys(32768, 32768, 2), KeyB);
    EXPECT_EQ(keys(32768, 32768, 4), KeyL);
    EXPECT_EQ(keys(32768, 32768, 8), KeyR);
    EXPECT_EQ(keys(32768, 32768, 0x30), 0u);  // buttons 5 and 6 are not used
}

TEST_F(InputTest, TheJoystickIsReadOnlyWhenPresentAndAnswering) {
    Fake.position = JoystickPosition{0, 0, 1};
    EXPECT_EQ(ReadJoystickKeys(), 0u);  // not detected
    Fake.joysticks = 1;
    Fake.caps = JoystickCaps{100, 400, 100, 400};
    DetectJoystick();
    EXPECT_EQ(JoystickPresent, 1);
    EXPECT_EQ(ReadJoystickKeys(), KeyLeft | KeyUp | KeyA);
    Fake.position.reset();
    EXPECT_EQ(ReadJoystickKeys(), 0u);
}

TEST_F(InputTest, ATapBetweenTwoPollsCountsAsHeldForTheNext) {
    KeyEvent(VkSpace, 1);
    KeyEvent(VkSpace, 0);
    KeyEvent(VkReturn, 1);
    EXPECT_EQ(KeyboardKeys, KeyStart);
    EXPECT_EQ(TakeKeyboardKeys(), KeyA | KeyStart);
    // Only for that one poll; a held key stays.
    EXPECT_EQ(TakeKeyboardKeys(), KeyStart);
    // Losing the focus forgets taps too.
    KeyEvent(VkSpace, 1);
    OnActivate(false);
    EXPECT_EQ(TakeKeyboardKeys(), 0u);
}

TEST_F(InputTest, PauseHoldsTheGameSilentUntilPauseOrANewRun) {
    SaveCPU = 0;
    SoundSwitch = 0x800F;
    EXPECT_EQ(KeyEvent(VkPause, 1), 1);
    EXPECT_EQ(Paused, 1);
    EXPECT_EQ(SentSwitches, 0);
    EXPECT_EQ(Fake.caption, "Koru - paused");
    // A menu closing or a dialog ending does not bring the sound back.
    SetActive(1);
    EXPECT_EQ(SentSwitches, 0);
    int waits = 0;
    Fake.waitHook = [&] {
        if (++waits == 2) KeyEvent(VkPause, 1);
        return true;
    };
    SleepWhileInactive();
    EXPECT_EQ(waits, 2);
    EXPECT_EQ(Paused, 0);
    EXPECT_EQ(SentSwitches, 0x800F);
    EXPECT_EQ(Fake.caption, "Koru");
    // A run asked to stop (File / New) ends the pause's wait.
    KeyEvent(VkPause, 1);
    waits = 0;
    Fake.waitHook = [&] {
        if (++waits == 3) ExitRequest = 1;
        return true;
    };
    SleepWhileInactive();
    EXPECT_EQ(waits, 3);
}

TEST_F(InputTest, FastForwardRunsUnsyncedAndSilentWhileHeld) {
    SoundSwitch = 0x800F;
    SetSyncTimer(60);
    EXPECT_EQ(KeyEvent(VkBack, 1), 1);
    EXPECT_EQ(SentSwitches, 0);
    // No tick ever comes, and the frame goes on.
    WaitForFrameTick();
    EXPECT_EQ(KeyEvent(VkBack, 0), 1);
    EXPECT_EQ(FastForward, 0);
    EXPECT_EQ(SentSwitches, 0x800F);
    // A release lost to another window ends it too.
    KeyEvent(VkBack, 1);
    OnActivate(false);
    EXPECT_EQ(FastForward, 0);
    SetSyncTimer(0);
}

TEST_F(InputTest, AKnownPadGivesItsKeysAndAJoystickPluggedInLaterIsTakenUp) {
    Fake.gamepad = KeyA | KeySelect | KeyLeft;
    EXPECT_EQ(ReadJoystickKeys(), KeyA | KeySelect | KeyLeft);
    Fake.gamepad.reset();
    EXPECT_EQ(ReadJoystickKeys(), 0u);
    Fake.joysticks = 1;
    Fake.joystickArrives = true;
    Fake.position = JoystickPosition{0, 32768, 1};
    EXPECT_EQ(ReadJoystickKeys(), KeyLeft | KeyA);
}

TEST_F(InputTest, SetActiveAsksOrSets) {
    EXPECT_EQ(SetActive(0), 0);
    EXPECT_EQ(SetActive(2), 0);
    EXPECT_EQ(SetActive(1), 1);
    EXPECT_EQ(SetActive(2), 1);
}

TEST_F(InputTest, SleepingWhileInactiveWaitsForEventsUntilActive) {
    SaveCPU = 1;
    SetActive(0);
    int waits = 0;
    Fake.waitHook = [&] {
        if (++waits == 3) SetActive(1);
        return true;
    };
    SleepWhileInactive();
    EXPECT_EQ(waits, 3);
    // A quitting application ends the wait.
    SetActive(0);
    waits = 0;
    Fake.waitHook = [&] {
        ++waits;
        return false;
    };
    SleepWhileInactive();
    EXPECT_EQ(waits, 1);
    // Without "Sleep when inactive" nothing waits.
    SaveCPU = 0;
    SleepWhileInactive();
    EXPECT_EQ(waits, 1);
}

TEST_F(InputTest, ActivationClearsKeysAndPausesOnlyWithSleepWhenInactive) {
    SaveCPU = 0;
    KeyboardKeys = KeyA;
    OnActivate(false);
    EXPECT_EQ(KeyboardKeys, 0u);
    EXPECT_EQ(EmulationActive, 1u);
    SaveCPU = 1;
    KeyboardKeys = KeyB;
    OnActivate(false);
    EXPECT_EQ(KeyboardKeys, 0u);
    EXPECT_EQ(EmulationActive, 0u);
    OnActivate(true);
    EXPECT_EQ(EmulationActive, 1u);
}

TEST_F(InputTest, MenusPauseAndResume) {
    OnMenuLoop(true);
    EXPECT_EQ(EmulationActive, 0u);
    OnMenuLoop(false);
    EXPECT_EQ(EmulationActive, 1u);
}

TEST_F(InputTest, SyncTimerRaisesTheResolutionOnceAndLowersItAtTheEnd) {
    EXPECT_NE(SetSyncTimer(30), 0u);
    EXPECT_TRUE(Fake.Called("StartPeriodicTick 33 11"));
    const uint32_t first = SyncTimerId;
    EXPECT_NE(SetSyncTimer(60), 0u);
    EXPECT_TRUE(Fake.Called("StopPeriodicTick " + std::to_string(first)));
    EXPECT_TRUE(Fake.Called("StartPeriodicTick 16 5"));
    EXPECT_EQ(Fake.timerBegins, 1);
    EXPECT_EQ(Fake.timerEnds, 0);
    EXPECT_EQ(SetSyncTimer(0), 0u);
    EXPECT_EQ(Fake.timerEnds, 1);
    EXPECT_EQ(SetSyncTimer(61), 0u);
    EXPECT_EQ(Fake.Count("StartPeriodicTick"), 2);
}

TEST_F(InputTest, FramesWaitForTheTickOnlyWhenSyncIsOn) {
    WaitForFrameTick();  // no timer: returns at once
    ASSERT_NE(SetSyncTimer(60), 0u);
    ASSERT_NE(Fake.tick, nullptr);
    FrameTick = 0;
    std::thread ticker([] { Fake.tick(); });
    WaitForFrameTick();  // returns only once the tick came
    ticker.join();
    EXPECT_EQ(FrameTick.load(), 0u);
    SetSyncTimer(0);
}

// Each tick wakes the frame that waits for it, however the two threads
// meet; a lost wake-up would leave the frame waiting for good (and the test
// to its time limit).
TEST_F(InputTest, NoTickIsLostWhateverTheOrderOfTickAndWait) {
    ASSERT_NE(SetSyncTimer(60), 0u);
    ASSERT_NE(Fake.tick, nullptr);
    for (int round = 0; round < 500; ++round) {
        FrameTick = 0;
        std::thread ticker([round] {
            // Sometimes before the frame waits, sometimes while it waits.
            if (round % 2) std::this_thread::yield();
            Fake.tick();
        });
        WaitForFrameTick();
        ticker.join();
        ASSERT_EQ(FrameTick.load(), 0u) << round;
    }
    SetSyncTimer(0);
}

}  // namespace
}  // namespace koru::test
