#include "frontend/qt/keys.h"

#include <QtCore/qnamespace.h>

#include "frontend/input.h"

namespace koru {

namespace {

// X keyboards number the row of digits above the letters from 10 (the key
// of 1) to 19 (the key of 0), whatever the layout.
constexpr unsigned DigitRowFirstCode = 10;
constexpr unsigned DigitRowLastCode = 19;

}  // namespace

int VirtualKeyFromQt(int qtKey, bool keypad, unsigned keyCode) {
    // The digit keys are known by their place, as the virtual keys know
    // them: with Shift, or on a layout that puts other signs on that row
    // ('&', '-' or 'e' with a grave accent on a French keyboard), they still
    // switch the channels and layers, and never change the volume.
    if (!keypad && keyCode >= DigitRowFirstCode && keyCode <= DigitRowLastCode) {
        return keyCode == DigitRowLastCode ? Vk0 : Vk0 + 1 + static_cast<int>(keyCode - DigitRowFirstCode);
    }
    // Letters and digits have the same codes in both tables. The keypad's
    // digits, plus and minus are keys of their own, as on the keyboards the
    // codes come from.
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return VkA + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return (keypad ? 0x60 : Vk0) + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) return VkF1 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VkReturn;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return VkTab;
        case Qt::Key_Shift:
            return VkShift;
        case Qt::Key_Control:
            return VkControl;
        case Qt::Key_Alt:
            return VkMenu;
        case Qt::Key_Space:
            return VkSpace;
        case Qt::Key_Escape:
            return VkEscape;
        case Qt::Key_Backspace:
            return VkBack;
        case Qt::Key_Pause:
            return VkPause;
        case Qt::Key_Left:
            return VkLeft;
        case Qt::Key_Up:
            return VkUp;
        case Qt::Key_Right:
            return VkRight;
        case Qt::Key_Down:
            return VkDown;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            return keypad ? VkAdd : VkOemPlus;
        case Qt::Key_Minus:
        case Qt::Key_Underscore:
            return keypad ? VkSubtract : VkOemMinus;
        default:
            return 0;
    }
}

}  // namespace koru
