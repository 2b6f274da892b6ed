#pragma once
// The shell's side of MQTT: starts the publisher when the settings name a
// broker and hands it the window's list after every change of it.
#include "monitor/sensor_table.h"
#include "web/status_snapshot.h"

namespace shell {

// Starts the publisher and its timer when "MQTT" names a host.
void StartPublisherIfConfigured();
// The thermometers of the list (the first record of each code) with their
// states, after a pass, a rename or a removal.
void FeedPublisher(const monitor::SensorList& sensors, const web::StatusSnapshot& snapshot);
// Bound to the publisher's timer.
void OnPublisherTimer();

}  // namespace shell
