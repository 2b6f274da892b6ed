#include "onewire/echo_wait.h"

#include <algorithm>

#include "onewire/link.h"
#include "onewire/port_adapter.h"

namespace onewire {
namespace {

// A reset's echo needs about 1 ms on the wire (one byte at 9600 baud), so the
// reset wait always paces itself in 2 ms passes.
constexpr std::uint32_t ResetPassMs = 2;
constexpr std::uint32_t SlotPassMs = 1;
constexpr std::uint32_t BlockPassMs = 2;

// The sleep that opens each pass: only slot and block waits with ReduceCpuLoad
// sleep, trading a millisecond or two of latency per wait for fewer wake-ups.
std::uint32_t passSleepMs(EchoWait kind) {
    if (kind == EchoWait::Reset || (linkOptions() & ReduceCpuLoad) == 0) return 0;
    return kind == EchoWait::Slot ? SlotPassMs : BlockPassMs;
}

// How long one pass may wait on the port: the reset pass and the paced passes
// for their own length, an unpaced pass for all the time left.
std::uint32_t passWaitMs(EchoWait kind, std::uint32_t sleptMs, std::uint32_t leftMs) {
    if (kind == EchoWait::Reset) return std::min(ResetPassMs, leftMs);
    return sleptMs > 0 ? std::min(sleptMs, leftMs) : leftMs;
}

}  // namespace

void waitForEcho(std::int32_t bytes, std::uint64_t startMs, std::uint32_t limitMs, EchoWait kind) {
    // Without a port no echo can come, and the port's wait returns at once:
    // the loop would spin on the processor until the limit.
    if (!portIsOpen()) return;
    for (;;) {
        const std::uint32_t slept = passSleepMs(kind);
        if (slept > 0) sleepMs(slept);
        if (inputWaiting() >= bytes) return;
        const std::uint64_t spent = elapsedMs() - startMs;
        if (spent >= limitMs) return;
        const auto left = static_cast<std::uint32_t>(limitMs - spent);
        waitInput(bytes, passWaitMs(kind, slept, left));
    }
}

}  // namespace onewire
