// The desktop program's pad code (SDL2) against SDL's virtual devices: a
// pad whose layout SDL knows gives its buttons by their names, any other
// joystick goes by the joystick rule, and a device plugged in while the
// program runs is taken up.
#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "frontend/input.h"
#include "frontend/platform.h"
#include "support/test_machine.h"

namespace koru::platform {
namespace {

// Polls as PollInput does, a frame at a time, until the pad code has looked
// for new devices (it looks every so many polls).
bool ArrivesWithinASecond() {
    for (int poll = 0; poll < 60; ++poll) {
        if (JoystickArrived()) return true;
    }
    return false;
}

class GamepadTest : public ::testing::Test {
protected:
    void SetUp() override { SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0"); }
    void TearDown() override {
        for (int index : attached_) SDL_JoystickDetachVirtual(index);
    }
    int Attach(SDL_JoystickType type, int buttons) {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = static_cast<Uint16>(type);
        desc.naxes = 6;
        desc.nbuttons = static_cast<Uint16>(buttons);
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        if (index >= 0) attached_.push_back(index);
        return index;
    }
    std::vector<int> attached_;
};

TEST_F(GamepadTest, APadPluggedInLaterIsReadByItsLayout) {
    KORU_REQUIRE(JoystickCount() == 0, "a machine without a joystick plugged in");
    uint32_t keys = 0;
    EXPECT_FALSE(GamepadKeys(&keys));
    const int index = Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_BUTTON_MAX);
    ASSERT_GE(index, 0) << SDL_GetError();
    ASSERT_TRUE(ArrivesWithinASecond());
    EXPECT_EQ(JoystickCount(), 1);
    SDL_Joystick* device = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(index));
    ASSERT_NE(device, nullptr);
    SDL_JoystickSetVirtualButton(device, SDL_CONTROLLER_BUTTON_B, 1);
    SDL_JoystickSetVirtualButton(device, SDL_CONTROLLER_BUTTON_BACK, 1);
    SDL_JoystickSetVirtualButton(device, SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1);
    SDL_JoystickSetVirtualButton(device, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 1);
    ASSERT_TRUE(GamepadKeys(&keys));
    EXPECT_EQ(keys, KeyB | KeySelect | KeyLeft | KeyR);
    JoystickPosition position;
    EXPECT_FALSE(JoystickRead(&position)) << "a known pad is not read by the joystick rule";

    // Pulled out, and a joystick of no known layout plugged in instead.
    SDL_JoystickDetachVirtual(index);
    attached_.clear();
    EXPECT_FALSE(GamepadKeys(&keys));
    const int other = Attach(SDL_JOYSTICK_TYPE_UNKNOWN, 4);
    ASSERT_GE(other, 0) << SDL_GetError();
    ASSERT_TRUE(ArrivesWithinASecond());
    EXPECT_EQ(JoystickCount(), 1);
    EXPECT_FALSE(GamepadKeys(&keys));
    SDL_Joystick* stick = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(other));
    ASSERT_NE(stick, nullptr);
    SDL_JoystickSetVirtualAxis(stick, 0, -32768);
    SDL_JoystickSetVirtualAxis(stick, 1, 32767);
    SDL_JoystickSetVirtualButton(stick, 2, 1);
    ASSERT_TRUE(JoystickRead(&position));
    EXPECT_EQ(position.x, 0u);
    EXPECT_EQ(position.y, 65535u);
    EXPECT_EQ(position.buttons, 4u);
}

}  // namespace
}  // namespace koru::platform
