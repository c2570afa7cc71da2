// The tone generators as note events: what each register write, tick and
// flush hands to the output.
#include <gtest/gtest.h>

#include "hardware/bus.h"
#include "sound/sound.h"
#include "sound/sound_support.h"
#include "support/test_machine.h"

namespace koru {
namespace {

using test::OutputCall;
using test::OutputCalls;
using test::SoundCall;
using test::SoundCalls;

class ChannelTest : public test::SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        test::RecordOutput();
    }
    // A chip after the machine's reset: changes wait for the frame's flush.
    void ResetLikeMachine() {
        SoundReset(chip, regs, 0);
        SoundFlush(chip, 1);
        OutputCalls.clear();
    }
    void Write(int index, int value) { ASSERT_EQ(SoundWrite(chip, index, static_cast<uint8_t>(value)), 1); }
    void Frame() {
        SoundTick(chip, 16);
        SoundFlush(chip, 2);
    }

    SoundChipRecord chip{};
    uint8_t regs[48];
};

TEST_F(ChannelTest, ResetSetsThreeSquaresAndANoiseAndSendsEveryChannelSilent) {
    SoundReset(chip, regs, 0);
    ASSERT_GE(OutputCalls.size(), 4u);
    EXPECT_EQ(OutputCalls[0], (OutputCall{"instrument", 0, 0, 0, {}}));
    EXPECT_EQ(OutputCalls[1], (OutputCall{"instrument", 1, 0, 0, {}}));
    EXPECT_EQ(OutputCalls[2], (OutputCall{"instrument", 2, 0, 0, {}}));
    EXPECT_EQ(OutputCalls[3], (OutputCall{"instrument", 3, 1, 0, {}}));
    // The two level writes each send all four channels at once.
    const auto sounds = SoundCalls();
    ASSERT_EQ(sounds.size(), 8u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(sounds[i], SoundCall(i % 4, 0, 0));
    EXPECT_EQ(regs[0x16], 0x80);
    EXPECT_EQ(regs[0x14], 0x77);
    EXPECT_EQ(regs[0x15], 0xFF);
    EXPECT_EQ(chip.outputLevel[0], 14);
    EXPECT_EQ(chip.outputLevel[3], 12);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(chip.waveSamples[i], -128);
}

TEST_F(ChannelTest, TriggeredSquareOf1750IsSentAs439HzAtFullVolumeOnTheNextFlush) {
    ResetLikeMachine();
    Write(0x02, 0xF0);
    Write(0x03, 0xD6);
    Write(0x04, 0x86);
    EXPECT_TRUE(SoundCalls().empty()) << "changes wait for the flush";
    SoundFlush(chip, 2);
    EXPECT_EQ(SoundCalls(), std::vector<OutputCall>{SoundCall(0, 439, 255)});
    EXPECT_EQ(regs[0x16] & 0x0F, 0x01);
    // Nothing changed since: the next flush sends nothing.
    OutputCalls.clear();
    SoundFlush(chip, 2);
    EXPECT_TRUE(OutputCalls.empty());
}

TEST_F(ChannelTest, FrequencyWritesOnlyApplyToASoundingChannel) {
    ResetLikeMachine();
    Write(0x08, 0x00);
    Write(0x09, 0x07);  // no trigger: channel 2 stays off
    SoundFlush(chip, 2);
    EXPECT_TRUE(SoundCalls().empty());
    Write(0x07, 0xA0);
    Write(0x09, 0x87);  // trigger with x = 0x700
    Write(0x08, 0x80);  // then the low byte alone: x = 0x780
    SoundFlush(chip, 2);
    EXPECT_EQ(SoundCalls(), std::vector<OutputCall>{SoundCall(1, 131072 / (2048 - 0x780), 10 * 14 * 255 / 210)});
}

TEST_F(ChannelTest, EnvelopeWriteChangesTheVolumeAtOnceWithoutTrigger) {
    ResetLikeMachine();
    Write(0x02, 0xF0);
    Write(0x03, 0xD6);
    Write(0x04, 0x86);
    SoundFlush(chip, 2);
    OutputCalls.clear();
    Write(0x02, 0x80);
    SoundFlush(chip, 2);
    EXPECT_EQ(SoundCalls(), std::vector<OutputCall>{SoundCall(0, 439, 8 * 14 * 255 / 210)});
}

TEST_F(ChannelTest, EnvelopeOfStepSevenMovesOneVolumeStepPerFrameWithinZeroToFifteen) {
    ResetLikeMachine();
    Write(0x02, 0x27);  // volume 2, down, step 7 ms
    Write(0x03, 0xD6);
    Write(0x04, 0x86);
    Frame();
    Frame();
    Frame();
    Frame();
    const auto down = SoundCalls();
    ASSERT_EQ(down.size(), 4u);
    EXPECT_EQ(down[0].c, 1 * 14 * 255 / 210) << "the trigger and the first frame's step share a flush";
    EXPECT_EQ(down[1].c, 0);
    EXPECT_EQ(down[2].c, 0) << "stays at 0, and is still sent";
    EXPECT_EQ(chip.volume[0], 0);

    OutputCalls.clear();
    Write(0x07, 0xDF);  // channel 2: volume 13, up, step 7
    Write(0x09, 0x87);
    for (int i = 0; i < 4; ++i) Frame();
    std::vector<OutputCall> up;
    for (const OutputCall& call : SoundCalls()) {
        if (call.a == 1) up.push_back(call);
    }
    ASSERT_EQ(up.size(), 4u);
    EXPECT_EQ(up[0].c, 14 * 14 * 255 / 210);
    EXPECT_EQ(up[1].c, 15 * 14 * 255 / 210);
    EXPECT_EQ(up[3].c, 15 * 14 * 255 / 210);
}

TEST_F(ChannelTest, LengthStopsAChannelAndClearsItsOnFlag) {
    ResetLikeMachine();
    Write(0x01, 0x3F);  // (64 - 63) * 1000 >> 8 = 3 ms
    EXPECT_EQ(chip.lengthLimit[0], 3);
    Write(0x02, 0xF0);
    Write(0x04, 0xC6);  // trigger with length enabled
    EXPECT_EQ(regs[0x16] & 1, 1);
    Frame();
    EXPECT_EQ(SoundCalls().back(), SoundCall(0, 0, 255));
    EXPECT_EQ(regs[0x16] & 1, 0);

    Write(0x01, 0x00);
    EXPECT_EQ(chip.lengthLimit[0], 250);
}

TEST_F(ChannelTest, WaveChannelLengthZeroLasts128Seconds) {
    ResetLikeMachine();
    Write(0x0A, 0x80);
    Write(0x0B, 0x00);
    EXPECT_EQ(chip.lengthLimit[2], 128000);
    Write(0x0C, 0x20);  // output level 1: volume 15
    Write(0x0D, 0x00);
    Write(0x0E, 0xC7);  // trigger, length enabled, x = 0x700
    SoundFlush(chip, 2);
    EXPECT_EQ(SoundCalls().back(), SoundCall(2, 131072 / 0x100, 255));
    for (int t = 0; t < 127984; t += 16) SoundTick(chip, 16);
    EXPECT_EQ(chip.frequency[2], 512) << "still sounding after 127984 ms";
    SoundTick(chip, 16);
    EXPECT_EQ(chip.frequency[2], 0);
    EXPECT_EQ(regs[0x16] & 4, 0);
}

TEST_F(ChannelTest, WaveChannelOutputLevelsAndSwitchingItOff) {
    ResetLikeMachine();
    Write(0x0E, 0x87);
    EXPECT_EQ(regs[0x16] & 4, 0) << "a trigger while the channel is switched off does not start it";
    Write(0x0A, 0x80);
    const int volumes[4] = {0, 15, 7, 3};
    for (int level = 0; level < 4; ++level) {
        Write(0x0C, level << 5);
        EXPECT_EQ(chip.volume[2], volumes[level]);
    }
    Write(0x0E, 0x87);
    EXPECT_EQ(regs[0x16] & 4, 4);
    Write(0x0A, 0x00);
    EXPECT_EQ(regs[0x16] & 4, 0);
    SoundFlush(chip, 2);
    EXPECT_EQ(SoundCalls().back(), SoundCall(2, 0, 0));
}

TEST_F(ChannelTest, SoundOffResetsEverythingIgnoresWritesAndThenSendsAtOnce) {
    ResetLikeMachine();
    Write(0x02, 0xF0);
    Write(0x04, 0x86);
    Write(0x16, 0x00);
    EXPECT_EQ(regs[0x16], 0x00);
    EXPECT_EQ(chip.frequency[0], 0);
    EXPECT_EQ(chip.updateMode, 0);
    // The reset sent every channel silent at once.
    EXPECT_EQ(SoundCalls().back(), SoundCall(3, 0, 0));

    OutputCalls.clear();
    Write(0x02, 0xF0);
    Write(0x04, 0x86);
    Write(0x20, 0x12);
    EXPECT_EQ(regs[0x02], 0) << "only index 0x16 is accepted while sound is off";
    EXPECT_EQ(regs[0x20], 0);
    EXPECT_TRUE(OutputCalls.empty());

    Write(0x16, 0x8F);
    EXPECT_EQ(regs[0x16], 0x80) << "the channel on flags cannot be written";
    Write(0x02, 0xF0);
    Write(0x03, 0xD6);
    EXPECT_TRUE(SoundCalls().empty());
    Write(0x04, 0x86);
    // Without any flush: the update mode is 0 now.
    EXPECT_EQ(SoundCalls(), std::vector<OutputCall>{SoundCall(0, 439, 255)});
}

TEST_F(ChannelTest, WavePatternIsSentOnceForTheSameByteTwice) {
    ResetLikeMachine();
    Write(0x20, 0x9A);
    Write(0x20, 0x9A);
    Write(0x2F, 0xF0);
    SoundFlush(chip, 2);
    ASSERT_EQ(OutputCalls.size(), 1u);
    const OutputCall& wave = OutputCalls[0];
    EXPECT_EQ(wave.op, "wave");
    EXPECT_EQ(wave.a, 2);
    EXPECT_EQ(wave.b, 32);
    EXPECT_EQ(wave.samples[0], 9 * 255 / 15 - 128);
    EXPECT_EQ(wave.samples[1], 10 * 255 / 15 - 128);
    EXPECT_EQ(wave.samples[2], -128);
    EXPECT_EQ(wave.samples[30], 127);
    EXPECT_EQ(wave.samples[31], -128);

    OutputCalls.clear();
    Write(0x20, 0x9A);
    SoundFlush(chip, 2);
    EXPECT_TRUE(OutputCalls.empty());
}

TEST_F(ChannelTest, NoiseAtFullVolumeOnBothSidesIsSentWithVolume218) {
    ResetLikeMachine();
    Write(0x11, 0xF0);
    Write(0x13, 0x80);
    SoundFlush(chip, 2);
    EXPECT_EQ(SoundCalls(), std::vector<OutputCall>{SoundCall(3, 8192, 218)});
}

TEST_F(ChannelTest, RoutingToOneSideOnlySumsThatSidesLevel) {
    ResetLikeMachine();
    Write(0x14, 0x35);  // one side 5, the other 3
    Write(0x15, 0x21);  // channel 1 to the side of bits 0-2, channel 2 to the other
    EXPECT_EQ(chip.outputLevel[0], 5);
    EXPECT_EQ(chip.outputLevel[1], 3);
    EXPECT_EQ(chip.outputLevel[2], 0);
    EXPECT_EQ(chip.outputLevel[3], 0);
    SoundFlush(chip, 2);
    EXPECT_EQ(SoundCalls().size(), 4u) << "a level write sends all four channels";
}

TEST_F(ChannelTest, SweepUpwardOverflowStopsChannelOne) {
    ResetLikeMachine();
    Write(0x00, 0x11);  // period (1 * 1000) >> 7 = 7 ms, up, shift 1
    EXPECT_EQ(chip.sweepPeriod, 7);
    Write(0x02, 0xF0);
    Write(0x03, 0x00);
    Write(0x04, 0x86);  // x = 0x600
    Frame();            // 0x600 + 0x300 = 0x900 > 2047
    EXPECT_EQ(chip.frequency[0], 0);
    EXPECT_EQ(regs[0x16] & 1, 0);
    EXPECT_EQ(SoundCalls().back(), SoundCall(0, 0, 255));
}

TEST_F(ChannelTest, SweepDownwardFollowsTheFrequencyAndRewritesItsRegisters) {
    ResetLikeMachine();
    Write(0x00, 0x19);  // 7 ms, down, shift 1
    Write(0x02, 0xF0);
    Write(0x03, 0x00);
    Write(0x04, 0x84);  // x = 0x400
    Frame();
    EXPECT_EQ(chip.channel1Frequency, 0x200);
    EXPECT_EQ(regs[0x03], 0x00);
    EXPECT_EQ(regs[0x04], 0x82);
    EXPECT_EQ(SoundCalls().back(), SoundCall(0, 131072 / (2048 - 0x200), 255));
    // Shift 0 downwards is the deepest step: x - x = 0, still a valid value.
    Write(0x00, 0x18);
    Frame();
    EXPECT_EQ(chip.channel1Frequency, 0);
    EXPECT_EQ(chip.frequency[0], 64);
    Frame();
    EXPECT_EQ(chip.frequency[0], 64) << "the sweep never takes the value below 0";
}

TEST_F(ChannelTest, DrumHitOnlyWhenTheNoiseChannelSounds) {
    ResetLikeMachine();
    SoundFlush(chip, 0x81);
    EXPECT_TRUE(OutputCalls.empty()) << "the reset's drum request finds the noise silent";
    EXPECT_EQ(chip.updateMode, 1);
    Write(0x11, 0xF0);
    Write(0x13, 0x80);
    SoundFlush(chip, 0x81);
    ASSERT_FALSE(OutputCalls.empty());
    EXPECT_EQ(OutputCalls[0], (OutputCall{"drum", 0x11C, 218, 0, {}}));
}

TEST_F(ChannelTest, IndexesAbove0x2FAreRefused) {
    ResetLikeMachine();
    EXPECT_EQ(SoundWrite(chip, 0x30, 1), 0);
    EXPECT_EQ(SoundWrite(chip, 0xFF, 1), 0);
}

// The same through the console's registers: halfword writes reach the chip
// as two bytes by the register map, and the machine's frame drives it.
class ChannelRegisterTest : public test::SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        test::RecordOutput();
        image = test::MakeCartridge();
        test::WriteFile(dir / "test.gba", image);
        ASSERT_TRUE(PrepareMachine((dir / "test.gba").string().c_str()));
        OutputCalls.clear();
    }
    std::vector<uint8_t> image;
};

TEST_F(ChannelRegisterTest, RegisterWritesBecomeNotesOncePerFrame) {
    EXPECT_EQ(SoundChip.updateMode, 1) << "the machine's reset leaves changes to the frame";
    WriteHalf(0x04000062, 0xF000);  // channel 1 envelope: volume 15
    WriteHalf(0x04000064, 0x86D6);  // trigger, x = 1750
    EXPECT_EQ(SoundRegs[0x02], 0xF0);
    EXPECT_EQ(SoundRegs[0x03], 0xD6);
    EXPECT_TRUE(SoundCalls().empty());
    SoundTick(SoundChip, 16);
    SoundFlush(SoundChip, 2);
    EXPECT_EQ(SoundCalls(), std::vector<OutputCall>{SoundCall(0, 439, 255)});
}

}  // namespace
}  // namespace koru
