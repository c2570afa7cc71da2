#include "machine/safefile.h"

#include <cstdint>
#include <cstdio>

#include "machine/safefile_platform.h"

namespace koru {

namespace {

// The longest name of one directory entry that the usual file systems allow.
constexpr size_t NameMax = 255;

// The temporary file beside the target: the target's own name with ".tmp",
// or, when that would be longer than a name may be (a cartridge whose name
// is already nearly that long), a short name made from a hash of it. Either
// way the same target always gets the same temporary name, so a file left by
// a killed run is replaced by the next save.
std::string TemporaryName(const std::string& target) {
    const size_t slash = target.find_last_of(safefile::DirectorySeparators);
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (target.size() - nameStart + 4 <= NameMax) return target + ".tmp";
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (size_t i = nameStart; i < target.size(); ++i) {
        hash ^= static_cast<unsigned char>(target[i]);
        hash *= 1099511628211ull;
    }
    char name[32];
    std::snprintf(name, sizeof name, ".koru-%016llx.tmp", static_cast<unsigned long long>(hash));
    return target.substr(0, nameStart) + name;
}

}  // namespace

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Discard() {
    if (fd < 0) return;
    safefile::Remove(fd, temporary);
    fd = -1;
}

bool FileReplacement::Open(const char* name) {
    Discard();
    failed = false;
    keepMode = false;
    if (!name || !*name) return false;
    target = safefile::ResolveTarget(name);
    temporary = TemporaryName(target);
    if (!safefile::MayReplace(target, keepMode, mode)) return false;
    fd = safefile::CreateTemporary(temporary);
    return fd >= 0;
}

bool FileReplacement::Write(const void* data, size_t size) {
    if (fd < 0 || failed) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const long n = safefile::WriteSome(fd, p, size);
        if (n <= 0) {
            failed = true;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool FileReplacement::Commit() {
    if (fd < 0) return false;
    if (failed) {
        Discard();
        return false;
    }
    const bool ok = safefile::FlushAndRename(fd, temporary, target, keepMode, mode);
    fd = -1;
    return ok;
}

}  // namespace koru
