#pragma once
// Hands the status server what it answers /status.json, /metrics and the
// history with: the window's sensor list joined with the figures the monitor's
// hand-over carried besides the rows. User-interface thread only, and only
// while the server is configured (like the page).
#include "monitor/mailbox.h"

namespace shell {

// Rebuilds the server's snapshot from the window list (its order and names)
// and the monitor's last figures; `news`, when given, replaces those figures
// first. A new poll pass among them also adds one history point per
// thermometer of the list, at the time of the pass.
void FeedStatusServer(const monitor::MonitorFigures* news);

// Fills the history from the last day of the log when logging is on. Runs
// before the monitor thread starts: once it runs, it alone opens the log.
void SeedHistoryFromLog();

}  // namespace shell
