// The libretro core driven through its API by a small front end of the
// tests' own, checked against koru-headless running the same cartridge.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "libretro/libretro_host.h"

namespace koru::test {
namespace {

namespace fs = std::filesystem;

::testing::AssertionResult SamePicture(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want) {
    if (want.size() != 240 * 160) return ::testing::AssertionFailure() << "no reference picture";
    for (size_t i = 0; i < want.size(); ++i) {
        if (got[i] != want[i]) {
            return ::testing::AssertionFailure() << "pixel (" << i % 240 << ", " << i / 240 << ") is " << std::hex
                                                 << got[i] << ", koru-headless has " << want[i];
        }
    }
    return ::testing::AssertionSuccess();
}

class LibretroTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(scratch.Dir().empty()) << "cannot make a temporary directory";
        ASSERT_TRUE(host.Open()) << host.Error();
    }

    // Runs frames 1..count; keys(frame) are the keys koru-headless's
    // --keys would hold from that frame on. The machine reads a frame's keys
    // when it ends, which for the front end is the start of the next run.
    void RunFrames(int count, const std::function<uint32_t(int)>& keys = nullptr) {
        for (int run = 1; run <= count; ++run) host.Run(keys && run > 1 ? keys(run - 1) : 0);
    }

    // koru-headless's last picture after this many frames, in a directory of
    // its own holding the cartridge and the given files.
    std::vector<uint32_t> Headless(const std::string& rom, int frames, const std::string& options = "",
                                   const std::vector<uint8_t>& save = {}) {
        Scratch other;
        other.Copy(rom);
        if (!save.empty()) {
            FILE* file = std::fopen((other.Dir() / (rom + ".sav")).c_str(), "wb");
            if (!file) return {};
            std::fwrite(save.data(), 1, save.size(), file);
            std::fclose(file);
        }
        const std::string arguments = "--frames " + std::to_string(frames) + " --screenshot shot.png " + options +
                                      " " + rom + ".gba";
        if (!RunHeadless(other.Dir(), arguments)) return {};
        headlessSave = ReadBytes(other.Dir() / (rom + ".sav"));
        return ReadPng(other.Dir() / "shot.png");
    }

    // Nothing but the cartridges: the core writes no file of its own.
    void ExpectOnlyCartridges() {
        for (const fs::directory_entry& entry : fs::directory_iterator(scratch.Dir())) {
            EXPECT_EQ(entry.path().extension(), ".gba") << entry.path() << " appeared beside the cartridge";
        }
    }

    Scratch scratch;
    LibretroHost host;
    std::vector<uint8_t> headlessSave;  // the .sav of the last Headless run
};

TEST_F(LibretroTest, PicturesAndKeysAreKoruHeadlessOnesForTheSameFrames) {
    ASSERT_TRUE(host.Load(scratch.Copy("demo")));
    RunFrames(100);
    EXPECT_TRUE(SamePicture(host.Picture(), Headless("demo", 100)));

    // A, Right and Start held from frame 10: the joypad's buttons are the
    // console's keys.
    ASSERT_TRUE(host.Load(scratch.Copy("keys")));
    RunFrames(20, [](int frame) { return frame >= 10 ? 0x019u : 0u; });
    EXPECT_TRUE(SamePicture(host.Picture(), Headless("keys", 20, "--keys 10:0x019")));
    host.Unload();
    ExpectOnlyCartridges();
}

TEST_F(LibretroTest, SoundComesInOneBatchAFrameAndIsKoruHeadlessWaveOutput) {
    retro_system_info system;
    host.get_system_info(&system);
    EXPECT_STREQ(system.library_name, "Koru");
    EXPECT_STREQ(system.valid_extensions, "gba");
    ASSERT_TRUE(host.Load(scratch.Copy("demo")));
    retro_system_av_info av;
    host.get_system_av_info(&av);
    EXPECT_EQ(av.geometry.base_width, 240u);
    EXPECT_EQ(av.geometry.base_height, 160u);
    EXPECT_NEAR(av.timing.fps, 59.7275, 0.0001);
    const uint64_t rate = static_cast<uint64_t>(av.timing.sample_rate);
    ASSERT_GE(rate, 8192u);

    // Each frame gets what emulated time owes at its end, in one batch: a
    // second of it is a second of sound, with no frame left empty.
    uint64_t total = 0;
    for (uint64_t frame = 1; frame <= 180; ++frame) {
        host.Run();
        const uint64_t due = frame * 280896 * rate / 16777216;
        ASSERT_EQ(host.LastBatches().size(), 1u) << "frame " << frame;
        EXPECT_EQ(host.LastBatches()[0], due - total) << "frame " << frame;
        total = due;
    }

    // The samples are koru-headless's, both sides at the volume setting
    // (200 of 256). It keeps 16 buffers of 1024 samples in flight and the
    // core 2, behind a head start of one buffer: the same mixed buffers come
    // 13 buffers earlier here, from the core's fourth buffer on.
    Scratch other;
    other.Copy("demo");
    ASSERT_TRUE(RunHeadless(other.Dir(), "--frames 180 --sound-rate " + std::to_string(rate) +
                                             " --wave-out demo.wav demo.gba"));
    const std::vector<uint8_t> wave = ReadBytes(other.Dir() / "demo.wav");
    ASSERT_GT(wave.size(), 44u);
    ASSERT_EQ(std::memcmp(&wave[36], "data", 4), 0);
    const std::vector<int16_t>& audio = host.Audio();
    size_t compared = 0, sounding = 0;
    for (size_t t = 3 * 1024; 2 * t + 1 < audio.size() && 44 + t + 13 * 1024 < wave.size(); ++t) {
        const int expected = (wave[44 + t + 13 * 1024] - 128) * 200;
        ASSERT_EQ(audio[2 * t], expected) << "sample " << t;
        ASSERT_EQ(audio[2 * t + 1], expected) << "sample " << t;
        ++compared;
        if (expected != 0) ++sounding;
    }
    EXPECT_GT(compared, 100000u);
    EXPECT_GT(sounding, 10000u) << "the demo's tune should be heard";
}

