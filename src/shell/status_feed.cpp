#include "shell/status_feed.h"

#include <set>
#include <string_view>
#include <utility>

#include "monitor/app_settings.h"
#include "monitor/thermometer.h"
#include "onewire/link.h"
#include "persistence/event_log.h"
#include "persistence/log_history.h"
#include "mqtt/publisher.h"
#include "platform/clock.h"
#include "shell/alert_feed.h"
#include "shell/publisher_feed.h"
#include "shell/shell_state.h"
#include "web/status_feed.h"

namespace shell {
namespace {

// The first figures of `rom`: a second window record with the same code is
// never matched by a merge and shows "Не найден" anyway.
const monitor::DeviceFigures* figuresOf(const monitor::MonitorFigures& figures,
                                        const monitor::RomCode& rom) {
    for (const monitor::DeviceFigures& device : figures.devices) {
        if (device.rom == rom) return &device;
    }
    return nullptr;
}

web::SensorSnapshot sensorOf(const monitor::SensorRecord& record,
                             const monitor::MonitorFigures& figures) {
    web::SensorSnapshot sensor;
    sensor.rom = monitor::FormatRomCode(record.rom);
    for (std::size_t cell = 0; cell < web::kCellCount; ++cell) {
        sensor.cells[cell] = record.cells[cell].text;
    }
    sensor.present = record.present != 0;
    if (const monitor::DeviceFigures* device = figuresOf(figures, record.rom)) {
        if (device->hasReading) sensor.celsius = device->celsius;
        sensor.withinLimits = device->withinLimits;
    }
    return sensor;
}

web::StatusSnapshot snapshotOf(const monitor::SensorList& sensors,
                               const monitor::MonitorFigures& figures) {
    web::StatusSnapshot snapshot;
    snapshot.sensors.reserve(sensors.size());
    for (const monitor::SensorRecord& record : sensors) {
        snapshot.sensors.push_back(sensorOf(record, figures));
    }
    const monitor::PassFigures& pass = figures.pass;
    snapshot.deviceCount = static_cast<std::uint32_t>(pass.deviceCount);
    snapshot.faultyCount = static_cast<std::uint32_t>(pass.faultyCount);
    snapshot.alarmCount = static_cast<std::uint32_t>(pass.alarmCount);
    snapshot.port = monitor::CopyPortName();
    snapshot.adapter = std::string(onewire::adapterName());
    snapshot.lastPassUnix = pass.lastPassUnix;
    snapshot.lastPassSeconds = static_cast<double>(pass.lastPassMs) / 1000.0;
    snapshot.pollPasses = pass.passes;
    for (const monitor::DeviceFigures& device : figures.devices) {
        // Other families are never read.
        if (!monitor::IsThermometer(device.rom[0])) continue;
        const monitor::ReadCounts& counts = device.counts;
        snapshot.counters.push_back(web::ReadCounters{monitor::FormatRomCode(device.rom),
                                                      counts.reads, counts.crcErrors,
                                                      counts.noAnswer, counts.exchangeErrors});
    }
    const monitor::AppSettings& settings = monitor::Settings();
    snapshot.thermo = {settings.thermoControl.load() != 0, settings.thermoMin.load(),
                       settings.thermoMax.load()};
    return snapshot;
}

// One point per thermometer of the list (the first record of each code), with
// no value where the list shows no valid reading, so the chart has a gap.
void recordPass(const monitor::SensorList& sensors, const web::StatusSnapshot& snapshot) {
    std::set<std::string_view> recorded;
    for (std::size_t i = 0; i < sensors.size(); ++i) {
        const web::SensorSnapshot& sensor = snapshot.sensors[i];
        if (!monitor::IsThermometer(sensors[i].rom[0]) || !recorded.insert(sensor.rom).second) {
            continue;
        }
        web::RecordHistoryReading(sensor.rom, snapshot.lastPassUnix, web::ValidReading(sensor));
    }
}

}  // namespace

void FeedStatusServer(const monitor::MonitorFigures* news) {
    ShellState& state = State();
    if (news != nullptr) state.monitorFigures = *news;
    web::StatusSnapshot snapshot = snapshotOf(state.sensors, state.monitorFigures);
    if (mqtt::PublisherRunning()) FeedPublisher(state.sensors, snapshot);
    if (AlertsRunning()) FeedAlerts(state.sensors, snapshot);
    if (!state.serverEnabled) return;
    // Several hand-overs can carry the same pass; the history takes it once.
    const monitor::PassFigures& pass = state.monitorFigures.pass;
    if (pass.passes != state.historyPass && pass.lastPassUnix != 0) {
        state.historyPass = pass.passes;
        recordPass(state.sensors, snapshot);
    }
    web::SetStatusSnapshot(std::move(snapshot));
}

void SeedHistoryFromLog() {
    if (!State().serverEnabled || monitor::Settings().logEnabled.load() == 0) return;
    const std::vector<persistence::LoggedReading> readings =
        persistence::ReadRecentLogReadings(persistence::LogFileName, platform::UnixSeconds());
    for (const persistence::LoggedReading& reading : readings) {
        web::RecordHistoryReading(reading.romText(), reading.unixSeconds, reading.celsius);
    }
}

}  // namespace shell
