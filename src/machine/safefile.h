// Replacing a data file without ever losing the old one.
#pragma once
#include <cstddef>
#include <string>

namespace koru {

// Writes the new contents of a file into a temporary file beside it
// ("<name>.tmp", or a short name made from it when that would be too long
// for the directory), which Commit flushes to the disk and renames over the
// name. So at every moment, even if the program is killed or the disk
// fills, the file is either the old one whole or the new one whole. When
// anything fails, or the replacement is dropped without Commit, the
// temporary file is removed and the old file stays as it was.
//
// A symbolic link is followed, so the file it points at is replaced; an
// existing file keeps its permissions, and one the user may not write is
// not replaced.
class FileReplacement {
public:
    FileReplacement() = default;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();

    // Creates the temporary file; false when it cannot be.
    bool Open(const char* name);
    // Appends bytes; false (and the replacement is spoilt) when not all of
    // them could be written.
    bool Write(const void* data, size_t size);
    // Flushes and renames; true only when the new file is in place.
    bool Commit();

private:
    void Discard();

    std::string target;
    std::string temporary;
    int fd = -1;
    bool failed = false;
    bool keepMode = false;
    unsigned mode = 0;
};

}  // namespace koru
