#include "web/status_snapshot.h"

#include <cmath>

namespace web {

std::optional<double> ValidReading(const SensorSnapshot& sensor) {
    if (sensor.cells[kStatusCell] != "OK" || sensor.cells[kTemperatureCell].empty()) {
        return std::nullopt;
    }
    if (!sensor.celsius || !std::isfinite(*sensor.celsius)) return std::nullopt;
    return sensor.celsius;
}

}  // namespace web
