#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "cpu/run.h"
#include "machine/host.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/settings.h"
#include "video/video.h"

namespace {
uint32_t FramesLeft = 0;
std::vector<uint16_t> Frame(koru::FrameWidth * koru::FrameHeight);
}  // namespace

namespace koru {

namespace fuzz {
void (*FrameHook)(uint32_t) = nullptr;
}  // namespace fuzz

void ShowFrame(int, int, int, int) {}

uint32_t PollInput() {
    if (FramesLeft == 0 || --FramesLeft == 0) ExitRequest = 1;
    if (fuzz::FrameHook) fuzz::FrameHook(FramesLeft);
    // Some keys held, so that keypad interrupts and key-driven code run too.
    return 0x0009;
}

}  // namespace koru

namespace koru::fuzz {

void EnterWorkDirectory() {
    static bool entered = false;
    if (entered) return;
    entered = true;
    static char pattern[] = "/tmp/koru-fuzz-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0) std::abort();
    // Gone when the run ends well; a crash leaves it to look at.
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(pattern, ignored);
    });
    Verbose = 0;
    ResetSettings();
    CheckCRC = 0;
    SoundRate = 0;
    FrameBuffer = Frame.data();
    BuildColourTables();
}

void WriteBytes(const std::string& name, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (!file) std::abort();
    if (size && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
}

void WriteQuietCartridge(const std::string& name, const char* saveTag) {
    std::vector<uint8_t> image(16384);
    for (size_t i = 0; i < image.size(); i += 4) Poke32(&image[i], 0xEAFFFFFE);
    if (saveTag) std::memcpy(&image[0x100], saveTag, std::strlen(saveTag));
    WriteBytes(name, image.data(), image.size());
}

void RunFrames(uint32_t frames) {
    FramesLeft = frames;
    ExitRequest = 0;
    RunCpu(CpuState);
}

}  // namespace koru::fuzz
