#include "load_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <random>
#include <string>
#include <string_view>

#include "http_framing.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view Request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
// Responses are read in chunks of this size; the page is a few KiB.
constexpr std::size_t ReadChunk = 16384;
// The longest epoll wait, so that the window's end is seen in time.
constexpr int MaxWaitMs = 20;

enum class Phase { Connecting, Idle, Waiting };

struct Client {
    int fd = -1;
    Phase phase = Phase::Idle;
    Clock::time_point nextSend;
    Clock::time_point sentAt;
    std::string received;
    long responsesOnConnection = 0;
    long completedInWindow = 0;
};

struct Run {
    const LoadOptions* options = nullptr;
    int epoll = -1;
    std::vector<Client> clients;
    Clock::time_point windowStart;
    Clock::time_point windowEnd;
    LoadResult result;
    std::mt19937 random;
};

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void closeClient(Run& run, Client& client) {
    if (client.fd < 0) return;
    epoll_ctl(run.epoll, EPOLL_CTL_DEL, client.fd, nullptr);
    close(client.fd);
    client.fd = -1;
}

// Starts a non-blocking connect; the client is Connecting until the socket is
// writable. A connect that fails at once is retried on the next turn.
void openConnection(Run& run, Client& client, std::size_t index) {
    client.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (client.fd < 0) {
        ++run.result.connectFailures;
        return;
    }
    const int one = 1;
    setsockopt(client.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(run.options->port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int rc = connect(client.fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (rc != 0 && errno != EINPROGRESS) {
        ++run.result.connectFailures;
        close(client.fd);
        client.fd = -1;
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT;
    event.data.u64 = index;
    epoll_ctl(run.epoll, EPOLL_CTL_ADD, client.fd, &event);
    client.phase = Phase::Connecting;
    client.received.clear();
    client.responsesOnConnection = 0;
}

void reconnect(Run& run, Client& client, std::size_t index) {
    closeClient(run, client);
    ++run.result.reconnects;
    openConnection(run, client, index);
}

void connectionReady(Run& run, Client& client, std::size_t index, Clock::time_point now) {
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(client.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
        ++run.result.connectFailures;
        reconnect(run, client, index);
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = index;
    epoll_ctl(run.epoll, EPOLL_CTL_MOD, client.fd, &event);
    client.phase = Phase::Idle;
    // The first connection keeps its spread start; a reconnect asks at once.
    client.nextSend = std::max(client.nextSend, now);
}

void sendRequest(Run& run, Client& client, std::size_t index, Clock::time_point now) {
    const ssize_t sent = send(client.fd, Request.data(), Request.size(), MSG_NOSIGNAL);
    if (sent != static_cast<ssize_t>(Request.size())) {
        ++run.result.sendFailures;
        reconnect(run, client, index);
        return;
    }
    client.phase = Phase::Waiting;
    client.sentAt = now;
}

void responseDone(Run& run, Client& client, std::size_t index, const ResponseFrame& frame,
                  Clock::time_point now) {
    client.received.erase(0, frame.length);
    if (now >= run.windowStart && now < run.windowEnd) {
        ++run.result.completed;
        ++client.completedInWindow;
        if (frame.status == 200) ++run.result.ok;
        if (client.sentAt >= run.windowStart) {
            run.result.latenciesMs.push_back(msBetween(client.sentAt, now));
        }
    }
    // The server answers one request with one response; anything beyond it
    // would be a response to a request never sent.
    if (!client.received.empty()) ++run.result.protocolErrors;
    ++client.responsesOnConnection;
    const int every = run.options->reconnectEvery;
    if (every > 0 && client.responsesOnConnection >= every) {
        reconnect(run, client, index);
        return;
    }
    client.phase = Phase::Idle;
    client.nextSend = now + std::chrono::milliseconds(run.options->pauseMs);
}

void readable(Run& run, Client& client, std::size_t index, Clock::time_point now) {
    char chunk[ReadChunk];
    const ssize_t got = recv(client.fd, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (got <= 0) {
        ++run.result.closedByServer;
        reconnect(run, client, index);
        return;
    }
    client.received.append(chunk, static_cast<std::size_t>(got));
    if (client.phase != Phase::Waiting) {
        ++run.result.protocolErrors;
        client.received.clear();
        return;
    }
    const ResponseFrame frame = FrameResponse(client.received);
    if (frame.state == FrameState::Complete) {
        responseDone(run, client, index, frame, now);
    } else if (frame.state == FrameState::Malformed) {
        ++run.result.protocolErrors;
        reconnect(run, client, index);
    }
}

void handleEvent(Run& run, const epoll_event& event, Clock::time_point now) {
    const auto index = static_cast<std::size_t>(event.data.u64);
    Client& client = run.clients[index];
    if (client.fd < 0) return;
    if (client.phase == Phase::Connecting) {
        if ((event.events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) != 0) {
            connectionReady(run, client, index, now);
        }
        return;
    }
    if ((event.events & (EPOLLIN | EPOLLERR | EPOLLHUP)) != 0) readable(run, client, index, now);
}

// Sends what is due and returns how long the loop may sleep.
int sendDue(Run& run, Clock::time_point now) {
    Clock::time_point next = now + std::chrono::milliseconds(MaxWaitMs);
    for (std::size_t i = 0; i < run.clients.size(); ++i) {
        Client& client = run.clients[i];
        if (client.fd < 0) {
            openConnection(run, client, i);
            continue;
        }
        if (client.phase != Phase::Idle) continue;
        if (client.nextSend <= now) {
            sendRequest(run, client, i, now);
        } else {
            next = std::min(next, client.nextSend);
        }
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, MaxWaitMs));
}

void finish(Run& run) {
    const Clock::time_point end = run.windowEnd;
    for (Client& client : run.clients) {
        if (client.completedInWindow == 0) ++run.result.starvedClients;
        if (client.fd >= 0 && client.phase != Phase::Connecting) ++run.result.connected;
        // A request the server has not answered since the warm-up counts too:
        // a client starved for the whole run is the worst latency there is.
        if (client.fd >= 0 && client.phase == Phase::Waiting) {
            ++run.result.unanswered;
            run.result.latenciesMs.push_back(msBetween(client.sentAt, end));
        }
        closeClient(run, client);
    }
    run.result.windowSeconds = std::chrono::duration<double>(run.windowEnd - run.windowStart).count();
}

}  // namespace

LoadResult RunLoad(const LoadOptions& options) {
    Run run;
    run.options = &options;
    run.epoll = epoll_create1(EPOLL_CLOEXEC);
    run.random.seed(options.seed);
    run.clients.resize(static_cast<std::size_t>(std::max(options.clients, 1)));
    const Clock::time_point start = Clock::now();
    run.windowStart = start + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(options.warmupSeconds));
    run.windowEnd = run.windowStart + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(options.seconds));
    // Browsers that reload every few seconds are not in step: the first
    // requests spread over one pause.
    std::uniform_int_distribution<int> offset(0, std::max(options.pauseMs - 1, 0));
    for (std::size_t i = 0; i < run.clients.size(); ++i) {
        openConnection(run, run.clients[i], i);
        run.clients[i].nextSend = start + std::chrono::milliseconds(offset(run.random));
    }
    std::vector<epoll_event> events(run.clients.size());
    for (;;) {
        Clock::time_point now = Clock::now();
        if (now >= run.windowEnd) break;
        const int waitMs = sendDue(run, now);
        const int count = epoll_wait(run.epoll, events.data(), static_cast<int>(events.size()),
                                     waitMs);
        now = Clock::now();
        for (int i = 0; i < count; ++i) handleEvent(run, events[static_cast<std::size_t>(i)], now);
    }
    finish(run);
    close(run.epoll);
    return run.result;
}

}  // namespace bench
