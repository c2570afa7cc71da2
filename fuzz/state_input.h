// How the state targets turn an input into a state file: a valid state of
// the running cartridge with pieces of the input laid over it wherever the
// input says, then possibly cut short or made longer. So every part of the
// layout, and the block of the second FLASH bank after it, is reached by
// inputs that keep the rest of the file valid.
#pragma once
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace koru::fuzz {

// Input after the first byte, read by FuzzedDataProvider (integers from the
// end, bytes from the front): when cut is set, the file's length (4 bytes);
// then pieces, each an offset (4 bytes), a length less one (1 byte) and that
// many bytes.
inline std::vector<uint8_t> MakeStateFile(const std::vector<uint8_t>& baseline, const uint8_t* data, size_t size,
                                          bool cut) {
    std::vector<uint8_t> file = baseline;
    FuzzedDataProvider in(data, size);
    uint32_t length = static_cast<uint32_t>(file.size());
    if (cut) length = in.ConsumeIntegral<uint32_t>() % (file.size() + 4096);
    while (in.remaining_bytes() > 4) {
        const size_t offset = in.ConsumeIntegral<uint32_t>() % (file.size() + 4096);
        const size_t n = in.ConsumeIntegral<uint8_t>() + 1u;
        const std::vector<uint8_t> piece = in.ConsumeBytes<uint8_t>(n);
        if (file.size() < offset + piece.size()) file.resize(offset + piece.size());
        std::copy(piece.begin(), piece.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    if (cut) file.resize(length);
    return file;
}

}  // namespace koru::fuzz
