#include <windows.h>
#include <timeapi.h>

#include "platform/clock_system.h"

namespace platform {

// Windows ticks every 15.6 ms unless a process asks for more: a 1 ms or 2 ms
// sleep of an echo wait would take a whole tick. The first sleep of the
// process, which the monitor thread makes right at start-up, raises the
// resolution to 1 ms for good; the process never lowers it.
void SystemSleepMs(std::uint32_t ms) {
    static const bool raised = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)raised;
    Sleep(ms);
}

}  // namespace platform
