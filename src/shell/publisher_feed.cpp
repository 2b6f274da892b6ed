#include "shell/publisher_feed.h"

#include "monitor/app_settings.h"
#include "mqtt/publisher.h"
#include "platform/name_lookup.h"
#include "platform/window/window.h"
#include "shell/main_window.h"
#include "shell/reported_thermometers.h"
#include "shell/shell_state.h"

namespace shell {
namespace {

std::string hexDigits(const std::string& romText) {
    std::string digits;
    for (const char c : romText) {
        if (c != '-') digits += c;
    }
    return digits;
}

}  // namespace

void StartPublisherIfConfigured() {
    const persistence::MqttSettings& stored = State().mqtt;
    if (stored.host.empty()) return;
    mqtt::PublisherSettings settings;
    settings.host = stored.host;
    settings.port = stored.port;
    settings.user = stored.user;
    settings.password = stored.password;
    settings.naming.base = stored.topic.empty() ? "kelvarian" : stored.topic;
    settings.naming.clientId =
        stored.client.empty() ? "kelvarian-" + platform::ComputerName() : stored.client;
    settings.naming.discovery = stored.discovery != 0;
    if (mqtt::StartPublisher(settings)) {
        platform::StartTimer(PublisherTimer, PublisherTimerPeriodMs, &OnPublisherTimer);
    }
}

void FeedPublisher(const monitor::SensorList& sensors, const web::StatusSnapshot& snapshot) {
    mqtt::PassReport pass;
    pass.pass = snapshot.pollPasses;
    pass.thermoOn = snapshot.thermo.on;
    pass.thermoMin = snapshot.thermo.min;
    pass.thermoMax = snapshot.thermo.max;
    pass.pollIntervalSeconds = monitor::Settings().pollInterval.load();
    pass.lastPassSeconds = snapshot.lastPassSeconds;
    for (const std::size_t row : ReportedThermometerRows(sensors, snapshot)) {
        const web::SensorSnapshot& sensor = snapshot.sensors[row];
        mqtt::SensorReport report;
        report.rom = hexDigits(sensor.rom);
        report.romText = sensor.rom;
        report.name = sensor.cells[web::kNameCell];
        report.type = sensor.cells[web::kTypeCell];
        report.connection = sensor.cells[web::kConnectionCell];
        report.status = sensor.cells[web::kStatusCell];
        report.state = web::SensorStateOf(sensor, pass.thermoOn);
        if (report.state == mqtt::SensorState::Ok || report.state == mqtt::SensorState::Alarm) {
            report.celsius = web::ValidReading(sensor);
        }
        pass.sensors.push_back(std::move(report));
    }
    mqtt::ReportPass(std::move(pass));
}

void OnPublisherTimer() {
    mqtt::ServicePublisher();
}

}  // namespace shell
