#include "mqtt/session.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "platform/clock.h"

namespace mqtt {
namespace {

using platform::ConnectProgress;
using platform::LookupState;

// A resolver or a broker that says nothing for this long is given up on.
constexpr std::uint64_t StepLimitMs = 15'000;
// Nothing the broker sends this program is near this size; a bigger packet is
// an attack or a mistake and ends the connection.
constexpr std::size_t MaxIncomingBody = 256u << 10;
// Receives per tick: a flood of retained messages must not hold the window.
constexpr int ReceivesPerTick = 16;

void complain(Session& session, const std::string& problem) {
    // Once per kind in a row: a broker that stays away must not fill the log.
    if (problem == session.lastProblem) return;
    session.lastProblem = problem;
    std::fprintf(stderr, "kelvarian: MQTT %s:%u: %s\n", session.config.host.c_str(),
                 static_cast<unsigned>(session.config.port), problem.c_str());
}

void closeSocket(Session& session) {
    platform::CloseSocket(session.socket);
    session.socket = {};
    session.unsent.clear();
    session.received.clear();
}

void retryLater(Session& session, std::uint64_t nowMs, const std::string& problem) {
    complain(session, problem);
    closeSocket(session);
    session.lookup.reset();
    session.phase = SessionPhase::Waiting;
    session.retryAtMs = nowMs + session.retryPauseMs;
    session.retryPauseMs = std::min(session.retryPauseMs * 2, LongestRetryPauseMs);
}

void enter(Session& session, SessionPhase phase, std::uint64_t nowMs) {
    session.phase = phase;
    session.phaseStartMs = nowMs;
}

void queue(Session& session, const std::string& bytes, std::uint64_t nowMs) {
    session.unsent += bytes;
    session.lastSendMs = nowMs;
}

void beginLookup(Session& session, std::uint64_t nowMs) {
    session.addresses.clear();
    session.nextAddress = 0;
    session.lookup = platform::StartNameLookup(session.config.host, session.config.port);
    enter(session, SessionPhase::Resolving, nowMs);
}

// Tries the next address of the lookup; false when none is left.
bool connectNext(Session& session, std::uint64_t nowMs) {
    closeSocket(session);
    while (session.nextAddress < session.addresses.size()) {
        const platform::PeerAddress& peer = session.addresses[session.nextAddress++];
        session.socket = platform::OpenStreamSocket(peer.family);
        if (!session.socket.valid()) continue;
        if (!platform::MakeNonBlocking(session.socket)) {
            closeSocket(session);
            continue;
        }
        const ConnectProgress progress = platform::StartConnect(session.socket, peer);
        if (progress == ConnectProgress::Failed) {
            closeSocket(session);
            continue;
        }
        enter(session, SessionPhase::Connecting, nowMs);
        return true;
    }
    return false;
}

void greet(Session& session, std::uint64_t nowMs) {
    [[maybe_unused]] const bool fast = platform::SetNoDelay(session.socket);
    session.lastReceiveMs = nowMs;
    queue(session, EncodeConnect(session.config.connect), nowMs);
    enter(session, SessionPhase::Greeting, nowMs);
}

void serviceResolving(Session& session, std::uint64_t nowMs) {
    std::vector<platform::PeerAddress> addresses;
    const LookupState state = platform::LookupResult(*session.lookup, addresses);
    if (state == LookupState::Pending) {
        if (nowMs - session.phaseStartMs > StepLimitMs) {
            retryLater(session, nowMs, "the name lookup takes too long");
        }
        return;
    }
    session.lookup.reset();
    if (state == LookupState::Failed) {
        retryLater(session, nowMs, "the host name is not known");
        return;
    }
    session.addresses = std::move(addresses);
    if (!connectNext(session, nowMs)) retryLater(session, nowMs, "no address can be reached");
}

void serviceConnecting(Session& session, std::uint64_t nowMs) {
    const ConnectProgress progress = platform::CheckConnect(session.socket);
    if (progress == ConnectProgress::Connected) {
        greet(session, nowMs);
        return;
    }
    if (progress == ConnectProgress::Pending && nowMs - session.phaseStartMs <= StepLimitMs) return;
    if (!connectNext(session, nowMs)) retryLater(session, nowMs, "the broker does not answer");
}

// false when the connection broke.
bool flush(Session& session) {
    while (!session.unsent.empty()) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(session.unsent.data());
        const std::int32_t sent =
            platform::SendToSocket(session.socket, std::span(bytes, session.unsent.size()));
        // A full send buffer: the next tick tries again.
        if (sent < 0) return platform::LastSendError() == platform::SocketError::WouldBlock;
        if (sent == 0) return true;
        session.unsent.erase(0, static_cast<std::size_t>(sent));
    }
    return true;
}

// false when the connection must end.
bool handle(Session& session, const Packet& packet, std::uint64_t nowMs) {
    switch (static_cast<PacketType>(packet.type)) {
        case PacketType::Connack: {
            Connack connack;
            if (!ParseConnack(packet, connack) || session.phase != SessionPhase::Greeting) {
                return false;
            }
            if (connack.returnCode != 0) {
                complain(session, connack.returnCode == 4 || connack.returnCode == 5
                                      ? "the broker refuses the user name or password"
                                      : "the broker refuses the connection (code " +
                                            std::to_string(connack.returnCode) + ")");
                return false;
            }
            enter(session, SessionPhase::Online, nowMs);
            session.retryPauseMs = FirstRetryPauseMs;
            session.lastProblem.clear();
            ++session.greetings;
            for (const std::string& filter : session.config.subscriptions) {
                queue(session, EncodeSubscribe(session.nextPacketId++, filter, 0), nowMs);
                if (session.nextPacketId == 0) session.nextPacketId = 1;
            }
            return true;
        }
        case PacketType::Publish: {
            Publish publish;
            if (!ParsePublish(packet, publish)) return false;
            if (publish.qos == 1) queue(session, EncodePuback(publish.packetId), nowMs);
            // Bounded: the owner takes them every tick.
            if (session.incoming.size() < 64) session.incoming.push_back(std::move(publish));
            return true;
        }
        case PacketType::Puback:
        case PacketType::Suback:
        case PacketType::Pingresp:
            return true;
        default:
            // A broker never sends the other packets to a client.
            return false;
    }
}

// false when the connection broke or the stream cannot be read.
bool receive(Session& session, std::uint64_t nowMs) {
    std::uint8_t buffer[4096];
    for (int i = 0; i < ReceivesPerTick; ++i) {
        const platform::ReceiveResult result =
            platform::ReceiveFromSocket(session.socket, buffer, false);
        if (result.count == 0) return false;
        if (result.count < 0) {
            if (result.error == platform::SocketError::WouldBlock) break;
            return false;
        }
        session.lastReceiveMs = nowMs;
        session.received.append(reinterpret_cast<const char*>(buffer),
                                static_cast<std::size_t>(result.count));
        Packet packet;
        for (;;) {
            const FrameResult framed = TakePacket(session.received, packet, MaxIncomingBody);
            if (framed == FrameResult::Malformed) return false;
            if (framed == FrameResult::Incomplete) break;
            if (!handle(session, packet, nowMs)) return false;
        }
    }
    return true;
}

void serviceConnection(Session& session, std::uint64_t nowMs) {
    if (!flush(session) || !receive(session, nowMs)) {
        retryLater(session, nowMs, "the connection was lost");
        return;
    }
    if (session.phase == SessionPhase::Greeting) {
        if (nowMs - session.phaseStartMs > StepLimitMs) {
            retryLater(session, nowMs, "the broker does not answer the greeting");
        }
        return;
    }
    const std::uint64_t keepAliveMs = session.config.connect.keepAliveSeconds * 1000ull;
    if (keepAliveMs == 0) return;
    // The broker must hear something within the keep-alive; the answer to a
    // ping proves that it still listens.
    if (nowMs - session.lastSendMs >= keepAliveMs / 2) queue(session, EncodePingreq(), nowMs);
    if (nowMs - session.lastReceiveMs > keepAliveMs + keepAliveMs / 2) {
        retryLater(session, nowMs, "the broker stopped answering");
    }
}

}  // namespace

