// Tests of the desktop programs as a user meets them: a virtual X server of
// their own (Xvfb), driven with xdotool, looked at through window dumps
// (xwd). Header-only and free of the core, so that a test driver compiled
// for the build machine inside a cross build can use it too.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace koru::test::x {

using Clock = std::chrono::steady_clock;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

// A capture of a window: 8-bit channels, rows top to bottom.
struct Picture {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline bool Near(Rgb a, Rgb b, int tolerance = 10) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

inline std::string Describe(Rgb c) {
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

// Starts a program with standard output and error going to output and
// output + ".err"; -1 when it cannot be started.
inline pid_t Spawn(const std::vector<std::string>& arguments, const std::string& output) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (output + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Starts a program whose output nobody reads; -1 when it cannot be started.
inline pid_t SpawnQuiet(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// What a shell command writes to standard output.
inline std::string Output(const std::string& command) {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "";
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
    return text;
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool Succeeds(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Polls the condition until it holds or the patience runs out.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::seconds patience = std::chrono::seconds(30)) {
    const auto deadline = Clock::now() + patience;
    while (Clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

inline uint32_t Big32(const std::string& data, size_t at) {
    return (uint32_t(uint8_t(data[at])) << 24) | (uint32_t(uint8_t(data[at + 1])) << 16) |
           (uint32_t(uint8_t(data[at + 2])) << 8) | uint32_t(uint8_t(data[at + 3]));
}

// Decodes the window dump xwd writes (true colour, 24 or 32 bits a pixel).
inline bool ParseXwd(const std::string& data, Picture* picture) {
    if (data.size() < 100) return false;
    const uint32_t headerSize = Big32(data, 0), width = Big32(data, 16), height = Big32(data, 20);
    const uint32_t byteOrder = Big32(data, 28), bitsPerPixel = Big32(data, 44), bytesPerLine = Big32(data, 48);
    const uint32_t redMask = Big32(data, 56), greenMask = Big32(data, 60), blueMask = Big32(data, 64);
    const uint32_t colours = Big32(data, 76);
    if (bitsPerPixel != 32 && bitsPerPixel != 24) return false;
    const uint32_t bytes = bitsPerPixel / 8;
    const size_t start = headerSize + static_cast<size_t>(colours) * 12;
    if (data.size() < start + static_cast<size_t>(bytesPerLine) * height) return false;
    auto channel = [](uint32_t pixel, uint32_t mask) {
        if (!mask) return 0;
        int shift = 0;
        while (!((mask >> shift) & 1)) ++shift;
        const uint32_t value = (pixel & mask) >> shift, top = mask >> shift;
        return static_cast<int>(value * 255 / top);
    };
    picture->width = static_cast<int>(width);
    picture->height = static_cast<int>(height);
    picture->pixels.resize(static_cast<size_t>(width) * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const size_t at = start + static_cast<size_t>(y) * bytesPerLine + bytes * x;
            uint32_t pixel = 0;
            for (uint32_t i = 0; i < bytes; ++i) {
                const uint32_t byte = uint8_t(data[at + i]);
                pixel |= byteOrder == 0 ? byte << (8 * i) : byte << (8 * (bytes - 1 - i));
            }
            picture->pixels[static_cast<size_t>(y) * width + x] =
                Rgb{channel(pixel, redMask), channel(pixel, greenMask), channel(pixel, blueMask)};
        }
    }
    return true;
}

// A virtual X server for one test, on a display of its own, set as DISPLAY
// while it runs.
class Server {
public:
    Server() = default;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    ~Server() { Stop(); }

    // Whether Xvfb and the tools the tests drive it with are there.
    static std::string MissingTool() {
        for (const char* tool : {"Xvfb", "xdotool", "xwd", "xdpyinfo"}) {
            if (!Succeeds(std::string("command -v ") + tool)) return tool;
        }
        return "";
    }

    // Away from the low numbers that desktops and other test runs use; the
    // next one when it is taken. `extra` is added to the server's arguments.
    bool Start(const std::vector<std::string>& extra = {}) {
        const int first = 300 + static_cast<int>(getpid() % 600);
        for (int attempt = 0; attempt < 8; ++attempt) {
            display_ = ":" + std::to_string(first + 7 * attempt);
            // Without -noreset the server resets whenever its last client
            // leaves (the readiness probe below, a tool between two runs of
            // the program), and a program starting meanwhile cannot connect.
            std::vector<std::string> arguments = {"Xvfb", display_, "-screen", "0", "1280x1024x24", "-nolisten",
                                                  "tcp", "-noreset"};
            arguments.insert(arguments.end(), extra.begin(), extra.end());
            std::vector<char*> argv;
            for (std::string& a : arguments) argv.push_back(a.data());
            argv.push_back(nullptr);
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
            const bool spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ) == 0;
            posix_spawn_file_actions_destroy(&actions);
            if (!spawned) return false;
            setenv("DISPLAY", display_.c_str(), 1);
            // Ready when it answers; taken when it ended at once.
            const bool ready = WaitFor([&] {
                return waitpid(pid_, nullptr, WNOHANG) != 0 || Succeeds("xdpyinfo");
            }) && waitpid(pid_, nullptr, WNOHANG) == 0;
            if (ready) return true;
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        return false;
    }

    // A window manager (Openbox) on the server, as players have one: it
    // frames, places and focuses the windows. Ready when it has announced
    // itself on the root window; false when it could not be started.
    bool StartWindowManager() {
        if (!Succeeds("command -v openbox") || !Succeeds("command -v xprop")) return false;
        manager_ = SpawnQuiet({"openbox"});
        if (manager_ <= 0) return false;
        return WaitFor([] { return Output("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; },
                       std::chrono::seconds(10));
    }

    void Stop() {
        for (pid_t* pid : {&manager_, &pid_}) {
            if (*pid <= 0) continue;
            kill(*pid, SIGTERM);
            waitpid(*pid, nullptr, 0);
            *pid = -1;
        }
    }

    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    pid_t manager_ = -1;
    std::string display_;
};

// The first visible window whose name matches the pattern, or "".
inline std::string FindWindow(const std::string& name) {
    std::string id = Output("xdotool search --onlyvisible --name '" + name + "' 2>/dev/null");
    const size_t end = id.find('\n');
    return end == std::string::npos ? id : id.substr(0, end);
}

inline Picture Capture(const std::string& window) {
    Picture picture;
    ParseXwd(Output("xwd -silent -id " + window), &picture);
    return picture;
}

// Where a window's own top-left corner is on the screen (inside the window
// manager's frame); (-1, -1) when it is not known.
inline std::pair<int, int> Position(const std::string& window) {
    std::istringstream text(Output("xwininfo -id " + window));
    int x = -1, y = -1;
    std::string line;
    while (std::getline(text, line)) {
        if (const size_t at = line.find("Absolute upper-left X:"); at != std::string::npos) x = std::stoi(line.substr(at + 22));
        if (const size_t at = line.find("Absolute upper-left Y:"); at != std::string::npos) y = std::stoi(line.substr(at + 22));
    }
    return {x, y};
}

// A window's size as the X server knows it.
inline std::pair<int, int> Geometry(const std::string& window) {
    std::istringstream text(Output("xdotool getwindowgeometry --shell " + window));
    int width = 0, height = 0;
    std::string line;
    while (std::getline(text, line)) {
        if (line.rfind("WIDTH=", 0) == 0) width = std::stoi(line.substr(6));
        if (line.rfind("HEIGHT=", 0) == 0) height = std::stoi(line.substr(7));
    }
    return {width, height};
}

}  // namespace koru::test::x
