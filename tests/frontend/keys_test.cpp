// The translation of Qt's keys, where Qt is there.
#ifdef KORU_HAVE_QT_KEYS
#include <gtest/gtest.h>

#include <QtCore/qnamespace.h>

#include "frontend/input.h"
#include "frontend/qt/keys.h"

namespace koru::test {
namespace {

TEST(QtKeys, TranslateToTheVirtualKeysOfTheTables) {
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_A, false), 0x41);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Z, false), 0x5A);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_0, false), 0x30);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_9, false), 0x39);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F1, false), 0x70);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F12, false), 0x7B);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Return, false), 0x0D);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Enter, true), 0x0D);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Tab, false), 0x09);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Control, false), 0x11);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Space, false), 0x20);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Escape, false), 0x1B);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Left, false), 0x25);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Up, false), 0x26);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Right, false), 0x27);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Down, false), 0x28);
    // The plus key is the one that also carries '='.
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Plus, false), 0xBB);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Equal, false), 0xBB);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Minus, false), 0xBD);
}

TEST(QtKeys, KeypadKeysAreKeysOfTheirOwn) {
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_5, true), 0x65);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Plus, true), 0x6B);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Minus, true), 0x6D);
    // So the keypad's 0 does not silence the channels.
    EXPECT_EQ(KeyEvent(VirtualKeyFromQt(Qt::Key_0, true), 1), 0);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Exclam, false), 0);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Home, false), 0);
}

TEST(QtKeys, TheDigitRowIsKnownByItsPlaceWhateverItsSigns) {
    // X key codes 10-19 are the keys of 1 to 9 and 0.
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_1, false, 10), 0x31);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_9, false, 18), 0x39);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_0, false, 19), 0x30);
    // Shift+1 on a US keyboard.
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Exclam, false, 10), 0x31);
    // A French keyboard's row: '&' on 1, '-' on 6, '_' on 8, a grave a on 0.
    // The minus signs of that row are digits, not the volume key.
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Ampersand, false, 10), 0x31);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Minus, false, 15), 0x36);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Underscore, false, 17), 0x38);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Agrave, false, 19), 0x30);
    // The keys beside the row are the minus and plus keys as before.
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Minus, false, 20), 0xBD);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Equal, false, 21), 0xBB);
    // Other keys keep their own codes; the keypad stays apart.
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Q, false, 24), 0x51);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Escape, false, 9), 0x1B);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_1, true, 87), 0x61);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_1, true, 10), 0x61);
}

}  // namespace
}  // namespace koru::test
#endif
