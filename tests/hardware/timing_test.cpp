// The half-line steps: display flags and their interrupts, timers, keypad,
// frame skip and the stop at line 160.
#include <gtest/gtest.h>

#include <vector>

#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "hardware/keypad.h"
#include "hardware/timers.h"
#include "hardware/timing.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/settings.h"
#include "support/test_host.h"
#include "support/test_machine.h"
#include "video/video_registers.h"

namespace koru {
namespace {

uint16_t Io(uint32_t offset) { return Peek16(IoRam + offset); }

class TimingTest : public test::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        // Neither is touched by a reset: they carry over between runs.
        FrameSkipCounter = 0;
        AutoFirePhase = 0;
    }

    // One end of slice as the CPU loop makes it, the slice having ended
    // `overrun` cycles below zero.
    int32_t Step(int32_t overrun = 0) {
        CpuState.Cycles = -overrun;
        const int32_t result = AdvanceScanline();
        if (result >= 0) CpuState.Cycles += CpuState.SliceCycles;
        return result;
    }

    // Steps (at least once) until the vertical counter holds line and the
    // line has just begun (the drawing part is next).
    void StepToLineStart(uint16_t line) {
        Step();
        for (int i = 0; i < 2 * 228 && !(Io(0x006) == line && !(Io(0x004) & 2)); ++i) Step();
        ASSERT_EQ(Io(0x006), line);
        ASSERT_EQ(Io(0x004) & 2, 0);
    }

    // Runs whole frames and returns the interrupt flags raised on each call
    // (acknowledging them at once).
    std::vector<uint16_t> CollectFlags(int calls) {
        std::vector<uint16_t> raised;
        for (int i = 0; i < calls; ++i) {
            Step();
            raised.push_back(Io(0x202));
            Poke16(IoRam + 0x202, 0);
        }
        return raised;
    }
};

TEST_F(TimingTest, AFrameIs228LinesOfTwoSlices) {
    std::vector<int32_t> slices;
    int vblankCalls = 0;
    for (int i = 0; i < 2 * 228; ++i) {
        ASSERT_EQ(Step(), 0);
        slices.push_back(CpuState.SliceCycles);
        if (Io(0x004) & 1) ++vblankCalls;
        // The horizontal-blank flag flips on every call.
        EXPECT_EQ((Io(0x004) >> 1) & 1, (i + 1) & 1) << "call " << i;
        if (i == 0) {
            EXPECT_EQ(Io(0x006), 0) << "the first call enters line 0's blank";
        }
    }
    EXPECT_EQ(Io(0x006), 0);
    for (size_t i = 0; i < slices.size(); ++i) EXPECT_EQ(slices[i], i % 2 == 0 ? 272 : 960) << "call " << i;
    EXPECT_EQ(vblankCalls, 2 * 68) << "lines 160-227";
    EXPECT_EQ(test::PollInputCalls, 1);
    EXPECT_EQ(test::ShowFrameCalls, 1);
}

TEST_F(TimingTest, CounterMatchInterruptFiresOnceAFrame) {
    WriteHalf(0x04000004, 0x0A20);  // match line 10, interrupt on
    const std::vector<uint16_t> raised = CollectFlags(2 * 2 * 228);
    std::vector<int> at;
    for (size_t i = 0; i < raised.size(); ++i) {
        EXPECT_EQ(raised[i] & ~0x0004, 0);
        if (raised[i] & 0x0004) at.push_back(static_cast<int>(i));
    }
    // Call 2n moves to line n.
    EXPECT_EQ(at, (std::vector<int>{2 * 10 - 1, 2 * 228 + 2 * 10 - 1}));
    EXPECT_EQ(Io(0x004) & 0xFFF8, 0x0A20);
}

