// Shared by the fuzz targets: the host calls of the core, a private working
// directory and a bounded run of the machine.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace koru::fuzz {

// Moves into a fresh temporary directory (once per process), so that no
// "GBA.ROM", ".sav" or ".sta" of the caller's is read or written, and turns
// the log off.
void EnterWorkDirectory();

// Writes bytes to a file of the work directory, replacing it.
void WriteBytes(const std::string& name, const uint8_t* data, size_t size);

// A cartridge of `B .` loops with a header that passes the checks.
// With saveTag, the image carries that save library tag ("FLASH1M_V103").
void WriteQuietCartridge(const std::string& name, const char* saveTag = nullptr);

// Runs the prepared machine for this many frames.
void RunFrames(uint32_t frames);

// Called at the end of every frame of RunFrames, from PollInput: where the
// desktop program handles its key commands (F8 loads the state there), so
// between two slices of the running machine. Null: nothing.
extern void (*FrameHook)(uint32_t framesLeft);

}  // namespace koru::fuzz
