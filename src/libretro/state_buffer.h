// The machine state to and from memory, in the state file's layout
// (StateFileSize bytes).
//
// Stand-ins: these go through a temporary file with SaveState and LoadState
// until the core provides the same two functions in machine/savefiles.h.
#pragma once
#include <cstddef>
#include <cstdint>

namespace koru {

// Writes exactly StateFileSize bytes; false when the machine is not ready.
bool SaveStateToBuffer(uint8_t* out);
// Checks the whole buffer first and refuses it, with nothing changed, when
// it does not validate.
bool LoadStateFromBuffer(const uint8_t* in, size_t size);

}  // namespace koru
