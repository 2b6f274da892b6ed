#pragma once
// The server's accepted connections and the poll that finds one network event
// at a time. Everything here runs on the user-interface thread.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/socket.h"

namespace web {

// One accepted connection (non-blocking). It stays open across any number of
// requests until the peer closes it, an error ends it, the server stops, or it
// is the oldest when a connection beyond kMaxClients arrives.
struct ClientConnection {
    platform::SocketHandle socket;
    std::uint64_t lastServed = 0;  // when its bytes were last reported; 0 never
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

// One step of event detection: accepts one pending connection (newest first in
// the list), else removes and closes the first connection found closed, else
// reports, of the connections with bytes waiting (they stay in the socket), the
// one whose bytes were reported longest ago, newest first among equals.
// None when nothing happened or no server runs.
ServerEvent PollServerEvent();

// One receive of at most buffer.size() bytes: the count, 0 when the peer has
// closed, negative on an error or when nothing is waiting.
std::int32_t ReceiveRequest(ClientConnection& connection, std::span<std::uint8_t> buffer);

// One send each, without waiting: a short or failed send is neither retried nor
// reported. An empty text sends nothing.
void SendText(ClientConnection& connection, std::string_view utf8Text);
void SendBytes(ClientConnection& connection, std::span<const std::uint8_t> bytes);

}  // namespace web
