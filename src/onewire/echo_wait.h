#pragma once
// Waiting for echoes on the current port. Internal to the 1-Wire library.
#include <cstdint>

namespace onewire {

enum class EchoWait { Reset, Slot, Block };

// Waits from `startMs` until at least `bytes` are waiting or `limitMs` have
// elapsed. Each pass waits on the port and ends as soon as the input is there,
// so no pass spins. The reset pass waits at most 2 ms; with ReduceCpuLoad the
// slot and block passes first sleep 1 or 2 ms and then wait at most that long.
// ReduceCpuLoad is read in every pass, so a change applies to a running wait.
void waitForEcho(std::int32_t bytes, std::uint64_t startMs, std::uint32_t limitMs, EchoWait kind);

}  // namespace onewire
