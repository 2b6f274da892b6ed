#pragma once
// A status snapshot and a day of history with the names a user could type to
// break escaping, faults, a sensor outside the permitted range, a repeated
// ROM code and a stretch in which the program was not running. Shared by the
// tests, the sample server and the metrics check.
#include <cstdint>

#include "web/status_snapshot.h"

namespace webtest {

// The snapshot at `now` (Unix seconds), "Термо контроль" on from 18 to 26 °C.
// With plainNames the sensors have the names a user would give them (for a
// screenshot) instead of hostile ones.
web::StatusSnapshot SampleSnapshot(std::int64_t now, bool plainNames = false);

// Fills the status feed's history with the day that ends at `now`: a reading
// a minute, every 10 s in the last hour; one sensor failing for two hours;
// nothing from any sensor for 90 minutes in the afternoon.
void RecordSampleHistory(std::int64_t now);

}  // namespace webtest
