#include "headless/wave_file.h"

namespace koru::headless {
namespace {

void PutLittle(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

WaveFile::~WaveFile() {
    if (file_) std::fclose(file_);
}

bool WaveFile::Create(const std::string& name, int rate, int channels) {
    file_ = std::fopen(name.c_str(), "wb");
    if (!file_) return false;
    uint8_t header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    PutLittle(header + 16, 16, 4);    // format chunk size
    PutLittle(header + 20, 1, 2);     // PCM
    PutLittle(header + 22, static_cast<uint32_t>(channels), 2);
    PutLittle(header + 24, static_cast<uint32_t>(rate), 4);
    PutLittle(header + 28, static_cast<uint32_t>(rate * channels), 4);  // bytes a second
    PutLittle(header + 32, static_cast<uint32_t>(channels), 2);        // block alignment
    PutLittle(header + 34, 8, 2);     // bits a sample
    header[36] = 'd';
    header[37] = 'a';
    header[38] = 't';
    header[39] = 'a';
    failed_ = std::fwrite(header, 1, sizeof header, file_) != sizeof header;
    return !failed_;
}

bool WaveFile::Append(const uint8_t* samples, int count) {
    if (!file_ || count <= 0) return false;
    if (std::fwrite(samples, 1, count, file_) != static_cast<size_t>(count)) failed_ = true;
    samples_ += static_cast<uint32_t>(count);
    return !failed_;
}

bool WaveFile::Finish() {
    if (!file_) return false;
    uint8_t size[4];
    // An odd data chunk is padded to an even length.
    if (samples_ & 1) failed_ |= std::fputc(0, file_) == EOF;
    PutLittle(size, 36 + samples_ + (samples_ & 1), 4);
    failed_ |= std::fseek(file_, 4, SEEK_SET) != 0 || std::fwrite(size, 1, 4, file_) != 4;
    PutLittle(size, samples_, 4);
    failed_ |= std::fseek(file_, 40, SEEK_SET) != 0 || std::fwrite(size, 1, 4, file_) != 4;
    failed_ |= std::fclose(file_) != 0;
    file_ = nullptr;
    return !failed_;
}

}  // namespace koru::headless
