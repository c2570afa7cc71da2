// Speed of the timed hardware without the processor: half-line steps with
// all four timers running, and DMA throughput in halfwords and words.
#include <chrono>
#include <cstdio>
#include <vector>

#include "cpu/cpu_state.h"
#include "hardware/bus.h"
#include "hardware/dma.h"
#include "hardware/timing.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/settings.h"
#include "video/video.h"

namespace koru {
void ShowFrame(int, int, int, int) {}
uint32_t PollInput() { return 0; }
}  // namespace koru

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// A cartridge of `B .` loops that passes the start-up checks.
bool WriteCartridge(const char* name) {
    std::vector<uint8_t> image(64 * 1024, 0);
    for (size_t i = 0; i < image.size(); i += 4) {
        image[i] = 0xFE;
        image[i + 1] = 0xFF;
        image[i + 2] = 0xFF;
        image[i + 3] = 0xEA;
    }
    std::FILE* file = std::fopen(name, "wb");
    if (!file) return false;
    const bool ok = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main() {
    using namespace koru;
    const char* name = "/tmp/koru-hardware-bench.gba";
    if (!WriteCartridge(name)) return 1;
    ResetSettings();
    CheckCRC = 0;
    std::vector<uint16_t> frame(FrameWidth * FrameHeight);
    FrameBuffer = frame.data();
    BuildColourTables();
    if (!PrepareMachine(name)) return 1;

    // Every timer running, 1 and 3 counting up; vertical-blank and match
    // interrupts on; renderer as the video code leaves it.
    WriteWord(0x04000100, 0x00C0FF00);
    WriteWord(0x04000104, 0x00C4FFF0);
    WriteWord(0x04000108, 0x00C30000);
    WriteWord(0x0400010C, 0x00C40000);
    WriteHalf(0x04000004, 0x5028);
    WriteHalf(0x04000200, 0x007F);
    WriteHalf(0x04000208, 1);
    const int frames = 600;
    auto start = Clock::now();
    for (int i = 0; i < frames * 456; ++i) {
        CpuState.Cycles = -3;
        AdvanceScanline();
        Poke16(IoRam + 0x202, 0);
    }
    const double stepTime = Seconds(start);
    std::printf("half-line steps: %d frames in %.3f s, %.0f frames/s, %.1f ns a step\n", frames, stepTime,
                frames / stepTime, stepTime * 1e9 / (frames * 456.0));

    for (int words = 0; words < 2; ++words) {
        const int transfers = 200;
        start = Clock::now();
        for (int i = 0; i < transfers; ++i) {
            WriteWord(0x040000D4, 0x02000000);
            WriteWord(0x040000D8, 0x03000000);
            WriteWord(0x040000DC, (words ? 0x84000000u : 0x80000000u) | 0x2000);  // 8192 units
            CpuState.Cycles = 0;
        }
        const double dmaTime = Seconds(start);
        const double units = transfers * 8192.0;
        std::printf("DMA %s: %.1f M units/s\n", words ? "32-bit" : "16-bit", units / dmaTime / 1e6);
    }
    ShutdownMachine();
    std::remove(name);
    return 0;
}
