#include "libretro/libretro_host.h"

#include <dlfcn.h>
#include <png.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace koru::test {

namespace {

// The callbacks are plain functions: they reach the host that runs.
LibretroHost* Current = nullptr;

// The console's keys in the order of their bits, as joypad buttons.
constexpr unsigned Buttons[10] = {
    RETRO_DEVICE_ID_JOYPAD_A,     RETRO_DEVICE_ID_JOYPAD_B,    RETRO_DEVICE_ID_JOYPAD_SELECT,
    RETRO_DEVICE_ID_JOYPAD_START, RETRO_DEVICE_ID_JOYPAD_RIGHT, RETRO_DEVICE_ID_JOYPAD_LEFT,
    RETRO_DEVICE_ID_JOYPAD_UP,    RETRO_DEVICE_ID_JOYPAD_DOWN, RETRO_DEVICE_ID_JOYPAD_R,
    RETRO_DEVICE_ID_JOYPAD_L,
};

template <typename F>
bool Resolve(void* library, const char* name, F& function, std::string& error) {
    function = reinterpret_cast<F>(dlsym(library, name));
    if (!function) error = std::string("the core has no ") + name;
    return function != nullptr;
}

}  // namespace

bool LibretroHost::Open(const std::string& path) {
    Close();
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        error_ = dlerror();
        return false;
    }
    void (*set_environment)(retro_environment_t) = nullptr;
    void (*set_video)(retro_video_refresh_t) = nullptr;
    void (*set_batch)(retro_audio_sample_batch_t) = nullptr;
    void (*set_poll)(retro_input_poll_t) = nullptr;
    void (*set_state)(retro_input_state_t) = nullptr;
    unsigned (*api_version)() = nullptr;
    const bool all =
        Resolve(library_, "retro_set_environment", set_environment, error_) &&
        Resolve(library_, "retro_set_video_refresh", set_video, error_) &&
        Resolve(library_, "retro_set_audio_sample_batch", set_batch, error_) &&
        Resolve(library_, "retro_set_input_poll", set_poll, error_) &&
        Resolve(library_, "retro_set_input_state", set_state, error_) &&
        Resolve(library_, "retro_api_version", api_version, error_) &&
        Resolve(library_, "retro_init", init_, error_) && Resolve(library_, "retro_deinit", deinit_, error_) &&
        Resolve(library_, "retro_run", run_, error_) && Resolve(library_, "retro_load_game", load_game_, error_) &&
        Resolve(library_, "retro_unload_game", unload_game_, error_) &&
        Resolve(library_, "retro_get_system_info", get_system_info, error_) &&
        Resolve(library_, "retro_get_system_av_info", get_system_av_info, error_) &&
        Resolve(library_, "retro_reset", reset, error_) &&
        Resolve(library_, "retro_serialize_size", serialize_size, error_) &&
        Resolve(library_, "retro_serialize", serialize, error_) &&
        Resolve(library_, "retro_unserialize", unserialize, error_) &&
        Resolve(library_, "retro_get_memory_data", get_memory_data, error_) &&
        Resolve(library_, "retro_get_memory_size", get_memory_size, error_);
    if (!all) {
        dlclose(library_);
        library_ = nullptr;
        return false;
    }
    if (api_version() != RETRO_API_VERSION) {
        error_ = "the core has another API version";
        dlclose(library_);
        library_ = nullptr;
        return false;
    }
    Current = this;
    set_environment(Environment);
    set_video(Video);
    set_batch(AudioBatch);
    set_poll(InputPoll);
    set_state(InputState);
    init_();
    return true;
}

void LibretroHost::Close() {
    if (!library_) return;
    Unload();
    deinit_();
    dlclose(library_);
    library_ = nullptr;
    if (Current == this) Current = nullptr;
}

void LibretroHost::Reinitialise() {
    Unload();
    deinit_();
    init_();
}

bool LibretroHost::Load(const std::filesystem::path& cartridge) {
    Unload();
    const std::string path = cartridge.string();
    const retro_game_info game = {path.c_str(), nullptr, 0, nullptr};
    picture_.assign(240 * 160, 0);
    audio_.clear();
    loaded_ = load_game_(&game);
    return loaded_;
}

