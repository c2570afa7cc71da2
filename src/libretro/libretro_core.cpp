// Koru as a libretro core: the machine hosted by a libretro front end
// (RetroArch and the others), which owns the window, the sound card, the
// controllers and the save files.
//
// One retro_run is one frame: the machine runs on its own thread from one
// PollInput to the next (see MachineThread), then the frame it presented,
// the sound that frame lasted and the state of the battery save are handed
// over. Reset, state saves and loads happen while the machine waits inside
// PollInput, where the desktop program does them too.
#include <libretro.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "libretro/machine_thread.h"
#include "libretro/paced_wave.h"
#include "libretro/save_memory.h"
#include "machine/host.h"
#include "machine/log.h"
#include "machine/machine.h"
#include "machine/savefiles.h"
#include "machine/settings.h"
#include "sound/midilog.h"
#include "sound/output.h"
#include "video/video.h"

namespace {

using namespace koru;
using namespace koru::libretro;

// The wave synthesis runs at this rate, and so does the core's sound.
constexpr int SampleRate = 48000;
// The fewest buffers the sound output allows: the least delay between the
// machine's sound and the front end.
constexpr int WaveBuffers = 2;
constexpr double FramesPerSecond = 16777216.0 / 280896.0;

retro_environment_t Environment = nullptr;
retro_video_refresh_t VideoRefresh = nullptr;
retro_audio_sample_batch_t AudioBatch = nullptr;
retro_input_poll_t InputPoll = nullptr;
retro_input_state_t InputState = nullptr;
retro_log_printf_t LogPrintf = nullptr;

bool Loaded = false;
MachineThread Machine;
PacedWaveDevice Wave;
AudioPacer Pacer;
uint64_t FramesRun = 0;

uint16_t FrameStore[FrameWidth * FrameHeight];
// The picture handed to the front end: XRGB8888, or RGB565 in the low half
// of each word's place when the front end refuses the former.
bool FullColour = true;
uint32_t Picture[ScreenWidth * FrameHeight];
uint16_t Picture565[ScreenWidth * FrameHeight];
int16_t AudioFrames[2 * AudioPacer::MaxFrameSamples];

// The battery save as the front end sees it, and what it held when the core
// last wrote it: a difference is the front end's writing.
std::vector<uint8_t> SaveImage;
std::vector<uint8_t> SaveImageAsWritten;

void Report(retro_log_level level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Report(retro_log_level level, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (LogPrintf) {
        LogPrintf(level, "%s\n", text);
    } else {
        std::fprintf(stderr, "Koru: %s\n", text);
    }
}

// ---------------------------------------------------------------------------
// Core options: the settings a player of the desktop program finds in its
// Setup dialog that mean something here. The first value is the default,
// the setting's own.

const retro_variable Variables[] = {
    {"koru_check_crc", "Check the cartridge header at load (CheckCRC); enabled|disabled"},
    {"koru_use_drums", "Noise channel as drum hits (UseDrums); disabled|enabled"},
    {"koru_display_windows", "Display windows 0, 1 and the sprite window (DisplayWindows); disabled|enabled"},
    {"koru_sound_channel_1", "Sound channel 1, square with sweep (SoundSwitch); enabled|disabled"},
    {"koru_sound_channel_2", "Sound channel 2, square (SoundSwitch); enabled|disabled"},
    {"koru_sound_channel_3", "Sound channel 3, wave (SoundSwitch); enabled|disabled"},
    {"koru_sound_channel_4", "Sound channel 4, noise (SoundSwitch); enabled|disabled"},
    {"koru_direct_sound", "Direct sound, FIFO A and B (DirectSound; at the next load); disabled|enabled"},
    {nullptr, nullptr},
};

// Whether the option reads "enabled"; its default when the front end has
// no value.
bool Enabled(const char* key, bool fallback) {
    retro_variable variable = {key, nullptr};
    if (!Environment || !Environment(RETRO_ENVIRONMENT_GET_VARIABLE, &variable) || !variable.value) return fallback;
    return std::strcmp(variable.value, "enabled") == 0;
}

void ReadOptions() {
    CheckCRC = Enabled("koru_check_crc", true) ? 1 : 0;
    UseDrums = Enabled("koru_use_drums", false) ? 1 : 0;
    DisplayWindows = Enabled("koru_display_windows", false) ? 1 : 0;
    int32_t switches = SoundSwitch & ~0x000F;
    for (int channel = 0; channel < 4; ++channel) {
        char key[32];
        std::snprintf(key, sizeof key, "koru_sound_channel_%d", channel + 1);
        if (Enabled(key, true)) switches |= 1 << channel;
    }
    SoundSwitch = switches;
}

// UseDrums takes effect at the next reset, as in the desktop program; the
// switches and the display windows at once.
void ApplyChangedOptions() {
    bool changed = false;
    if (!Environment || !Environment(RETRO_ENVIRONMENT_GET_VARIABLE_UPDATE, &changed) || !changed) return;
    ReadOptions();
    SetSoundVolume(SoundVolume, SoundSwitch);
}

// ---------------------------------------------------------------------------
// The machine

void TakeSaveImage() {
    ExportSaveImage(SaveImage.data());
    SaveImageAsWritten = SaveImage;
}

// The front end may have written the battery save since the core last did
// (right after the load, above all): its bytes then go into the machine.
void GiveSaveImage() {
    if (SaveImage != SaveImageAsWritten) ImportSaveImage(SaveImage.data());
}

void ConvertPicture() {
    for (int row = 0; row < FrameHeight; ++row) {
        const uint16_t* source = FrameStore + row * FrameWidth + ScreenLeft;
        for (int x = 0; x < ScreenWidth; ++x) {
            const uint32_t p = source[x];
            const uint32_t r = (p >> 10) & 31, g = (p >> 5) & 31, b = p & 31;
            if (FullColour) {
                // Each channel widened as koru-headless's screenshots do.
                Picture[row * ScreenWidth + x] = ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
            } else {
                Picture565[row * ScreenWidth + x] = static_cast<uint16_t>(r << 11 | (g << 1 | g >> 4) << 5 | b);
            }
        }
    }
}

uint32_t ConsoleKeys() {
    // In the order of the key input register's bits, A first.
    static constexpr unsigned Buttons[10] = {
        RETRO_DEVICE_ID_JOYPAD_A,     RETRO_DEVICE_ID_JOYPAD_B,    RETRO_DEVICE_ID_JOYPAD_SELECT,
        RETRO_DEVICE_ID_JOYPAD_START, RETRO_DEVICE_ID_JOYPAD_RIGHT, RETRO_DEVICE_ID_JOYPAD_LEFT,
        RETRO_DEVICE_ID_JOYPAD_UP,    RETRO_DEVICE_ID_JOYPAD_DOWN, RETRO_DEVICE_ID_JOYPAD_R,
        RETRO_DEVICE_ID_JOYPAD_L,
    };
    uint32_t keys = 0;
    if (!InputState) return 0;
    for (int bit = 0; bit < 10; ++bit) {
        if (InputState(0, RETRO_DEVICE_JOYPAD, 0, Buttons[bit])) keys |= 1u << bit;
    }
    return keys;
}

void SetInputDescriptors() {
    static const retro_input_descriptor Descriptors[] = {
        {0, RETRO_DEVICE_JOYPAD, 0, RETRO_DEVICE_ID_JOYPAD_LEFT, "Left"},
        {0, RETRO_DEVICE_JOYPAD, 0, RETRO_DEVICE_ID_JOYPAD_UP, "Up"},
        {0, RETRO_DEVICE_JOYPAD, 0, RETRO_DEVICE_ID_JOYPAD_DOWN, "Down"},
        {0, RETRO_DEVICE_JOYPAD, 0, RETRO_DEVICE_ID_JOYPAD_RIGHT, "Right"},
        {0, RETRO_DEVICE_JOYPAD, 0, RETRO_DEVICE_ID_JOYPAD_B, "B"},
        {0, RETRO_DEVICE_JOYPAD, 0, RETRO_DEVICE_ID_JOYPAD_A, "A"},
        {0, RETRO_DEVICE_JOYPAD, 0, RETRO_DEVICE_ID_JOYPAD_L, "L"},
        {0, RETRO_DEVICE_JOYPAD, 0, RETRO_DEVICE_ID_JOYPAD_R, "R"},
        {0, RETRO_DEVICE_JOYPAD, 0, RETRO_DEVICE_ID_JOYPAD_SELECT, "Select"},
        {0, RETRO_DEVICE_JOYPAD, 0, RETRO_DEVICE_ID_JOYPAD_START, "Start"},
        {0, 0, 0, 0, nullptr},
    };
    Environment(RETRO_ENVIRONMENT_SET_INPUT_DESCRIPTORS, const_cast<retro_input_descriptor*>(Descriptors));
}

void EndRun() {
    if (!Loaded) return;
    Machine.Stop();
    // With no sibling files the shut-down writes nothing: the front end has
    // the battery save.
    ShutdownMachine();
    CloseSound();
    CloseMidiLog();
    SaveImage.clear();
    SaveImageAsWritten.clear();
    Loaded = false;
}

}  // namespace

// ---------------------------------------------------------------------------
// The calls the core makes into its host

namespace koru {

void ShowFrame(int, int, int, int) { ConvertPicture(); }

// At line 160 of every frame, on the machine's thread: the frame is done,
// and the front end's thread takes over until the next one.
uint32_t PollInput() {
    ++FramesRun;
    return Machine.Park();
}

}  // namespace koru

// ---------------------------------------------------------------------------
// The libretro API

RETRO_API unsigned retro_api_version(void) { return RETRO_API_VERSION; }

RETRO_API void retro_set_environment(retro_environment_t environment) {
    Environment = environment;
    bool noGame = false;
    Environment(RETRO_ENVIRONMENT_SET_SUPPORT_NO_GAME, &noGame);
    Environment(RETRO_ENVIRONMENT_SET_VARIABLES, const_cast<retro_variable*>(Variables));
}

RETRO_API void retro_set_video_refresh(retro_video_refresh_t callback) { VideoRefresh = callback; }
RETRO_API void retro_set_audio_sample(retro_audio_sample_t) {}
RETRO_API void retro_set_audio_sample_batch(retro_audio_sample_batch_t callback) { AudioBatch = callback; }
RETRO_API void retro_set_input_poll(retro_input_poll_t callback) { InputPoll = callback; }
RETRO_API void retro_set_input_state(retro_input_state_t callback) { InputState = callback; }

RETRO_API void retro_init(void) {
    retro_log_callback log = {nullptr};
    LogPrintf = Environment && Environment(RETRO_ENVIRONMENT_GET_LOG_INTERFACE, &log) ? log.log : nullptr;
    ResetSettings();
    Verbose = 0;
    // The front end keeps the saves; the machine writes no file.
    SiblingFiles = 0;
    FrameBuffer = FrameStore;
    BuildColourTables();
    InstallSoundDevices(nullptr, &Wave);
}

RETRO_API void retro_deinit(void) {
    EndRun();
    InstallSoundDevices(nullptr, nullptr);
    FrameBuffer = nullptr;
    LogPrintf = nullptr;
}

RETRO_API void retro_get_system_info(retro_system_info* info) {
    std::memset(info, 0, sizeof *info);
    info->library_name = "Koru";
    info->library_version = KORU_VERSION;
    info->valid_extensions = "gba";
    info->need_fullpath = true;
    info->block_extract = false;
}

RETRO_API void retro_get_system_av_info(retro_system_av_info* info) {
    std::memset(info, 0, sizeof *info);
    info->geometry.base_width = info->geometry.max_width = ScreenWidth;
    info->geometry.base_height = info->geometry.max_height = FrameHeight;
    info->geometry.aspect_ratio = static_cast<float>(ScreenWidth) / FrameHeight;
    info->timing.fps = FramesPerSecond;
    info->timing.sample_rate = SampleRate;
}

RETRO_API void retro_set_controller_port_device(unsigned, unsigned) {}

RETRO_API bool retro_load_game(const retro_game_info* game) {
    EndRun();
    if (!game || !game->path) return false;

    retro_pixel_format format = RETRO_PIXEL_FORMAT_XRGB8888;
    FullColour = Environment(RETRO_ENVIRONMENT_SET_PIXEL_FORMAT, &format);
    if (!FullColour) {
        format = RETRO_PIXEL_FORMAT_RGB565;
        if (!Environment(RETRO_ENVIRONMENT_SET_PIXEL_FORMAT, &format)) return false;
    }
    SetInputDescriptors();

    ResetSettings();
    Verbose = 0;
    ReadOptions();
    // Direct sound changes the sound output and the size of a state, so it
    // is taken only here, never while a game runs.
    DirectSound = Enabled("koru_direct_sound", false) ? 1 : 0;
    std::fill(std::begin(FrameStore), std::end(FrameStore), uint16_t{0});
    ConvertPicture();
    // No MIDI log: the recording is never switched on here.
    MidiLog(0);

    // The sound is open before the machine starts, as the desktop program
    // opens it: the reset's first notes already reach it.
    if (!OpenSound(SampleRate, WaveBuffers)) Report(RETRO_LOG_WARN, "no sound output: running silent");
    SetSoundVolume(SoundVolume, SoundSwitch);
    if (!PrepareMachine(game->path)) {
        Report(RETRO_LOG_ERROR, "cannot start %s", game->path);
        ShutdownMachine();
        CloseSound();
        return false;
    }
    Pacer.Begin(&Wave, SampleRate);
    FramesRun = 0;
    if (!Machine.Start()) {
        Report(RETRO_LOG_ERROR, "cannot start the machine's thread");
        ShutdownMachine();
        CloseSound();
        return false;
    }
    SaveImage.assign(libretro::SaveImageSize(), 0);
    TakeSaveImage();
    Loaded = true;
    return true;
}

RETRO_API bool retro_load_game_special(unsigned, const retro_game_info*, size_t) { return false; }

RETRO_API void retro_unload_game(void) { EndRun(); }

RETRO_API unsigned retro_get_region(void) { return RETRO_REGION_NTSC; }

RETRO_API void retro_run(void) {
    if (InputPoll) InputPoll();
    const uint32_t keys = ConsoleKeys();
    if (Loaded) {
        ApplyChangedOptions();
        GiveSaveImage();
        Machine.RunFrame(keys);
        TakeSaveImage();
    }
    if (VideoRefresh) {
        const void* data = FullColour ? static_cast<const void*>(Picture) : static_cast<const void*>(Picture565);
        VideoRefresh(data, ScreenWidth, FrameHeight, ScreenWidth * (FullColour ? 4 : 2));
    }
    if (Loaded && AudioBatch) {
        const int count = Pacer.Frame(FramesRun, AudioFrames);
        for (int sent = 0; sent < count;) {
            const size_t taken = AudioBatch(AudioFrames + 2 * sent, static_cast<size_t>(count - sent));
            if (taken == 0) break;
            sent += static_cast<int>(taken);
        }
    }
}

// The console's reset, as the desktop program's reset key does it: the
// memories and the cartridge stay.
RETRO_API void retro_reset(void) {
    if (!Loaded) return;
    GiveSaveImage();
    ResetHardware();
    TakeSaveImage();
}

// A cartridge with a 128 KB FLASH chip has its second bank after the layout.
RETRO_API size_t retro_serialize_size(void) { return Loaded ? StateSize() : StateFileSize; }

RETRO_API bool retro_serialize(void* data, size_t size) {
    if (!Loaded || size < StateSize()) return false;
    GiveSaveImage();
    return SaveStateToBuffer(static_cast<uint8_t*>(data));
}

RETRO_API bool retro_unserialize(const void* data, size_t size) {
    if (!Loaded) return false;
    GiveSaveImage();
    if (!LoadStateFromBuffer(static_cast<const uint8_t*>(data), size)) return false;
    // The state holds the backup memory too.
    TakeSaveImage();
    return true;
}

RETRO_API void retro_cheat_reset(void) {}
RETRO_API void retro_cheat_set(unsigned, bool, const char*) {}

RETRO_API void* retro_get_memory_data(unsigned id) {
    if (id != RETRO_MEMORY_SAVE_RAM || !Loaded) return nullptr;
    return SaveImage.data();
}

RETRO_API size_t retro_get_memory_size(unsigned id) {
    if (id != RETRO_MEMORY_SAVE_RAM || !Loaded) return 0;
    return SaveImage.size();
}
