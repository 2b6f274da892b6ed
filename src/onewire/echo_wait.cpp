#include "onewire/echo_wait.h"

#include <algorithm>

#include "onewire/link.h"
#include "onewire/port_adapter.h"

namespace onewire {
namespace {

bool reduceCpuLoad() {
    return (linkOptions() & ReduceCpuLoad) != 0;
}

}  // namespace

// A reset's echo needs about 1 ms on the wire (one byte at 9600 baud), so the
// reset wait always paces itself.
std::uint32_t resetPassSleepMs() {
    return 2;
}

std::uint32_t slotPassSleepMs() {
    return reduceCpuLoad() ? 1 : 0;
}

std::uint32_t blockPassSleepMs() {
    return reduceCpuLoad() ? 2 : 0;
}

void waitForEcho(std::int32_t bytes, std::uint64_t startMs, std::uint32_t limitMs,
                 std::uint32_t (*passSleepMs)()) {
    for (;;) {
        const std::uint64_t spent = elapsedMs() - startMs;
        const std::uint32_t left =
            spent >= limitMs ? 0u : limitMs - static_cast<std::uint32_t>(spent);
        const std::uint32_t sleep = passSleepMs();
        waitInput(bytes, sleep > 0 ? std::min(sleep, left) : left);
        if (inputWaiting() >= bytes) return;
        if (elapsedMs() - startMs >= limitMs) return;
    }
}

}  // namespace onewire