TEST_F(LibretroTest, TheFrontEndKeepsTheBatterySave) {
    // What the cartridge saved is in the front end's image, laid out like
    // koru-headless's battery-save file (SRAM, then the EEPROM it used), with
    // room for the 8 KB EEPROM after the SRAM since it declares no memory.
    ASSERT_TRUE(host.Load(scratch.Copy("savewriter")));
    RunFrames(10);
    const std::vector<uint8_t> written = host.SaveRam();
    Headless("savewriter", 10);
    ASSERT_EQ(headlessSave.size(), 65536u + 512u);
    headlessSave.resize(65536 + 8192);
    EXPECT_TRUE(written == headlessSave);

    // Written by the front end before the first frame, the image is the
    // battery save the demo starts with: it counts a second start.
    ASSERT_TRUE(host.Load(scratch.Copy("demo")));
    RunFrames(60);
    const std::vector<uint32_t> firstStart = host.Picture();
    const std::vector<uint8_t> afterFirst = host.SaveRam();
    ASSERT_TRUE(host.Load(scratch.Dir() / "demo.gba"));
    host.WriteSaveRam(afterFirst);
    RunFrames(60);
    EXPECT_TRUE(SamePicture(host.Picture(), Headless("demo", 60, "", afterFirst)));
    EXPECT_FALSE(SamePicture(host.Picture(), firstStart)) << "the second start shows the same count";
    // The console's reset starts the demo again (the memories stay, so the
    // picture is not quite a new start's), which counts a third start in the
    // battery save the machine kept.
    const std::vector<uint8_t> afterSecond = host.SaveRam();
    host.reset();
    RunFrames(60);
    Headless("demo", 60, "", afterSecond);
    ASSERT_EQ(headlessSave.size(), 65536u);
    std::vector<uint8_t> afterReset = host.SaveRam();
    afterReset.resize(headlessSave.size());
    EXPECT_TRUE(afterReset == headlessSave);
    EXPECT_FALSE(afterReset == std::vector<uint8_t>(afterSecond.begin(), afterSecond.begin() + afterReset.size()));
    host.Unload();
    ExpectOnlyCartridges();
}

TEST_F(LibretroTest, CartridgesThatDeclareTheirSaveMemoryKeepItRawAndStatesKeepBothFlashBanks) {
    // The image is koru-headless's battery save, the raw image players'
    // saves from other emulators are: 8 KB for the large EEPROM, both banks
    // of the 128 KB FLASH chip.
    for (const char* rom : {"eeprom8k", "flashbanks"}) {
        ASSERT_TRUE(host.Load(scratch.Copy(rom)));
        RunFrames(10);
        Headless(rom, 10);
        EXPECT_EQ(host.SaveRam().size(), std::string(rom) == "eeprom8k" ? 8192u : 131072u) << rom;
        EXPECT_TRUE(host.SaveRam() == headlessSave) << rom;
    }

    // A state holds both banks: a save the front end put in place after it
    // gives way to the state's.
    const std::vector<uint8_t> saved = host.SaveRam();
    const std::vector<uint8_t> state = host.State();
    ASSERT_EQ(state.size(), 509144u + 8 + 65536);
    host.WriteSaveRam(std::vector<uint8_t>(saved.size(), 0x33));
    RunFrames(1);
    ASSERT_EQ(host.SaveRam()[0x11234], 0x33);
    ASSERT_TRUE(host.unserialize(state.data(), state.size()));
    EXPECT_TRUE(host.SaveRam() == saved);
    host.Unload();
    ExpectOnlyCartridges();
}

