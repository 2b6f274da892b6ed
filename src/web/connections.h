#pragma once
// The server's accepted connections and the poll that finds one network event
// at a time. Everything here runs on the user-interface thread.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/socket.h"
#include "web/output_queue.h"

namespace web {

// One accepted connection (non-blocking). It stays open across any number of
// requests until the peer closes it, an error ends it, the server stops, or it
// is the oldest when a connection beyond kMaxClients arrives.
struct ClientConnection {
    platform::SocketHandle socket;
    std::uint64_t lastServed = 0;  // when its bytes were last reported; 0 never
    OutputQueue output{};          // answered but not yet sent
    bool closeRequested = false;   // it broke a bound of the queue: the server closes it
};

// Each open connection costs a descriptor; a client that opens connections
// and never closes them must not exhaust the process's descriptors.
inline constexpr std::size_t kMaxClients = 256;

enum class ServerEventKind : std::uint8_t { None, Connected, DataArrived, Closed };

struct ServerEvent {
    ServerEventKind kind = ServerEventKind::None;
    // The connection concerned for Connected and DataArrived, else nullptr.
    // Valid until a later poll removes that connection or the server stops.
    ClientConnection* connection = nullptr;
};

// One step of event detection: removes and closes the connections found
// closed (Closed), else reports, of the connections with bytes waiting (they
// stay in the socket), the one whose bytes were reported longest ago, newest
// first among equals, else accepts one pending connection (newest first in
// the list). None when nothing happened or no server runs.
ServerEvent PollServerEvent();

// One receive of at most buffer.size() bytes: the count, 0 when the peer has
// closed, negative on an error or when nothing is waiting.
std::int32_t ReceiveRequest(ClientConnection& connection, std::span<std::uint8_t> buffer);

// Queues the bytes as one answer behind what the connection still has to send,
// then gives the queue one send without waiting; what the socket does not take
// now leaves with later ticks (SendQueued). When the queue's bounds refuse it,
// nothing is queued, the queue is dropped and closeRequested set. An empty
// text queues nothing.
void SendText(ClientConnection& connection, std::string_view utf8Text);
void SendBytes(ClientConnection& connection, std::span<const std::uint8_t> bytes);

// One send without waiting of what the connection has queued, when anything.
// A failed send keeps the bytes: a would-block is retried on the next tick,
// and a lost connection is found and removed by a later poll.
void SendQueued(ClientConnection& connection);

// Bytes queued on the server's connections other than `connection`.
[[nodiscard]] std::size_t QueuedOnOtherConnections(const ClientConnection& connection);

}  // namespace web
