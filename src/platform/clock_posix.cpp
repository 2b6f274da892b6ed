#include <chrono>
#include <thread>

#include "platform/clock_system.h"

namespace platform {

// POSIX timers already wake within well under a millisecond.
void RaiseTimerResolution() {}

void SystemSleepMs(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace platform
