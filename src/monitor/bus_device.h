#pragma once
// The monitor thread's private device entries; entry i describes the same
// device as row i of the monitor's working list.
#include <cstdint>
#include <vector>

#include "monitor/thermometer.h"
#include "onewire/rom_code.h"

namespace monitor {

// Bits of BusDevice::faults.
using DeviceFaults = std::uint8_t;
inline constexpr DeviceFaults RomCrcError = 1;  // cleared only by rebuilding the list
inline constexpr DeviceFaults ScratchpadCrcError = 2;
inline constexpr DeviceFaults SensorRangeError = 4;
inline constexpr DeviceFaults BusError = 8;

// Reads of one thermometer, and what ended the failed ones: the status
// server's counters. Plain numbers, so a poll pass allocates nothing for them.
struct ReadCounts {
    std::uint64_t reads = 0;
    std::uint64_t crcErrors = 0;  // a scratchpad that failed its CRC
    // No presence pulse at the Match ROM, or nobody drove the read slots.
    std::uint64_t noAnswer = 0;
    std::uint64_t exchangeErrors = 0;  // any other failed bus call
};

// Passes without an answer after which a device starts a search of the bus.
inline constexpr int UnansweredPassesBeforeSearch = 10;

struct BusDevice {
    onewire::RomCode rom{};
    float temperature = 0.0f;  // last good reading, degrees Celsius
    DeviceFaults faults = 0;
    bool hasReading = false;       // a valid reading since the entry was made
    std::int64_t readingUnix = 0;  // its wall-clock time, Unix seconds
    bool withinLimits = true;      // it lay within the permitted range
    ReadCounts counts{};
    // Consecutive passes that read nine 0xFF bytes: nobody answered its Match
    // ROM, as when the sensor is no longer on the bus.
    std::uint8_t unansweredPasses = 0;
    // A search found it since it last answered a read (anything but nine
    // 0xFF bytes): it starts no search of its own until it answers again.
    bool foundSinceAnswer = false;
    // The last scratchpad taken as a reading, against which the next one is
    // judged; none after a pass without one.
    bool hasLastAccepted = false;
    Scratchpad lastAccepted{};
};

using BusDeviceList = std::vector<BusDevice>;

}  // namespace monitor
