#include "flood_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <string>
#include <string_view>

#include "http_framing.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view Request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
constexpr std::size_t ReadChunk = 16384;
// A run never opens more than this, whatever rate and length it is given.
constexpr long MostConnections = 200000;
// The loop wakes at least this often: the flood's pace at 1000 a second.
constexpr int MaxWaitMs = 1;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// A non-blocking connect under way; -1 when it failed at once.
int startConnect(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        close(fd);
        return -1;
    }
    return fd;
}

// Closed with a reset, so that the flood leaves no TIME_WAIT behind and
// thousands of connections a run do not use up the local ports.
void resetConnection(int fd) {
    const linger abort{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(fd);
}

struct Ask {
    int fd = -1;
    bool sent = false;
    Clock::time_point start;
    std::string received;
};

struct Flood {
    const FloodOptions* options = nullptr;
    FloodResult result;
    std::deque<int> held;
    Ask ask;
    Clock::time_point nextAsk;
};

void endAsk(Flood& run, Clock::time_point now, bool answered, int status) {
    if (run.ask.fd >= 0) close(run.ask.fd);
    const double age =
        std::min(msBetween(run.ask.start, now), static_cast<double>(run.options->answerLimitMs));
    run.result.latenciesMs.push_back(answered ? msBetween(run.ask.start, now) : age);
    if (answered) {
        ++run.result.answered;
        if (status == 200) ++run.result.ok;
    } else {
        ++run.result.unanswered;
    }
    run.ask = Ask{};
}

void startAsk(Flood& run, Clock::time_point now) {
    ++run.result.asks;
    run.ask = Ask{};
    run.ask.start = now;
    run.ask.fd = startConnect(run.options->port);
    if (run.ask.fd < 0) endAsk(run, now, false, 0);
}

// One look at the asking client's connection, waiting at most `waitMs`.
void serviceAsk(Flood& run, int waitMs) {
    pollfd watched{run.ask.fd, static_cast<short>(run.ask.sent ? POLLIN : POLLOUT), 0};
    const int ready = poll(&watched, 1, waitMs);
    const Clock::time_point now = Clock::now();
    if (ready > 0 && !run.ask.sent) {
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(run.ask.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0 ||
            send(run.ask.fd, Request.data(), Request.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(Request.size())) {
            endAsk(run, now, false, 0);
            return;
        }
        run.ask.sent = true;
    } else if (ready > 0) {
        char chunk[ReadChunk];
        const ssize_t got = recv(run.ask.fd, chunk, sizeof chunk, 0);
        if (got <= 0 && !(got < 0 && (errno == EAGAIN || errno == EINTR))) {
            endAsk(run, now, false, 0);
            return;
        }
        if (got > 0) run.ask.received.append(chunk, static_cast<std::size_t>(got));
        const ResponseFrame frame = FrameResponse(run.ask.received);
        if (frame.state == FrameState::Complete) {
            endAsk(run, now, true, frame.status);
            return;
        }
        if (frame.state == FrameState::Malformed) {
            endAsk(run, now, false, 0);
            return;
        }
    }
    if (msBetween(run.ask.start, now) >= run.options->answerLimitMs) endAsk(run, now, false, 0);
}

// Opens every flood connection that is due by now.
void floodUntil(Flood& run, Clock::time_point start, Clock::time_point now, long total) {
    const double perMs = run.options->connectionsPerSecond / 1000.0;
    const auto due = std::min(total, static_cast<long>(msBetween(start, now) * perMs) + 1);
    while (run.result.opened < due) {
        ++run.result.opened;
        const int fd = startConnect(run.options->port);
        if (fd < 0) {
            ++run.result.connectFailures;
            continue;
        }
        run.held.push_back(fd);
        if (static_cast<int>(run.held.size()) > run.options->holdOpen) {
            resetConnection(run.held.front());
            run.held.pop_front();
        }
    }
}

}  // namespace

FloodResult RunFlood(const FloodOptions& options) {
    Flood run;
    run.options = &options;
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(options.seconds));
    const long total = std::min(MostConnections,
                                static_cast<long>(options.seconds * options.connectionsPerSecond));
    // The first ask waits until the flood is under way.
    run.nextAsk = start + std::chrono::milliseconds(std::min(options.askEveryMs, 500));
    for (Clock::time_point now = start; now < end; now = Clock::now()) {
        floodUntil(run, start, now, total);
        if (run.ask.fd < 0 && now >= run.nextAsk) {
            startAsk(run, now);
            run.nextAsk += std::chrono::milliseconds(options.askEveryMs);
        }
        if (run.ask.fd >= 0) {
            serviceAsk(run, MaxWaitMs);
        } else {
            poll(nullptr, 0, MaxWaitMs);
        }
    }
    if (run.ask.fd >= 0) endAsk(run, Clock::now(), false, 0);
    for (const int fd : run.held) resetConnection(fd);
    run.result.seconds = msBetween(start, Clock::now()) / 1000;
    return run.result;
}

}  // namespace bench
