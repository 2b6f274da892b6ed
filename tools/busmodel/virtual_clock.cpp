#include "busmodel/virtual_clock.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "platform/clock.h"

namespace busmodel {
namespace {

struct VirtualClock {
    std::mutex lock;  // guards the fields below
    std::condition_variable changed;
    std::uint64_t nowMs = 0;
    ClockMode mode = ClockMode::Instant;
    std::int32_t sleepers = 0;
    std::multiset<std::uint64_t> wakeTimes;  // manual mode: when each sleeper is due
    bool released = false;  // set when the system clock is back: sleepers leave
};

constexpr auto WakeWait = std::chrono::seconds(20);

VirtualClock& clock() {
    static VirtualClock instance;
    return instance;
}

void virtualSleepMs(std::uint32_t ms) {
    VirtualClock& c = clock();
    std::unique_lock guard(c.lock);
    if (c.mode == ClockMode::Instant) {
        c.nowMs += ms;
        guard.unlock();
        c.changed.notify_all();
        // Gives other threads a turn: an instant sleep is still a sleep.
        std::this_thread::yield();
        return;
    }
    const std::uint64_t end = c.nowMs + ms;
    const auto due = c.wakeTimes.insert(end);
    ++c.sleepers;
    c.changed.notify_all();
    c.changed.wait(guard, [&] { return c.released || c.nowMs >= end; });
    c.wakeTimes.erase(due);
    --c.sleepers;
    c.changed.notify_all();
}

std::uint64_t virtualElapsedMs() {
    VirtualClock& c = clock();
    std::lock_guard guard(c.lock);
    return c.nowMs;
}

const platform::ClockOps virtualOps{virtualSleepMs, virtualElapsedMs};

}  // namespace

void UseVirtualClock(ClockMode mode, std::uint64_t startMs) {
    VirtualClock& c = clock();
    {
        std::lock_guard guard(c.lock);
        c.nowMs = startMs;
        c.mode = mode;
        c.released = false;
    }
    platform::UseClock(&virtualOps);
}

void UseSystemClock() {
    VirtualClock& c = clock();
    platform::UseClock(nullptr);
    {
        std::lock_guard guard(c.lock);
        c.released = true;
    }
    c.changed.notify_all();
}

std::uint64_t VirtualNowMs() {
    return virtualElapsedMs();
}

void AdvanceClockMs(std::uint64_t ms) {
    VirtualClock& c = clock();
    std::unique_lock guard(c.lock);
    c.nowMs += ms;
    c.changed.notify_all();
    // Returns only once every sleeper whose time has come is awake again: on a
    // loaded machine a test could otherwise move the clock on many times
    // before the woken thread runs at all, and virtual time would race ahead
    // of it.
    c.changed.wait_for(guard, WakeWait, [&] {
        return c.released || c.wakeTimes.empty() || *c.wakeTimes.begin() > c.nowMs;
    });
}

std::int32_t VirtualSleepers() {
    VirtualClock& c = clock();
    std::lock_guard guard(c.lock);
    return c.sleepers;
}

bool WaitForSleepers(std::int32_t count, std::uint32_t realTimeoutMs) {
    VirtualClock& c = clock();
    std::unique_lock guard(c.lock);
    return c.changed.wait_for(guard, std::chrono::milliseconds(realTimeoutMs),
                              [&] { return c.sleepers >= count; });
}

}  // namespace busmodel
