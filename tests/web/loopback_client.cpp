#include "loopback_client.h"

#include <algorithm>
#include <array>
#include <span>

#include "platform/clock.h"
#include "platform/socket.h"
// The BSD calls a client needs beyond the server's (connect, a bind of its
// own), with the headers of whichever system builds the tests.
#include "platform/socket_native.h"
#include "web/status_server.h"

namespace webtest {
namespace {

namespace native = platform::native;

// Generous for slow sanitizer builds; only reached when something is wrong.
constexpr int kNapsBeforeGivingUp = 3000;  // of 1 ms each

// The test program prepares the socket layer once, as the program does at start-up.
const bool socketsReady = platform::PrepareSockets();

struct Address {
    sockaddr_storage storage{};
    native::AddressLength length = 0;
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

// Sockets are numbered small on every system, so an int carries them whole.
int numberOf(native::Socket socket) {
    return static_cast<int>(native::FromNative(socket).id);
}

platform::SocketHandle handleOf(int fd) {
    return platform::SocketHandle{fd};
}

int openSocket(bool ipv6) {
    return socketsReady ? numberOf(native::OpenStream(ipv6 ? AF_INET6 : AF_INET)) : -1;
}

bool bindTo(int fd, const Address& address) {
    return bind(native::ToNative(handleOf(fd)), reinterpret_cast<const sockaddr*>(&address.storage),
                address.length) == 0;
}

// One receive of up to `size` bytes without waiting.
platform::ReceiveResult receive(int fd, std::span<char> buffer, bool peek = false) {
    return platform::ReceiveFromSocket(
        handleOf(fd),
        std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(buffer.data()), buffer.size()),
        peek);
}

}  // namespace

int ConnectLoopback(bool ipv6, std::uint16_t port) {
    const int fd = openSocket(ipv6);
    if (fd < 0) return -1;
    const Address address = loopback(ipv6, port);
    // Connected while blocking, then non-blocking like the server's sockets:
    // every later wait is a bounded poll of this file's own.
    if (connect(native::ToNative(handleOf(fd)), reinterpret_cast<const sockaddr*>(&address.storage),
                address.length) != 0 ||
        !platform::MakeNonBlocking(handleOf(fd))) {
        CloseClient(fd);
        return -1;
    }
    return fd;
}

void CloseClient(int fd) {
    if (fd >= 0) platform::CloseSocket(handleOf(fd));
}

bool LoopbackAvailable(bool ipv6) {
    const int fd = openSocket(ipv6);
    if (fd < 0) return false;
    const bool bound = bindTo(fd, loopback(ipv6, 0));
    CloseClient(fd);
    return bound;
}

HeldPort HoldPort(bool ipv6) {
    const int fd = openSocket(ipv6);
    Address address = loopback(ipv6, 0);
    if (ipv6) {
        reinterpret_cast<sockaddr_in6*>(&address.storage)->sin6_addr = in6addr_any;
    } else {
        reinterpret_cast<sockaddr_in*>(&address.storage)->sin_addr.s_addr = htonl(INADDR_ANY);
    }
    const std::uint16_t port =
        fd >= 0 && bindTo(fd, address) && platform::ListenForConnections(handleOf(fd), 1)
            ? platform::BoundPort(handleOf(fd))
            : 0;
    if (port == 0) {
        CloseClient(fd);
        return HeldPort{-1, 0};
    }
    return HeldPort{fd, port};
}

void SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const std::int32_t sent = platform::SendToSocket(
            handleOf(fd), std::span<const std::uint8_t>(
                              reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        if (sent <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
}

std::string ReadBytes(int fd, std::size_t count) {
    std::string bytes;
    std::array<char, 4096> chunk{};
    for (int naps = 0; bytes.size() < count && naps < kNapsBeforeGivingUp;) {
        const std::size_t wanted = std::min(chunk.size(), count - bytes.size());
        const platform::ReceiveResult got = receive(fd, std::span(chunk.data(), wanted));
        if (got.count > 0) {
            bytes.append(chunk.data(), static_cast<std::size_t>(got.count));
            naps = 0;
        } else if (got.error == platform::SocketError::WouldBlock) {
            platform::SleepMs(1);
            ++naps;
        } else {
            break;
        }
    }
    return bytes;
}

std::string ReadWaiting(int fd) {
    std::string bytes;
    std::array<char, 4096> chunk{};
    for (;;) {
        const platform::ReceiveResult got = receive(fd, chunk);
        if (got.count <= 0) return bytes;
        bytes.append(chunk.data(), static_cast<std::size_t>(got.count));
    }
}

bool StillOpen(int fd) {
    char byte = 0;
    const platform::ReceiveResult got = receive(fd, std::span(&byte, 1), true);
    return got.count < 0 && got.error == platform::SocketError::WouldBlock;
}

bool ClosedByServer(int fd) {
    char byte = 0;
    for (int nap = 0; nap < kNapsBeforeGivingUp; ++nap) {
        const platform::ReceiveResult got = receive(fd, std::span(&byte, 1));
        if (got.count == 0 || got.error == platform::SocketError::ConnectionLost) return true;
        if (got.count > 0 || got.error != platform::SocketError::WouldBlock) return false;
        platform::SleepMs(1);
    }
    return false;
}

bool AwaitBytesAt(platform::SocketHandle socket) {
    std::array<std::uint8_t, 1> peeked{};
    for (int nap = 0; nap < kNapsBeforeGivingUp; ++nap) {
        if (platform::ReceiveFromSocket(socket, peeked, true).count > 0) return true;
        platform::SleepMs(1);
    }
    return false;
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
