// Random state files loaded into a running machine the way the desktop
// program does it: the state file beside the cartridge, loaded by the F8 key
// command from inside PollInput, between two slices, while the machine runs
// from the end of a frame into the next. The machine then runs two more
// frames. The first byte picks a cartridge with no save type or one with a
// 128 KB FLASH chip (whose states carry the second bank in a block after
// the layout) and whether the file is cut or lengthened.
//
// After the run: nothing was written outside the machine's regions; the
// state the machine is in now saves and loads back (whatever the file
// brought, the machine never reaches a state of its own that it refuses);
// and, when the input asks, a battery save killed part-way leaves the old
// file or the complete new one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz_guard.h"
#include "fuzz_support.h"
#include "machine/machine.h"
#include "machine/savefiles.h"
#include "state_input.h"

namespace {

using namespace koru;

const char* const Tags[] = {nullptr, "FLASH1M_V103"};
const char* const Names[] = {"state.gba", "state1m.gba"};
int Running = -1;
std::vector<uint8_t> Baseline;

uint64_t FakeMilliseconds = 0;
uint64_t FakeClock() { return FakeMilliseconds += 1000; }

void Start(int type) {
    if (Running == type) return;
    if (Running >= 0) {
        fuzz::UnguardRegions();
        ShutdownMachine();
    }
    fuzz::WriteQuietCartridge(Names[type], Tags[type]);
    std::remove(Names[type] == Names[0] ? "state.sta" : "state1m.sta");
    if (!PrepareMachine(Names[type]) || !StaName) __builtin_trap();
    fuzz::GuardRegions();
    fuzz::ClearMachine();
    fuzz::RunFrames(2);
    Baseline.assign(StateSize(), 0);
    if (!SaveStateToBuffer(Baseline.data())) __builtin_trap();
    Running = type;
}

// The desktop program's F8, at the end of the input's first frame.
void PressF8(uint32_t framesLeft) {
    if (framesLeft == 2 && StaName) LoadState(StaName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::EnterWorkDirectory();
    BatterySaveClock = FakeClock;
    if (size < 1 || size > 200000) return 0;
    Start(data[0] & 1);
    const std::vector<uint8_t> file = fuzz::MakeStateFile(Baseline, data + 1, size - 1, (data[0] & 2) != 0);

    // The same machine for every input: the baseline state, no battery save.
    std::remove(SavName);
    fuzz::ClearMachine();
    if (!LoadStateFromBuffer(Baseline.data(), Baseline.size())) __builtin_trap();
    fuzz::WriteBytes(StaName, file.data(), file.size());

    fuzz::FrameHook = PressF8;
    fuzz::RunFrames(3);
    fuzz::FrameHook = nullptr;
    fuzz::CheckMachineIntact();

    std::vector<uint8_t> now(StateSize());
    if (!SaveStateToBuffer(now.data())) __builtin_trap();
    if (!LoadStateFromBuffer(now.data(), now.size())) {
        std::fprintf(stderr, "fuzz check failed: the machine refuses a state it saved itself\n");
        __builtin_trap();
    }
    if ((data[0] >> 5) == 7) fuzz::CheckInterruptedBatterySave(data[size - 1] * 16u);
    return 0;
}
