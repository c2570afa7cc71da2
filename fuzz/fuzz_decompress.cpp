// The decompression services on arbitrary data: the first byte picks the
// service and the destination, the rest is the compressed stream in
// External Working RAM.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "bios/bios.h"
#include "cpu/cpu_state.h"
#include "fuzz_support.h"
#include "machine/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru;
    fuzz::EnterWorkDirectory();
    if (size < 1 || size > 128 * 1024) return 0;
    static bool prepared = false;
    if (!prepared) {
        fuzz::WriteQuietCartridge("quiet.gba");
        prepared = PrepareMachine("quiet.gba");
        if (!prepared) __builtin_trap();
    }
    static constexpr uint32_t Services[] = {0x11, 0x12, 0x13, 0x14, 0x15};
    static constexpr uint32_t Targets[] = {0x02020000, 0x06000000, 0x03000000, 0x0203FFF0};
    const uint32_t service = Services[data[0] % 5];
    const uint32_t target = Targets[(data[0] >> 3) & 3];
    std::fill(ExternalWram, ExternalWram + 0x20000, 0);
    std::copy(data + 1, data + size, ExternalWram);
    CpuState.R[0] = 0x02000000;
    CpuState.R[1] = target;
    CpuState.Cycles = 960;
    SoftwareInterrupt(service);
    return 0;
}
