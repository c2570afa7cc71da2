// A small libretro front end for the tests: opens the built core with
// dlopen, drives it through the API and keeps what it hands over.
#pragma once
#include <libretro.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace koru::test {

class LibretroHost {
public:
    LibretroHost() = default;
    LibretroHost(const LibretroHost&) = delete;
    LibretroHost& operator=(const LibretroHost&) = delete;
    ~LibretroHost() { Close(); }

    // dlopen, the callbacks, retro_init. False (with the reason in Error())
    // when the core or one of its functions is missing.
    bool Open(const std::string& path = KORU_LIBRETRO_CORE);
    // retro_deinit and dlclose.
    void Close();
    // retro_deinit then retro_init, the library staying loaded.
    void Reinitialise();
    const std::string& Error() const { return error_; }

    bool Load(const std::filesystem::path& cartridge);
    void Unload();
    // One retro_run with these console keys held (A 0x001 ... L 0x200).
    void Run(uint32_t keys = 0);

    // The last picture, as 0xRRGGBB per pixel, 240 x 160.
    const std::vector<uint32_t>& Picture() const { return picture_; }
    // The frames of each audio batch of the last Run, and every sample
    // (left, right) since the load.
    const std::vector<size_t>& LastBatches() const { return lastBatches_; }
    const std::vector<int16_t>& Audio() const { return audio_; }

    // Core options as the front end answers them; unset keys have no value.
    std::map<std::string, std::string> options;

    // The API, resolved from the core.
    void (*get_system_info)(retro_system_info*) = nullptr;
    void (*get_system_av_info)(retro_system_av_info*) = nullptr;
    void (*reset)() = nullptr;
    size_t (*serialize_size)() = nullptr;
    bool (*serialize)(void*, size_t) = nullptr;
    bool (*unserialize)(const void*, size_t) = nullptr;
    void* (*get_memory_data)(unsigned) = nullptr;
    size_t (*get_memory_size)(unsigned) = nullptr;

    // The battery save as the front end sees it.
    std::vector<uint8_t> SaveRam() const;
    void WriteSaveRam(const std::vector<uint8_t>& bytes);

    std::vector<uint8_t> State() const;

private:
    static bool Environment(unsigned command, void* data);
    static void Video(const void* data, unsigned width, unsigned height, size_t pitch);
    static size_t AudioBatch(const int16_t* data, size_t frames);
    static void InputPoll() {}
    static int16_t InputState(unsigned port, unsigned device, unsigned index, unsigned id);

    void* library_ = nullptr;
    std::string error_;
    bool loaded_ = false;
    uint32_t keys_ = 0;
    std::vector<uint32_t> picture_;
    std::vector<size_t> lastBatches_;
    std::vector<int16_t> audio_;

    void (*init_)() = nullptr;
    void (*deinit_)() = nullptr;
    void (*run_)() = nullptr;
    bool (*load_game_)(const retro_game_info*) = nullptr;
    void (*unload_game_)() = nullptr;
};

// A directory of its own for a test, removed afterwards, with copies of
// the cartridges it names (so that no file lands beside the built ones).
class Scratch {
public:
    Scratch();
    ~Scratch();
    std::filesystem::path Copy(const std::string& rom);
    const std::filesystem::path& Dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

// koru-headless run in dir (its current directory) with the arguments;
// true when it exited 0.
bool RunHeadless(const std::filesystem::path& dir, const std::string& arguments);
// A 240 x 160 RGB PNG as 0xRRGGBB per pixel; empty when it cannot be read.
std::vector<uint32_t> ReadPng(const std::filesystem::path& path);
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);

}  // namespace koru::test