void LibretroHost::Unload() {
    if (!loaded_) return;
    unload_game_();
    loaded_ = false;
}

void LibretroHost::Run(uint32_t keys) {
    keys_ = keys;
    lastBatches_.clear();
    run_();
}

std::vector<uint8_t> LibretroHost::SaveRam() const {
    const auto* data = static_cast<const uint8_t*>(get_memory_data(RETRO_MEMORY_SAVE_RAM));
    return data ? std::vector<uint8_t>(data, data + get_memory_size(RETRO_MEMORY_SAVE_RAM)) : std::vector<uint8_t>{};
}

void LibretroHost::WriteSaveRam(const std::vector<uint8_t>& bytes) {
    auto* data = static_cast<uint8_t*>(get_memory_data(RETRO_MEMORY_SAVE_RAM));
    const size_t size = get_memory_size(RETRO_MEMORY_SAVE_RAM);
    // As front ends read a save file: what fits, the rest left as it is.
    if (data) std::memcpy(data, bytes.data(), std::min(size, bytes.size()));
}

std::vector<uint8_t> LibretroHost::State() const {
    std::vector<uint8_t> state(serialize_size());
    if (!serialize(state.data(), state.size())) state.clear();
    return state;
}

bool LibretroHost::Environment(unsigned command, void* data) {
    switch (command) {
        case RETRO_ENVIRONMENT_SET_PIXEL_FORMAT:
            // The pictures are compared in full colour.
            return *static_cast<const retro_pixel_format*>(data) == RETRO_PIXEL_FORMAT_XRGB8888;
        case RETRO_ENVIRONMENT_GET_VARIABLE: {
            auto* variable = static_cast<retro_variable*>(data);
            const auto found = Current->options.find(variable->key);
            variable->value = found == Current->options.end() ? nullptr : found->second.c_str();
            return found != Current->options.end();
        }
        case RETRO_ENVIRONMENT_SET_VARIABLES:
        case RETRO_ENVIRONMENT_SET_INPUT_DESCRIPTORS:
        case RETRO_ENVIRONMENT_SET_SUPPORT_NO_GAME:
            return true;
        default:
            return false;
    }
}

void LibretroHost::Video(const void* data, unsigned width, unsigned height, size_t pitch) {
    if (!data || width != 240 || height != 160 || pitch < 4 * width) return;
    for (unsigned y = 0; y < height; ++y) {
        const auto* row = static_cast<const uint8_t*>(data) + y * pitch;
        for (unsigned x = 0; x < width; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, row + 4 * x, 4);
            Current->picture_[y * width + x] = pixel & 0xFFFFFF;
        }
    }
}

size_t LibretroHost::AudioBatch(const int16_t* data, size_t frames) {
    Current->lastBatches_.push_back(frames);
    Current->audio_.insert(Current->audio_.end(), data, data + 2 * frames);
    return frames;
}

int16_t LibretroHost::InputState(unsigned port, unsigned device, unsigned, unsigned id) {
    if (port != 0 || device != RETRO_DEVICE_JOYPAD) return 0;
    for (int bit = 0; bit < 10; ++bit) {
        if (Buttons[bit] == id) return (Current->keys_ >> bit) & 1;
    }
    return 0;
}

Scratch::Scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "koru-libretro-XXXXXX").string();
    if (mkdtemp(pattern.data())) dir_ = pattern;
}

Scratch::~Scratch() {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

std::filesystem::path Scratch::Copy(const std::string& rom) {
    const std::filesystem::path from = std::filesystem::path(KORU_ROM_DIR) / (rom + ".gba");
    std::filesystem::copy_file(from, dir_ / from.filename(), std::filesystem::copy_options::overwrite_existing);
    return dir_ / from.filename();
}

bool RunHeadless(const std::filesystem::path& dir, const std::string& arguments) {
    const std::string command = "cd '" + dir.string() + "' && " KORU_HEADLESS " " + arguments;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<uint32_t> ReadPng(const std::filesystem::path& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    const bool ok = image.width == 240 && image.height == 160 &&
                    png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
    png_image_free(&image);
    if (!ok) return {};
    std::vector<uint32_t> pixels(240 * 160);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint32_t>(rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2]);
    }
    return pixels;
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace koru::test
