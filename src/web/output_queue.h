#pragma once
// What a connection still has to send. An answer is queued whole and leaves
// from the front in as few sends as the socket takes, so a client that reads
// slowly gets every byte in order instead of an answer cut short and a
// stream out of step.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>

namespace web {

// A client that keeps asking without reading its answers is closed once more
// than this waits behind the answer being sent.
inline constexpr std::size_t kMaxQueuedBehindBytes = 1024 * 1024;
// All connections together: beyond this a further answer is refused and its
// connection closed (unless nothing else waits anywhere, so that any one
// answer can always be sent).
inline constexpr std::size_t kMaxQueuedTotalBytes = 32 * 1024 * 1024;

struct OutputQueue {
    std::string bytes;             // queued answers back to back
    std::size_t sent = 0;          // leading bytes of `bytes` already sent
    std::deque<std::size_t> ends;  // where each answer not yet sent whole ends in `bytes`
};

// Bytes still to send.
[[nodiscard]] std::size_t QueuedBytes(const OutputQueue& queue);

// Appends `answer` unless that breaks a bound; false (nothing queued) when the
// bytes behind the answer being sent already exceed kMaxQueuedBehindBytes or
// `queuedElsewhere` (other connections) plus this queue plus the answer exceed
// kMaxQueuedTotalBytes while something is queued already.
[[nodiscard]] bool QueueAnswer(OutputQueue& queue, std::string_view answer,
                               std::size_t queuedElsewhere);

// The bytes to hand to the next send.
[[nodiscard]] std::span<const std::uint8_t> PendingBytes(const OutputQueue& queue);
// Drops the first `count` pending bytes, which a send has taken.
void MarkSent(OutputQueue& queue, std::size_t count);

}  // namespace web
