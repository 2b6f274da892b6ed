#pragma once
// The program's course: start-up in its fixed order, the event loop, and the
// shutdown. User-interface thread only.
namespace shell {

// The whole program. Ends the process with exit code 0 after the shutdown;
// returns (with a nonzero code) only when no window can be shown or another
// instance runs on the same settings folder.
int RunProgram();

// Initial values of the shared state: option word 0, no requests, empty list.
void ResetSharedState();
// Builds the window, loads the settings, starts the status server when they
// enable it (with the history read back from the log), draws the list, drops
// the events that filling the controls queued, binds the port-change and
// SensorsUpdated handlers, and seeds the monitor's settings. false when the
// window cannot be built.
[[nodiscard]] bool StartWindow();
// Shows "Сервер работает (...)" or "Не удалось запустить сервер (...)" in
// status field 1; the timer that services the server runs only after a start.
void StartStatusServerIfEnabled();
// Runs until the window is closed, "Выход" is chosen or a termination
// signal arrives.
void RunEventLoop();
// Stops the monitor, hides the window, saves the settings and lets go of the
// port; everything before the process exit.
void StopProgram();

}  // namespace shell
