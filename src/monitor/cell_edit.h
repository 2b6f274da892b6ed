#pragma once
// Assigning a working-row cell marks the cell and the pending rows as changed,
// so that the window redraws exactly what the monitor touched.
#include <string>
#include <string_view>

#include "monitor/mailbox.h"

namespace monitor {

inline void SetCellText(SensorCell& cell, std::string_view text, MonitorMailbox& pending) {
    cell.text.assign(text);
    cell.changed |= TextChanged;
    pending.changes |= RowsChanged;
}

inline void SetCellColor(SensorCell& cell, std::int32_t color, MonitorMailbox& pending) {
    cell.color = color;
    cell.changed |= ColorChanged;
    pending.changes |= RowsChanged;
}

}  // namespace monitor
