#pragma once
// What the shell hands the status server besides the page rows: the window's
// sensor list with the values behind its texts, the monitor's counters and the
// permitted range. Plain records, filled on the user-interface thread.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace web {

// The six columns of the sensor list, in display order.
enum SensorCellIndex : std::size_t {
    kNameCell,
    kTypeCell,
    kSerialCell,
    kConnectionCell,
    kTemperatureCell,
    kStatusCell,
    kCellCount
};

// One row of the window's sensor list.
struct SensorSnapshot {
    std::string rom;                            // ROM code text, 28-00000B013C5A-14
    std::array<std::string, kCellCount> cells;  // the texts as shown, UTF-8
    std::optional<double> celsius;              // the monitor's last converted value, if any
    bool present = false;                       // the last merge found the device
    bool withinLimits = true;                   // false: outside the permitted range
};

// Reads of one thermometer since start, and how the failed ones failed.
struct ReadCounters {
    std::string rom;
    std::uint64_t reads = 0;
    std::uint64_t crcErrors = 0;       // scratchpad CRC wrong
    std::uint64_t noAnswer = 0;        // no presence pulse, or nobody drove the read slots
    std::uint64_t exchangeErrors = 0;  // any other failed exchange with the port
};

struct ThermoRange {
    bool on = false;  // "Термо контроль"
    std::int16_t min = 0;
    std::int16_t max = 0;
};

struct StatusSnapshot {
    std::vector<SensorSnapshot> sensors;  // the window's list order
    // The three counts of the status summary; deviceCount is every device on
    // the bus, of any family.
    std::uint32_t deviceCount = 0;
    std::uint32_t faultyCount = 0;
    std::uint32_t alarmCount = 0;
    std::string port;               // the serial port, "COM3"; empty when none is chosen
    std::string adapter;            // behind the open port: "passive", "DS2480B"; empty: none open
    std::int64_t lastPassUnix = 0;  // end of the last poll pass, Unix seconds; 0 before the first
    double lastPassSeconds = 0;     // how long that pass took
    std::uint64_t pollPasses = 0;   // poll passes since start
    std::vector<ReadCounters> counters;
    ThermoRange thermo;
};

// The reading a sensor shows when it has a valid one: its Status text is "OK",
// its Temperature text is not empty and the value is finite.
[[nodiscard]] std::optional<double> ValidReading(const SensorSnapshot& sensor);

}  // namespace web
