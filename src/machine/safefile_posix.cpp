#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "machine/safefile_platform.h"

namespace koru::safefile {

namespace {

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

}  // namespace

const char* const DirectorySeparators = "/";

std::string ResolveTarget(const char* name) {
    char* resolved = realpath(name, nullptr);
    if (!resolved) return name;  // no file yet: it is created under this name
    std::string target = resolved;
    std::free(resolved);
    return target;
}

bool MayReplace(const std::string& target, bool& keepMode, unsigned& mode) {
    struct stat old;
    if (stat(target.c_str(), &old) != 0) return true;
    // The rename would replace a file that the user made read-only, which
    // writing into it would not.
    if (access(target.c_str(), W_OK) != 0) return false;
    mode = old.st_mode & 07777;
    keepMode = true;
    return true;
}

int CreateTemporary(const std::string& temporary) {
    return open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

long WriteSome(int fd, const char* data, size_t size) {
    for (;;) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

void Remove(int fd, const std::string& temporary) {
    close(fd);
    unlink(temporary.c_str());
}

bool FlushAndRename(int fd, const std::string& temporary, const std::string& target, bool keepMode, unsigned mode) {
    if (keepMode) fchmod(fd, static_cast<mode_t>(mode));
    bool ok = fsync(fd) == 0;
    ok = close(fd) == 0 && ok;  // some file systems report a full disk only here
    ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    if (ok) FlushDirectoryOf(target);
    return ok;
}

}  // namespace koru::safefile
