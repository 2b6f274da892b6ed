#pragma once
// Which changes of a sensor's state are told: a new state must hold for the
// configured delay before it is announced, once; a state that is left before
// then (one noisy read) is never announced. Pure, on a given clock.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace alerts {

enum class SensorState : std::uint8_t { Ok, Alarm, Fault, Missing };

[[nodiscard]] std::string_view StateName(SensorState state);

struct SensorSeen {
    std::string rom;  // the ROM code as the list shows it
    std::string name;
    SensorState state = SensorState::Ok;
    std::optional<double> celsius;
    std::string message;  // one Russian line, as the status bar would say it
};

struct Announcement {
    SensorSeen sensor;
    SensorState previous = SensorState::Ok;
};

struct TrackedSensor {
    SensorState announced = SensorState::Ok;  // every sensor starts as fine
    SensorState candidate = SensorState::Ok;
    std::uint64_t candidateSinceMs = 0;
};

struct AlertTracker {
    std::uint64_t delayMs = 60'000;
    std::map<std::string, TrackedSensor> sensors;  // by ROM code
};

// Compares what the list shows now with what was told; the announcements due.
// Sensors no longer listed are forgotten.
[[nodiscard]] std::vector<Announcement> TrackStates(AlertTracker& tracker,
                                                    const std::vector<SensorSeen>& seen,
                                                    std::uint64_t nowMs);

}  // namespace alerts
