#pragma once
// Keeps the list view, status bar field 0 and the status page in step with
// the window's sensor list. User-interface thread only.
#include <string_view>
#include <vector>

#include "monitor/sensor_table.h"
#include "web/status_page.h"

namespace shell {

enum class RefreshMode {
    Merge = 0,   // take the monitor's news over and merge them first
    Redraw = 1,  // only redraw
};

void RefreshSensorView(RefreshMode mode);

// One page row per record: the temperature when the status reads "OK" in any
// letter case, the status text otherwise.
std::vector<web::PageRow> PageRowsOf(const monitor::SensorList& sensors);

// ASCII letters compared without regard to case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace shell
