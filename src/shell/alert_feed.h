#pragma once
// The shell's side of alerts: the states of the window's thermometers after
// each change of the list, the delay, and the user's command run for every
// change that held.
#include <string>

#include "monitor/sensor_table.h"
#include "web/status_snapshot.h"

namespace shell {

// Starts tracking, and the timer that runs the commands, when "Alerts" names
// a command or turns notifications on; with "Notify" the notification-area
// icon is shown, and each announcement is also a desktop notification.
void StartAlertsIfConfigured();
// The monitor's status text: the icon's tooltip while it is shown, and the
// words of a bus failure's announcement.
void NoteStatusText(const std::string& summary);
// Takes the icon away at the end; nothing more is tracked or told.
void StopAlerts();
[[nodiscard]] bool AlertsRunning();
void FeedAlerts(const monitor::SensorList& sensors, const web::StatusSnapshot& snapshot);
// Bound to the alerts' timer: announcements whose delay ran out, commands
// that ended, commands whose turn came.
void OnAlertTimer();

}  // namespace shell
