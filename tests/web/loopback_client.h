#pragma once
// A browser's side of the loopback connection, and a way to run the server's
// timer routine from a test. Waits are bounded by patience, never asserted.
#include <cstdint>
#include <string>
#include <string_view>

#include "web/connections.h"

namespace webtest {

// Connects to 127.0.0.1 or ::1; -1 when refused or unavailable.
int ConnectLoopback(bool ipv6, std::uint16_t port);
void CloseClient(int fd);
// Whether this machine has the loopback address of that family at all.
bool LoopbackAvailable(bool ipv6);

// A listener held by someone else, for a port that must count as in use.
struct HeldPort {
    int fd;
    std::uint16_t port;
};
HeldPort HoldPort(bool ipv6);

void SendAll(int fd, std::string_view bytes);
// Reads until `count` bytes arrived or nothing more came for a while.
std::string ReadBytes(int fd, std::size_t count);
// Whatever is waiting right now, without waiting.
std::string ReadWaiting(int fd);
// true when the server has closed this connection (end of stream or reset).
bool ClosedByServer(int fd);
// true when the connection is open with nothing waiting.
bool StillOpen(int fd);

// Waits (bounded) until bytes are waiting on one of the server's sockets; false
// when none came.
bool AwaitBytesAt(platform::SocketHandle socket);
// Polls until an event other than None shows up (bounded); None when none did.
web::ServerEvent AwaitServerEvent();
// Runs the server's timer routine until it has nothing more to do, after
// waiting (bounded) for the first event. The number of events handled.
int ServeWaitingEvents();

// The bytes of a response as they must appear on the wire.
std::string ExpectedResponse(std::string_view status, std::string_view contentType,
                             std::string_view body);

}  // namespace webtest
