#include "mqtt/payloads.h"

#include <algorithm>
#include <cmath>

#include "web/text_escape.h"

namespace mqtt {
namespace {

// Home Assistant marks a reading stale after a few missed passes, never
// sooner than a minute, so a slow bus does not flicker.
constexpr std::uint32_t MissedPassesBeforeStale = 3;
constexpr std::uint32_t ShortestExpirySeconds = 60;
// A pass longer than the interval sets the pace instead (a kernel w1 master
// that converts each thermometer at its read, 750 ms each). Rounded up to
// whole steps, so the retained config does not change with every pass.
constexpr double PassStepSeconds = 10.0;

std::uint32_t passPeriodSeconds(const PassReport& pass) {
    const double steps = std::ceil(std::max(0.0, pass.lastPassSeconds) / PassStepSeconds);
    const auto passSeconds = static_cast<std::uint32_t>(std::min(steps, 8640.0) * PassStepSeconds);
    return std::max<std::uint32_t>({1, pass.pollIntervalSeconds, passSeconds});
}

std::string prefixed(std::string_view prefix, std::string_view rom) {
    std::string id(prefix);
    id += rom;
    return id;
}

void member(std::string& out, std::string_view key, std::string_view text) {
    if (out.back() != '{') out += ',';
    web::AppendJsonString(out, key);
    out += ':';
    web::AppendJsonString(out, text);
}

void rawMember(std::string& out, std::string_view key, std::string_view json) {
    if (out.back() != '{') out += ',';
    web::AppendJsonString(out, key);
    out += ':';
    out += json;
}

std::string quoted(std::string_view text) {
    std::string out;
    web::AppendJsonString(out, text);
    return out;
}

// Only letters, digits, "_" and "-" may name a discovery node; "/", "+" or
// "#" from a client id would break the topic.
std::string instanceId(const Naming& naming) {
    std::string id = "kelvarian_";
    for (const char c : naming.clientId) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-';
        id += plain ? c : '_';
    }
    return id;
}

std::string deviceJson(const Naming& naming, const SensorReport& sensor) {
    std::string device = "{";
    rawMember(device, "identifiers", "[" + quoted(prefixed("kelvarian_", sensor.rom)) + "]");
    member(device, "name", sensor.name);
    member(device, "model", sensor.type);
    member(device, "serial_number", sensor.romText);
    member(device, "manufacturer", "Kelvarian");
    member(device, "via_device", instanceId(naming));
    device += '}';
    return device;
}

std::string availabilityJson(const Naming& naming, std::string_view rom) {
    return "[{\"topic\":" + quoted(StatusTopic(naming)) +
           "},{\"topic\":" + quoted(SensorTopic(naming, rom, "availability")) + "}]";
}

// The program's own device, which the sensors name as their gateway: a
// connectivity sensor on the status topic.
std::string instanceConfig(const Naming& naming) {
    std::string config = "{";
    member(config, "name", "Kelvarian");
    member(config, "unique_id", instanceId(naming) + "_status");
    member(config, "state_topic", StatusTopic(naming));
    member(config, "payload_on", OnlinePayload);
    member(config, "payload_off", OfflinePayload);
    member(config, "device_class", "connectivity");
    rawMember(config, "device",
              "{\"identifiers\":[" + quoted(instanceId(naming)) + "],\"name\":" +
                  quoted("Kelvarian " + naming.clientId) + ",\"manufacturer\":\"Kelvarian\"}");
    config += '}';
    return config;
}

}  // namespace

std::string StatusTopic(const Naming& naming) {
    return naming.base + "/status";
}

std::string SensorTopic(const Naming& naming, std::string_view rom, std::string_view leaf) {
    std::string topic = naming.base;
    topic += '/';
    topic += rom;
    topic += '/';
    topic += leaf;
    return topic;
}

std::string TemperatureText(double celsius) {
    return web::NumberText(celsius);
}

std::string TemperatureConfigTopic(std::string_view rom) {
    return std::string(DiscoveryPrefix) + "/sensor/kelvarian_" + std::string(rom) +
           "/temperature/config";
}

