#pragma once
// Helpers shared by the monitor tests: scratchpads as thermometers send them,
// a recorder for the two window operations, and a temporary working folder.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "monitor/sensor_table.h"
#include "monitor/thermometer.h"

namespace monitor_test {

// A scratchpad carrying `raw` as its temperature, with a correct CRC.
monitor::Scratchpad MakeScratchpad(std::int16_t raw);

// A ROM code of `family` with serial bytes 1..6 and a correct CRC in byte 7.
monitor::RomCode MakeRom(std::uint8_t family, std::uint64_t serial);

// Records what the monitor hands to the window while bound.
struct WindowRecorder {
    WindowRecorder();   // binds
    ~WindowRecorder();  // unbinds
    int events() const;
    std::vector<std::string> statusTexts() const;
};

// The wall-clock time of the virtual clock's start, Unix seconds.
inline constexpr std::int64_t VirtualUnixStart = 1'800'000'000;

// The virtual clock (instant mode), whose wall-clock time runs with it from
// VirtualUnixStart, with a count of the sleeps of 100 ms and more
// and an action that runs once at a chosen step, inside that step's sleep.
struct StepClock {
    StepClock();   // installs
    ~StepClock();  // back to the system clock
    int steps() const;
    void resetSteps();
    // Runs `action` during the sleep of step number `step` (1-based, counted
    // from the last resetSteps).
    void atStep(int step, std::function<void()> action);
};

// Makes a fresh temporary folder the working directory for its lifetime.
struct TempWorkingDir {
    TempWorkingDir();
    ~TempWorkingDir();
    std::filesystem::path path;
    std::filesystem::path previous;
};

std::string ReadFile(const std::filesystem::path& file);

}  // namespace monitor_test
