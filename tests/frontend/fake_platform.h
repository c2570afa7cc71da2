// A platform for the desktop program's logic that records what it is asked
// to do and answers as each test wants.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "frontend/dialog.h"
#include "frontend/platform.h"

namespace koru::test {

// Thrown by the fake ExitProcess, so that a test sees the end of the program.
struct ProcessExit {
    int status;
};

struct FakePlatform {
    std::vector<std::string> calls;  // e.g. "SetClientSize 720 480"
    bool windowFails = false;
    bool surfaceFails = false;
    // Answers of the open-file dialog, in order; nullopt = cancelled. With
    // none left the dialog is cancelled.
    std::deque<std::optional<std::string>> fileAnswers;
    std::vector<std::string> fileStarts;  // the name each dialog started from
    std::vector<std::string> fileTitles;  // the title each was given ("": its own)
    std::string caption;
    std::vector<uint16_t> picture;  // the last picture written
    bool pictureFails = false;
    std::optional<uint32_t> gamepad;  // a known pad's keys
    bool joystickArrives = false;     // JoystickArrived's next answer
    bool rectFails = false;
    int windowLeft = 12, windowTop = 34;
    bool tickFails = false;
    void (*tick)() = nullptr;
    int timerBegins = 0, timerEnds = 0;
    int joysticks = 0;
    JoystickCaps caps{0, 65535, 0, 65535};
    std::optional<JoystickPosition> position;
    // The current directory the platform reports; nullopt: it cannot.
    std::optional<std::string> currentDirectory;
    // Called for each WaitForEvent; returns its result.
    std::function<bool()> waitHook;
    // Called for each RunDialog.
    std::function<void(const DialogTemplate&, const DialogProcedure&)> dialogHook;

    bool Called(const std::string& call) const;
    int Count(const std::string& prefix) const;
};

extern FakePlatform Fake;
void ResetFake();

// A dialog whose controls are plain values.
class FakeDialog : public DialogWindow {
public:
    void SetItemText(int id, const char* text) override { texts[id] = text; }
    std::string GetItemText(int id, int maxLength) override { return texts[id].substr(0, maxLength); }
    void CheckButton(int id, bool checked) override { checks[id] = checked; }
    bool IsButtonChecked(int id) override { return checks[id]; }
    void SetScrollRange(int id, int minimum, int maximum) override { ranges[id] = {minimum, maximum}; }
    void SetScrollPos(int id, int position) override;
    int GetScrollPos(int id) override { return positions[id]; }
    void EndDialog(int result) override {
        ended = true;
        this->result = result;
    }

    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    std::map<int, std::pair<int, int>> ranges;
    std::map<int, int> positions;
    bool ended = false;
    int result = -1;
};

}  // namespace koru::test
