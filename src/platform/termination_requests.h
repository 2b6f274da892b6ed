#pragma once
// Private to src/platform: where each system's process file reports a caught
// termination request (POSIX from its signal watcher thread, Windows from its
// console-control handler). The keeping and handing on of requests is the same
// for every system and lives in termination_requests.cpp.
namespace platform {

// Any thread except a signal handler; hands the request to the notifier of
// SetTerminationNotifier, or keeps it until one is set.
void ReportTerminationRequest();

}  // namespace platform
