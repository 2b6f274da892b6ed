#include "web/metrics.h"

#include <cmath>
#include <set>
#include <string_view>
#include <vector>

#include "web/text_escape.h"

namespace web {
namespace {

void appendFamily(std::string& out, std::string_view name, std::string_view type,
                  std::string_view help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

// name{rom="...",name="..."} value, with any further label given whole.
void appendSample(std::string& out, std::string_view name, std::string_view rom,
                  const std::string* sensorName, std::string_view extraLabel,
                  const std::string& value) {
    out += name;
    out += "{rom=\"";
    AppendLabelValue(out, rom);
    out += '"';
    if (sensorName != nullptr) {
        out += ",name=\"";
        AppendLabelValue(out, *sensorName);
        out += '"';
    }
    out += extraLabel;
    out += "} ";
    out += value;
    out += '\n';
}

// The first row of each ROM code: a second row with the same code never gets
// readings of its own, and a repeated series would spoil the scrape.
std::vector<const SensorSnapshot*> firstOfEachRom(const StatusSnapshot& snapshot) {
    std::vector<const SensorSnapshot*> sensors;
    std::set<std::string_view> seen;
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        if (seen.insert(sensor.rom).second) sensors.push_back(&sensor);
    }
    return sensors;
}

void appendSensors(std::string& out, const StatusSnapshot& snapshot) {
    const std::vector<const SensorSnapshot*> sensors = firstOfEachRom(snapshot);
    appendFamily(out, "kelvarian_temperature_celsius", "gauge",
                 "Last valid reading of the thermometer in degrees Celsius.");
    for (const SensorSnapshot* sensor : sensors) {
        if (const std::optional<double> reading = ValidReading(*sensor)) {
            appendSample(out, "kelvarian_temperature_celsius", sensor->rom,
                         &sensor->cells[kNameCell], "", NumberText(*reading));
        }
    }
    appendFamily(out, "kelvarian_sensor_up", "gauge",
                 "1 when the sensor's last reading is valid, else 0.");
    for (const SensorSnapshot* sensor : sensors) {
        appendSample(out, "kelvarian_sensor_up", sensor->rom, &sensor->cells[kNameCell], "",
                     ValidReading(*sensor) ? "1" : "0");
    }
}

void appendCounters(std::string& out, const StatusSnapshot& snapshot) {
    std::vector<const ReadCounters*> counters;
    std::set<std::string_view> seen;
    for (const ReadCounters& counter : snapshot.counters) {
        if (seen.insert(counter.rom).second) counters.push_back(&counter);
    }
    appendFamily(out, "kelvarian_reads_total", "counter", "Thermometer reads since start.");
    for (const ReadCounters* counter : counters) {
        appendSample(out, "kelvarian_reads_total", counter->rom, nullptr, "",
                     std::to_string(counter->reads));
    }
    appendFamily(out, "kelvarian_read_errors_total", "counter",
                 "Failed thermometer reads since start, by kind.");
    for (const ReadCounters* counter : counters) {
        appendSample(out, "kelvarian_read_errors_total", counter->rom, nullptr, ",kind=\"crc\"",
                     std::to_string(counter->crcErrors));
        appendSample(out, "kelvarian_read_errors_total", counter->rom, nullptr,
                     ",kind=\"no_answer\"", std::to_string(counter->noAnswer));
        appendSample(out, "kelvarian_read_errors_total", counter->rom, nullptr,
                     ",kind=\"exchange_error\"", std::to_string(counter->exchangeErrors));
    }
}

}  // namespace

std::string BuildMetrics(const StatusSnapshot& snapshot) {
    std::string out;
    appendSensors(out, snapshot);
    appendCounters(out, snapshot);
    appendFamily(out, "kelvarian_bus_devices", "gauge",
                 "Devices the last bus search found, of any family.");
    out += "kelvarian_bus_devices " + std::to_string(snapshot.deviceCount) + "\n";
    appendFamily(out, "kelvarian_poll_passes_total", "counter", "Poll passes since start.");
    out += "kelvarian_poll_passes_total " + std::to_string(snapshot.pollPasses) + "\n";
    appendFamily(out, "kelvarian_poll_pass_seconds", "gauge",
                 "Duration of the last poll pass in seconds.");
    const double seconds = snapshot.lastPassSeconds;
    out += "kelvarian_poll_pass_seconds " + (std::isfinite(seconds) ? NumberText(seconds) : "NaN") +
           "\n";
    appendFamily(out, "kelvarian_adapter_info", "gauge",
                 "1 for the kind of adapter behind the open port.");
    if (!snapshot.adapter.empty()) {
        out += "kelvarian_adapter_info{adapter=\"";
        AppendLabelValue(out, snapshot.adapter);
        out += "\"} 1\n";
    }
    return out;
}

}  // namespace web
