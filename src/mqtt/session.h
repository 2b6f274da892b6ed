#pragma once
// One connection to an MQTT broker, kept up from the user-interface thread's
// timer: every step (name lookup, connect, greeting, sending, reading) is
// taken without waiting, so neither the window nor the monitor ever stalls on
// the network. A lost or refused connection is tried again after a pause that
// grows from 1 s to 60 s.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mqtt/packets.h"
#include "platform/name_lookup.h"
#include "platform/socket.h"

namespace mqtt {

inline constexpr std::uint32_t FirstRetryPauseMs = 1000;
inline constexpr std::uint32_t LongestRetryPauseMs = 60'000;
// Unsent bytes beyond this mean the broker stopped reading: the connection is
// dropped, and everything is published afresh at the next one.
inline constexpr std::size_t MaxUnsentBytes = 4u << 20;

struct SessionConfig {
    std::string host;
    std::uint16_t port = 1883;
    ConnectRequest connect;
    std::vector<std::string> subscriptions;  // topic filters, QoS 0
};

enum class SessionPhase : std::uint8_t { Off, Waiting, Resolving, Connecting, Greeting, Online };

struct Session {
    SessionConfig config;
    SessionPhase phase = SessionPhase::Off;
    std::shared_ptr<platform::NameLookup> lookup;
    std::vector<platform::PeerAddress> addresses;
    std::size_t nextAddress = 0;
    platform::SocketHandle socket;
    std::string unsent;
    std::string received;
    std::uint64_t phaseStartMs = 0;
    std::uint64_t retryAtMs = 0;
    std::uint64_t lastSendMs = 0;
    std::uint64_t lastReceiveMs = 0;
    std::uint32_t retryPauseMs = FirstRetryPauseMs;
    std::uint16_t nextPacketId = 1;
    std::uint64_t greetings = 0;  // connections the broker accepted, counted up
    std::vector<Publish> incoming;
    std::string lastProblem;  // for the one line on standard error per kind of failure
};

// Starts connecting at once.
void StartSession(Session& session, SessionConfig config, std::uint64_t nowMs);
// One step of every phase that can go on now.
void ServiceSession(Session& session, std::uint64_t nowMs);
[[nodiscard]] bool SessionOnline(const Session& session);
// Queues one PUBLISH; false when not online (nothing is kept for later).
bool SendPublish(Session& session, Publish publish, std::uint64_t nowMs);
// Messages that arrived for the subscriptions since the last call.
[[nodiscard]] std::vector<Publish> TakeIncoming(Session& session);
// Sends what it can of `last` and a DISCONNECT within `graceMs`, then closes.
void EndSession(Session& session, const Publish* last, std::uint32_t graceMs);

}  // namespace mqtt
