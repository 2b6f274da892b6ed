#include "web/status_json.h"

#include <array>
#include <string_view>

#include "web/text_escape.h"
#include "web/time_text.h"

namespace web {
namespace {

constexpr std::array<std::string_view, kCellCount> kCellKeys = {
    "name", "type", "serial", "connection", "temperature", "status",
};

void appendMember(std::string& out, std::string_view key, std::string_view text) {
    out += '"';
    out += key;
    out += "\":";
    AppendJsonString(out, text);
}

void appendSensor(std::string& out, const SensorSnapshot& sensor) {
    const std::optional<double> reading = ValidReading(sensor);
    out += '{';
    appendMember(out, "rom", sensor.rom);
    out += ',';
    appendMember(out, "name", sensor.cells[kNameCell]);
    out += ',';
    appendMember(out, "type", sensor.cells[kTypeCell]);
    out += ',';
    appendMember(out, "connection", sensor.cells[kConnectionCell]);
    out += ",\"temperature\":" + (reading ? NumberText(*reading) : std::string("null"));
    out += ",\"cells\":{";
    for (std::size_t i = 0; i < kCellCount; ++i) {
        if (i > 0) out += ',';
        appendMember(out, kCellKeys[i], sensor.cells[i]);
    }
    out += "},\"present\":";
    out += sensor.present ? "true" : "false";
    out += ",\"inRange\":";
    out += !reading ? "null" : sensor.withinLimits ? "true" : "false";
    out += '}';
}

}  // namespace

std::string BuildStatusJson(const StatusSnapshot& snapshot) {
    std::string json = "{\"sensors\":[";
    for (std::size_t i = 0; i < snapshot.sensors.size(); ++i) {
        if (i > 0) json += ',';
        appendSensor(json, snapshot.sensors[i]);
    }
    json += "],\"summary\":{\"devices\":" + std::to_string(snapshot.deviceCount) +
            ",\"faulty\":" + std::to_string(snapshot.faultyCount) +
            ",\"alarms\":" + std::to_string(snapshot.alarmCount) + "},\"port\":";
    if (snapshot.port.empty()) {
        json += "null";
    } else {
        AppendJsonString(json, snapshot.port);
    }
    json += ",\"adapter\":";
    if (snapshot.adapter.empty()) {
        json += "null";
    } else {
        AppendJsonString(json, snapshot.adapter);
    }
    json += ",\"lastPoll\":";
    json += snapshot.lastPassUnix == 0 ? "null" : '"' + IsoTimeText(snapshot.lastPassUnix) + '"';
    json += '}';
    return json;
}

}  // namespace web
