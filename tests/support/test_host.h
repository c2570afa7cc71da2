// The test programs' host: what the core calls into, made controllable.
#pragma once
#include <cstdint>
#include <functional>

namespace koru::test {

// Called by ShowFrame and PollInput when set; the defaults do nothing and
// return no keys. ResetHostHooks puts the defaults back.
extern std::function<void(int, int, int, int)> ShowFrameHook;
extern std::function<uint32_t()> PollInputHook;
extern int ShowFrameCalls;
extern int PollInputCalls;

void ResetHostHooks();

}  // namespace koru::test