TEST_F(TimingTest, BlankInterruptsFireOnEachRisingEdge) {
    WriteHalf(0x04000004, 0x0018);
    const std::vector<uint16_t> raised = CollectFlags(2 * 228);
    int vblank = 0, hblank = 0;
    for (size_t i = 0; i < raised.size(); ++i) {
        if (raised[i] & 1) {
            ++vblank;
            EXPECT_EQ(i, 2u * 160 - 1) << "at the start of line 160";
        }
        if (raised[i] & 2) {
            ++hblank;
            EXPECT_EQ(i % 2, 0u);
        }
    }
    EXPECT_EQ(vblank, 1);
    EXPECT_EQ(hblank, 228) << "every line, visible or not";
}

TEST_F(TimingTest, AnEnableSwitchedOnInsideABlankWaitsForTheNextOne) {
    StepToLineStart(170);
    WriteHalf(0x04000004, 0x0008);
    const std::vector<uint16_t> raised = CollectFlags(2 * 228);
    int first = -1;
    for (size_t i = 0; i < raised.size() && first < 0; ++i) {
        if (raised[i] & 1) first = static_cast<int>(i);
    }
    EXPECT_EQ(first, 2 * (228 - 170 + 160) - 1);
}

TEST_F(TimingTest, PendingResultNeedsMasterEnableAndAnEnabledFlag) {
    WriteHalf(0x04000004, 0x0010);  // horizontal-blank interrupt
    EXPECT_EQ(Step(), 0) << "flag raised but not enabled";
    EXPECT_EQ(Io(0x202), 0x0002);
    WriteHalf(0x04000200, 0x0002);
    EXPECT_EQ(Step(), 0) << "master enable off";
    Poke16(IoRam + 0x208, 1);
    EXPECT_EQ(Step(), 1) << "the old flag is still there";
    EXPECT_EQ(CpuState.IrqRequest, 1u);
    Poke16(IoRam + 0x202, 0);
    EXPECT_EQ(Step(), 0);
    EXPECT_EQ(CpuState.IrqRequest, 0u);
    EXPECT_EQ(Step(), 1);
}

TEST_F(TimingTest, SlowTimerKeepsItsPhaseAndTicksOncePerCall) {
    WriteHalf(0x04000102, 0x0083);  // prescale 1024
    Step();
    EXPECT_EQ(TimerCountdown[0], 64);
    EXPECT_EQ(TimerCounter[0], 0);
    Step();
    EXPECT_EQ(TimerCountdown[0], 816) << "-208 rem 1024 + 1024";
    EXPECT_EQ(TimerCounter[0], 1);
    // The overrun of a slice counts as elapsed time: 960 + 900 cycles.
    Step(900);
    EXPECT_EQ(TimerCountdown[0], 1004) << "-1044 rem 1024 + 1024";
    EXPECT_EQ(TimerCounter[0], 2);
    // A slice that covers several periods still ticks only once.
    Step(5000);
    EXPECT_EQ(TimerCounter[0], 3);
    EXPECT_GE(TimerCountdown[0], 1);
    EXPECT_LE(TimerCountdown[0], 1024);
}

TEST_F(TimingTest, FastTimerOverflowsEveryCallAndDrivesTheCountUpChain) {
    WriteHalf(0x04000100, 0xFFFF);
    WriteHalf(0x04000102, 0x00C0);  // prescale 1, interrupt
    WriteHalf(0x04000104, 0xFFFE);
    WriteHalf(0x04000106, 0x00C4);  // count-up, interrupt
    WriteHalf(0x0400010A, 0x0084);  // count-up after timer 1
    std::vector<uint16_t> raised = CollectFlags(4);
    EXPECT_EQ(TimerCounter[0], 0xFFFF) << "reloaded";
    EXPECT_EQ(raised[0] & 0x78, 0x08);
    EXPECT_EQ(raised[1] & 0x78, 0x18) << "timer 1 overflowed from 0xFFFF";
    EXPECT_EQ(raised[2] & 0x78, 0x08);
    EXPECT_EQ(raised[3] & 0x78, 0x18);
    EXPECT_EQ(TimerCounter[1], 0xFFFE) << "reloaded";
    EXPECT_EQ(TimerCounter[2], 2) << "two overflows of timer 1";
    EXPECT_EQ(Io(0x104), 0xFFFE) << "the register shows the count, reloaded";
}

