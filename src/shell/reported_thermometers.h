#pragma once
// The rows that the alerts and the MQTT publisher speak of, chosen in one
// place so that both always tell of the same sensors.
#include <cstddef>
#include <vector>

#include "monitor/sensor_table.h"
#include "web/status_snapshot.h"

namespace shell {

// The snapshot's rows that are thermometers the monitor has reported on, each
// code once (a second record of one code is never merged: the first speaks).
std::vector<std::size_t> ReportedThermometerRows(const monitor::SensorList& sensors,
                                                 const web::StatusSnapshot& snapshot);

}  // namespace shell
