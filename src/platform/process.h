#pragma once
// Process-level services of the program's entry: where the executable lies,
// the working directory, the operating system's polite termination requests
// and the final exit. No descriptor or handle crosses this header: a
// termination request reaches the window layer as a call of its notifier.
#include <string>

namespace platform {

// The folder of the running executable with links resolved; empty when unknown.
std::string ExecutableFolder();
// false when the folder cannot be entered.
bool SetWorkingDirectory(const std::string& folder);

// Catches the operating system's polite termination requests (SIGTERM, SIGINT
// and SIGHUP on POSIX, where SIGPIPE is also ignored) instead of dying at once.
// Call first in the entry; requests that arrive before anyone watches are
// kept. false when they cannot be caught.
bool InstallTerminationSignals();

// Called once per termination request, from a thread of the process layer
// (never from a signal handler) or from SetTerminationNotifier's caller. It
// must be quick, safe from any thread, and must not call
// SetTerminationNotifier.
using TerminationNotifier = void (*)();
// Makes `notifier` the one that hears termination requests; nullptr stops
// hearing them (requests are then kept again). A request kept while nobody
// listened is reported to `notifier` before this returns. When this returns,
// no call of the previous notifier is still running.
void SetTerminationNotifier(TerminationNotifier notifier);

// Ends the process with `code` at once, without running destructors or
// joining threads, so that a thread still running cannot crash the exit.
[[noreturn]] void ExitProcessNow(int code);

}  // namespace platform
