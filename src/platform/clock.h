#pragma once
// Sleeping, the monotonic millisecond clock and the wall-clock time, behind a
// seam so that tests can run the bus layer and the monitor on a virtual clock.
#include <cstdint>

namespace platform {

struct ClockOps {
    void (*sleepMs)(std::uint32_t ms);
    std::uint64_t (*elapsedMs)();  // monotonic, from the first call in the process
    // Seconds since 1970-01-01 UTC; nullptr takes the system's.
    std::int64_t (*unixSeconds)() = nullptr;
};

// Installs `ops` for the whole process; nullptr restores the system clock.
// Install before any thread that sleeps is started.
void UseClock(const ClockOps* ops);

void SleepMs(std::uint32_t ms);
std::uint64_t ElapsedMs();
// The wall-clock time, which the user or NTP may set back or forward.
std::int64_t UnixSeconds();

}  // namespace platform
