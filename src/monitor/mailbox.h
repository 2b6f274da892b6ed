#pragma once
// Hand-over of the monitor's rows and status text to the window.
#include <cstdint>
#include <mutex>
#include <string>

#include "monitor/sensor_table.h"

namespace monitor {

// Bits of MonitorMailbox::changes.
inline constexpr std::uint8_t RowsChanged = 1;
inline constexpr std::uint8_t StatusChanged = 2;

struct MonitorMailbox {
    std::mutex lock;  // guards the fields below in the shared instance only
    SensorList rows;
    std::string statusText;
    std::uint8_t changes = 0;
};

// The one shared mailbox: written by the monitor thread inside PublishUpdate,
// taken over by the user-interface thread; both only while copying.
MonitorMailbox& SharedMailbox();

// Monitor side: copies what `pending` marks as changed into the shared mailbox
// (adding to its change bits), posts SensorsUpdated, clears pending.changes.
// Does nothing when pending.changes is 0.
void PublishUpdate(MonitorMailbox& pending);

// Window side: copies the shared mailbox's news into `copy` and clears the
// shared change bits. copy.changes tells what was taken.
void TakeOverMailbox(MonitorMailbox& copy);

// Window side: merges the monitor's rows into the window list by ROM code.
// New devices are appended as "Новый"; records without a row become "Не найден".
void MergeRows(SensorList& windowList, SensorList rows);

}  // namespace monitor
