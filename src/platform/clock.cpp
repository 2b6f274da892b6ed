#include "platform/clock.h"

#include <atomic>
#include <chrono>

#include "platform/clock_system.h"

namespace platform {
namespace {

std::uint64_t systemElapsedMs() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

const ClockOps systemClock{SystemSleepMs, systemElapsedMs};
// Read by every sleeping thread, written by tests before threads start.
std::atomic<const ClockOps*> currentClock{&systemClock};

}  // namespace

void UseClock(const ClockOps* ops) { currentClock.store(ops ? ops : &systemClock); }

void SleepMs(std::uint32_t ms) { currentClock.load()->sleepMs(ms); }

std::uint64_t ElapsedMs() { return currentClock.load()->elapsedMs(); }

std::int64_t UnixSeconds() {
    if (const auto unixSeconds = currentClock.load()->unixSeconds) return unixSeconds();
    using Clock = std::chrono::system_clock;
    return std::chrono::duration_cast<std::chrono::seconds>(Clock::now().time_since_epoch())
        .count();
}

}  // namespace platform
