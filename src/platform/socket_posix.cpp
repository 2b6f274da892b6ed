#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include <algorithm>
#include <limits>

namespace platform {
namespace {

int fdOf(SocketHandle socket) {
    return static_cast<int>(socket.id);
}

SocketHandle handleOf(int fd) {
    return SocketHandle{fd};
}

int domainOf(AddressFamily family) {
    return family == AddressFamily::IPv6 ? AF_INET6 : AF_INET;
}

bool setIntOption(int fd, int level, int name, int value) {
    return setsockopt(fd, level, name, &value, sizeof value) == 0;
}

SocketError classify(int error) {
    switch (error) {
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EINTR:
            return SocketError::WouldBlock;
        case ECONNABORTED:
        case ECONNRESET:
        case ENOTCONN:
        case ESHUTDOWN:
            return SocketError::ConnectionLost;
        default:
            return SocketError::Other;
    }
}

// A receive or send never asks for more than an int32 can report.
std::size_t clampedLength(std::size_t size) {
    return std::min<std::size_t>(size, std::numeric_limits<std::int32_t>::max());
}

}  // namespace

bool PrepareSockets() {
    return true;
}

SocketHandle OpenStreamSocket(AddressFamily family) {
    return handleOf(socket(domainOf(family), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
}

bool MakeNonBlocking(SocketHandle socket) {
    const int flags = fcntl(fdOf(socket), F_GETFL, 0);
    return flags >= 0 && fcntl(fdOf(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

bool BindToWildcard(SocketHandle socket, AddressFamily family, std::uint16_t port) {
    const int fd = fdOf(socket);
    // SO_REUSEADDR lets a restarted program take its port back while old
    // connections linger in TIME_WAIT; a port held by a live listener still
    // fails. SO_REUSEPORT is left off for exactly that reason.
    if (!setIntOption(fd, SOL_SOCKET, SO_REUSEADDR, 1)) return false;
    if (family == AddressFamily::IPv6) {
        // Linux defaults to dual-stack sockets; IPv4 clients must be refused.
        if (!setIntOption(fd, IPPROTO_IPV6, IPV6_V6ONLY, 1)) return false;
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_any;
        address.sin6_port = htons(port);
        return bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    return bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool ListenForConnections(SocketHandle socket, std::int32_t backlog) {
    return listen(fdOf(socket), backlog) == 0;
}

std::uint16_t BoundPort(SocketHandle socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(fdOf(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    }
    if (address.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    }
    return 0;
}

SocketHandle AcceptPending(SocketHandle listener) {
    const int fd = accept(fdOf(listener), nullptr, nullptr);
    if (fd < 0) return SocketHandle{};
    // Accepted sockets do not inherit O_NONBLOCK on Linux; a blocking one
    // would stall the user-interface thread on its first receive.
    if (!MakeNonBlocking(handleOf(fd)) || fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
        close(fd);
        return SocketHandle{};
    }
    return handleOf(fd);
}

bool SetNoDelay(SocketHandle socket) {
    return setIntOption(fdOf(socket), IPPROTO_TCP, TCP_NODELAY, 1);
}

ReceiveResult ReceiveFromSocket(SocketHandle socket, std::span<std::uint8_t> buffer, bool peek) {
    const int flags = MSG_DONTWAIT | (peek ? MSG_PEEK : 0);
    const ssize_t count = recv(fdOf(socket), buffer.data(), clampedLength(buffer.size()), flags);
    if (count < 0) return ReceiveResult{-1, classify(errno)};
    return ReceiveResult{static_cast<std::int32_t>(count), SocketError::None};
}

std::int32_t SendToSocket(SocketHandle socket, std::span<const std::uint8_t> bytes) {
    // MSG_NOSIGNAL: a browser that went away must not end the process by SIGPIPE.
    const ssize_t count =
        send(fdOf(socket), bytes.data(), clampedLength(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    return count < 0 ? -1 : static_cast<std::int32_t>(count);
}

void CloseSocket(SocketHandle socket) {
    if (socket.valid()) close(fdOf(socket));
}

}  // namespace platform
