#include "fake_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace koru::test {

FakePlatform Fake;

namespace {
std::vector<uint16_t> SurfaceStore;

void Record(const std::string& call) { Fake.calls.push_back(call); }
}  // namespace

void ResetFake() {
    Fake = FakePlatform();
    char directory[4096];
    if (getcwd(directory, sizeof directory)) Fake.currentDirectory = directory;
}

bool FakePlatform::Called(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

int FakePlatform::Count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

void FakeDialog::SetScrollPos(int id, int position) {
    const auto range = ranges.find(id);
    if (range != ranges.end()) position = std::clamp(position, range->second.first, range->second.second);
    positions[id] = position;
}

}  // namespace koru::test

namespace koru::platform {

using test::Fake;

bool CreateMainWindow() {
    test::Record("CreateMainWindow");
    return !Fake.windowFails;
}
void AcquireWindowContext() { test::Record("AcquireWindowContext"); }
void ReleaseWindowContext() { test::Record("ReleaseWindowContext"); }

uint16_t* CreateFrameSurface(int width, int height) {
    test::Record("CreateFrameSurface " + std::to_string(width) + " " + std::to_string(height));
    if (Fake.surfaceFails) return nullptr;
    test::SurfaceStore.assign(static_cast<size_t>(width) * height, 0);
    return test::SurfaceStore.data();
}
void FreeFrameSurface() { test::Record("FreeFrameSurface"); }
void PresentSurface(int x, int y, int w, int h) {
    test::Record("PresentSurface " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) + " " +
                 std::to_string(h));
}

void SetClientSize(int width, int height) {
    test::Record("SetClientSize " + std::to_string(width) + " " + std::to_string(height));
}
void MoveWindowTo(int x, int y) { test::Record("MoveWindowTo " + std::to_string(x) + " " + std::to_string(y)); }
bool GetWindowRect(int* left, int* top) {
    if (Fake.rectFails) return false;
    *left = Fake.windowLeft;
    *top = Fake.windowTop;
    return true;
}
void DestroyMainWindow() { test::Record("DestroyMainWindow"); }

void PumpEvents() { test::Record("PumpEvents"); }
bool WaitForEvent() {
    test::Record("WaitForEvent");
    return Fake.waitHook ? Fake.waitHook() : false;
}

bool OpenFileDialog(const char* start, FileFilter filter, FileDialogMode mode, const char* title, std::string* chosen) {
    test::Record(std::string(mode == FileDialogMode::Save ? "SaveFileDialog" : "OpenFileDialog") +
                 (filter == FileFilter::States ? " states" : " cartridges"));
    Fake.fileStarts.push_back(start);
    Fake.fileTitles.push_back(title ? title : "");
    if (Fake.fileAnswers.empty()) return false;
    const std::optional<std::string> answer = Fake.fileAnswers.front();
    Fake.fileAnswers.pop_front();
    if (!answer) return false;
    *chosen = *answer;
    return true;
}

int RunDialog(const DialogTemplate& dialog, const DialogProcedure& procedure) {
    test::Record("RunDialog " + std::to_string(dialog.resource));
    if (Fake.dialogHook) Fake.dialogHook(dialog, procedure);
    return 0;
}

uint32_t StartPeriodicTick(int delayMs, int resolutionMs, void (*tick)()) {
    test::Record("StartPeriodicTick " + std::to_string(delayMs) + " " + std::to_string(resolutionMs));
    if (Fake.tickFails) return 0;
    Fake.tick = tick;
    static uint32_t next = 1;
    return next++;
}
void StopPeriodicTick(uint32_t id) { test::Record("StopPeriodicTick " + std::to_string(id)); }
void BeginTimerPeriod(int) { ++Fake.timerBegins; }
void EndTimerPeriod(int) { ++Fake.timerEnds; }

int JoystickCount() { return Fake.joysticks; }
bool JoystickCapabilities(JoystickCaps* caps) {
    *caps = Fake.caps;
    return true;
}
bool JoystickRead(JoystickPosition* position) {
    if (!Fake.position) return false;
    *position = *Fake.position;
    return true;
}

void SetCaption(const char* text) { Fake.caption = text; }

bool WritePicture(const char* path, const uint16_t* pixels, int width, int height) {
    test::Record(std::string("WritePicture ") + path);
    Fake.picture.assign(pixels, pixels + static_cast<size_t>(width) * height);
    return !Fake.pictureFails;
}

bool GamepadKeys(uint32_t* keys) {
    if (!Fake.gamepad) return false;
    *keys = *Fake.gamepad;
    return true;
}

bool JoystickArrived() {
    const bool arrived = Fake.joystickArrives;
    Fake.joystickArrives = false;
    return arrived;
}

bool CurrentDirectory(char* buffer, int size) {
    if (!Fake.currentDirectory || Fake.currentDirectory->size() + 1 > static_cast<size_t>(size)) return false;
    std::memcpy(buffer, Fake.currentDirectory->c_str(), Fake.currentDirectory->size() + 1);
    return true;
}

void ExitProcess(int status) {
    test::Record("ExitProcess " + std::to_string(status));
    throw test::ProcessExit{status};
}

}  // namespace koru::platform
