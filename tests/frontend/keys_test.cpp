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

}  // namespace
}  // namespace koru::test
#endif
