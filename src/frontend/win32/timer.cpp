// The sync timer's tick on Windows: the multimedia timer, whose callback
// runs on the system's timer thread.
#include <windows.h>
#include <mmsystem.h>

#include "frontend/platform.h"

namespace koru::platform {

namespace {

void CALLBACK OnTimer(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    reinterpret_cast<void (*)()>(user)();
}

}  // namespace

uint32_t StartPeriodicTick(int delayMs, int resolutionMs, void (*tick)()) {
    if (delayMs < 1 || !tick) return 0;
    return timeSetEvent(static_cast<UINT>(delayMs), static_cast<UINT>(resolutionMs), OnTimer,
                        reinterpret_cast<DWORD_PTR>(tick), TIME_PERIODIC);
}

void StopPeriodicTick(uint32_t id) {
    if (id) timeKillEvent(id);
}

void BeginTimerPeriod(int ms) { timeBeginPeriod(static_cast<UINT>(ms)); }
void EndTimerPeriod(int ms) { timeEndPeriod(static_cast<UINT>(ms)); }

}  // namespace koru::platform
