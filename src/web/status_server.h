#pragma once
// The status server: non-blocking sockets polled from the user-interface
// thread, one network event per call. At most one server exists at a time.
#include <cstdint>

namespace web {

// Stops a running server, then listens on `port` (IPv6 only when ipv6, else
// IPv4; 0 picks a free port). false when it cannot listen, for instance
// because the port is in use; no server exists then.
[[nodiscard]] bool StartStatusServer(std::uint16_t port, bool ipv6);
// Closes every connection and the listener. Does nothing when stopped.
void StopStatusServer();
// The 10 ms timer routine: handles at most one network event (reads and
// answers at most 4096 received bytes), then gives every connection with
// queued answer bytes one send.
void ServiceStatusServer();
// The port the running server listens on; 0 when stopped.
[[nodiscard]] std::uint16_t StatusServerPort();

}  // namespace web