TEST_F(TimingTest, CounterRegisterReadsTheRunningCountAndTheReloadIsKeptApart) {
    WriteHalf(0x04000100, 0xFFF0);
    WriteHalf(0x04000102, 0x0080);  // prescale 1: one tick per step
    EXPECT_EQ(Io(0x100), 0xFFF0);
    for (int i = 0; i < 5; ++i) Step();
    EXPECT_EQ(Io(0x100), 0xFFF5) << "read between steps: the count of the last one";
    for (int i = 0; i < 11; ++i) Step();
    EXPECT_EQ(Io(0x100), 0xFFF0) << "overflowed and reloaded from the reload value, not the register";
    EXPECT_EQ(TimerReload[0], 0xFFF0u);

    // Stopped, the count stays; started again, it starts from the reload.
    Step();
    Step();
    WriteHalf(0x04000102, 0x0000);
    Step();
    EXPECT_EQ(Io(0x100), 0xFFF2);
    WriteHalf(0x04000102, 0x0080);
    EXPECT_EQ(Io(0x100), 0xFFF0);
    // A control write to a running timer does not restart it.
    Step();
    WriteHalf(0x04000102, 0x00C0);
    EXPECT_EQ(Io(0x100), 0xFFF1);
}

TEST_F(TimingTest, CountUpTimerAfterAStoppedTimerNeverMoves) {
    WriteHalf(0x04000100, 0xFFFF);
    WriteHalf(0x04000102, 0x0080);  // overflows on every call
    WriteHalf(0x04000104, 0x0010);
    WriteHalf(0x04000106, 0x0000);  // stopped
    // Only the timer right before counts: timer 0's overflows do not reach
    // timer 2 past the stopped timer 1.
    WriteHalf(0x04000108, 0x0020);
    WriteHalf(0x0400010A, 0x0084);
    WriteHalf(0x0400010C, 0x0030);
    WriteHalf(0x0400010E, 0x0084);
    for (int i = 0; i < 100; ++i) Step();
    EXPECT_EQ(TimerCounter[1], 0x0010);
    EXPECT_EQ(TimerCounter[2], 0x0020);
    EXPECT_EQ(TimerCounter[3], 0x0030);
}

TEST_F(TimingTest, StrangeTimerStateCannotBreakTheStep) {
    // What a damaged state file might hold.
    // In 32 bits the first step would divide INT32_MIN by -1.
    TimerPrescale[0] = -1;
    TimerCountdown[0] = INT32_MIN + 960;
    TimerCounter[0] = INT32_MAX;
    TimerPrescale[1] = INT32_MIN;
    TimerCountdown[1] = 1;
    TimerCounter[1] = -5;
    Step();
    for (int i = 0; i < 10; ++i) Step(INT32_MAX / 2);
    EXPECT_LE(TimerCounter[0], 0xFFFF);
    EXPECT_LE(TimerCounter[1], 0xFFFF);
}

TEST_F(TimingTest, KeypadRegisterReadsReleasedKeysAsOnes) {
    uint32_t keys = 0;
    test::PollInputHook = [&] { return keys; };
    StepToLineStart(160);
    EXPECT_EQ(Io(0x130), 0xFFFF);
    keys = 0x011;  // A and Right
    StepToLineStart(160);
    EXPECT_EQ(Io(0x130), 0xFFEE);
    keys = 0xFFFFFFFF;
    StepToLineStart(160);
    EXPECT_EQ(Io(0x130), 0xFC00) << "bits 10-15 always read 1";
}

