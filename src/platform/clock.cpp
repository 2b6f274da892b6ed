#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {
namespace {

void systemSleepMs(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint64_t systemElapsedMs() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

const ClockOps systemClock{systemSleepMs, systemElapsedMs};
// Read by every sleeping thread, written by tests before threads start.
std::atomic<const ClockOps*> currentClock{&systemClock};

}  // namespace

void UseClock(const ClockOps* ops) { currentClock.store(ops ? ops : &systemClock); }

void SleepMs(std::uint32_t ms) { currentClock.load()->sleepMs(ms); }

std::uint64_t ElapsedMs() { return currentClock.load()->elapsedMs(); }

}  // namespace platform
