#include "libretro/state_buffer.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "machine/savefiles.h"

namespace koru {

namespace {

// A directory of its own under the system's temporary directory, removed
// with the file when done.
class ScratchFile {
public:
    ScratchFile() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/koru-state-XXXXXX";
        if (mkdtemp(pattern.data())) {
            dir_ = pattern;
            path_ = dir_ + "/state.sta";
        }
    }
    ~ScratchFile() {
        if (dir_.empty()) return;
        std::remove(path_.c_str());
        rmdir(dir_.c_str());
    }
    const char* Path() const { return path_.empty() ? nullptr : path_.c_str(); }

private:
    std::string dir_, path_;
};

}  // namespace

bool SaveStateToBuffer(uint8_t* out) {
    ScratchFile scratch;
    if (!scratch.Path() || !SaveState(scratch.Path())) return false;
    std::FILE* file = std::fopen(scratch.Path(), "rb");
    if (!file) return false;
    const bool ok = std::fread(out, 1, StateFileSize, file) == StateFileSize;
    std::fclose(file);
    return ok;
}

bool LoadStateFromBuffer(const uint8_t* in, size_t size) {
    if (size != StateFileSize) return false;
    ScratchFile scratch;
    if (!scratch.Path()) return false;
    std::FILE* file = std::fopen(scratch.Path(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(in, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return false;
    return LoadState(scratch.Path()) != 0;
}

}  // namespace koru
