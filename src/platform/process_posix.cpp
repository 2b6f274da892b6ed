#include "platform/process.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "platform/termination_requests.h"

namespace platform {
namespace {

// The signals that ask the program to end politely; each is turned into one
// termination request. SIGHUP comes when the terminal or ssh session that
// started the program closes: by default it would kill the program without
// the save at shutdown.
constexpr int TerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Self-pipe: a signal handler may only do async-signal-safe work, so it
// writes one byte; a watcher thread reads it and reports the request.
int signalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a pending request; losing this byte is fine.
    [[maybe_unused]] ssize_t written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

// Blocks on the pipe for the life of the process. Signals that come together
// may be read at once and make one request; one is all a request needs.
void WatchSignalPipe() {
    char buffer[64];
    for (;;) {
        const ssize_t count = read(signalPipe[0], buffer, sizeof buffer);
        if (count > 0) {
            ReportTerminationRequest();
        } else if (count == 0 || errno != EINTR) {
            return;
        }
    }
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
    // The handler must never block on a full pipe; the watcher blocks on the
    // read end on purpose.
    if (pipe2(signalPipe, O_CLOEXEC) != 0) {
        signalPipe[0] = signalPipe[1] = -1;
        return false;
    }
    if (fcntl(signalPipe[1], F_SETFL, fcntl(signalPipe[1], F_GETFL) | O_NONBLOCK) != 0) {
        close(signalPipe[0]);
        close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
        return false;
    }
    // The handlers first: a request made while the process starts must not
    // kill it, and the pipe keeps it until the watcher runs.
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool caught = true;
    for (const int signalNumber : TerminationSignals) {
        caught = sigaction(signalNumber, &action, nullptr) == 0 && caught;
    }
    // A write to a peer that went away (a browser closing its connection, a
    // closed terminal on standard error) must fail with EPIPE, not kill.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    caught = sigaction(SIGPIPE, &ignore, nullptr) == 0 && caught;
    std::thread(WatchSignalPipe).detach();
    return caught;
}

void ExitProcessNow(int code) {
    std::fflush(nullptr);
    _exit(code);
}

}  // namespace platform