void StartSession(Session& session, SessionConfig config, std::uint64_t nowMs) {
    EndSession(session, nullptr, 0);
    session = Session{};
    session.config = std::move(config);
    beginLookup(session, nowMs);
}

void ServiceSession(Session& session, std::uint64_t nowMs) {
    switch (session.phase) {
        case SessionPhase::Off:
            return;
        case SessionPhase::Waiting:
            if (nowMs >= session.retryAtMs) beginLookup(session, nowMs);
            return;
        case SessionPhase::Resolving:
            serviceResolving(session, nowMs);
            return;
        case SessionPhase::Connecting:
            serviceConnecting(session, nowMs);
            return;
        case SessionPhase::Greeting:
        case SessionPhase::Online:
            serviceConnection(session, nowMs);
            return;
    }
}

bool SessionOnline(const Session& session) {
    return session.phase == SessionPhase::Online;
}

bool SendPublish(Session& session, Publish publish, std::uint64_t nowMs) {
    if (!SessionOnline(session)) return false;
    if (publish.qos > 0) {
        publish.packetId = session.nextPacketId++;
        if (session.nextPacketId == 0) session.nextPacketId = 1;
    }
    const std::string bytes = EncodePublish(publish);
    if (session.unsent.size() + bytes.size() > MaxUnsentBytes) {
        retryLater(session, nowMs, "the broker does not take the messages");
        return false;
    }
    queue(session, bytes, nowMs);
    return true;
}

std::vector<Publish> TakeIncoming(Session& session) {
    std::vector<Publish> incoming;
    incoming.swap(session.incoming);
    return incoming;
}

void EndSession(Session& session, const Publish* last, std::uint32_t graceMs) {
    if (SessionOnline(session)) {
        if (last != nullptr) SendPublish(session, *last, platform::ElapsedMs());
        queue(session, EncodeDisconnect(), platform::ElapsedMs());
        // Short and bounded: this runs at shutdown, where the window is gone.
        for (std::uint32_t waited = 0; waited < graceMs && !session.unsent.empty(); waited += 5) {
            if (!flush(session)) break;
            if (!session.unsent.empty()) platform::SleepMs(5);
        }
    }
    closeSocket(session);
    session.lookup.reset();
    session.phase = SessionPhase::Off;
}

}  // namespace mqtt
