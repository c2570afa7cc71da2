// ALSA writes its own error lines to standard error ("cannot find card
// '0'", a dozen of them, each time a sound output is tried on a machine
// without a sound card). They go to the program's log instead, which is
// silent unless KORU_VERBOSE asks for it, like the rest of the start-up
// report. The library is one per process, so this also covers the opening
// that SDL and FluidSynth do.
#include <alsa/asoundlib.h>

#include <cstdarg>
#include <cstdio>

#include "frontend/qt/qt_platform.h"
#include "machine/log.h"

namespace koru {

namespace {

void AlsaError(const char* file, int line, const char* function, int error, const char* format, ...) {
    if (!Verbose) return;
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    Log("ALSA: %s (%s:%d %s)%s%s\n", text, file ? file : "?", line, function ? function : "?",
        error ? ": " : "", error ? snd_strerror(error) : "");
}

}  // namespace

void RouteAlsaErrorsToTheLog() { snd_lib_error_set_handler(AlsaError); }

}  // namespace koru
