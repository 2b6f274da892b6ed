#pragma once
// Both systems' runner tests: the runner serviced as the shell's timer does,
// until every queued command has run, within a generous limit.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "alerts/alert_runner.h"

namespace alerts {

inline bool RunUntilIdle(AlertRunner& runner) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline) {
        ServiceRunner(runner);
        EXPECT_LE(runner.running.size(), MaxRunningCommands);
        if (RunnerIdle(runner)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

}  // namespace alerts
