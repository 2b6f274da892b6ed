#include "persistence/settings_file.h"

#include <algorithm>

#include "persistence/ini_reader.h"
#include "platform/files.h"
#include "platform/files_folder.h"

namespace persistence {
namespace {

// The lowest stored temperature accepted is one above this; the highest is this.
constexpr int coldestRejected = -55;
constexpr int hottestAccepted = 130;

std::uint16_t low16(std::int32_t value) {
    return static_cast<std::uint16_t>(value);
}
std::uint8_t bit0(std::int32_t value) {
    return static_cast<std::uint8_t>(value & 1);
}
std::uint8_t nonZero(std::int32_t value) {
    return value != 0 ? 1 : 0;
}

void readTopSection(const IniFile& ini, SettingsRecord& record) {
    const IniSection* top = &ini.top;
    record.port = ReadText(top, "Port", "");
    record.interval = low16(ReadInt32(top, "Interval", 1));
    record.thermoControl = bit0(ReadInt32(top, "ThermoControl", 0));
    record.thermoMin = static_cast<std::int16_t>(low16(ReadInt32(top, "ThermoMin", 0)));
    record.thermoMax = static_cast<std::int16_t>(low16(ReadInt32(top, "ThermoMax", 10)));
    record.log = bit0(ReadInt32(top, "Log", 0));
    record.cpuMinUsage = bit0(ReadInt32(top, "CPU_MinUsage", 0));
    record.invert = nonZero(ReadInt32(top, "Invert", 0));
}

bool outsideAccepted(int degrees) {
    return degrees <= coldestRejected || degrees > hottestAccepted;
}

// Order matters: each bound is repaired alone before the pair is made to agree.
void correctLimits(SettingsRecord& record) {
    if (outsideAccepted(record.thermoMin)) record.thermoMin = 0;
    if (outsideAccepted(record.thermoMax)) record.thermoMax = 10;
    if (record.thermoMin >= record.thermoMax) {
        record.thermoMin = static_cast<std::int16_t>(record.thermoMax - 1);
    }
}

void readSensors(const IniFile& ini, SettingsRecord& record) {
    const IniSection* sensors = FindGroup(ini, "Sensors");
    std::int32_t count = ReadInt32(sensors, "Count", 0);
    if (count > maxStoredSensors) count = maxStoredSensors;
    // Indices run from 0 although a save starts at 1, so a hand-written ID_0 loads.
    // With ID_0 and a count of 100 that would be 101 sensors, and the save would
    // write indices 1 to 101 of which the next load reads only 100: the list
    // stops at 100 so that what is shown is what survives a save.
    for (std::int32_t i = 0; i <= count; ++i) {
        if (record.sensors.size() >= static_cast<std::size_t>(maxStoredSensors)) break;
        const std::string index = std::to_string(i);
        const std::int64_t id = ReadInt64(sensors, "ID_" + index, 0);
        if (id == 0) continue;
        record.sensors.push_back({id, ReadText(sensors, "Name_" + index, UnnamedSensorName)});
    }
}

void readServer(const IniFile& ini, SettingsRecord& record) {
    const IniSection* server = FindGroup(ini, "Server");
    record.serverEnabled = nonZero(ReadInt32(server, "Enable", 0));
    record.serverPort = low16(ReadInt32(server, "Port", 80));
    record.serverIPv6 = nonZero(ReadInt32(server, "IPv6", 0));
}

void readMqtt(const IniFile& ini, SettingsRecord& record) {
    const IniSection* group = FindGroup(ini, "MQTT");
    MqttSettings& mqtt = record.mqtt;
    mqtt.stored = group != nullptr;
    mqtt.host = ReadText(group, "Host", "");
    mqtt.port = low16(ReadInt32(group, "Port", 1883));
    mqtt.user = ReadText(group, "User", "");
    mqtt.password = ReadText(group, "Password", "");
    mqtt.topic = ReadText(group, "Topic", "kelvarian");
    mqtt.discovery = nonZero(ReadInt32(group, "Discovery", 1));
    mqtt.client = ReadText(group, "Client", "");
}

void readAlerts(const IniFile& ini, SettingsRecord& record) {
    const IniSection* group = FindGroup(ini, "Alerts");
    AlertSettings& alerts = record.alerts;
    alerts.stored = group != nullptr;
    alerts.command = ReadText(group, "Command", "");
    alerts.notify = nonZero(ReadInt32(group, "Notify", 0));
    // A negative delay would announce a state before it was ever seen.
    alerts.delay = std::max<std::int32_t>(0, ReadInt32(group, "Delay", 60));
}

void appendLine(std::string& out, std::string_view line) {
    out += line;
    out += "\r\n";
}

void appendKey(std::string& out, std::string_view key, std::string_view value) {
    std::string line(key);
    line += " = ";
    for (const char c : value) line += (c == '\r' || c == '\n') ? ' ' : c;
    appendLine(out, line);
}

void appendNumber(std::string& out, std::string_view key, long long value) {
    appendKey(out, key, std::to_string(value));
}

void appendFlag(std::string& out, std::string_view key, std::uint8_t flag) {
    appendKey(out, key, flag != 0 ? "1" : "0");
}

}  // namespace

SettingsRecord ParseSettings(std::string_view fileBytes) {
    const IniFile ini = ParseIni(DecodeIniBytes(fileBytes));
    SettingsRecord record;
    readTopSection(ini, record);
    correctLimits(record);
    readSensors(ini, record);
    readServer(ini, record);
    readMqtt(ini, record);
    readAlerts(ini, record);
    return record;
}

std::string FormatSettings(const SettingsRecord& record) {
    std::string out = "\xEF\xBB\xBF";
    appendLine(out, "");
    appendKey(out, "Port", record.port);
    appendNumber(out, "Interval", record.interval);
    appendFlag(out, "ThermoControl", record.thermoControl);
    appendNumber(out, "ThermoMin", record.thermoMin);
    appendNumber(out, "ThermoMax", record.thermoMax);
    appendFlag(out, "Log", record.log);
    appendFlag(out, "CPU_MinUsage", record.cpuMinUsage);
    appendFlag(out, "Invert", record.invert);
    appendLine(out, "[Sensors]");
    appendNumber(out, "Count", static_cast<long long>(record.sensors.size()));
    for (std::size_t n = 1; n <= record.sensors.size(); ++n) {
        const StoredSensor& sensor = record.sensors[n - 1];
        appendNumber(out, "ID_" + std::to_string(n), sensor.id);
        appendKey(out, "Name_" + std::to_string(n), sensor.name);
    }
    appendLine(out, "[Server]");
    appendFlag(out, "Enable", record.serverEnabled);
    appendNumber(out, "Port", record.serverPort);
    appendFlag(out, "IPv6", record.serverIPv6);
    // Written only when read: a file without them keeps its exact layout.
    if (const MqttSettings& mqtt = record.mqtt; mqtt.stored) {
        appendLine(out, "[MQTT]");
        appendKey(out, "Host", mqtt.host);
        appendNumber(out, "Port", mqtt.port);
        appendKey(out, "User", mqtt.user);
        appendKey(out, "Password", mqtt.password);
        appendKey(out, "Topic", mqtt.topic);
        appendFlag(out, "Discovery", mqtt.discovery);
        appendKey(out, "Client", mqtt.client);
    }
    if (const AlertSettings& alerts = record.alerts; alerts.stored) {
        appendLine(out, "[Alerts]");
        appendKey(out, "Command", alerts.command);
        appendFlag(out, "Notify", alerts.notify);
        appendNumber(out, "Delay", alerts.delay);
    }
    return out;
}

SettingsRecord ReadSettingsFile(const char* path) {
    SettingsRecord record;
    [[maybe_unused]] const SettingsSource source = ReadSettingsFile(path, record);
    return record;
}

SettingsSource ReadSettingsFile(const char* path, SettingsRecord& record) {
    std::string bytes;
    if (platform::ReadWholeFile(path, bytes)) {
        record = ParseSettings(bytes);
        return SettingsSource::Read;
    }
    record = ParseSettings("");
    // Asked after the read failed: a name taken meanwhile only keeps a save off.
    return platform::PathTaken(path) ? SettingsSource::Unreadable : SettingsSource::Missing;
}

bool WriteSettingsFile(const char* path, const SettingsRecord& record) {
    return platform::ReplaceFileWhole(path, FormatSettings(record));
}

void RemoveUnfinishedSaves(const char* path) {
    platform::RemoveLeftoverTemporaries(path);
}

}  // namespace persistence
