// Command-line options of koru-headless.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace koru::headless {

struct KeySpan {
    uint32_t fromFrame;  // 1 = the first frame
    uint32_t keys;       // console key bits held from that frame on
};

struct Options {
    std::string cartridge;
    uint32_t frames = 60;
    int32_t updatePeriod = 1;
    int32_t checkCrc = 1;
    int32_t displayWindows = 0;
    uint32_t verbose = 0;
    std::vector<KeySpan> keys;
    std::string screenshot;
    bool regs = false;
    std::string midiLog;
    int32_t soundRate = 0;
    std::string waveOut;
    std::string saveState;
    bool bench = false;
    int32_t directSound = 0;  // the "DirectSound" setting
};

// Parses argv; on a bad command line writes the reason to error and
// returns false.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);

// The usage text.
const char* Usage();

}  // namespace koru::headless
