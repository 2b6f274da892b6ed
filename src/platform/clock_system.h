#pragma once
// The operating system's sleep behind the clock seam. Internal to the
// platform layer; everyone else calls SleepMs (clock.h).
#include <cstdint>

namespace platform {

// Suspends the calling thread for about `ms` milliseconds, with the system
// timer at 1 ms resolution.
void SystemSleepMs(std::uint32_t ms);

}  // namespace platform
