// State files: a valid state saved from a running machine, with the fuzz
// input laid over one of its parts (the header, processor and hardware
// words; the I/O registers; the backup memory) and possibly cut short. It is
// loaded into a running machine, which then runs a frame: a refused file
// must leave the machine able to run, and an accepted one must never crash
// it later.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "machine/machine.h"
#include "machine/savefiles.h"

namespace {

std::vector<uint8_t> Baseline;

std::vector<uint8_t> ReadAll(const char* name) {
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(name, "rb");
    if (!file) return bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru;
    fuzz::EnterWorkDirectory();
    static bool prepared = false;
    if (!prepared) {
        fuzz::WriteQuietCartridge("quiet.gba");
        prepared = PrepareMachine("quiet.gba");
        if (!prepared) __builtin_trap();
        fuzz::RunFrames(2);
        if (!SaveState("baseline.sta")) __builtin_trap();
        Baseline = ReadAll("baseline.sta");
        if (Baseline.size() != StateFileSize) __builtin_trap();
    }
    if (size < 1 || size > 70000) return 0;
    // Where the input goes: 0 the header onward; 1 the processor record
    // onward (FLASH record and hardware words follow it); 2 the I/O
    // registers; 3 the backup memory.
    static constexpr size_t Offsets[4] = {0, 16, 296152, 443608};
    const uint8_t mode = data[0];
    const size_t offset = Offsets[(mode >> 1) & 3];
    std::vector<uint8_t> file = Baseline;
    const size_t n = std::min(size - 1, file.size() - offset);
    std::copy(data + 1, data + 1 + n, file.begin() + static_cast<std::ptrdiff_t>(offset));
    if (mode & 1) file.resize(offset + n);
    fuzz::WriteBytes("input.sta", file.data(), file.size());
    LoadState("input.sta");
    fuzz::RunFrames(1);
    return 0;
}
