#include "platform/window/process.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

// Self-pipe: the signal handler may only do async-signal-safe work, so it
// writes one byte; the user-interface thread watches the read end.
int signalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a pending request; losing this byte is fine.
    [[maybe_unused]] ssize_t written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

std::string ExecutableFolder() {
    char resolved[PATH_MAX];
    if (realpath("/proc/self/exe", resolved) == nullptr) return {};
    std::string path(resolved);
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool SetWorkingDirectory(const std::string& folder) {
    return !folder.empty() && chdir(folder.c_str()) == 0;
}

bool InstallTerminationSignals() {
    if (signalPipe[0] >= 0) return true;
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        signalPipe[0] = signalPipe[1] = -1;
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

int TerminationSignalDescriptor() {
    return signalPipe[0];
}

bool TakeTerminationSignals() {
    if (signalPipe[0] < 0) return false;
    bool any = false;
    char buffer[64];
    while (read(signalPipe[0], buffer, sizeof buffer) > 0) any = true;
    return any;
}

void ExitProcessNow(int code) {
    std::fflush(nullptr);
    _exit(code);
}

}  // namespace platform
