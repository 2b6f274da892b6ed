#include "slow_client.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <span>

#include "platform/clock.h"
#include "web/status_server.h"

namespace webtest {
namespace {

// Generous for slow sanitizer builds; only reached when something is wrong.
constexpr int kNapsBeforeGivingUp = 3000;  // of 1 ms each

void setBuffer(int fd, int option) {
    const int bytes = 4096;
    setsockopt(fd, SOL_SOCKET, option, &bytes, sizeof bytes);
}

platform::ReceiveResult receive(int fd, std::span<std::uint8_t> buffer) {
    return platform::ReceiveFromSocket(platform::SocketHandle{fd}, buffer, false);
}

}  // namespace

void ShrinkReceiveBuffer(int fd) {
    setBuffer(fd, SO_RCVBUF);
}

void ShrinkSendBuffer(platform::SocketHandle serverSide) {
    setBuffer(static_cast<int>(serverSide.id), SO_SNDBUF);
}

bool NoDelayIsSet(platform::SocketHandle serverSide) {
    int noDelay = 0;
    socklen_t size = sizeof noDelay;
    return getsockopt(static_cast<int>(serverSide.id), IPPROTO_TCP, TCP_NODELAY, &noDelay,
                      &size) == 0 &&
           noDelay != 0;
}

std::string ReadWhileServing(int fd, std::size_t count) {
    std::string bytes;
    std::array<std::uint8_t, 65536> chunk{};
    for (int idle = 0; bytes.size() < count && idle < kNapsBeforeGivingUp;) {
        web::ServiceStatusServer();
        const std::size_t want = std::min(chunk.size(), count - bytes.size());
        const platform::ReceiveResult got = receive(fd, std::span(chunk).first(want));
        if (got.count == 0) break;
        if (got.count > 0) {
            bytes.append(chunk.begin(), chunk.begin() + got.count);
            idle = 0;
        } else {
            platform::SleepMs(1);
            ++idle;
        }
    }
    return bytes;
}

bool ReadsToTheServersClose(int fd) {
    std::array<std::uint8_t, 65536> chunk{};
    for (int idle = 0; idle < kNapsBeforeGivingUp;) {
        const platform::ReceiveResult got = receive(fd, chunk);
        if (got.count == 0 || got.error == platform::SocketError::ConnectionLost) return true;
        if (got.count > 0) {
            idle = 0;
        } else {
            platform::SleepMs(1);
            ++idle;
        }
    }
    return false;
}

}  // namespace webtest
