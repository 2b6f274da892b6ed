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

// At 115200 baud 0xFF is low only for the start bit (8.7 us): a write-1 slot,
// which is also a read slot. 0x00 is low for 78 us: a write-0 slot.
inline constexpr std::uint8_t SlotOne = 0xFF;
inline constexpr std::uint8_t SlotZero = 0x00;
inline constexpr std::uint8_t slotFor(int bit) {
    return bit != 0 ? SlotOne : SlotZero;
}

// At 9600 baud 0xF0 holds the wire low for the start bit and four 0 bits
// (about 521 us, a reset pulse) and then releases it for the presence window.
inline constexpr std::uint8_t ResetByte = 0xF0;
// A presence pulse lasts at most 240 us, so it can clear at most three of the
// four released bits (104 us each) of the reset byte: an echo of 0x00 means
// the wire never came up, a short, which busReset still counts as presence.
inline constexpr std::uint8_t ShortedResetEcho = 0x00;

// true when a presence pulse was seen. Status 0, 1, 2 (no presence), 3, 4.
[[nodiscard]] bool busReset();
// busReset, also handing over the reset's echo (ResetByte when none was read).
[[nodiscard]] bool resetWithEcho(std::uint8_t& echo);
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

// Slots that do not wait on each other's answers, sent as one write: `count`
// slot bytes go out and are replaced by their echoes, after one wait with the
// block limit of count/8 bytes (rounded up). One round trip instead of
// `count`. Status 0; 1; 3 (short write, wrong echo count with the queue
// emptied, or short read); 6 (no slots, or count out of range).
[[nodiscard]] bool exchangeSlots(std::uint8_t* slots, std::int32_t count);
// The `commandBytes` written, then `n` bytes read, in one block (one round
// trip): true when all 8*(commandBytes + n) echoes came back and the n bytes
// read are in `data`. Status as readBytes.
[[nodiscard]] bool writeThenRead(const std::uint8_t* command, std::int32_t commandBytes,
                                 std::uint8_t* data, std::int32_t n);

}  // namespace onewire
