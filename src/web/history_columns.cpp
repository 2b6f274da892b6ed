#include "web/history_columns.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace web {
namespace {

// Adds `count` readings with these extremes and mean to a column.
void merge(HistoryColumn& column, float min, float mean, float max, std::uint32_t count) {
    if (count == 0) return;
    if (column.valid == 0) {
        column.min = min;
        column.max = max;
        column.mean = mean;
    } else {
        column.min = std::min(column.min, min);
        column.max = std::max(column.max, max);
        const auto total = static_cast<float>(column.valid + count);
        column.mean += (mean - column.mean) * static_cast<float>(count) / total;
    }
    column.valid += count;
}

// The column of `unixSeconds`, or count when it lies outside the grid.
std::size_t columnOf(const HistoryGrid& grid, std::int64_t unixSeconds) {
    if (unixSeconds < grid.from || grid.step <= 0) return grid.count;
    const auto index = static_cast<std::size_t>((unixSeconds - grid.from) / grid.step);
    // The grid's last instant belongs to its last column.
    if (index == grid.count &&
        unixSeconds == grid.from + grid.step * static_cast<std::int64_t>(grid.count)) {
        return grid.count - 1;
    }
    return index;
}

}  // namespace

HistoryGrid DayGrid(std::int64_t now) {
    const std::int64_t step = kHistorySeconds / static_cast<std::int64_t>(kChartColumns);
    return HistoryGrid{now - step * static_cast<std::int64_t>(kChartColumns), step, kChartColumns};
}

std::vector<HistoryColumn> ColumnsOf(const HistorySeries& series, const HistoryGrid& grid) {
    std::vector<HistoryColumn> columns(grid.count);
    for (const HistoryMinute& minute : series.minutes) {
        const std::size_t index = columnOf(grid, minute.minuteStart);
        if (index >= grid.count) continue;
        merge(columns[index], minute.min, minute.mean, minute.max, minute.valid);
        columns[index].faults += minute.faults;
    }
    for (const HistorySample& sample : series.recent) {
        const std::size_t index = columnOf(grid, sample.unixSeconds);
        if (index >= grid.count) continue;
        if (std::isnan(sample.celsius)) {
            ++columns[index].faults;
        } else {
            merge(columns[index], sample.celsius, sample.celsius, sample.celsius, 1);
        }
    }
    return columns;
}

std::int64_t JoinLimitSeconds(const HistorySeries& series, const HistoryGrid& grid) {
    std::vector<std::int64_t> spacings;
    std::int64_t previous = 0;
    const auto note = [&](std::int64_t unixSeconds) {
        if (previous != 0 && unixSeconds > previous) spacings.push_back(unixSeconds - previous);
        previous = unixSeconds;
    };
    for (const HistoryMinute& minute : series.minutes) note(minute.minuteStart);
    for (const HistorySample& sample : series.recent) note(sample.unixSeconds);
    const std::int64_t least = 3 * grid.step;
    if (spacings.empty()) return least;
    const auto middle = spacings.begin() + static_cast<std::ptrdiff_t>(spacings.size() / 2);
    std::nth_element(spacings.begin(), middle, spacings.end());
    return std::max(least, *middle * 5 / 2);
}

std::vector<NamedSeries> SeriesInListOrder(const HistoryStore& store,
                                           const StatusSnapshot& snapshot) {
    std::vector<NamedSeries> named;
    std::set<std::string_view> listed;
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        const auto found = store.series.find(sensor.rom);
        // A second row with the same ROM code never gets readings of its own.
        if (found == store.series.end() || !listed.insert(sensor.rom).second) continue;
        const std::string& name = sensor.cells[kNameCell];
        named.push_back(NamedSeries{sensor.rom, name.empty() ? sensor.rom : name, &found->second});
    }
    for (const auto& [rom, series] : store.series) {
        if (!listed.contains(rom)) named.push_back(NamedSeries{rom, rom, &series});
    }
    return named;
}

}  // namespace web