// A cartridge that writes the FLASH identification command and stays in
// that mode, so the first two bytes of the block show the chip's bytes.
std::vector<uint8_t> FlashIdentifyingCartridge() {
    std::vector<uint8_t> image(16384, 0);
    const uint32_t code[] = {
        0xEA00002E,  // B 0x080000C0, past the header
    };
    const uint32_t entry[] = {
        0xE3A0040E,  // MOV R0, #0x0E000000
        0xE2801C55,  // ADD R1, R0, #0x5500
        0xE2811055,  // ADD R1, R1, #0x55
        0xE2803C2A,  // ADD R3, R0, #0x2A00
        0xE28330AA,  // ADD R3, R3, #0xAA
        0xE3A020AA,  // MOV R2, #0xAA
        0xE5C12000,  // STRB R2, [R1]
        0xE3A02055,  // MOV R2, #0x55
        0xE5C32000,  // STRB R2, [R3]
        0xE3A02090,  // MOV R2, #0x90
        0xE5C12000,  // STRB R2, [R1]
        0xEAFFFFFE,  // B .
    };
    std::memcpy(image.data(), code, sizeof code);
    std::memcpy(image.data() + 0xC0, entry, sizeof entry);
    return image;
}

TEST_F(LibretroTest, TheBatterySaveHoldsTheRealBytesWhileFlashShowsItsIdentification) {
    const fs::path cartridge = scratch.Dir() / "flash.gba";
    {
        const std::vector<uint8_t> image = FlashIdentifyingCartridge();
        FILE* file = std::fopen(cartridge.c_str(), "wb");
        ASSERT_TRUE(file);
        std::fwrite(image.data(), 1, image.size(), file);
        std::fclose(file);
    }
    // The made-up header has no valid check values.
    EXPECT_FALSE(host.Load(cartridge));
    host.options["koru_check_crc"] = "disabled";
    ASSERT_TRUE(host.Load(cartridge));
    std::vector<uint8_t> save(host.SaveRam().size(), 0);
    save[0] = 0x12;
    save[1] = 0x34;
    save[2] = 0x56;
    host.WriteSaveRam(save);
    RunFrames(3);
    std::vector<uint8_t> seen = host.SaveRam();
    EXPECT_EQ(seen[0], 0x12);
    EXPECT_EQ(seen[1], 0x34);
    EXPECT_EQ(seen[2], 0x56);
    // Written while the mode lasts, the first bytes still count.
    seen[0] = 0x78;
    host.WriteSaveRam(seen);
    RunFrames(1);
    EXPECT_EQ(host.SaveRam()[0], 0x78);
    EXPECT_EQ(host.SaveRam()[1], 0x34);
}

TEST_F(LibretroTest, AStateGivesTheSameNextFramesAndABrokenOneChangesNothing) {
    ASSERT_TRUE(host.Load(scratch.Copy("demo")));
    RunFrames(40);
    const std::vector<uint8_t> state = host.State();
    ASSERT_EQ(state.size(), host.serialize_size());
    std::vector<std::vector<uint32_t>> first;
    for (int i = 0; i < 30; ++i) {
        host.Run();
        first.push_back(host.Picture());
    }
    ASSERT_FALSE(SamePicture(first.front(), first.back())) << "the demo should move in these frames";
    ASSERT_TRUE(host.unserialize(state.data(), state.size()));
    for (int i = 0; i < 30; ++i) {
        host.Run();
        EXPECT_TRUE(SamePicture(host.Picture(), first[i])) << "frame " << i + 1 << " after the load";
    }

    const std::vector<uint8_t> before = host.State();
    std::vector<uint8_t> foreign = state;
    foreign[5] ^= 0xFF;  // the key of another cartridge
    EXPECT_FALSE(host.unserialize(foreign.data(), foreign.size()));
    EXPECT_FALSE(host.unserialize(state.data(), state.size() - 1));
    EXPECT_TRUE(host.State() == before);
    host.Unload();
    ExpectOnlyCartridges();
}

TEST_F(LibretroTest, EveryLoadRunsAsInANewProcess) {
    ASSERT_TRUE(host.Load(scratch.Copy("demo")));
    RunFrames(90);
    ASSERT_TRUE(host.Load(scratch.Copy("video_affine1")));
    RunFrames(30);
    EXPECT_TRUE(SamePicture(host.Picture(), Headless("video_affine1", 30)));
    // The library stays loaded across retro_deinit and retro_init.
    host.Unload();
    host.Reinitialise();
    ASSERT_TRUE(host.Load(scratch.Dir() / "demo.gba"));
    RunFrames(100);
    EXPECT_TRUE(SamePicture(host.Picture(), Headless("demo", 100)));
}

}  // namespace
}  // namespace koru::test
