// What FileReplacement needs from the system, in one file per system
// (safefile_posix.cpp, safefile_win32.cpp); the build picks the one.
#pragma once
#include <cstddef>
#include <string>

namespace koru::safefile {

// Characters that end a directory's name in a path.
extern const char* const DirectorySeparators;
// The file a name stands for: a symbolic link is replaced by nothing but its
// target, so a save kept elsewhere through a link stays there.
std::string ResolveTarget(const char* name);
// Whether an existing target may be replaced (not when the user made it
// read-only); sets keepMode and mode when the new file is to keep the old
// one's permissions.
bool MayReplace(const std::string& target, bool& keepMode, unsigned& mode);
// A new, empty temporary file for writing: its descriptor, or -1.
int CreateTemporary(const std::string& temporary);
// Writes up to size bytes: how many were written, 0 or less on failure.
long WriteSome(int fd, const char* data, size_t size);
// Closes and removes the temporary file.
void Remove(int fd, const std::string& temporary);
// Flushes the temporary file to the disk, closes it and renames it over the
// target; on failure the temporary file is removed and the target stays.
bool FlushAndRename(int fd, const std::string& temporary, const std::string& target, bool keepMode, unsigned mode);

}  // namespace koru::safefile
