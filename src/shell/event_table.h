#pragma once
// What each window event does, and the handlers bound to the port list, the
// monitor's SensorsUpdated event and the server timer.
#include "platform/window/window.h"

namespace shell {

// Runs the action of one event; false when the event loop is to end (the
// window was closed or "Выход" chosen).
bool HandleEvent(const platform::Event& event);

// Bound to the port list's selection: hands the new name to the monitor,
// then requests the port change, then saves.
void OnPortChanged();
// Bound to SensorsUpdated: merges the monitor's news.
void OnSensorsUpdated();
// Bound to the server timer: answers waiting requests, then accepts.
void OnServerTimer();

}  // namespace shell
