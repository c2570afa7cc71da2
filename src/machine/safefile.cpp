#include "machine/safefile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace koru {

namespace {

// The file a name stands for: a symbolic link is replaced by nothing but
// its target, so a save kept elsewhere through a link stays there.
std::string ResolveTarget(const char* name) {
#ifdef _WIN32
    return name;
#else
    char* resolved = realpath(name, nullptr);
    if (!resolved) return name;  // no file yet: it is created under this name
    std::string target = resolved;
    std::free(resolved);
    return target;
#endif
}

// The longest name of one directory entry that the usual file systems allow.
constexpr size_t NameMax = 255;

// The temporary file beside the target: the target's own name with ".tmp",
// or, when that would be longer than a name may be (a cartridge whose name
// is already nearly that long), a short name made from a hash of it. Either
// way the same target always gets the same temporary name, so a file left by
// a killed run is replaced by the next save.
std::string TemporaryName(const std::string& target) {
#ifdef _WIN32
    const size_t slash = target.find_last_of("/\\");
#else
    const size_t slash = target.rfind('/');
#endif
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

#ifndef _WIN32
// The rename itself lives in the directory: flushing the directory makes it
// survive a power cut too. A directory that cannot be flushed (some file
// systems refuse) does not fail the save; the data is already on the disk.
void FlushDirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}
#endif

}  // namespace

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Discard() {
    if (fd < 0) return;
#ifdef _WIN32
    _close(fd);
    _unlink(temporary.c_str());
#else
    close(fd);
    unlink(temporary.c_str());
#endif
    fd = -1;
}

bool FileReplacement::Open(const char* name) {
    Discard();
    failed = false;
    keepMode = false;
    if (!name || !*name) return false;
    target = ResolveTarget(name);
    temporary = TemporaryName(target);
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
    fd = _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    struct stat old;
    if (stat(target.c_str(), &old) == 0) {
        // The rename would replace a file that the user made read-only,
        // which writing into it would not.
        if (access(target.c_str(), W_OK) != 0) return false;
        mode = old.st_mode & 07777;
        keepMode = true;
    }
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
#endif
    return fd >= 0;
}

bool FileReplacement::Write(const void* data, size_t size) {
    if (fd < 0 || failed) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
#ifdef _WIN32
        const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
        const int n = _write(fd, p, chunk);
#else
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
#endif
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
#ifdef _WIN32
    bool ok = _commit(fd) == 0;
    ok = _close(fd) == 0 && ok;
    fd = -1;
    ok = ok && MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) _unlink(temporary.c_str());
#else
    if (keepMode) fchmod(fd, static_cast<mode_t>(mode));
    bool ok = fsync(fd) == 0;
    ok = close(fd) == 0 && ok;  // some file systems report a full disk only here
    fd = -1;
    ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    if (ok) FlushDirectoryOf(target);
#endif
    return ok;
}

}  // namespace koru
