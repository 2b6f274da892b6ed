#pragma once
// Waiting for echoes on the current port. Internal to the 1-Wire library.
#include <cstdint>

namespace onewire {

// Waits from `startMs` until at least `bytes` are waiting or `limitMs` have
// elapsed. Each pass waits on the port, ending as soon as the input is there,
// for the pass's sleep (`passSleepMs`, 0 for none) or for the time left,
// whichever is shorter. Whether a pass sleeps can change during the wait.
void waitForEcho(std::int32_t bytes, std::uint64_t startMs, std::uint32_t limitMs,
                 std::uint32_t (*passSleepMs)());

// The pass sleeps of the three waits.
std::uint32_t resetPassSleepMs();
std::uint32_t slotPassSleepMs();
std::uint32_t blockPassSleepMs();

}  // namespace onewire
