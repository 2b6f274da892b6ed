#pragma once
// Helpers shared by the monitor tests: scratchpads as thermometers send them,
// a recorder for the two window operations, and a temporary working folder.
#include <cstdint>
#include <filesystem>
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

// Makes a fresh temporary folder the working directory for its lifetime.
struct TempWorkingDir {
    TempWorkingDir();
    ~TempWorkingDir();
    std::filesystem::path path;
    std::filesystem::path previous;
};

std::string ReadFile(const std::filesystem::path& file);

}  // namespace monitor_test
