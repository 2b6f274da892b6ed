#pragma once
// The file a save writes for two sensors, and the record it stands for.
#include <ostream>
#include <string>

#include "persistence/settings_file.h"

inline const std::string exampleSettingsFile =
    "\xEF\xBB\xBF\r\n"
    "Port = COM3\r\n"
    "Interval = 5\r\n"
    "ThermoControl = 1\r\n"
    "ThermoMin = 18\r\n"
    "ThermoMax = 26\r\n"
    "Log = 0\r\n"
    "CPU_MinUsage = 1\r\n"
    "Invert = 0\r\n"
    "[Sensors]\r\n"
    "Count = 2\r\n"
    "ID_1 = 1441151928023931432\r\n"
    "Name_1 = Новый\r\n"
    "ID_2 = -5692134055594401496\r\n"
    "Name_2 = Котёл\r\n"
    "[Server]\r\n"
    "Enable = 1\r\n"
    "Port = 80\r\n"
    "IPv6 = 0\r\n";

inline persistence::SettingsRecord ExampleSettingsRecord() {
    persistence::SettingsRecord record;
    record.port = "COM3";
    record.interval = 5;
    record.thermoControl = 1;
    record.thermoMin = 18;
    record.thermoMax = 26;
    record.log = 0;
    record.cpuMinUsage = 1;
    record.invert = 0;
    record.sensors = {{1441151928023931432, "Новый"}, {-5692134055594401496, "Котёл"}};
    record.serverEnabled = 1;
    record.serverPort = 80;
    record.serverIPv6 = 0;
    return record;
}

namespace persistence {
inline bool operator==(const StoredSensor& a, const StoredSensor& b) {
    return a.id == b.id && a.name == b.name;
}
inline bool operator==(const SettingsRecord& a, const SettingsRecord& b) {
    return a.port == b.port && a.interval == b.interval && a.thermoControl == b.thermoControl &&
           a.thermoMin == b.thermoMin && a.thermoMax == b.thermoMax && a.log == b.log &&
           a.cpuMinUsage == b.cpuMinUsage && a.invert == b.invert && a.sensors == b.sensors &&
           a.serverEnabled == b.serverEnabled && a.serverPort == b.serverPort &&
           a.serverIPv6 == b.serverIPv6 && a.mqtt == b.mqtt && a.alerts == b.alerts;
}
inline void PrintTo(const StoredSensor& sensor, std::ostream* out) {
    *out << "{" << sensor.id << ", \"" << sensor.name << "\"}";
}
}  // namespace persistence
