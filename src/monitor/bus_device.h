#pragma once
// The monitor thread's private device entries; entry i describes the same
// device as row i of the monitor's working list.
#include <cstdint>
#include <vector>

#include "onewire/rom_code.h"

namespace monitor {

// Bits of BusDevice::faults.
using DeviceFaults = std::uint8_t;
inline constexpr DeviceFaults RomCrcError = 1;  // cleared only by rebuilding the list
inline constexpr DeviceFaults ScratchpadCrcError = 2;
inline constexpr DeviceFaults SensorRangeError = 4;
inline constexpr DeviceFaults BusError = 8;

struct BusDevice {
    onewire::RomCode rom{};
    float temperature = 0.0f;  // last good reading, degrees Celsius
    DeviceFaults faults = 0;
    // Consecutive passes that read nine 0xFF bytes: nobody answered its Match
    // ROM, as when the sensor is no longer on the bus.
    std::uint8_t unansweredPasses = 0;
    // A search found it since its last good reading: it starts no search of
    // its own until it reads well again.
    bool foundSinceGoodRead = false;
};

using BusDeviceList = std::vector<BusDevice>;

}  // namespace monitor
