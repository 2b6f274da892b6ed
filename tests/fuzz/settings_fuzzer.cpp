// The settings reader on arbitrary file bytes: hand-edited, truncated or not
// text at all. Parsing must never fail, and a save of what was read must read
// back as the same record, or a load-save cycle would lose stored sensors.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "persistence/settings_file.h"

namespace {

using persistence::SettingsRecord;

bool sameRecord(const SettingsRecord& a, const SettingsRecord& b) {
    if (a.sensors.size() != b.sensors.size()) return false;
    for (std::size_t i = 0; i < a.sensors.size(); ++i) {
        if (a.sensors[i].id != b.sensors[i].id || a.sensors[i].name != b.sensors[i].name) {
            return false;
        }
    }
    return a.port == b.port && a.interval == b.interval && a.thermoControl == b.thermoControl &&
           a.thermoMin == b.thermoMin && a.thermoMax == b.thermoMax && a.log == b.log &&
           a.cpuMinUsage == b.cpuMinUsage && a.invert == b.invert &&
           a.serverEnabled == b.serverEnabled && a.serverPort == b.serverPort &&
           a.serverIPv6 == b.serverIPv6 && a.mqtt == b.mqtt && a.alerts == b.alerts;
}

bool flagsAreBits(const SettingsRecord& r) {
    for (const std::uint8_t flag :
         {r.thermoControl, r.log, r.cpuMinUsage, r.invert, r.serverEnabled, r.serverIPv6}) {
        if (flag > 1) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const SettingsRecord first = persistence::ParseSettings(bytes);

    // What every reader of the record relies on.
    if (!flagsAreBits(first)) std::abort();
    if (first.thermoMin >= first.thermoMax) std::abort();
    if (first.sensors.size() > static_cast<std::size_t>(persistence::maxStoredSensors)) {
        std::abort();
    }
    for (const auto& sensor : first.sensors) {
        if (sensor.id == 0) std::abort();
    }

    const SettingsRecord second = persistence::ParseSettings(persistence::FormatSettings(first));
    if (!sameRecord(first, second)) std::abort();
    return 0;
}
