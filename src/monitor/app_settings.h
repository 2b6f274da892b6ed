#pragma once
// Settings and requests that the user-interface thread hands to the monitor.
// Flags and numbers are single stores read afresh at each use; the port name is
// handed over whole under a lock, always written before portChanged is set.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "onewire/rom_code.h"

namespace monitor {

struct AppSettings {
    std::atomic<std::uint8_t> quitRequested{0};  // UI writes, monitor reads
    std::atomic<std::uint8_t> portChanged{0};    // UI sets, monitor clears
    std::atomic<std::uint8_t> thermoControl{0};
    std::atomic<std::uint16_t> pollInterval{1};  // seconds
    std::atomic<std::int16_t> thermoMin{0};      // whole degrees Celsius
    std::atomic<std::int16_t> thermoMax{10};
    std::atomic<std::uint8_t> logEnabled{0};
    // Written once before the monitor thread starts, never again.
    std::vector<onewire::RomCode> knownRoms;
};

// The one instance of the process.
AppSettings& Settings();

// The port name ("COM3"; empty for none). Set by the user-interface thread
// before portChanged; copied whole by the monitor.
void SetPortName(std::string name);
std::string CopyPortName();

}  // namespace monitor
