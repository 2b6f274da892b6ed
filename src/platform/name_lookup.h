#pragma once
// Turning a host name into addresses without holding up the caller: the
// system's resolver may wait seconds for a DNS server, so it runs on a thread
// of its own and the caller asks for the answer on its next timer tick.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace platform {

struct NameLookup;  // shared by the caller and the resolving thread

enum class LookupState : std::uint8_t { Pending, Found, Failed };

// Starts resolving `host` (a name, or a numeric IPv4 or IPv6 address) for TCP
// `port`. The caller may drop the handle at any time; the thread then ends on
// its own.
[[nodiscard]] std::shared_ptr<NameLookup> StartNameLookup(const std::string& host,
                                                          std::uint16_t port);
// The state now; with Found, `addresses` holds them in the resolver's order.
[[nodiscard]] LookupState LookupResult(NameLookup& lookup, std::vector<PeerAddress>& addresses);

// This computer's name; empty when the system will not tell.
[[nodiscard]] std::string ComputerName();

}  // namespace platform
