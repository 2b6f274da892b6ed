#pragma once
// A virtual millisecond clock for platform::UseClock, so that tests of the bus
// and of the monitor neither sleep nor depend on the machine's speed.
#include <cstdint>

namespace busmodel {

enum class ClockMode : std::uint8_t {
    Instant,  // SleepMs(n) moves the clock on by n at once (shared by all threads)
    Manual,   // SleepMs(n) blocks until AdvanceClockMs has moved the clock past its end
};

// Installs the virtual clock for the whole process, reading `startMs`.
// Install before starting threads that sleep.
void UseVirtualClock(ClockMode mode = ClockMode::Instant, std::uint64_t startMs = 0);
// Goes back to the system clock; every thread blocked in a manual sleep returns.
void UseSystemClock();

std::uint64_t VirtualNowMs();
// Moves the clock on and wakes the manual sleepers whose time has come;
// returns once they are all awake (in real time, up to 20 s).
void AdvanceClockMs(std::uint64_t ms);
// Manual mode: threads now blocked in SleepMs.
std::int32_t VirtualSleepers();
// Manual mode: waits (in real time, up to `realTimeoutMs`) until at least
// `count` threads are blocked in SleepMs. false on time-out.
bool WaitForSleepers(std::int32_t count, std::uint32_t realTimeoutMs);

}  // namespace busmodel
