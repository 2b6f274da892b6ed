#pragma once
// The status server: non-blocking sockets polled from the user-interface
// thread. At most one server exists at a time.
#include <cstdint>

namespace web {

// Stops a running server, then listens on `port` (IPv6 only when ipv6, else
// IPv4; 0 picks a free port). false when it cannot listen, for instance
// because the port is in use; no server exists then.
[[nodiscard]] bool StartStatusServer(std::uint16_t port, bool ipv6);
// Closes every connection and the listener. Does nothing when stopped.
void StopStatusServer();
// The 10 ms timer routine. In this order: removes the connections found
// closed; answers the connections that have bytes waiting (one receive of at
// most 4096 bytes each, handled as one request), at most 32, the one answered
// longest ago first; only then accepts pending connections, at most 32; and
// gives every connection with queued answer bytes one send. So a client that
// asks is answered at the next tick however many connections arrive that
// never ask, and no tick's work grows with the load.
void ServiceStatusServer();
// The port the running server listens on; 0 when stopped.
[[nodiscard]] std::uint16_t StatusServerPort();

}  // namespace web
