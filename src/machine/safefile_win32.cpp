#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "machine/safefile_platform.h"

namespace koru::safefile {

const char* const DirectorySeparators = "/\\";

std::string ResolveTarget(const char* name) { return name; }

bool MayReplace(const std::string& target, bool&, unsigned&) {
    const DWORD attributes = GetFileAttributesA(target.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY);
}

int CreateTemporary(const std::string& temporary) {
    return _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

long WriteSome(int fd, const char* data, size_t size) {
    const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
    return _write(fd, data, chunk);
}

void Remove(int fd, const std::string& temporary) {
    _close(fd);
    _unlink(temporary.c_str());
}

bool FlushAndRename(int fd, const std::string& temporary, const std::string& target, bool, unsigned) {
    bool ok = _commit(fd) == 0;
    ok = _close(fd) == 0 && ok;
    ok = ok && MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) _unlink(temporary.c_str());
    return ok;
}

}  // namespace koru::safefile
