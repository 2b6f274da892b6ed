#include "loopback_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include <algorithm>
#include <array>

#include "platform/clock.h"
#include "web/status_server.h"

namespace webtest {
namespace {

// Generous for slow sanitizer builds; only reached when something is wrong.
constexpr int kPatienceMs = 3000;
constexpr int kNapsBeforeGivingUp = 3000;  // of 1 ms each

struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

Address loopback(bool ipv6, std::uint16_t port) {
    Address address;
    if (ipv6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_addr = in6addr_loopback;
        in6->sin6_port = htons(port);
        address.length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&address.storage);
        in4->sin_family = AF_INET;
        in4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        in4->sin_port = htons(port);
        address.length = sizeof(sockaddr_in);
    }
    return address;
}

}  // namespace

int ConnectLoopback(bool ipv6, std::uint16_t port) {
    const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const Address address = loopback(ipv6, port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void CloseClient(int fd) {
    if (fd >= 0) close(fd);
}

bool LoopbackAvailable(bool ipv6) {
    const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const Address address = loopback(ipv6, 0);
    const bool bound =
        bind(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0;
    close(fd);
    return bound;
}

HeldPort HoldPort(bool ipv6) {
    const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    Address address = loopback(ipv6, 0);
    if (ipv6) {
        reinterpret_cast<sockaddr_in6*>(&address.storage)->sin6_addr = in6addr_any;
    } else {
        reinterpret_cast<sockaddr_in*>(&address.storage)->sin_addr.s_addr = htonl(INADDR_ANY);
    }
    if (fd < 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0 ||
        listen(fd, 1) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address.storage), &address.length) != 0) {
        CloseClient(fd);
        return HeldPort{-1, 0};
    }
    const std::uint16_t port =
        ipv6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&address.storage)->sin6_port)
             : ntohs(reinterpret_cast<sockaddr_in*>(&address.storage)->sin_port);
    return HeldPort{fd, port};
}

void SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
}

std::string ReadBytes(int fd, std::size_t count) {
    std::string bytes;
    std::array<char, 4096> chunk{};
    while (bytes.size() < count) {
        pollfd waiting{fd, POLLIN, 0};
        if (poll(&waiting, 1, kPatienceMs) <= 0) break;
        const ssize_t got = recv(fd, chunk.data(), std::min(chunk.size(), count - bytes.size()), 0);
        if (got <= 0) break;
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return bytes;
}

std::string ReadWaiting(int fd) {
    std::string bytes;
    std::array<char, 4096> chunk{};
    for (;;) {
        const ssize_t got = recv(fd, chunk.data(), chunk.size(), MSG_DONTWAIT);
        if (got <= 0) return bytes;
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

bool StillOpen(int fd) {
    char byte = 0;
    return recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK) < 0 &&
           (errno == EAGAIN || errno == EWOULDBLOCK);
}

bool ClosedByServer(int fd) {
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, kPatienceMs) <= 0) return false;
    char byte = 0;
    const ssize_t got = recv(fd, &byte, 1, MSG_DONTWAIT);
    return got == 0 || (got < 0 && errno == ECONNRESET);
}

web::ServerEvent AwaitServerEvent() {
    for (int nap = 0; nap < kNapsBeforeGivingUp; ++nap) {
        const web::ServerEvent event = web::PollServerEvent();
        if (event.kind != web::ServerEventKind::None) return event;
        platform::SleepMs(1);
    }
    return web::ServerEvent{};
}

int ServeWaitingEvents() {
    constexpr int kMostEvents = 100000;  // a server that never settles fails the test, not hangs
    int handled = 0;
    for (web::ServerEventKind kind = AwaitServerEvent().kind;
         kind != web::ServerEventKind::None && handled < kMostEvents;
         kind = web::PollServerEvent().kind) {
        // A poll that finds data leaves it in the socket; the timer routine
        // finds it again and answers it.
        if (kind == web::ServerEventKind::DataArrived) web::ServiceStatusServer();
        ++handled;
    }
    return handled;
}

std::string ExpectedResponse(std::string_view status, std::string_view contentType,
                             std::string_view body) {
    return "HTTP/1.1 " + std::string(status) +
           "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nContent-Type: " + std::string(contentType) + "\r\n\r\n" + std::string(body);
}

}  // namespace webtest
