#pragma once
// Hand-over of the monitor's rows and status text to the window.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "monitor/bus_device.h"
#include "monitor/sensor_table.h"

namespace monitor {

// Bits of MonitorMailbox::changes.
inline constexpr std::uint8_t RowsChanged = 1;
inline constexpr std::uint8_t StatusChanged = 2;

// What the rows' texts do not carry, for the status server: one entry per
// device the monitor polls, in its order.
struct DeviceFigures {
    RomCode rom{};
    bool hasReading = false;  // a valid reading since the device list was built
    float celsius = 0.0f;     // the last one
    std::int64_t readingUnix = 0;
    bool withinLimits = true;
    ReadCounts counts{};  // since start, kept across searches that find it again
};

struct PassFigures {
    std::uint64_t passes = 0;       // poll passes since start
    std::int64_t lastPassUnix = 0;  // end of the last pass; 0 before the first
    std::uint64_t lastPassMs = 0;   // how long its reads took
    // The counts of the status summary; while a bus failure shows on every
    // row, all devices count as faulty and none as outside the range.
    int deviceCount = 0;
    int faultyCount = 0;
    int alarmCount = 0;
    // No open port, or the rows show a bus failure (no presence, a lost
    // adapter): the bus as a whole fails, whatever each row says.
    bool busFailing = false;
};

struct MonitorFigures {
    std::vector<DeviceFigures> devices;
    PassFigures pass;
};

struct MonitorMailbox {
    std::mutex lock;  // guards the fields below in the shared instance only
    SensorList rows;
    std::string statusText;
    std::uint8_t changes = 0;
    // Handed over with every publication, whatever `changes` says; the
    // change bits keep meaning rows and status text only.
    MonitorFigures figures;
};

// The one shared mailbox: written by the monitor thread inside PublishUpdate,
// taken over by the user-interface thread; both only while copying.
MonitorMailbox& SharedMailbox();

// Monitor side: copies what `pending` marks as changed, and its figures, into
// the shared mailbox (adding to its change bits), posts SensorsUpdated, clears
// pending.changes. Does nothing when pending.changes is 0.
void PublishUpdate(MonitorMailbox& pending);

// Window side: copies the shared mailbox's news (and, with any, its figures)
// into `copy` and clears the shared change bits. copy.changes tells what was
// taken.
void TakeOverMailbox(MonitorMailbox& copy);

// Window side: merges the monitor's rows into the window list by ROM code.
// New devices are appended as "Новый"; records without a row become "Не найден".
void MergeRows(SensorList& windowList, SensorList rows);

}  // namespace monitor
