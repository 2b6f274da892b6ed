#include "shell/sensor_view.h"

#include <utility>

#include "monitor/mailbox.h"
#include "platform/window/window.h"
#include "shell/main_window.h"
#include "shell/shell_state.h"
#include "shell/status_feed.h"

namespace shell {
namespace {

// Writes only the texts that differ and the colours a merge marked, and
// rebuilds the rows only when their number changed.
void RedrawList(const monitor::SensorList& sensors) {
    const int rows = static_cast<int>(sensors.size());
    if (platform::ListRowCount(SensorView) != rows) platform::ResetListRows(SensorView, rows);
    for (int row = 0; row < rows; ++row) {
        const monitor::SensorRecord& record = sensors[static_cast<std::size_t>(row)];
        for (int column = 0; column < monitor::ColumnCount; ++column) {
            const monitor::SensorCell& cell = record.cells[static_cast<std::size_t>(column)];
            if (platform::ListCellText(SensorView, row, column) != cell.text) {
                platform::SetListCellText(SensorView, row, column, cell.text);
            }
            if (cell.changed & monitor::ColorChanged) {
                platform::SetListCellColor(SensorView, row, column, cell.color);
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
    if (copy.changes & monitor::StatusChanged) platform::SetStatusText(0, copy.statusText);
    if (state.serverEnabled && (mode == RefreshMode::Redraw || copy.changes != 0)) {
        FeedStatusServer(mode == RefreshMode::Merge ? &copy.figures : nullptr);
    }
    state.refreshRunning = false;
}

}  // namespace shell
