#pragma once
// Hands the status server what it answers /status.json, /metrics and the
// history with: the window's sensor list joined with the figures the monitor's
// hand-over carried besides the rows; the MQTT publisher and the alerts get
// the same. User-interface thread only, and only while one of them is
// configured.
#include "monitor/mailbox.h"

namespace shell {

// Rebuilds the server's snapshot from the window list (its order and names)
// and the monitor's last figures; `news`, when given, replaces those figures
// first. A new poll pass among them also adds one history point per
// thermometer of the list, at the time of the pass. The publisher, when it
// runs, is fed too; the server's part is left out when it is not configured. The publisher, when it
// runs, is fed first; the server's part is skipped when it is not configured.
void FeedStatusServer(const monitor::MonitorFigures* news);

// Fills the history from the last day of the log when logging is on. Runs
// before the monitor thread starts: once it runs, it alone opens the log.
void SeedHistoryFromLog();

}  // namespace shell
