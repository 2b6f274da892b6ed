#pragma once
// The readings of the last 24 hours per thermometer in bounded memory: every
// reading of the last hour, then one minimum/mean/maximum point a minute.
// Driven only by the times it is given, never by a clock of its own.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace web {

inline constexpr std::int64_t kHistorySeconds = 24 * 3600;
inline constexpr std::int64_t kFullResolutionSeconds = 3600;
// An hour of readings at one a second with room to spare; readings that come
// faster are folded into minutes earlier, so memory stays bounded.
inline constexpr std::size_t kMaxRecentSamples = 4096;
inline constexpr std::size_t kMaxMinutes = 24 * 60;
// More thermometers than one bus sensibly carries; beyond it the one silent
// longest makes room.
inline constexpr std::size_t kMaxHistorySeries = 256;

struct HistorySample {
    std::int64_t unixSeconds;
    float celsius;  // NaN: no valid reading at that time
};

// The readings of one minute. A minute with faults but no valid reading has
// valid 0 and NaN values.
struct HistoryMinute {
    std::int64_t minuteStart;  // Unix seconds, a multiple of 60
    float min;
    float mean;
    float max;
    std::uint16_t valid;   // valid readings folded in (saturates)
    std::uint16_t faults;  // readings without a valid value (saturates)
};

struct HistorySeries {
    std::deque<HistoryMinute> minutes;  // older than the last hour, oldest first
    std::deque<HistorySample> recent;   // the last hour, oldest first
};

struct HistoryStore {
    std::map<std::string, HistorySeries, std::less<>> series;  // by ROM code text
    std::int64_t newest = 0;  // the latest time given; 0 before the first reading
};

// Adds one reading of `rom` at `unixSeconds`; no value means the sensor had no
// valid reading then (the chart shows a gap). Readings should come in time
// order: one older than what the series holds means the clock was set back,
// and the series forgets what now lies in its future.
void AddReading(HistoryStore& store, std::string_view rom, std::int64_t unixSeconds,
                std::optional<double> celsius);

// The time of the series' latest entry; 0 when it is empty.
[[nodiscard]] std::int64_t NewestTime(const HistorySeries& series);

}  // namespace web
