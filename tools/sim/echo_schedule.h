#pragma once
// When each echo goes back to the client. Without wire timing and latency an
// echo is due as soon as its byte arrives. With wire timing every byte holds
// the wire for one UART frame (10 bit times), the bytes of a write one after
// another, and a write's echoes go back together when its last byte has left
// the wire, as a USB adapter or a UART's receive FIFO hands them over in
// blocks (the client waits for all of them anyway). The latency is added once
// to every write, as a USB serial adapter adds its transfer delay to every
// round trip.
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
    // A DS2480B between the UART and the wire: a byte is first received
    // whole, then the chip spends its 1-Wire time on it, then sends its
    // answers, each one frame on the line back. Its input buffer holds one
    // byte: a byte that arrives while the one before still waits in it is
    // lost (an overrun), which at 9600 baud no burst can cause.
    bool chip = false;
    std::int64_t chipFreeNs = 0;    // the chip has finished its last byte's 1-Wire time
    std::int64_t chipStartNs = 0;   // when it began its last byte
    std::int64_t answerFreeNs = 0;  // the line back has sent every answer
    std::uint64_t overruns = 0;     // bytes lost so far
    std::int64_t cursorNs = 0;      // end of the last byte placed on the wire
    std::int64_t wireFreeNs = 0;    // when the wire has sent everything accepted
    std::size_t writeStart = 0;     // index in `pending` of the open write's first echo
    std::deque<TimedEcho> pending;  // in due order
};

// One UART frame (start bit, 8 data bits, stop bit): 1041667 ns at 9600 baud,
// 86806 ns at 115200. 0 for an unknown speed (the byte is then not timed).
std::int64_t FrameNs(std::uint32_t baud);

// A write arrived at `arrivalNs`: its bytes reach the wire after the latency,
// but not before the wire has finished the bytes already accepted.
void StartWrite(EchoSchedule& schedule, std::int64_t arrivalNs);
// The next byte of the write, sent at `baud`, with the echoes the bus gave it
// (none, one or two).
void AddByte(EchoSchedule& schedule, std::uint32_t baud, std::span<const std::uint8_t> echoes);
// Through a chip: the next byte at `baud` is received; false when it finds
// the chip's input buffer still full (the byte is lost, the bus never sees
// it). Always true without wire timing, which has no clock to overrun.
bool ChipReceives(EchoSchedule& schedule, std::uint32_t baud);
// The byte ChipReceives took cost the chip `wireNs` of 1-Wire time before
// its answers (none or more), which go back at `baud`.
void ChipAnswers(EchoSchedule& schedule, std::uint32_t baud, std::int64_t wireNs,
                 std::span<const std::uint8_t> answers);
// The write is complete: its echoes are due when its last byte has left the
// wire, and never before those of an earlier write.
void FinishWrite(EchoSchedule& schedule);

// Removes and returns, in order, every echo due at or before `nowNs`. Not
// while a write is open (between StartWrite and FinishWrite).
std::vector<std::uint8_t> TakeDue(EchoSchedule& schedule, std::int64_t nowNs);
std::optional<std::int64_t> NextDueNs(const EchoSchedule& schedule);
// The client went away: what was on its way is lost, the wire is idle.
void DropPending(EchoSchedule& schedule);

}  // namespace sim
