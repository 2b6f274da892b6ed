#pragma once
// Process-level services of the program's entry: where the executable lies,
// the working directory, termination signals and the final exit.
#include <string>

namespace platform {

// The folder of the running executable with links resolved; empty when unknown.
std::string ExecutableFolder();
// false when the folder cannot be entered.
bool SetWorkingDirectory(const std::string& folder);

// Catches the operating system's polite termination requests (SIGTERM,
// SIGINT) instead of dying at once. Call first in the entry; signals that
// arrive before anyone watches are kept. false when they cannot be caught.
bool InstallTerminationSignals();
// Readable descriptor that becomes ready when a termination signal arrived;
// -1 before InstallTerminationSignals.
int TerminationSignalDescriptor();
// Consumes the pending readiness; true when a signal had arrived.
bool TakeTerminationSignals();

// Ends the process with `code` at once, without running destructors or
// joining threads, so that a thread still running cannot crash the exit.
[[noreturn]] void ExitProcessNow(int code);

}  // namespace platform
