#pragma once
// The history of the last 24 hours as an HTML page with an inline SVG chart
// and as JSON. Both are complete in themselves: no script, no style sheet, no
// font or image from elsewhere, so they work on a LAN without internet.
#include <cstdint>
#include <string>

#include "web/history.h"
#include "web/status_snapshot.h"

namespace web {

// One line per sensor under its name from `snapshot` (list order), with a
// legend, the permitted range as a band while "Термо контроль" is on, gaps
// where a sensor had no valid reading or was silent, and time and °C axes;
// the day that ends at `now`, at most kChartColumns points per line. UTF-8.
[[nodiscard]] std::string BuildHistoryPage(const HistoryStore& store,
                                           const StatusSnapshot& snapshot, std::int64_t now);

// The same columns as the page draws: per sensor its ROM, name and points
// [time, min, mean, max] (Unix seconds of the column's start, °C); a column
// with only failed readings is [time, null, null, null].
[[nodiscard]] std::string BuildHistoryJson(const HistoryStore& store,
                                           const StatusSnapshot& snapshot, std::int64_t now);

}  // namespace web
