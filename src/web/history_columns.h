#pragma once
// A day of one sensor's history reduced to a fixed number of time columns,
// so that a chart or a download carries about a thousand points per sensor
// whatever the poll interval.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "web/history.h"
#include "web/status_snapshot.h"

namespace web {

// 90 s per column over 24 hours.
inline constexpr std::size_t kChartColumns = 960;

struct HistoryGrid {
    std::int64_t from = 0;  // start of column 0, Unix seconds
    std::int64_t step = 0;  // seconds per column
    std::size_t count = 0;
};

// The day that ends at `now`, in kChartColumns columns.
[[nodiscard]] HistoryGrid DayGrid(std::int64_t now);

struct HistoryColumn {
    float min = 0;  // of the valid readings; meaningless while valid is 0
    float mean = 0;
    float max = 0;
    std::uint32_t valid = 0;   // valid readings in the column
    std::uint32_t faults = 0;  // readings without a valid value
};

// The series' readings that fall in the grid, column by column.
[[nodiscard]] std::vector<HistoryColumn> ColumnsOf(const HistorySeries& series,
                                                   const HistoryGrid& grid);

// The longest stretch without readings that a chart line still bridges: the
// sensor's usual spacing of readings times 2.5, and never less than three
// columns. Longer silences (the program was not running) show as gaps.
[[nodiscard]] std::int64_t JoinLimitSeconds(const HistorySeries& series, const HistoryGrid& grid);

// A series to draw and the name to draw it under.
struct NamedSeries {
    std::string rom;
    std::string name;  // the user's name from the list; the ROM text when it has none
    const HistorySeries* series;
};

// Every series of the store: first those of the list's sensors in list order,
// then those of sensors no longer listed, by ROM text. Valid until the store
// changes.
[[nodiscard]] std::vector<NamedSeries> SeriesInListOrder(const HistoryStore& store,
                                                         const StatusSnapshot& snapshot);

}  // namespace web
