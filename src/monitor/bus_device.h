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
};

using BusDeviceList = std::vector<BusDevice>;

}  // namespace monitor
