#include "support/test_host.h"

#include "machine/host.h"

namespace koru::test {

std::function<void(int, int, int, int)> ShowFrameHook;
std::function<uint32_t()> PollInputHook;
int ShowFrameCalls = 0;
int PollInputCalls = 0;

void ResetHostHooks() {
    ShowFrameHook = nullptr;
    PollInputHook = nullptr;
    ShowFrameCalls = 0;
    PollInputCalls = 0;
}

}  // namespace koru::test

namespace koru {

void ShowFrame(int x, int y, int w, int h) {
    ++test::ShowFrameCalls;
    if (test::ShowFrameHook) test::ShowFrameHook(x, y, w, h);
}

uint32_t PollInput() {
    ++test::PollInputCalls;
    return test::PollInputHook ? test::PollInputHook() : 0;
}

}  // namespace koru
