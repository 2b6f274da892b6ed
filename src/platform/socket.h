#pragma once
// TCP stream sockets for the status server: create, bind to the wildcard
// address, listen, accept, receive, send, close. Every operation returns at
// once; none of them ever waits for the network.
#include <array>
#include <cstdint>
#include <span>

namespace platform {

enum class AddressFamily : std::uint8_t { IPv4, IPv6 };

// An open socket as the operating system numbers it; `id` is negative when
// there is none. Copies name the same socket: close it once.
struct SocketHandle {
    std::intptr_t id = -1;

    [[nodiscard]] bool valid() const { return id >= 0; }
};

// How a receive ended when it brought no bytes.
enum class SocketError : std::uint8_t {
    None,            // bytes arrived, or the peer closed in order (count 0)
    WouldBlock,      // nothing is waiting now
    ConnectionLost,  // aborted, reset, not connected or shut down
    Other,
};

struct ReceiveResult {
    std::int32_t count;  // bytes received; 0 when the peer closed; -1 on error
    SocketError error;
};

// One-time preparation of the socket layer, before the first socket; false
// when sockets cannot be used at all.
[[nodiscard]] bool PrepareSockets();

// A TCP stream socket of `family`; invalid on failure.
[[nodiscard]] SocketHandle OpenStreamSocket(AddressFamily family);
// false when the socket cannot be switched to non-blocking mode.
[[nodiscard]] bool MakeNonBlocking(SocketHandle socket);
// Binds to the wildcard address of `family` and `port` (0 picks a free port).
// An IPv6 socket is bound to IPv6 only, never to mapped IPv4 addresses. false
// when the port is in use by a live socket or not allowed.
[[nodiscard]] bool BindToWildcard(SocketHandle socket, AddressFamily family, std::uint16_t port);
[[nodiscard]] bool ListenForConnections(SocketHandle socket, std::int32_t backlog);
// The local port the socket is bound to; 0 when unknown.
[[nodiscard]] std::uint16_t BoundPort(SocketHandle socket);

// One pending connection, already non-blocking; invalid when none is waiting
// or it could not be set up.
[[nodiscard]] SocketHandle AcceptPending(SocketHandle listener);

// Turns off Nagle's algorithm: an answer's last small piece then leaves at
// once instead of waiting for the client's delayed acknowledgement. false
// when the option cannot be set (the socket still works, only slower).
[[nodiscard]] bool SetNoDelay(SocketHandle socket);

// One receive into `buffer` without waiting. With `peek` the bytes stay in the
// socket.
[[nodiscard]] ReceiveResult ReceiveFromSocket(SocketHandle socket, std::span<std::uint8_t> buffer,
                                              bool peek);

// One send without waiting and without a signal when the peer is gone; the
// count sent (possibly fewer than asked), -1 on error.
std::int32_t SendToSocket(SocketHandle socket, std::span<const std::uint8_t> bytes);
// Why the last failed send of this thread failed.
[[nodiscard]] SocketError LastSendError();

// An address to connect to: IPv4 in the first 4 bytes of `ip`, or IPv6.
struct PeerAddress {
    AddressFamily family = AddressFamily::IPv4;
    std::array<std::uint8_t, 16> ip{};
    std::uint16_t port = 0;
};

enum class ConnectProgress : std::uint8_t { Connected, Pending, Failed };

// Starts connecting a non-blocking socket; Pending is the usual answer, and
// CheckConnect then tells when it is done.
[[nodiscard]] ConnectProgress StartConnect(SocketHandle socket, const PeerAddress& peer);
// Whether a started connect has finished, without waiting.
[[nodiscard]] ConnectProgress CheckConnect(SocketHandle socket);

// Closes the socket; an invalid handle is ignored.
void CloseSocket(SocketHandle socket);

}  // namespace platform
