#pragma once
// What the link primitives and the ROM layer use of the current port. Not for
// callers outside the 1-Wire library.
#include <cstdint>

namespace onewire {

inline constexpr std::uint32_t ResetSpeed = 9600;
inline constexpr std::uint32_t DataSpeed = 115200;

// Status 0 and an emptied receive queue when a port is open; status 1 otherwise.
[[nodiscard]] bool requirePort();
// Whether a port is open; touches no status.
[[nodiscard]] bool portIsOpen();
// Sets the speed and keeps the supply lines powered. false with status 4 on
// failure; false without touching the status when no port is open.
[[nodiscard]] bool setSpeed(std::uint32_t baud);
void discardInput();
// Drives the supply lines (InvertLines applies); touches no status.
void setSupply(bool powered);

void sleepMs(std::uint32_t ms);
std::uint64_t elapsedMs();

std::int32_t inputWaiting();
std::int32_t writePort(const std::uint8_t* data, std::int32_t n);
std::int32_t readPort(std::uint8_t* data, std::int32_t n);
// Returns once `bytes` are waiting or `timeoutMs` passed (no port: at once).
void waitInput(std::int32_t bytes, std::uint32_t timeoutMs);

// Sets the calling thread's last status and returns false: keeps failure paths
// one line long.
bool fail(std::int32_t status);
void setStatus(std::int32_t status);

}  // namespace onewire
