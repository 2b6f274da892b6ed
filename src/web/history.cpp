#include "web/history.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace web {
namespace {

constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();
constexpr std::uint16_t kMostCount = std::numeric_limits<std::uint16_t>::max();

std::int64_t minuteOf(std::int64_t unixSeconds) {
    const std::int64_t minute = unixSeconds / 60 - (unixSeconds % 60 < 0 ? 1 : 0);
    return minute * 60;
}

void fold(HistorySeries& series, const HistorySample& sample) {
    const std::int64_t minute = minuteOf(sample.unixSeconds);
    if (series.minutes.empty() || series.minutes.back().minuteStart < minute) {
        series.minutes.push_back(HistoryMinute{minute, kNoValue, kNoValue, kNoValue, 0, 0});
    }
    HistoryMinute& into = series.minutes.back();
    if (std::isnan(sample.celsius)) {
        if (into.faults < kMostCount) ++into.faults;
        return;
    }
    if (into.valid == 0) {
        into.min = into.mean = into.max = sample.celsius;
    } else {
        into.min = std::min(into.min, sample.celsius);
        into.max = std::max(into.max, sample.celsius);
        into.mean += (sample.celsius - into.mean) / static_cast<float>(into.valid + 1);
    }
    if (into.valid < kMostCount) ++into.valid;
}

// Folds what left the last hour into minutes and forgets what left the day.
void age(HistorySeries& series, std::int64_t now) {
    while (!series.recent.empty() &&
           (series.recent.front().unixSeconds <= now - kFullResolutionSeconds ||
            series.recent.size() > kMaxRecentSamples)) {
        fold(series, series.recent.front());
        series.recent.pop_front();
    }
    while (!series.minutes.empty() && (series.minutes.front().minuteStart < now - kHistorySeconds ||
                                       series.minutes.size() > kMaxMinutes)) {
        series.minutes.pop_front();
    }
}

void forgetAfter(HistorySeries& series, std::int64_t unixSeconds) {
    while (!series.recent.empty() && series.recent.back().unixSeconds > unixSeconds) {
        series.recent.pop_back();
    }
    while (!series.minutes.empty() && series.minutes.back().minuteStart > unixSeconds) {
        series.minutes.pop_back();
    }
}

// Once a minute every series ages, also those of sensors that went silent,
// and a series with nothing left is dropped.
void ageAll(HistoryStore& store, std::int64_t now) {
    for (auto entry = store.series.begin(); entry != store.series.end();) {
        age(entry->second, now);
        if (entry->second.recent.empty() && entry->second.minutes.empty()) {
            entry = store.series.erase(entry);
        } else {
            ++entry;
        }
    }
}

HistorySeries& seriesFor(HistoryStore& store, std::string_view rom) {
    if (const auto found = store.series.find(rom); found != store.series.end()) {
        return found->second;
    }
    if (store.series.size() >= kMaxHistorySeries) {
        const auto silentLongest = std::min_element(
            store.series.begin(), store.series.end(), [](const auto& a, const auto& b) {
                return NewestTime(a.second) < NewestTime(b.second);
            });
        store.series.erase(silentLongest);
    }
    return store.series.emplace(std::string(rom), HistorySeries{}).first->second;
}

}  // namespace

std::int64_t NewestTime(const HistorySeries& series) {
    if (!series.recent.empty()) return series.recent.back().unixSeconds;
    if (!series.minutes.empty()) return series.minutes.back().minuteStart;
    return 0;
}

void AddReading(HistoryStore& store, std::string_view rom, std::int64_t unixSeconds,
                std::optional<double> celsius) {
    if (minuteOf(unixSeconds) != minuteOf(store.newest)) ageAll(store, unixSeconds);
    store.newest = unixSeconds;

    HistorySeries& series = seriesFor(store, rom);
    if (NewestTime(series) > unixSeconds) forgetAfter(series, unixSeconds);
    // A float holds any temperature; a value beyond its range is no reading.
    const bool valid = celsius.has_value() && std::isfinite(*celsius) && std::fabs(*celsius) < 1e30;
    series.recent.push_back(
        HistorySample{unixSeconds, valid ? static_cast<float>(*celsius) : kNoValue});
    age(series, unixSeconds);
}

}  // namespace web
