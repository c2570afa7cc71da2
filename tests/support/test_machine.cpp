#include "support/test_machine.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "machine/log.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/settings.h"
#include "support/test_host.h"
#include "video/video.h"

namespace koru::test {

namespace {
std::vector<uint16_t> TestFrameBuffer(FrameWidth * FrameHeight);
}

void FixHeader(std::vector<uint8_t>& image) {
    uint8_t complement = 0xE7;
    for (int i = 0xA0; i <= 0xBC; ++i) complement = static_cast<uint8_t>(complement - image[i]);
    image[0xBD] = complement;
    const uint16_t crc = static_cast<uint16_t>(image.size() & 0xFFFF);
    image[0xBE] = static_cast<uint8_t>(crc >> 8);
    image[0xBF] = static_cast<uint8_t>(crc & 0xFF);
}

std::vector<uint8_t> MakeCartridge(size_t size, const char* title) {
    std::vector<uint8_t> image(size, 0);
    for (size_t i = 0; i + 4 <= size; i += 4) Poke32(&image[i], 0xEAFFFFFE);  // B .
    if (size >= 0xC0) {
        Poke32(&image[0], 0xEA00002E);  // B 0x080000C0
        for (int i = 0x04; i < 0xC0; ++i) image[i] = 0;
        for (int i = 0; i < 12 && title[i]; ++i) image[0xA0 + i] = static_cast<uint8_t>(title[i]);
        image[0xAC] = 'K';
        image[0xAD] = 'T';
        image[0xAE] = 'S';
        image[0xAF] = 'E';
        image[0xB0] = '0';
        image[0xB1] = '1';
        image[0xB2] = 0x96;
        FixHeader(image);
    }
    return image;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void TempDirTest::SetUp() {
    previous = std::filesystem::current_path();
    dir = MakeTemporaryDirectory();
    ASSERT_FALSE(dir.empty()) << "cannot make a temporary directory";
    std::filesystem::current_path(dir);
    ResetSettings();
    Verbose = 0;
    ResetHostHooks();
    std::fill(TestFrameBuffer.begin(), TestFrameBuffer.end(), 0);
    FrameBuffer = TestFrameBuffer.data();
    BuildColourTables();
}

void TempDirTest::TearDown() {
    ShutdownMachine();
    Verbose = 0;
    ResetHostHooks();
    std::filesystem::current_path(previous);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

void MachineTest::SetUp() {
    TempDirTest::SetUp();
    Prepare(MakeCartridge());
}

void MachineTest::Prepare(const std::vector<uint8_t>& image, const char* name) {
    ShutdownMachine();
    WriteFile(dir / name, image);
    ASSERT_TRUE(PrepareMachine((dir / name).string().c_str()));
}

int RunHeadless(const std::string& arguments, std::string* output) {
#ifdef _WIN32
    // The command interpreter wants the program with backslashes, and its
    // null device is NUL. Read in text mode: the program's lines end in
    // CR LF, as a console program's do on Windows.
    std::string args = arguments;
    for (size_t at; (at = args.find("/dev/null")) != std::string::npos;) args.replace(at, 9, "NUL");
    const std::string command = std::filesystem::path(KORU_HEADLESS).make_preferred().string() + " " + args;
    std::FILE* pipe = _popen(command.c_str(), "r");
#else
    const std::string command = std::string(KORU_HEADLESS) + " " + arguments;
    std::FILE* pipe = popen(command.c_str(), "r");
#endif
    if (!pipe) return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
#ifdef _WIN32
    const int status = _pclose(pipe);
    if (output) *output = text;
    return status;
#else
    const int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

std::filesystem::path MakeTemporaryDirectory() {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
#ifdef _WIN32
    // No mkdtemp: a random name that no other directory has yet.
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "koru-test-%08x", static_cast<unsigned>(random()));
        std::error_code error;
        if (std::filesystem::create_directory(base / name, error)) return base / name;
    }
    return {};
#else
    std::string pattern = (base / "koru-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
#endif
}

std::filesystem::path TestRomsDir() {
    const std::filesystem::path path = KORU_TESTROMS_DIR;
    return std::filesystem::is_directory(path / "gba-tests") ? path / "gba-tests" : std::filesystem::path();
}

bool InContinuousIntegration() {
    const char* ci = std::getenv("CI");
    return ci && *ci && std::string(ci) != "0" && std::string(ci) != "false";
}

std::string MissingTestRoms() {
    return std::string("the third-party test cartridges are not at ") + KORU_TESTROMS_DIR + "/gba-tests";
}

std::map<std::string, uint32_t> Registers(const std::string& output) {
    std::map<std::string, uint32_t> registers;
    const size_t line = output.rfind("R0=");
    if (line == std::string::npos) return registers;
    std::istringstream in(output.substr(line));
    std::string item;
    while (in >> item) {
        const size_t equals = item.find('=');
        if (equals == std::string::npos) continue;
        registers[item.substr(0, equals)] = static_cast<uint32_t>(std::stoul(item.substr(equals + 1), nullptr, 16));
    }
    return registers;
}

std::filesystem::path BuiltRom(const std::string& name) {
    return std::filesystem::path(KORU_ROM_DIR) / (name + ".gba");
}

}  // namespace koru::test
