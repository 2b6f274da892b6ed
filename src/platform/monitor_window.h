#pragma once
// The two things the monitor thread needs from the main window: the text of
// status bar field 0, and a queued event without payload. The window layer
// binds them; unbound, both do nothing (tests and command-line tools).
#include <cstdint>
#include <string_view>

namespace platform {

// Number of the event that tells the window the monitor mailbox has news.
inline constexpr std::int32_t SensorsUpdatedEvent = 65538;

struct MonitorWindowOps {
    // Both may be called from any thread.
    void (*setStatusField0)(std::string_view utf8Text);
    void (*postCustomEvent)(std::int32_t number);
};

// Binds `ops` for the process; nullptr unbinds. Bind before the monitor starts.
void BindMonitorWindow(const MonitorWindowOps* ops);

void SetStatusField0(std::string_view utf8Text);
void PostCustomEvent(std::int32_t number);

}  // namespace platform
