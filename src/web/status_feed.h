#pragma once
// What /status.json, /metrics, /history and /history.json answer with: the
// shell's latest snapshot and the history of readings, both set on the
// user-interface thread (which also serves them, so no lock is needed).
//
// Each answer is built on the first request after the data it rests on has
// changed and kept until the next change: a poll pass changes them at most
// about once a second, while requests can come a hundred times a second and
// often nobody asks at all. Building per change would spend the history
// chart's work on every pass unwatched; building per request would repeat it
// for every client.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "web/history.h"
#include "web/status_snapshot.h"

namespace web {

// Replaces the snapshot (call whenever the sensor list is redrawn, like
// BuildStatusPage).
void SetStatusSnapshot(StatusSnapshot snapshot);

// Adds one reading to the history: once per sensor and poll pass, with the
// time of the pass; no value when the sensor had no valid reading. Also how
// the history is seeded from the log at start-up (readings oldest first).
void RecordHistoryReading(std::string_view rom, std::int64_t unixSeconds,
                          std::optional<double> celsius);

// The answers' bodies as they stand now. The references stay valid until the
// next SetStatusSnapshot, RecordHistoryReading or ForgetStatusFeed.
[[nodiscard]] const std::string& StatusJsonBody();
[[nodiscard]] const std::string& MetricsBody();
[[nodiscard]] const std::string& HistoryPageBody();
[[nodiscard]] const std::string& HistoryJsonBody();

// The history as it stands, for measurements.
[[nodiscard]] const HistoryStore& CurrentHistory();

// Back to an empty snapshot and history, as at start-up. For tests.
void ForgetStatusFeed();

}  // namespace web