std::string RangeConfigTopic(std::string_view rom) {
    return std::string(DiscoveryPrefix) + "/binary_sensor/kelvarian_" + std::string(rom) +
           "/range/config";
}

std::string AttributesJson(const SensorReport& sensor, const PassReport& pass) {
    std::string json = "{";
    member(json, "name", sensor.name);
    member(json, "rom", sensor.romText);
    member(json, "type", sensor.type);
    member(json, "connection", sensor.connection);
    member(json, "status", sensor.status);
    member(json, "state", StateName(sensor.state));
    if (pass.thermoOn) {
        rawMember(json, "min", std::to_string(pass.thermoMin));
        rawMember(json, "max", std::to_string(pass.thermoMax));
    }
    json += '}';
    return json;
}

std::string TemperatureConfig(const Naming& naming, const SensorReport& sensor,
                              const PassReport& pass) {
    const std::uint32_t expiry = std::max<std::uint32_t>(
        ShortestExpirySeconds, MissedPassesBeforeStale * passPeriodSeconds(pass));
    std::string config = "{";
    member(config, "name", sensor.name);
    member(config, "unique_id", prefixed("kelvarian_", sensor.rom) + "_temperature");
    member(config, "state_topic", SensorTopic(naming, sensor.rom, "temperature"));
    member(config, "device_class", "temperature");
    member(config, "state_class", "measurement");
    member(config, "unit_of_measurement", "°C");
    rawMember(config, "suggested_display_precision", "1");
    rawMember(config, "availability", availabilityJson(naming, sensor.rom));
    member(config, "availability_mode", "all");
    rawMember(config, "expire_after", std::to_string(expiry));
    member(config, "json_attributes_topic", SensorTopic(naming, sensor.rom, "attributes"));
    rawMember(config, "device", deviceJson(naming, sensor));
    config += '}';
    return config;
}

std::string RangeConfig(const Naming& naming, const SensorReport& sensor) {
    std::string config = "{";
    member(config, "name", sensor.name + ": вне диапазона");
    member(config, "unique_id", prefixed("kelvarian_", sensor.rom) + "_range");
    member(config, "state_topic", SensorTopic(naming, sensor.rom, "state"));
    member(config, "value_template", "{{ 'ON' if value == 'alarm' else 'OFF' }}");
    member(config, "device_class", "problem");
    rawMember(config, "availability", availabilityJson(naming, sensor.rom));
    member(config, "availability_mode", "all");
    member(config, "json_attributes_topic", SensorTopic(naming, sensor.rom, "attributes"));
    rawMember(config, "device", deviceJson(naming, sensor));
    config += '}';
    return config;
}

std::vector<Retained> RetainedMessages(const Naming& naming, const PassReport& pass) {
    std::vector<Retained> messages;
    messages.push_back({StatusTopic(naming), std::string(OnlinePayload), 1});
    if (naming.discovery) {
        messages.push_back({std::string(DiscoveryPrefix) + "/binary_sensor/" + instanceId(naming) +
                                "/status/config",
                            instanceConfig(naming), 1});
    }
    for (const SensorReport& sensor : pass.sensors) {
        const bool available =
            sensor.state == SensorState::Ok || sensor.state == SensorState::Alarm;
        messages.push_back(
            {SensorTopic(naming, sensor.rom, "state"), std::string(StateName(sensor.state)), 1});
        messages.push_back({SensorTopic(naming, sensor.rom, "availability"),
                            std::string(available ? OnlinePayload : OfflinePayload), 1});
        messages.push_back(
            {SensorTopic(naming, sensor.rom, "attributes"), AttributesJson(sensor, pass), 1});
        if (!naming.discovery) continue;
        messages.push_back(
            {TemperatureConfigTopic(sensor.rom), TemperatureConfig(naming, sensor, pass), 1});
        if (pass.thermoOn) {
            messages.push_back({RangeConfigTopic(sensor.rom), RangeConfig(naming, sensor), 1});
        }
    }
    return messages;
}

}  // namespace mqtt
