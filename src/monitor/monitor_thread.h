#pragma once
// The background thread that owns the bus: converts all thermometers at once,
// reads them one by one, and hands every change to the window.
#include <cstdint>

namespace monitor {

// Starts the thread. Settings().knownRoms and the port name must be set first.
// false when the thread cannot be created.
[[nodiscard]] bool StartMonitorThread();

// Waits up to `timeoutMs` for the thread to end after quitRequested was set;
// true when it has ended (and was joined).
[[nodiscard]] bool WaitMonitorThread(std::uint32_t timeoutMs);

// Leaves a thread that did not end to the end of the process: a thread cannot
// be killed safely on POSIX.
void DetachMonitorThread();

}  // namespace monitor
