#pragma once
// The current state in the Prometheus text exposition format 0.0.4.
#include <string>

#include "web/status_snapshot.h"

namespace web {

// HELP and TYPE lines, then per sensor (first row of each ROM code only, so no
// series appears twice): kelvarian_temperature_celsius{rom,name} for a valid
// reading, kelvarian_sensor_up{rom,name}; per counted ROM
// kelvarian_reads_total{rom} and kelvarian_read_errors_total{rom,kind} with
// kind crc, no_answer and exchange_error; kelvarian_bus_devices,
// kelvarian_poll_passes_total, kelvarian_poll_pass_seconds. Label values are
// escaped and invalid UTF-8 in them replaced, since one bad label makes
// Prometheus reject the whole scrape.
[[nodiscard]] std::string BuildMetrics(const StatusSnapshot& snapshot);

}  // namespace web
