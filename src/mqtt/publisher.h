#pragma once
// The program's one MQTT publisher: keeps what the last poll pass showed and,
// while the broker is there, publishes what changed. While the broker is away
// only the latest pass is held, whatever its number of changes, and at the
// next connection everything is published afresh. User-interface thread only.
#include <cstdint>
#include <string>

#include "mqtt/payloads.h"

namespace mqtt {

struct PublisherSettings {
    std::string host;
    std::uint16_t port = 1883;
    std::string user;
    std::string password;
    Naming naming;
};

// Starts connecting in the background; false when no host is configured.
bool StartPublisher(const PublisherSettings& settings);
[[nodiscard]] bool PublisherRunning();
// The window's sensor list after a pass (or a rename or removal).
void ReportPass(PassReport pass);
// One step, from the user-interface thread's timer.
void ServicePublisher();
// Says "offline" and disconnects, briefly waiting for the bytes to leave.
void StopPublisher();

}  // namespace mqtt
