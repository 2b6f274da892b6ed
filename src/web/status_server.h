#pragma once
// The status server: non-blocking sockets polled from the user-interface
// thread, one network event per call.
#include <cstdint>

namespace web {

// Stops a running server, then listens on `port` (IPv6 only when ipv6, else
// IPv4). false when it cannot listen.
[[nodiscard]] bool StartStatusServer(std::uint16_t port, bool ipv6);
void StopStatusServer();
// The 10 ms timer routine: handles at most one network event.
void ServiceStatusServer();

}  // namespace web
