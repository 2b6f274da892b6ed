// The status server's sockets, the same on every system; the few calls that
// differ come from socket_native.h's shims.
#include <algorithm>
#include <limits>

#include "platform/socket.h"
#include "platform/socket_native.h"

namespace platform {
namespace {

using native::FromNative;
using native::ToNative;

int domainOf(AddressFamily family) {
    return family == AddressFamily::IPv6 ? AF_INET6 : AF_INET;
}

bool setIntOption(native::Socket socket, int level, int name, int value) {
    // Winsock takes the value as char bytes, POSIX as void: the cast suits both.
    return setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value) ==
           0;
}

// A receive or send never asks for more than an int32 can report.
int clampedLength(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

bool PrepareSockets() {
    return native::Startup();
}

SocketHandle OpenStreamSocket(AddressFamily family) {
    return FromNative(native::OpenStream(domainOf(family)));
}

bool MakeNonBlocking(SocketHandle socket) {
    return native::SetNonBlocking(ToNative(socket));
}

bool BindToWildcard(SocketHandle socket, AddressFamily family, std::uint16_t port) {
    const native::Socket fd = ToNative(socket);
    if (!native::GuardPort(fd)) return false;
    if (family == AddressFamily::IPv6) {
        // Linux makes IPv6 sockets dual-stack by default, and a system setting
        // could do so elsewhere; IPv4 clients must be refused.
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
    return listen(ToNative(socket), backlog) == 0;
}

std::uint16_t BoundPort(SocketHandle socket) {
    sockaddr_storage address{};
    native::AddressLength length = sizeof address;
    if (getsockname(ToNative(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    }
    if (address.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    }
    return 0;
}

SocketHandle AcceptPending(SocketHandle listener) {
    const native::Socket accepted = accept(ToNative(listener), nullptr, nullptr);
    if (!FromNative(accepted).valid()) return SocketHandle{};
    // A blocking socket would stall the user-interface thread on its first receive.
    if (!native::PrepareAccepted(accepted)) {
        native::Close(accepted);
        return SocketHandle{};
    }
    return FromNative(accepted);
}

ReceiveResult ReceiveFromSocket(SocketHandle socket, std::span<std::uint8_t> buffer, bool peek) {
    const auto count = recv(ToNative(socket), reinterpret_cast<char*>(buffer.data()),
                            clampedLength(buffer.size()), native::ReceiveFlags(peek));
    if (count < 0) return ReceiveResult{-1, native::LastError()};
    return ReceiveResult{static_cast<std::int32_t>(count), SocketError::None};
}

std::int32_t SendToSocket(SocketHandle socket, std::span<const std::uint8_t> bytes) {
    const auto count = send(ToNative(socket), reinterpret_cast<const char*>(bytes.data()),
                            clampedLength(bytes.size()), native::SendFlags());
    return count < 0 ? -1 : static_cast<std::int32_t>(count);
}

SocketError LastSendError() {
    return native::LastError();
}

bool SetNoDelay(SocketHandle socket) {
    return setIntOption(ToNative(socket), IPPROTO_TCP, TCP_NODELAY, 1);
}

ConnectProgress StartConnect(SocketHandle socket, const PeerAddress& peer) {
    sockaddr_storage address{};
    native::AddressLength length = 0;
    if (peer.family == AddressFamily::IPv6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        std::copy(peer.ip.begin(), peer.ip.end(), reinterpret_cast<std::uint8_t*>(&v6->sin6_addr));
        v6->sin6_port = htons(peer.port);
        length = sizeof(sockaddr_in6);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        std::copy(peer.ip.begin(), peer.ip.begin() + 4,
                  reinterpret_cast<std::uint8_t*>(&v4->sin_addr));
        v4->sin_port = htons(peer.port);
        length = sizeof(sockaddr_in);
    }
    if (connect(ToNative(socket), reinterpret_cast<const sockaddr*>(&address), length) == 0) {
        return ConnectProgress::Connected;
    }
    return native::ConnectGoesOn() ? ConnectProgress::Pending : ConnectProgress::Failed;
}

ConnectProgress CheckConnect(SocketHandle socket) {
    const int ready = native::PollWritable(ToNative(socket));
    if (ready == 0) return ConnectProgress::Pending;
    if (ready < 0) return ConnectProgress::Failed;
    int error = 0;
    native::AddressLength length = sizeof error;
    if (getsockopt(ToNative(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                   &length) != 0 ||
        error != 0) {
        return ConnectProgress::Failed;
    }
    return ConnectProgress::Connected;
}

void CloseSocket(SocketHandle socket) {
    if (socket.valid()) native::Close(ToNative(socket));
}

}  // namespace platform
