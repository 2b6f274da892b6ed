#pragma once
// What a sensor's row amounts to for those who are told of it: the state
// topic of the publisher and the alerts judge it the same way.
#include <cstdint>
#include <string_view>

#include "web/status_snapshot.h"

namespace web {

// Failing is the bus's own (no open port, no presence, a lost adapter),
// never one sensor's.
enum class SensorState : std::uint8_t { Ok, Alarm, Fault, Missing, Failing };

// "ok", "alarm", "fault", "missing" or "failing".
[[nodiscard]] std::string_view StateName(SensorState state);

// Missing while the list shows it "Не найден", a fault while it has no valid
// reading, an alarm outside the permitted range while thermo control is on.
[[nodiscard]] SensorState SensorStateOf(const SensorSnapshot& sensor, bool thermoControlOn);

}  // namespace web
