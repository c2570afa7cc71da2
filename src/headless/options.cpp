#include "headless/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace koru::headless {

namespace {

// Decimal, or hexadecimal with 0x.
bool ParseNumber(const char* text, long long low, long long high, long long& value) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 0);
    if (errno || *end || v < low || v > high) return false;
    value = v;
    return true;
}

bool ParseKeys(const char* text, std::vector<KeySpan>& spans) {
    std::string list(text);
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        const std::string item = list.substr(start, comma - start);
        const size_t colon = item.find(':');
        if (colon == std::string::npos) return false;
        long long frame = 0, mask = 0;
        if (!ParseNumber(item.substr(0, colon).c_str(), 0, 0xFFFFFFFFll, frame)) return false;
        if (!ParseNumber(item.substr(colon + 1).c_str(), 0, 0x3FF, mask)) return false;
        spans.push_back({static_cast<uint32_t>(frame), static_cast<uint32_t>(mask)});
        start = comma + 1;
    }
    std::stable_sort(spans.begin(), spans.end(),
                     [](const KeySpan& a, const KeySpan& b) { return a.fromFrame < b.fromFrame; });
    return true;
}

}  // namespace

const char* Usage() {
    return "usage: koru-headless [options] CARTRIDGE\n"
           "  --frames N          stop after N frames (line 160 reached N times); default 60\n"
           "  --update-period N   draw one frame in N (default 1)\n"
           "  --check-crc 0|1     check the header's CRC and complement (default 1)\n"
           "  --display-windows 0|1  draw the display windows (default 0)\n"
           "  --verbose MASK      log mask (default 0)\n"
           "  --keys F:MASK,...   from frame F on, hold the console keys MASK\n"
           "  --screenshot FILE   write the last drawn frame as a 240x160 PNG\n"
           "  --regs              at exit print the registers and CPSR\n"
           "  --midi-log FILE     record the sound as a Standard MIDI File\n"
           "  --sound-rate R      0 no sound, 1-8191 MIDI device, 8192 and up wave device\n"
           "  --wave-out FILE     with a rate of 8192 or more: write the wave output to FILE\n"
           "  --save-state FILE   save the machine state to FILE when the run ends\n"
           "  --direct-sound 0|1  play FIFO A and B through the wave output (default 0)\n"
           "  --bench             at exit print frames, wall time, frame rate and speed\n";
}

namespace {

// The options that take a file name.
struct FileOption {
    const char* name;
    std::string Options::*field;
};
const FileOption FileOptions[] = {
    {"--screenshot", &Options::screenshot},
    {"--midi-log", &Options::midiLog},
    {"--wave-out", &Options::waveOut},
    {"--save-state", &Options::saveState},
};

std::string Options::*TextOption(const char* arg) {
    for (const FileOption& option : FileOptions) {
        if (!std::strcmp(arg, option.name)) return option.field;
    }
    return nullptr;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                error = std::string(name) + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        auto number = [&](const char* name, long long low, long long high, long long& out) {
            const char* text = value(name);
            if (!text) return false;
            if (!ParseNumber(text, low, high, out)) {
                error = std::string("bad value for ") + name + ": " + text;
                return false;
            }
            return true;
        };
        long long n = 0;
        if (std::string Options::*field = TextOption(arg)) {
            const char* text = value(arg);
            if (!text) return false;
            options.*field = text;
        } else if (!std::strcmp(arg, "--frames")) {
            if (!number(arg, 1, 0x7FFFFFFF, n)) return false;
            options.frames = static_cast<uint32_t>(n);
        } else if (!std::strcmp(arg, "--update-period")) {
            if (!number(arg, -0x7FFFFFFFll, 0x7FFFFFFF, n)) return false;
            options.updatePeriod = static_cast<int32_t>(n);
        } else if (!std::strcmp(arg, "--check-crc")) {
            if (!number(arg, 0, 1, n)) return false;
            options.checkCrc = static_cast<int32_t>(n);
        } else if (!std::strcmp(arg, "--display-windows")) {
            if (!number(arg, 0, 1, n)) return false;
            options.displayWindows = static_cast<int32_t>(n);
        } else if (!std::strcmp(arg, "--verbose")) {
            if (!number(arg, 0, 0xFFFFFFFFll, n)) return false;
            options.verbose = static_cast<uint32_t>(n);
        } else if (!std::strcmp(arg, "--keys")) {
            const char* text = value(arg);
            if (!text) return false;
            if (!ParseKeys(text, options.keys)) {
                error = std::string("bad key list: ") + text;
                return false;
            }
        } else if (!std::strcmp(arg, "--regs")) {
            options.regs = true;
        } else if (!std::strcmp(arg, "--sound-rate")) {
            if (!number(arg, 0, 0x7FFFFFFF, n)) return false;
            options.soundRate = static_cast<int32_t>(n);
        } else if (!std::strcmp(arg, "--direct-sound")) {
            if (!number(arg, 0, 1, n)) return false;
            options.directSound = static_cast<int32_t>(n);
        } else if (!std::strcmp(arg, "--bench")) {
            options.bench = true;
        } else if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            error.clear();
            return false;
        } else if (arg[0] == '-' && arg[1] == '-') {
            error = std::string("unknown option ") + arg;
            return false;
        } else if (options.cartridge.empty()) {
            options.cartridge = arg;
        } else {
            error = std::string("only one cartridge can be given, not also ") + arg;
            return false;
        }
    }
    if (options.cartridge.empty()) {
        error = "no cartridge given";
        return false;
    }
    if (!options.waveOut.empty() && options.soundRate < 8192) {
        error = "--wave-out needs --sound-rate of 8192 or more";
        return false;
    }
    if (options.midiLog.size() > 250) {
        error = "the MIDI log's name is longer than 250 characters";
        return false;
    }
    return true;
}

}  // namespace koru::headless
