#pragma once
// The operating system's sleep behind the clock seam. Internal to the
// platform layer; everyone else calls SleepMs (clock.h).
#include <cstdint>

namespace platform {

// Suspends the calling thread for about `ms` milliseconds, with the system
// timer at 1 ms resolution.
void SystemSleepMs(std::uint32_t ms);

// Puts the system timer at 1 ms resolution for the rest of the process (the
// first call does; later ones and SystemSleepMs find it done). The window
// layer calls it at start-up.
void RaiseTimerResolution();

}  // namespace platform
