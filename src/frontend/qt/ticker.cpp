// The sync timer's tick on Linux: a thread that sleeps until each next tick
// on the steady clock.
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "frontend/platform.h"

namespace koru::platform {

namespace {

struct Ticker {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;
};

std::map<uint32_t, std::unique_ptr<Ticker>> Tickers;
uint32_t NextTickerId = 1;

void Run(Ticker* ticker, int delayMs, void (*tick)()) {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(delayMs);
    auto next = Clock::now() + period;
    std::unique_lock<std::mutex> lock(ticker->mutex);
    while (!ticker->wake.wait_until(lock, next, [ticker] { return ticker->stop; })) {
        tick();
        next += period;
        // After a long stall (a suspended machine) start afresh rather than
        // firing the missed ticks in a burst.
        const auto now = Clock::now();
        if (now > next + 4 * period) next = now + period;
    }
}

}  // namespace

uint32_t StartPeriodicTick(int delayMs, int /*resolutionMs*/, void (*tick)()) {
    if (delayMs < 1 || !tick) return 0;
    auto ticker = std::make_unique<Ticker>();
    try {
        ticker->thread = std::thread(Run, ticker.get(), delayMs, tick);
    } catch (const std::system_error&) {
        return 0;
    }
    const uint32_t id = NextTickerId++;
    Tickers[id] = std::move(ticker);
    return id;
}

void StopPeriodicTick(uint32_t id) {
    const auto found = Tickers.find(id);
    if (found == Tickers.end()) return;
    Ticker& ticker = *found->second;
    {
        std::lock_guard<std::mutex> lock(ticker.mutex);
        ticker.stop = true;
    }
    ticker.wake.notify_all();
    ticker.thread.join();
    Tickers.erase(found);
}

// The kernel's timers are fine-grained already.
void BeginTimerPeriod(int) {}
void EndTimerPeriod(int) {}

}  // namespace koru::platform
