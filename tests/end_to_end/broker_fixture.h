#pragma once
// A mosquitto of the test's own on a free loopback port (no system service,
// nothing kept on disk) and mosquitto_sub reading from it.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "process_support.h"

namespace e2e {

struct Broker {
    Child process;
    std::uint16_t port = 0;
    std::string folder;
    std::string extraConfig;  // lines added to the listener's configuration
};

// Starts (or restarts, on the same port) the broker; false when it does not
// listen within the limit.
inline bool StartBroker(Broker& broker) {
    if (broker.port == 0) broker.port = FreeTcpPort();
    const std::string config = broker.folder + "/mosquitto.conf";
    // Started by root, mosquitto becomes user "mosquitto", who may not read
    // the test's private folder: it stays who started it.
    const passwd* self = getpwuid(geteuid());
    const std::string user = self != nullptr ? std::string("user ") + self->pw_name + "\n" : "";
    WriteWholeFile(
        config, "listener " + std::to_string(broker.port) + " 127.0.0.1\npersistence false\n" +
                    user +
                    (broker.extraConfig.empty() ? "allow_anonymous true\n" : broker.extraConfig));
    broker.process = Spawn({MOSQUITTO_EXECUTABLE, "-c", config}, {}, broker.folder, true);
    if (broker.process.pid <= 0) return false;
    std::string seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!ReadSome(broker.process.outputFd, seen, 100)) break;
        if (seen.find("running") != std::string::npos) return true;
    }
    ADD_FAILURE() << "mosquitto did not start:\n" << seen;
    return false;
}

inline void StopBroker(Broker& broker) {
    Terminate(broker.process);
}

// Prints "topic payload" per message of every topic, retained ones first.
inline Child Subscribe(const Broker& broker, const std::vector<std::string>& credentials = {}) {
    std::vector<std::string> argv{MOSQUITTO_SUB_EXECUTABLE,    "-h", "127.0.0.1", "-p",
                                  std::to_string(broker.port), "-v", "-t",        "#"};
    argv.insert(argv.end(), credentials.begin(), credentials.end());
    return Spawn(argv, {}, broker.folder, true);
}

// mosquitto_sub's text for an empty payload (a deleted retained message).
inline const std::string EmptyPayload = "(null)";

// The payload of the first message on `topic` that `accept` takes, read from
// `subscriber`'s output (kept in `seen` across calls, the line used up); `tick` runs between reads.
// Nothing when none came in the limit.
inline std::optional<std::string> WaitForMessage(
    const Child& subscriber, std::string& seen, const std::string& topic,
    const std::function<bool(const std::string&)>& accept, std::chrono::seconds limit,
    const std::function<void()>& tick = [] {}) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t from = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        tick();
        for (std::size_t end; (end = seen.find('\n', from)) != std::string::npos; from = end + 1) {
            const std::string line = seen.substr(from, end - from);
            if (line.starts_with(topic + " ") || line == topic) {
                const std::string payload =
                    line.size() > topic.size() ? line.substr(topic.size() + 1) : "";
                // Only this line is used up: others before it may be waited for next.
                if (accept(payload)) {
                    seen.erase(from, end + 1 - from);
                    return payload;
                }
            }
        }
        if (!ReadSome(subscriber.outputFd, seen, 20)) break;
    }
    return std::nullopt;
}

}  // namespace e2e
