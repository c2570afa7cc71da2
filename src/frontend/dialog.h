// Dialogs as the logic sees them: a template (controls, ids, texts and
// places in dialog units) that each platform builds, and a procedure that
// handles the dialog's messages through the DialogWindow calls.
#pragma once
#include <cstddef>
#include <string>

#include "frontend/resource_ids.h"

namespace koru {

enum class ControlKind {
    Label,          // static text
    Picture,        // the "LOGO" picture
    Frame,          // an etched rectangle
    GroupBox,
    CheckBox,
    Button,
    DefaultButton,  // the button Return presses
    Edit,           // one line of text the user may change
    ReadOnlyText,   // a text field the user cannot change
    ScrollBar,      // horizontal
};

struct ControlTemplate {
    ControlKind kind;
    int id;  // -1 for controls the procedure never addresses
    const char* text;
    int x, y, width, height;  // dialog units
};

struct DialogTemplate {
    int resource;  // 143, 144, 145
    const char* caption;
    int width, height;  // dialog units
    const ControlTemplate* controls;
    size_t controlCount;
};

// What a dialog procedure may do with its dialog.
class DialogWindow {
public:
    virtual ~DialogWindow() = default;
    virtual void SetItemText(int id, const char* text) = 0;
    // At most maxLength characters.
    virtual std::string GetItemText(int id, int maxLength) = 0;
    virtual void CheckButton(int id, bool checked) = 0;
    virtual bool IsButtonChecked(int id) = 0;
    virtual void SetScrollRange(int id, int minimum, int maximum) = 0;
    // Keeps the position within the range.
    virtual void SetScrollPos(int id, int position) = 0;
    virtual int GetScrollPos(int id) = 0;
    // Closes the dialog when the procedure returns.
    virtual void EndDialog(int result) = 0;
};

// Scroll-bar requests, as the horizontal scroll message carries them.
enum ScrollCode {
    ScrollLineLeft = 0,
    ScrollLineRight = 1,
    ScrollPageLeft = 2,
    ScrollPageRight = 3,
    ScrollThumbPosition = 4,
    ScrollThumbTrack = 5,
    ScrollEnd = 8,
};

// The messages a dialog procedure handles; null entries are ignored.
struct DialogProcedure {
    void (*init)(DialogWindow& dialog);
    void (*command)(DialogWindow& dialog, int id);
    void (*close)(DialogWindow& dialog);
    void (*hscroll)(DialogWindow& dialog, int id, int code, int thumbPosition);
};

constexpr int IdOk = KORU_ID_OK;
constexpr int IdCancel = KORU_ID_CANCEL;

}  // namespace koru
