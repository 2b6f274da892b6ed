#include "alerts/alert_tracker.h"

#include <set>

namespace alerts {

std::string_view StateName(SensorState state) {
    switch (state) {
        case SensorState::Ok:
            return "ok";
        case SensorState::Alarm:
            return "alarm";
        case SensorState::Fault:
            return "fault";
        case SensorState::Missing:
            return "missing";
    }
    return "fault";
}

std::vector<Announcement> TrackStates(AlertTracker& tracker, const std::vector<SensorSeen>& seen,
                                      std::uint64_t nowMs) {
    std::vector<Announcement> due;
    std::set<std::string> listed;
    for (const SensorSeen& sensor : seen) {
        listed.insert(sensor.rom);
        TrackedSensor& tracked = tracker.sensors[sensor.rom];
        if (sensor.state == tracked.announced) {
            tracked.candidate = tracked.announced;
            continue;
        }
        if (sensor.state != tracked.candidate) {
            tracked.candidate = sensor.state;
            tracked.candidateSinceMs = nowMs;
        }
        if (nowMs - tracked.candidateSinceMs < tracker.delayMs) continue;
        due.push_back({sensor, tracked.announced});
        tracked.announced = sensor.state;
    }
    for (auto it = tracker.sensors.begin(); it != tracker.sensors.end();) {
        it = listed.count(it->first) != 0 ? std::next(it) : tracker.sensors.erase(it);
    }
    return due;
}

}  // namespace alerts
