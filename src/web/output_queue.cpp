#include "web/output_queue.h"

#include <algorithm>

namespace web {
namespace {

// Sent bytes are dropped from the front only once they are many and the
// larger part, so that each byte is moved at most about once.
constexpr std::size_t kCompactBytes = 64 * 1024;

std::size_t behindFront(const OutputQueue& queue) {
    return queue.ends.empty() ? 0 : queue.bytes.size() - queue.ends.front();
}

}  // namespace

std::size_t QueuedBytes(const OutputQueue& queue) {
    return queue.bytes.size() - queue.sent;
}

bool QueueAnswer(OutputQueue& queue, std::string_view answer, std::size_t queuedElsewhere) {
    if (behindFront(queue) > kMaxQueuedBehindBytes) return false;
    const std::size_t waiting = queuedElsewhere + QueuedBytes(queue);
    if (waiting > 0 && waiting + answer.size() > kMaxQueuedTotalBytes) return false;
    if (answer.empty()) return true;
    queue.bytes += answer;
    queue.ends.push_back(queue.bytes.size());
    return true;
}

std::span<const std::uint8_t> PendingBytes(const OutputQueue& queue) {
    return std::span(reinterpret_cast<const std::uint8_t*>(queue.bytes.data()), queue.bytes.size())
        .subspan(queue.sent);
}

void MarkSent(OutputQueue& queue, std::size_t count) {
    queue.sent += std::min(count, QueuedBytes(queue));
    while (!queue.ends.empty() && queue.ends.front() <= queue.sent) queue.ends.pop_front();
    if (queue.sent == queue.bytes.size()) {
        queue = OutputQueue{};
    } else if (queue.sent >= kCompactBytes && queue.sent * 2 >= queue.bytes.size()) {
        queue.bytes.erase(0, queue.sent);
        for (std::size_t& end : queue.ends) end -= queue.sent;
        queue.sent = 0;
    }
}

}  // namespace web
