#pragma once
// Runs the user's command for every announcement, a few at a time: the rest
// wait in order, none is dropped, and a burst of changes never starts more
// than MaxRunningCommands processes. Serviced from the user-interface
// thread's timer; nothing here waits for a command.
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "alerts/alert_tracker.h"
#include "platform/command.h"

namespace alerts {

inline constexpr std::size_t MaxRunningCommands = 4;

struct AlertRunner {
    std::string command;  // empty: announcements are only counted
    std::deque<platform::Environment> waiting;
    std::vector<platform::CommandRun> running;
    bool failureReported = false;  // a failing command is told once per run
    std::size_t started = 0;
};

// The details of one announcement as the command's environment.
[[nodiscard]] platform::Environment EnvironmentOf(const Announcement& announcement);

void QueueAnnouncement(AlertRunner& runner, const Announcement& announcement);
// Reaps ended commands and starts waiting ones while there is room.
void ServiceRunner(AlertRunner& runner);
// Nothing running and nothing waiting.
[[nodiscard]] bool RunnerIdle(const AlertRunner& runner);

}  // namespace alerts
