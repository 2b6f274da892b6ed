#include <windows.h>
#include <timeapi.h>

#include "platform/clock_system.h"

namespace platform {

// Windows ticks every 15.6 ms unless a process asks for more: a 1 ms or 2 ms
// sleep of an echo wait would take a whole tick. The program raises the
// resolution to 1 ms at start-up, and the first sleep makes sure of it where
// nobody did (the tools); the process never lowers it.
void RaiseTimerResolution() {
    static const bool raised = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)raised;
}

void SystemSleepMs(std::uint32_t ms) {
    RaiseTimerResolution();
    Sleep(ms);
}

}  // namespace platform
