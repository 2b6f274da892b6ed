#include "alerts/alert_tracker.h"

#include <set>

namespace alerts {
namespace {

// true when `state` has held long enough to be told; it is then the told one.
bool settle(TrackedSensor& tracked, SensorState state, std::uint64_t nowMs, std::uint64_t delayMs) {
    if (state == tracked.announced) {
        tracked.candidate = tracked.announced;
        return false;
    }
    if (state != tracked.candidate) {
        tracked.candidate = state;
        tracked.candidateSinceMs = nowMs;
    }
    if (nowMs - tracked.candidateSinceMs < delayMs) return false;
    tracked.announced = state;
    return true;
}

}  // namespace

std::vector<Announcement> TrackStates(AlertTracker& tracker, const BusSeen& bus,
                                      const std::vector<SensorSeen>& seen, std::uint64_t nowMs) {
    std::vector<Announcement> due;
    const SensorState busState = bus.failing ? SensorState::Failing : SensorState::Ok;
    const SensorState busBefore = tracker.bus.announced;
    if (settle(tracker.bus, busState, nowMs, tracker.delayMs)) {
        due.push_back(
            {SensorSeen{"", std::string(BusName), busState, std::nullopt, bus.message}, busBefore});
    }
    if (bus.failing) {
        // What the sensors showed as the bus went down is the failure's doing:
        // once it works again, a change of theirs holds a whole delay anew.
        for (auto& [rom, tracked] : tracker.sensors) tracked.candidate = tracked.announced;
        return due;
    }
    std::set<std::string> listed;
    for (const SensorSeen& sensor : seen) {
        listed.insert(sensor.rom);
        TrackedSensor& tracked = tracker.sensors[sensor.rom];
        if (!sensor.read) continue;
        const SensorState before = tracked.announced;
        if (settle(tracked, sensor.state, nowMs, tracker.delayMs)) due.push_back({sensor, before});
    }
    for (auto it = tracker.sensors.begin(); it != tracker.sensors.end();) {
        it = listed.count(it->first) != 0 ? std::next(it) : tracker.sensors.erase(it);
    }
    return due;
}

}  // namespace alerts
