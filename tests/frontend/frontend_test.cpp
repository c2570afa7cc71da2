#include "frontend_test.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "frontend/commands.h"
#include "frontend/config.h"
#include "frontend/frontend.h"
#include "frontend/input.h"
#include "machine/machine.h"
#include "video/video.h"

namespace koru::test {

void FrontendTest::SetUp() {
    TempDirTest::SetUp();
    ResetFake();
    KeyboardKeys = 0;
    TappedKeys = 0;
    Paused = 0;
    FastForward = 0;
    EmulationActive = 1;
    JoystickPresent = 0;
    SyncTimerId = 0;
    FrameTick = 0;
    ClientWidth = 240;
    ClientHeight = 160;
    CartridgeName[0] = 0;
    StateFileName[0] = 0;
    std::strcpy(CartridgeSection, "UNKNOWN");
    HiddenLayerMask = 0;
    ExitRequest = 0;
    BuildIniPath();
}

void FrontendTest::TearDown() {
    SyncTimerId = 0;
    TempDirTest::TearDown();
}

std::string FrontendTest::Text(const std::string& name) {
    std::ifstream in(dir / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace koru::test
