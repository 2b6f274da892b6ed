#pragma once
// The shell's own state: the window's sensor list and the values that only
// the user-interface thread reads and writes.
#include <cstdint>

#include "monitor/mailbox.h"
#include "monitor/sensor_table.h"

namespace shell {

struct ShellState {
    // The authoritative sensor table: its order and names are what the
    // settings file stores.
    monitor::SensorList sensors;
    // Status server settings, read from the settings file at start-up only
    // and written back unchanged by every save.
    bool serverEnabled = false;
    std::uint16_t serverPort = 80;
    bool serverIPv6 = false;
    // Row where the list's own drag started; -1 when none is pending.
    int dragSourceRow = -1;
    // What the monitor's last hand-over carried besides rows and status text,
    // for the status server; and the poll pass the history last took.
    monitor::MonitorFigures monitorFigures;
    std::uint64_t historyPass = 0;
    // Re-entrancy guards: an event dispatched while a handler runs may call
    // the same handler again.
    bool portChangeRunning = false;
    bool refreshRunning = false;
};

// The one instance of the process.
ShellState& State();
// Back to the initial values (start-up, and between tests).
void ResetState();

}  // namespace shell
