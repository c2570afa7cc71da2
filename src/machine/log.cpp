#include "machine/log.h"

#include <cstdarg>
#include <cstdio>

namespace koru {

uint32_t Verbose = 0;

void Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
}

}  // namespace koru
