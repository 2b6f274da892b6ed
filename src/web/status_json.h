#pragma once
// The current state as JSON, for scripts and home automation.
#include <string>

#include "web/status_snapshot.h"

namespace web {

// One object: "sensors" (list order; each with rom, name, type, connection,
// temperature in °C or null without a valid reading, the six cell texts as
// shown, present, inRange or null without a valid reading), "summary" (the
// devices, faulty and alarms counts), "port" (null when none), "lastPoll"
// (ISO 8601 with offset, null before the first pass). Any name is escaped;
// invalid UTF-8 becomes U+FFFD.
[[nodiscard]] std::string BuildStatusJson(const StatusSnapshot& snapshot);

}  // namespace web
