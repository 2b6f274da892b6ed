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
// The name of a stored sensor whose "Name_" key is missing.
inline constexpr const char* UnnamedSensorName = "Новый";
// Stored sensors beyond this count are not loaded.
inline constexpr std::int32_t maxStoredSensors = 100;

struct StoredSensor {
    std::int64_t id = 0;  // the ROM code as a little-endian signed integer
    std::string name;     // UTF-8
};

// [MQTT]: where readings are published. An empty host leaves publishing off.
struct MqttSettings {
    bool stored = false;  // the file had the group: only then does a save write it
    std::string host;
    std::uint16_t port = 1883;  // low 16 bits
    std::string user;
    std::string password;
    std::string topic = "kelvarian";  // the base topic
    std::uint8_t discovery = 1;       // non-zero: Home Assistant discovery configs
    std::string client;               // empty: "kelvarian-" and the host name
    bool operator==(const MqttSettings&) const = default;
};

// [Alerts]: who is told when a sensor's state changes.
struct AlertSettings {
    bool stored = false;  // the file had the group: only then does a save write it
    std::string command;  // empty: no command
    std::uint8_t notify = 0;   // non-zero: desktop notifications
    std::int32_t delay = 60;   // seconds a new state must hold; negative reads as 0
    bool operator==(const AlertSettings&) const = default;
};

// Flags hold 0 or 1 after a parse; any non-zero flag is saved as 1.
struct SettingsRecord {
    std::string port;                   // top "Port", trimmed; empty for none
    std::uint16_t interval = 1;         // "Interval", seconds, low 16 bits, no range check
    std::uint8_t thermoControl = 0;     // "ThermoControl", bit 0
    std::int16_t thermoMin = 0;         // "ThermoMin", already corrected on load
    std::int16_t thermoMax = 10;        // "ThermoMax", already corrected on load
    std::uint8_t log = 0;               // "Log", bit 0
    std::uint8_t cpuMinUsage = 0;       // "CPU_MinUsage", bit 0: sets ReduceCpuLoad
    std::uint8_t invert = 0;            // "Invert", non-zero: sets InvertLines
    std::vector<StoredSensor> sensors;  // in stored order, ID 0 skipped, duplicates kept
    std::uint8_t serverEnabled = 0;     // [Server] "Enable", non-zero
    std::uint16_t serverPort = 80;      // [Server] "Port", low 16 bits
    std::uint8_t serverIPv6 = 0;        // [Server] "IPv6", non-zero
    MqttSettings mqtt;
    AlertSettings alerts;
};

// Applies every read rule for hand-edited files; never fails.
SettingsRecord ParseSettings(std::string_view fileBytes);
// The complete text of a save, byte order mark and CR LF line ends included.
// A CR or LF inside a text is written as a space: it would end the line early
// and the rest would be read back as a key of its own.
std::string FormatSettings(const SettingsRecord& record);

// Reads and parses `path`; a missing or unreadable file gives the defaults.
SettingsRecord ReadSettingsFile(const char* path);

enum class SettingsSource {
    Read,        // the file was read whole
    Missing,     // nothing is there under the name
    Unreadable,  // something is there that was not read: a save must not replace it
};
// Reads and parses `path` into `record` (the defaults unless Read) and tells
// how it went.
[[nodiscard]] SettingsSource ReadSettingsFile(const char* path, SettingsRecord& record);
// Replaces `path` whole, never leaving a truncated file; false when it could not.
bool WriteSettingsFile(const char* path, const SettingsRecord& record);
// Removes the temporary files that a save of `path` killed part way left
// beside it; nothing else.
void RemoveUnfinishedSaves(const char* path);

}  // namespace persistence
