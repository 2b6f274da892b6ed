#pragma once
// "Kelvarian.ini" as plain records: parse the file's bytes into a record with
// every read rule applied, format a record into the exact bytes of a save. The
// shell applies the record to the window, the option word and the sensor list.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace persistence {

inline constexpr const char* SettingsFileName = "Kelvarian.ini";

struct StoredSensor {
    std::int64_t id = 0;   // the ROM code as a little-endian signed integer
    std::string name;      // UTF-8
};

struct SettingsRecord {
    std::string port;            // top "Port"; empty for none
    std::uint16_t interval = 1;  // "Interval", low 16 bits
    std::uint8_t thermoControl = 0;
    std::int16_t thermoMin = 0;  // already corrected on load
    std::int16_t thermoMax = 10;
    std::uint8_t log = 0;
    std::uint8_t cpuMinUsage = 0;
    std::uint8_t invert = 0;
    std::vector<StoredSensor> sensors;  // in stored order, ID 0 skipped
    std::uint8_t serverEnabled = 0;
    std::uint16_t serverPort = 80;
    std::uint8_t serverIPv6 = 0;
};

// Applies every read rule for hand-edited files; never fails.
SettingsRecord ParseSettings(std::string_view fileBytes);
// The complete text of a save, byte order mark and CR LF line ends included.
std::string FormatSettings(const SettingsRecord& record);

// Reads and parses `path`; a missing or unreadable file gives the defaults.
SettingsRecord ReadSettingsFile(const char* path);
// Replaces `path` whole, never leaving a truncated file; false when it could not.
bool WriteSettingsFile(const char* path, const SettingsRecord& record);

}  // namespace persistence