TEST_F(TimingTest, AutofireReleasesItsKeysOnFourFramesOfEight) {
    AutoFire = 0x001;
    test::PollInputHook = [] { return 0x003u; };  // A and B held
    std::vector<int> aPressed;
    for (int frame = 1; frame <= 16; ++frame) {
        StepToLineStart(160);
        EXPECT_EQ(Io(0x130) & 0x002, 0) << "B is not autofired";
        aPressed.push_back((Io(0x130) & 1) ? 0 : 1);
    }
    // Phases 1, 2, 3, 4, 5, 6, 7, 0, ...: released on 4-7.
    EXPECT_EQ(aPressed, (std::vector<int>{1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 1}));
}

TEST_F(TimingTest, KeypadInterruptInAndAndOrMode) {
    const uint32_t pattern[6] = {0x000, 0x001, 0x002, 0x003, 0x00B, 0x100};
    int frame = 0;
    test::PollInputHook = [&] { return pattern[frame % 6]; };
    auto raisedFrames = [&](uint16_t control) {
        Poke16(IoRam + 0x132, control);
        std::vector<int> result;
        for (frame = 0; frame < 6; ++frame) {
            Poke16(IoRam + 0x202, 0);
            StepToLineStart(160);
            if (Io(0x202) & 0x1000) result.push_back(frame);
        }
        return result;
    };
    EXPECT_EQ(raisedFrames(0xC003), (std::vector<int>{3, 4})) << "AND: both A and B";
    EXPECT_EQ(raisedFrames(0x4003), (std::vector<int>{1, 2, 3, 4})) << "OR: either";
    EXPECT_EQ(raisedFrames(0x4000), std::vector<int>{}) << "no key selected";
    EXPECT_EQ(raisedFrames(0xC000), std::vector<int>{}) << "no key selected, AND mode";
    EXPECT_EQ(raisedFrames(0x0003), std::vector<int>{}) << "interrupt off";
    EXPECT_EQ(raisedFrames(0x4300), (std::vector<int>{5})) << "R";
}

TEST_F(TimingTest, UpdatePeriodThreeDrawsOneFrameInThree) {
    UpdatePeriod = 3;
    BgAffineState[0].refX = 0;
    BgAffineState[0].pb = 1;
    std::vector<int> presented;
    std::vector<int32_t> advanced;
    for (int frame = 1; frame <= 7; ++frame) {
        const int before = test::ShowFrameCalls;
        BgAffineState[0].curX = 1000;
        StepToLineStart(160);
        if (test::ShowFrameCalls != before) presented.push_back(frame);
        advanced.push_back(BgAffineState[0].curX);
    }
    EXPECT_EQ(presented, (std::vector<int>{1, 4, 7}));
    // A drawn frame starts the point from refX at line 0 and adds pb per
    // line; a skipped one leaves it alone.
    EXPECT_EQ(advanced, (std::vector<int32_t>{160, 1000, 1000, 160, 1000, 1000, 160}));
}

TEST_F(TimingTest, UpdatePeriodZeroOrBelowDrawsEveryFrame) {
    for (int32_t period : {0, -4}) {
        UpdatePeriod = period;
        const int before = test::ShowFrameCalls;
        for (int frame = 0; frame < 3; ++frame) {
            StepToLineStart(161);
        }
        EXPECT_EQ(test::ShowFrameCalls - before, 3) << "UpdatePeriod " << period;
        EXPECT_EQ(FrameSkipCounter, 0u);
    }
}

TEST_F(TimingTest, ExitRequestStopsAtLine160BeforeTheFlagsAreStored) {
    test::PollInputHook = [] {
        ExitRequest = 1;
        return 0x001u;
    };
    WriteHalf(0x04000004, 0x0008);
    StepToLineStart(159);
    Step();  // line 159's blank
    EXPECT_EQ(Step(), -1);
    EXPECT_EQ(Io(0x006), 160);
    EXPECT_EQ(Io(0x130), 0xFFFE) << "the keys are read first";
    EXPECT_EQ(Io(0x004) & 1, 0) << "the display status is not stored";
    EXPECT_EQ(Io(0x202), 0);
}

}  // namespace
}  // namespace koru
