#pragma once
// Reset pulses and time slots over the UART echo: one byte at 9600 baud is a
// reset with its presence window, one byte at 115200 baud is one time slot.
#include <cstdint>

namespace onewire {

inline constexpr std::uint32_t ResetEchoLimitMs = 32;
inline constexpr std::uint32_t SlotEchoLimitMs = 36;
inline constexpr std::uint32_t blockLimitMs(std::int32_t bytes) {
    return 2u * static_cast<std::uint32_t>(bytes) + 36u;
}
inline constexpr std::int32_t MaxTransferBytes = 1000000;  // exclusive

// true when a presence pulse was seen. Status 0, 1, 2 (no presence), 3, 4.
[[nodiscard]] bool busReset();
// true when all 8*n slots went out and their echoes came back. Status 0, 1, 3, 6.
[[nodiscard]] bool writeBytes(const std::uint8_t* data, std::int32_t n);
[[nodiscard]] bool writeByte(std::uint8_t value);
// true when n bytes were read into `data`. Status 0, 1, 3, 6.
[[nodiscard]] bool readBytes(std::uint8_t* data, std::int32_t n);
// One slot at a time; the byte read back. Status 0, 1 (result 0), 3 (result 0xFF).
std::uint8_t exchangeByte(std::uint8_t value);
// Sends one slot; touches no status and reports no missing echo.
void writeSlot(int bit, bool waitForEcho, bool consumeEcho);
// The bit read (1 on failure, status 3). All three options: a full read slot.
int readSlot(bool flushFirst, bool sendProbe, bool waitForEcho);

}  // namespace onewire
