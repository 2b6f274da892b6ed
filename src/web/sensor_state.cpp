#include "web/sensor_state.h"

namespace web {

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
        case SensorState::Failing:
            return "failing";
    }
    return "fault";
}

SensorState SensorStateOf(const SensorSnapshot& sensor, bool thermoControlOn) {
    if (!sensor.present) return SensorState::Missing;
    if (!ValidReading(sensor)) return SensorState::Fault;
    return thermoControlOn && !sensor.withinLimits ? SensorState::Alarm : SensorState::Ok;
}

}  // namespace web
