#pragma once
// What is published where: the topics under the base topic, the state and
// attribute payloads, and Home Assistant's discovery configs. Pure functions
// of the last poll pass as the window shows it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/sensor_state.h"

namespace mqtt {

using web::SensorState;
using web::StateName;

// One thermometer of the window's list.
struct SensorReport {
    std::string rom;      // the ROM code's 16 hex digits in text order: 2800000B013C5A14
    std::string romText;  // as the list shows it: 28-00000B013C5A-14
    std::string name;
    std::string type;
    std::string connection;
    std::string status;             // the Status cell's text
    std::optional<double> celsius;  // only a valid reading of the last pass
    SensorState state = SensorState::Missing;
};

struct PassReport {
    std::vector<SensorReport> sensors;  // list order, each ROM code once
    std::uint64_t pass = 0;             // poll passes counted since start
    bool thermoOn = false;
    std::int16_t thermoMin = 0;
    std::int16_t thermoMax = 0;
    std::uint16_t pollIntervalSeconds = 1;
    double lastPassSeconds = 0;  // how long the last pass's reads took
};

struct Naming {
    std::string base;      // the base topic, "kelvarian"
    std::string clientId;  // also names the program's own device
    bool discovery = true;
};

// A retained message; an empty payload deletes what the broker kept.
struct Retained {
    std::string topic;
    std::string payload;
    std::uint8_t qos = 1;
};

inline constexpr std::string_view OnlinePayload = "online";
inline constexpr std::string_view OfflinePayload = "offline";
inline constexpr std::string_view DiscoveryPrefix = "homeassistant";
// Where Home Assistant says "online" when it (re)starts.
inline constexpr std::string_view AssistantStatusTopic = "homeassistant/status";

[[nodiscard]] std::string StatusTopic(const Naming& naming);
[[nodiscard]] std::string SensorTopic(const Naming& naming, std::string_view rom,
                                      std::string_view leaf);
// The reading with the sensor's own resolution: 21.4375, -0.5, 85.
[[nodiscard]] std::string TemperatureText(double celsius);

[[nodiscard]] std::string AttributesJson(const SensorReport& sensor, const PassReport& pass);
[[nodiscard]] std::string TemperatureConfig(const Naming& naming, const SensorReport& sensor,
                                            const PassReport& pass);
[[nodiscard]] std::string RangeConfig(const Naming& naming, const SensorReport& sensor);
[[nodiscard]] std::string TemperatureConfigTopic(std::string_view rom);
[[nodiscard]] std::string RangeConfigTopic(std::string_view rom);

// Every retained message the pass calls for besides the temperatures: the
// program's status, each sensor's state, availability and attributes, and
// with discovery the configs.
[[nodiscard]] std::vector<Retained> RetainedMessages(const Naming& naming, const PassReport& pass);

}  // namespace mqtt
