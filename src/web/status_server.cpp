#include "web/status_server.h"

#include <algorithm>
#include <array>
#include <list>
#include <vector>

#include "platform/socket.h"
#include "web/connections.h"
#include "web/request_handler.h"

namespace web {
namespace {

constexpr std::int32_t kListenBacklog = 100;
// Peeking at a few bytes tells data from a closed peer without taking any.
constexpr std::size_t kPeekBytes = 8;
// Every received chunk of up to this size is judged as a request of its own.
constexpr std::size_t kReceiveBytes = 4096;
// One tick's work is bounded so that the window stays responsive however busy
// the network is: this many requests, then this many new connections. Both
// are far beyond what browsers and scrapers ask (a few a second) and beyond
// a flood of 1000 connections a second (10 a tick).
constexpr std::size_t kRequestsPerTick = 32;
constexpr std::size_t kAcceptsPerTick = 32;

// The one server of the process. Only the user-interface thread touches it
// (start-up, then the 10 ms timer), so it needs no lock.
struct StatusServer {
    platform::SocketHandle listener;  // invalid while stopped
    platform::AddressFamily family = platform::AddressFamily::IPv4;
    std::uint16_t port = 0;
    // Newest first. A list keeps every connection in place while others are
    // added and removed, so an event's pointer stays good.
    std::list<ClientConnection> clients;
    std::uint64_t dataEvents = 0;  // DataArrived events reported so far
};

StatusServer server;

bool closeAndFail(platform::SocketHandle socket) {
    platform::CloseSocket(socket);
    return false;
}

ServerEvent connected(platform::SocketHandle socket) {
    if (server.clients.size() >= kMaxClients) {
        platform::CloseSocket(server.clients.back().socket);
        server.clients.pop_back();
    }
    // Without it the last small piece of an answer waits for the client's
    // delayed acknowledgement (40 ms on Linux); a socket without it still
    // serves, only slower.
    (void)platform::SetNoDelay(socket);
    server.clients.push_front(ClientConnection{socket});
    return ServerEvent{ServerEventKind::Connected, &server.clients.front()};
}

void closeConnection(std::list<ClientConnection>::iterator client) {
    platform::CloseSocket(client->socket);
    server.clients.erase(client);
}

void answer(ClientConnection& connection) {
    std::array<std::uint8_t, kReceiveBytes> buffer{};
    const std::int32_t received = ReceiveRequest(connection, buffer);
    if (received <= 0) return;
    HandleRequest(connection, std::span(buffer).first(static_cast<std::size_t>(received)));
    if (!connection.closeRequested) return;
    const auto client = std::find_if(server.clients.begin(), server.clients.end(),
                                     [&](const ClientConnection& c) { return &c == &connection; });
    if (client != server.clients.end()) closeConnection(client);
}

}  // namespace

bool StartStatusServer(std::uint16_t port, bool ipv6) {
    StopStatusServer();
    const auto family = ipv6 ? platform::AddressFamily::IPv6 : platform::AddressFamily::IPv4;
    const platform::SocketHandle listener = platform::OpenStreamSocket(family);
    if (!listener.valid()) return false;
    if (!platform::MakeNonBlocking(listener)) return closeAndFail(listener);
    if (!platform::BindToWildcard(listener, family, port)) return closeAndFail(listener);
    if (!platform::ListenForConnections(listener, kListenBacklog)) return closeAndFail(listener);

    server.listener = listener;
    server.family = family;
    server.port = port != 0 ? port : platform::BoundPort(listener);
    server.clients.clear();
    return true;
}

void StopStatusServer() {
    if (!server.listener.valid()) return;
    for (const ClientConnection& client : server.clients) platform::CloseSocket(client.socket);
    platform::CloseSocket(server.listener);
    server = StatusServer{};
}

std::uint16_t StatusServerPort() {
    return server.listener.valid() ? server.port : 0;
}

namespace {

// One peek at every connection: those found closed are closed and removed
// (their count comes back), those with bytes waiting are listed, the one
// whose bytes were reported longest ago first (newest first among equals).
// Served strictly in list order, one client that keeps its requests coming
// would be answered on every tick while every connection behind it waited for
// ever.
std::size_t scanConnections(std::vector<ClientConnection*>& waiting) {
    waiting.clear();
    std::size_t closed = 0;
    std::array<std::uint8_t, kPeekBytes> peeked{};
    for (auto client = server.clients.begin(); client != server.clients.end();) {
        const platform::ReceiveResult result =
            platform::ReceiveFromSocket(client->socket, peeked, true);
        if (result.count > 0) {
            waiting.push_back(&*client);
        } else if (result.count == 0 || result.error == platform::SocketError::ConnectionLost) {
            closeConnection(client++);
            ++closed;
            continue;
        }
        ++client;
    }
    std::stable_sort(waiting.begin(), waiting.end(),
                     [](const ClientConnection* a, const ClientConnection* b) {
                         return a->lastServed < b->lastServed;
                     });
    return closed;
}

ServerEvent acceptOne() {
    const platform::SocketHandle accepted = platform::AcceptPending(server.listener);
    if (!accepted.valid()) return ServerEvent{};
    return connected(accepted);
}

}  // namespace

ServerEvent PollServerEvent() {
    if (!server.listener.valid()) return ServerEvent{};
    // Requests on open connections come before new connections: a flood of
    // connections that never ask must not keep a client that asks waiting.
    std::vector<ClientConnection*> waiting;
    if (scanConnections(waiting) > 0) return ServerEvent{ServerEventKind::Closed, nullptr};
    if (waiting.empty()) return acceptOne();
    waiting.front()->lastServed = ++server.dataEvents;
    return ServerEvent{ServerEventKind::DataArrived, waiting.front()};
}

void ServiceStatusServer() {
    if (!server.listener.valid()) return;
    std::vector<ClientConnection*> waiting;
    (void)scanConnections(waiting);
    // Answering may close the connection answered, never another one, so the
    // rest of the list stays good.
    for (std::size_t i = 0; i < waiting.size() && i < kRequestsPerTick; ++i) {
        waiting[i]->lastServed = ++server.dataEvents;
        answer(*waiting[i]);
    }
    for (std::size_t i = 0; i < kAcceptsPerTick; ++i) {
        if (acceptOne().kind == ServerEventKind::None) break;
    }
    // Not a network event: whatever is still queued gets one more send each
    // tick, so a large answer to a slow reader flows while others are served.
    for (ClientConnection& client : server.clients) SendQueued(client);
}

std::size_t QueuedOnOtherConnections(const ClientConnection& connection) {
    std::size_t total = 0;
    for (const ClientConnection& client : server.clients) {
        if (&client != &connection) total += QueuedBytes(client.output);
    }
    return total;
}

}  // namespace web
