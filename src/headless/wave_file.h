// A WAV file of unsigned 8-bit samples, mono or stereo, written as it grows; its sizes
// are filled in when it is finished.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace koru::headless {

class WaveFile {
public:
    ~WaveFile();
    bool Create(const std::string& name, int rate, int channels = 1);
    // count bytes: samples, or for stereo left and right interleaved.
    bool Append(const uint8_t* samples, int count);
    // Writes the sizes and closes; false if any write failed.
    bool Finish();
    uint32_t Samples() const { return samples_; }  // bytes of sample data

private:
    std::FILE* file_ = nullptr;
    uint32_t samples_ = 0;
    bool failed_ = false;
};

}  // namespace koru::headless
