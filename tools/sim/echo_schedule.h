#pragma once
// When each echo goes back to the client. Without wire timing and latency an
// echo is due as soon as its byte arrives; with wire timing every byte holds
// the wire for one UART frame (10 bit times) and its echo is due at the end of
// its frame; the latency is added once to every write, as a USB serial adapter
// adds its transfer delay to every round trip.
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace sim {

struct TimedEcho {
    std::uint8_t value = 0;
    std::int64_t dueNs = 0;
};

struct EchoSchedule {
    bool wireTiming = false;
    std::uint32_t latencyMs = 0;
    std::int64_t cursorNs = 0;      // end of the last byte placed on the wire
    std::int64_t wireFreeNs = 0;    // when the wire has sent everything accepted
    std::deque<TimedEcho> pending;  // in due order
};

// One UART frame (start bit, 8 data bits, stop bit): 1041667 ns at 9600 baud,
// 86806 ns at 115200. 0 for an unknown speed (the byte is then not timed).
std::int64_t FrameNs(std::uint32_t baud);

// A write arrived at `arrivalNs`: its bytes reach the wire after the latency,
// but not before the wire has finished the bytes already accepted.
void StartWrite(EchoSchedule& schedule, std::int64_t arrivalNs);
// The next byte of the write, sent at `baud`, with the echoes the bus gave it
// (none, one or two); they are due when the byte has left the wire.
void AddByte(EchoSchedule& schedule, std::uint32_t baud, std::span<const std::uint8_t> echoes);

// Removes and returns, in order, every echo due at or before `nowNs`.
std::vector<std::uint8_t> TakeDue(EchoSchedule& schedule, std::int64_t nowNs);
std::optional<std::int64_t> NextDueNs(const EchoSchedule& schedule);
// The client went away: what was on its way is lost, the wire is idle.
void DropPending(EchoSchedule& schedule);

}  // namespace sim
