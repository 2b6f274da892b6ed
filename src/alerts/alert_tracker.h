#pragma once
// Which changes of a sensor's state are told: a new state must hold for the
// configured delay before it is announced, once; a state that is left before
// then (one noisy read) is never announced. The bus as a whole is tracked the
// same way. Pure, on a given clock.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/sensor_state.h"

namespace alerts {

using web::SensorState;

using web::StateName;

struct SensorSeen {
    std::string rom;  // the ROM code as the list shows it
    std::string name;
    SensorState state = SensorState::Ok;
    std::optional<double> celsius;
    std::string message;  // one Russian line, as the status bar would say it
    // false: identified and not read yet (at the start, after a search), so
    // its state says nothing; it keeps what was told of it.
    bool read = true;
};

// The bus's announcements name it so, with no ROM code.
inline constexpr std::string_view BusName = "1-Wire";

struct BusSeen {
    bool failing = false;
    std::string message;  // what to tell if this state is announced
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
    TrackedSensor bus;
};

// Compares what the list shows now with what was told; the announcements due.
// Sensors no longer listed are forgotten. While the bus fails every sensor
// shows its failure: the bus alone is told (one message, not one per sensor)
// and the sensors are left as they were, to be judged again once it works.
[[nodiscard]] std::vector<Announcement> TrackStates(AlertTracker& tracker, const BusSeen& bus,
                                                    const std::vector<SensorSeen>& seen,
                                                    std::uint64_t nowMs);
// On a bus that works.
[[nodiscard]] inline std::vector<Announcement> TrackStates(AlertTracker& tracker,
                                                           const std::vector<SensorSeen>& seen,
                                                           std::uint64_t nowMs) {
    return TrackStates(tracker, BusSeen{}, seen, nowMs);
}

}  // namespace alerts
