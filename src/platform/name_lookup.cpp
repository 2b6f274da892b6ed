// getaddrinfo and gethostname are shared by POSIX and Winsock.
#include "platform/name_lookup.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "platform/socket_native.h"

#ifndef _WIN32
#include <netdb.h>
#include <unistd.h>
#endif

namespace platform {

struct NameLookup {
    std::mutex lock;
    LookupState state = LookupState::Pending;
    std::vector<PeerAddress> addresses;
};

namespace {

std::vector<PeerAddress> resolve(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    std::vector<PeerAddress> addresses;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return addresses;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        PeerAddress peer;
        peer.port = port;
        if (entry->ai_family == AF_INET) {
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(&v4->sin_addr);
            std::copy(bytes, bytes + 4, peer.ip.begin());
        } else if (entry->ai_family == AF_INET6) {
            peer.family = AddressFamily::IPv6;
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(entry->ai_addr);
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(&v6->sin6_addr);
            std::copy(bytes, bytes + 16, peer.ip.begin());
        } else {
            continue;
        }
        addresses.push_back(peer);
    }
    freeaddrinfo(found);
    return addresses;
}

}  // namespace

std::shared_ptr<NameLookup> StartNameLookup(const std::string& host, std::uint16_t port) {
    auto lookup = std::make_shared<NameLookup>();
    // Detached: a resolver that hangs must not hold up the program's end.
    std::thread([lookup, host, port] {
        std::vector<PeerAddress> addresses = resolve(host, port);
        const std::lock_guard<std::mutex> guard(lookup->lock);
        lookup->state = addresses.empty() ? LookupState::Failed : LookupState::Found;
        lookup->addresses = std::move(addresses);
    }).detach();
    return lookup;
}

LookupState LookupResult(NameLookup& lookup, std::vector<PeerAddress>& addresses) {
    const std::lock_guard<std::mutex> guard(lookup.lock);
    if (lookup.state == LookupState::Found) addresses = lookup.addresses;
    return lookup.state;
}

std::string ComputerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace platform
