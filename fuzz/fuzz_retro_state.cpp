// Random states handed to the libretro core through its API, as a front end
// hands over a state it kept (rewind, a state slot, netplay): the core
// sources are compiled into this target and driven in-process, so
// retro_unserialize runs where it does in a front end, with the machine
// parked on its own thread inside PollInput. Two frames follow. The first
// byte picks a cartridge with no save type or one with a 128 KB FLASH chip,
// and whether the state is cut or lengthened.
//
// After the run: nothing was written outside the machine's regions, and the
// state the core serialises now unserialises again.
#include <libretro.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include "fuzz_guard.h"
#include "machine/memory.h"
#include "state_input.h"

namespace {

const char* const Tags[] = {nullptr, "FLASH1M_V103"};
const char* const Names[] = {"retro.gba", "retro1m.gba"};
int Running = -1;
std::vector<uint8_t> Baseline;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    __builtin_trap();
}

bool Environment(unsigned command, void* data) {
    switch (command) {
    case RETRO_ENVIRONMENT_SET_PIXEL_FORMAT:
        return *static_cast<const retro_pixel_format*>(data) == RETRO_PIXEL_FORMAT_XRGB8888;
    case RETRO_ENVIRONMENT_GET_VARIABLE: {
        // The quiet cartridges carry no header checks; every other option
        // keeps its default.
        auto* variable = static_cast<retro_variable*>(data);
        if (std::strcmp(variable->key, "koru_check_crc") != 0) return false;
        variable->value = "disabled";
        return true;
    }
    case RETRO_ENVIRONMENT_SET_VARIABLES:
    case RETRO_ENVIRONMENT_SET_INPUT_DESCRIPTORS:
    case RETRO_ENVIRONMENT_SET_SUPPORT_NO_GAME:
        return true;
    default:
        return false;
    }
}
void Video(const void*, unsigned, unsigned, size_t) {}
size_t AudioBatch(const int16_t*, size_t frames) { return frames; }
void InputPoll() {}
// Some keys held, so that keypad interrupts and key-driven code run too.
int16_t InputState(unsigned, unsigned, unsigned, unsigned id) {
    return id == RETRO_DEVICE_ID_JOYPAD_A || id == RETRO_DEVICE_ID_JOYPAD_START;
}

// A cartridge of `B .` loops, as the other targets' quiet cartridge.
void WriteCartridge(const char* name, const char* tag) {
    std::vector<uint8_t> image(16384);
    for (size_t i = 0; i < image.size(); i += 4) koru::Poke32(&image[i], 0xEAFFFFFE);
    if (tag) std::memcpy(&image[0x100], tag, std::strlen(tag));
    std::FILE* file = std::fopen(name, "wb");
    if (!file || std::fwrite(image.data(), 1, image.size(), file) != image.size()) Fail("cannot write a cartridge");
    std::fclose(file);
}

void Initialise() {
    static char pattern[] = "/tmp/koru-fuzz-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0) Fail("no work directory");
    for (int i = 0; i < 2; ++i) WriteCartridge(Names[i], Tags[i]);
    retro_set_environment(Environment);
    retro_set_video_refresh(Video);
    retro_set_audio_sample_batch(AudioBatch);
    retro_set_input_poll(InputPoll);
    retro_set_input_state(InputState);
    retro_init();
    // As a front end does before it exits: the machine's thread ends and
    // the core lets go of the regions (put back where it can free them).
    std::atexit([] {
        koru::fuzz::UnguardRegions();
        retro_unload_game();
        retro_deinit();
        std::error_code ignored;
        std::filesystem::remove_all(pattern, ignored);
    });
}

void Start(int type) {
    if (Running == type) return;
    // Unloading frees the regions as the core allocated them.
    if (Running >= 0) koru::fuzz::UnguardRegions();
    const retro_game_info game = {Names[type], nullptr, 0, nullptr};
    if (!retro_load_game(&game)) Fail("the core does not load the cartridge");
    // The machine's thread waits for the first frame: the regions can move.
    koru::fuzz::GuardRegions();
    retro_run();
    retro_run();
    Baseline.assign(retro_serialize_size(), 0);
    if (!retro_serialize(Baseline.data(), Baseline.size())) Fail("no baseline state");
    Running = type;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool initialised = false;
    if (!initialised) {
        Initialise();
        initialised = true;
    }
    if (size < 1 || size > 200000) return 0;
    Start(data[0] & 1);
    const std::vector<uint8_t> state = koru::fuzz::MakeStateFile(Baseline, data + 1, size - 1, (data[0] & 2) != 0);

    if (!retro_unserialize(Baseline.data(), Baseline.size())) Fail("the core refuses its own baseline state");
    retro_unserialize(state.data(), state.size());
    retro_run();
    retro_run();
    koru::fuzz::CheckMachineIntact();

    std::vector<uint8_t> now(retro_serialize_size());
    if (!retro_serialize(now.data(), now.size())) Fail("the core cannot serialise its state");
    if (!retro_unserialize(now.data(), now.size())) Fail("the core refuses a state it serialised itself");
    return 0;
}
