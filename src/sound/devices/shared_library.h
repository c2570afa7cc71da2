// The sound libraries of the Linux devices are opened when a device first
// opens rather than linked into the programs: FluidSynth, SDL2 and the
// libraries they bring (sound servers, sample-file codecs, GLib, the X and
// Wayland clients) take some 7 MB of memory at start-up, which koru-headless,
// silent unless a sound rate is asked for, would otherwise carry in every
// run. The desktop program links SDL2 for the gamepad anyway, and opening a
// library that is loaded already gives the same one.
//
// A device names the functions it calls in a list X(name) ... and gives it
// to KORU_LAZY_LIBRARY, which declares a pointer of each function's own type
// under the function's name in a namespace of the device's file, and that
// namespace's Loaded(), which opens the library once and fills them.
#pragma once
#include <dlfcn.h>

#include "machine/log.h"

#define KORU_LIBRARY_POINTER(name) decltype(&::name) name = nullptr;
#define KORU_LIBRARY_SYMBOL(name) {reinterpret_cast<void**>(&name), #name},
#define KORU_LAZY_LIBRARY(space, soname, LIST)                                   \
    namespace space {                                                            \
    LIST(KORU_LIBRARY_POINTER)                                                   \
    bool Loaded() {                                                              \
        static const ::koru::LibrarySymbol symbols[] = {LIST(KORU_LIBRARY_SYMBOL)}; \
        static const bool loaded = ::koru::BindLibrary(soname, symbols);         \
        return loaded;                                                           \
    }                                                                            \
    }

namespace koru {

struct LibrarySymbol {
    void** pointer;
    const char* name;
};

// Opens `soname` and binds every symbol; true when all were found. A
// missing library is a device that cannot open, as on a machine without
// sound, and the console log says why.
template <size_t N>
bool BindLibrary(const char* soname, const LibrarySymbol (&symbols)[N]) {
    void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        if (Verbose) Log("Cannot load %s: %s\n", soname, dlerror());
        return false;
    }
    for (const LibrarySymbol& symbol : symbols) {
        *symbol.pointer = dlsym(library, symbol.name);
        if (!*symbol.pointer) {
            if (Verbose) Log("Cannot load %s: %s is missing\n", soname, symbol.name);
            return false;
        }
    }
    return true;
}

}  // namespace koru
