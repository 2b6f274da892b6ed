#include "shell/sensor_view.h"

#include <array>
#include <cstdint>
#include <limits>
#include <utility>

#include "monitor/mailbox.h"
#include "mqtt/publisher.h"
#include "platform/window/window.h"
#include "shell/alert_feed.h"
#include "shell/main_window.h"
#include "shell/shell_state.h"
#include "shell/status_feed.h"

namespace shell {
namespace {

using CellColors = std::array<std::int32_t, monitor::ColumnCount>;

CellColors MakeCellColors(std::int32_t color) {
    CellColors colors{};
    colors.fill(color);
    return colors;
}

// No cell ever shows it (colours are 0x00BBGGRR or -1), so a cell holding it
// is always set.
constexpr std::int32_t UnknownColor = std::numeric_limits<std::int32_t>::min();

// Rebuilds the rows only when their number changed. Colours follow the
// records, not the marks of the last merge: a colour set once (a bad ROM CRC
// at identification) must move with its sensor when the rows move and come
// back when they are rebuilt. Texts and colours are written only where they
// differ from what the list shows.
void RedrawList(const monitor::SensorList& sensors) {
    const int rows = static_cast<int>(sensors.size());
    std::vector<CellColors>& shown = State().shownColors;
    if (platform::ListRowCount(SensorView) != rows) {
        platform::ResetListRows(SensorView, rows);
        shown.assign(sensors.size(), MakeCellColors(monitor::DefaultColor));
    } else if (shown.size() != sensors.size()) {
        shown.assign(sensors.size(), MakeCellColors(UnknownColor));
    }
    for (int row = 0; row < rows; ++row) {
        const monitor::SensorRecord& record = sensors[static_cast<std::size_t>(row)];
        CellColors& rowColors = shown[static_cast<std::size_t>(row)];
        for (int column = 0; column < monitor::ColumnCount; ++column) {
            const monitor::SensorCell& cell = record.cells[static_cast<std::size_t>(column)];
            if (platform::ListCellText(SensorView, row, column) != cell.text) {
                platform::SetListCellText(SensorView, row, column, cell.text);
            }
            std::int32_t& color = rowColors[static_cast<std::size_t>(column)];
            if (color != cell.color) {
                platform::SetListCellColor(SensorView, row, column, cell.color);
                color = cell.color;
            }
        }
    }
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

std::vector<web::PageRow> PageRowsOf(const monitor::SensorList& sensors) {
    std::vector<web::PageRow> rows;
    rows.reserve(sensors.size());
    for (const monitor::SensorRecord& record : sensors) {
        const std::string& status = record.cells[monitor::Status].text;
        rows.push_back(
            {record.cells[monitor::Name].text,
             EqualsIgnoringCase(status, "ok") ? record.cells[monitor::Temperature].text : status});
    }
    return rows;
}

void RefreshSensorView(RefreshMode mode) {
    ShellState& state = State();
    if (state.refreshRunning) return;
    state.refreshRunning = true;
    monitor::MonitorMailbox copy;
    if (mode == RefreshMode::Merge) monitor::TakeOverMailbox(copy);
    if ((copy.changes & monitor::RowsChanged) || mode == RefreshMode::Redraw) {
        if (mode == RefreshMode::Merge) monitor::MergeRows(state.sensors, std::move(copy.rows));
        RedrawList(state.sensors);
        // The configured switch, not whether the server started.
        if (state.serverEnabled) web::BuildStatusPage(PageRowsOf(state.sensors));
    }
    if (copy.changes & monitor::StatusChanged) {
        platform::SetStatusText(0, copy.statusText);
        NoteStatusText(copy.statusText);
    }
    const bool fed = state.serverEnabled || mqtt::PublisherRunning() || AlertsRunning();
    if (fed && (mode == RefreshMode::Redraw || copy.changes != 0)) {
        FeedStatusServer(mode == RefreshMode::Merge ? &copy.figures : nullptr);
    }
    state.refreshRunning = false;
}

}  // namespace shell
