#include "shell/alert_feed.h"

#include "alerts/alert_runner.h"
#include "alerts/alert_tracker.h"
#include "monitor/thermometer.h"
#include "platform/clock.h"
#include "platform/window/window.h"
#include "shell/main_window.h"
#include "shell/reported_thermometers.h"
#include "shell/shell_state.h"

namespace shell {
namespace {

struct Alerts {
    bool running = false;
    alerts::AlertTracker tracker;
    alerts::AlertRunner runner;
    std::vector<alerts::SensorSeen> latest;
    alerts::BusSeen bus;
    std::string statusText;  // the monitor's latest, the bus failure's own words
    bool notify = false;     // "Notify" is on
    bool iconShown = false;  // and the desktop has a notification area
};

Alerts instance;

std::string messageOf(const web::SensorSnapshot& sensor, alerts::SensorState state) {
    const std::string& name = sensor.cells[web::kNameCell];
    const std::string& shown = sensor.cells[web::kTemperatureCell];
    switch (state) {
        case alerts::SensorState::Ok:
            return name + ": в норме, " + shown;
        case alerts::SensorState::Alarm:
            return name + ": вне допустимого диапазона, " + shown;
        case alerts::SensorState::Fault:
        case alerts::SensorState::Missing:
        case alerts::SensorState::Failing:
            break;
    }
    return name + ": " + sensor.cells[web::kStatusCell];
}

void announceDue() {
    for (const alerts::Announcement& announcement : alerts::TrackStates(
             instance.tracker, instance.bus, instance.latest, platform::ElapsedMs())) {
        alerts::QueueAnnouncement(instance.runner, announcement);
        if (instance.notify) platform::ShowNotification("Kelvarian", announcement.sensor.message);
    }
}

}  // namespace

void StartAlertsIfConfigured() {
    const persistence::AlertSettings& stored = State().alerts;
    if (stored.command.empty() && stored.notify == 0) return;
    instance = Alerts{};
    instance.tracker.delayMs = static_cast<std::uint64_t>(stored.delay) * 1000;
    instance.runner.command = stored.command;
    instance.running = platform::StartTimer(AlertTimer, AlertTimerPeriodMs, &OnAlertTimer);
    // Without a notification area the layer may still reach the desktop's
    // notification service, so notifications do not depend on the icon.
    instance.notify = instance.running && stored.notify != 0;
    if (instance.notify) instance.iconShown = platform::ShowNotificationIcon(true, "Kelvarian");
}

void NoteStatusText(const std::string& summary) {
    instance.statusText = summary;
    if (instance.iconShown) platform::ShowNotificationIcon(true, summary);
}

void StopAlerts() {
    if (instance.notify) platform::ShowNotificationIcon(false, "");
    instance.notify = instance.iconShown = false;
    // The last hand-overs of a stopping monitor are nobody's news.
    instance.running = false;
}

bool AlertsRunning() {
    return instance.running;
}

void FeedAlerts(const monitor::SensorList& sensors, const web::StatusSnapshot& snapshot) {
    if (!instance.running) return;
    const std::string busName(alerts::BusName);
    instance.bus.failing = State().monitorFigures.pass.busFailing;
    instance.bus.message =
        busName + ": " + (instance.bus.failing ? instance.statusText : "в норме");
    instance.latest.clear();
    for (const std::size_t row : ReportedThermometerRows(sensors, snapshot)) {
        const web::SensorSnapshot& sensor = snapshot.sensors[row];
        alerts::SensorSeen entry;
        entry.rom = sensor.rom;
        entry.name = sensor.cells[web::kNameCell];
        entry.state = web::SensorStateOf(sensor, snapshot.thermo.on);
        if (entry.state == alerts::SensorState::Ok || entry.state == alerts::SensorState::Alarm) {
            entry.celsius = web::ValidReading(sensor);
        }
        entry.message = messageOf(sensor, entry.state);
        entry.read = sensor.cells[web::kStatusCell] != monitor::NotReadYetText;
        instance.latest.push_back(std::move(entry));
    }
    announceDue();
    alerts::ServiceRunner(instance.runner);
}

void OnAlertTimer() {
    // The timer outlives StopAlerts until the window goes.
    if (!instance.running) return;
    announceDue();
    alerts::ServiceRunner(instance.runner);
}

}  // namespace shell
