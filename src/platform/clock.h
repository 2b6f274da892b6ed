#pragma once
// Sleeping and the monotonic millisecond clock, behind a seam so that tests can
// run the bus layer and the monitor on a virtual clock.
#include <cstdint>

namespace platform {

struct ClockOps {
    void (*sleepMs)(std::uint32_t ms);
    std::uint64_t (*elapsedMs)();  // monotonic, from the first call in the process
};

// Installs `ops` for the whole process; nullptr restores the system clock.
// Install before any thread that sleeps is started.
void UseClock(const ClockOps* ops);

void SleepMs(std::uint32_t ms);
std::uint64_t ElapsedMs();

}  // namespace platform
