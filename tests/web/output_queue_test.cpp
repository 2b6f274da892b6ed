#include "web/output_queue.h"

#include <gtest/gtest.h>

#include <string>

namespace web {
namespace {

std::string pending(const OutputQueue& queue) {
    const auto bytes = PendingBytes(queue);
    return std::string(bytes.begin(), bytes.end());
}

TEST(OutputQueue, SendsAnswersWholeInOrderAcrossPartialSends) {
    OutputQueue queue;
    const std::string first(100000, 'a');
    ASSERT_TRUE(QueueAnswer(queue, first, 0));
    ASSERT_TRUE(QueueAnswer(queue, "second", 0));
    std::string sent;
    for (const std::size_t piece : {1u, 70000u, 29998u, 3u, 100u}) {
        const std::string chunk = pending(queue).substr(0, piece);
        sent += chunk;
        MarkSent(queue, chunk.size());
    }
    EXPECT_EQ(sent, first + "second");
    EXPECT_EQ(QueuedBytes(queue), 0u);
    EXPECT_TRUE(queue.bytes.empty());  // the memory goes with the last byte
}

TEST(OutputQueue, RefusesWhatPilesUpBehindTheAnswerBeingSent) {
    OutputQueue queue;
    const std::string big(kMaxQueuedBehindBytes, 'b');
    ASSERT_TRUE(QueueAnswer(queue, std::string(3 * kMaxQueuedBehindBytes, 'a'), 0));
    ASSERT_TRUE(QueueAnswer(queue, big, 0));     // exactly the bound behind
    ASSERT_TRUE(QueueAnswer(queue, "x", 0));     // now beyond it ...
    EXPECT_FALSE(QueueAnswer(queue, "y", 0));    // ... and nothing more is taken
    MarkSent(queue, 3 * kMaxQueuedBehindBytes);  // the first answer left
    EXPECT_TRUE(QueueAnswer(queue, "y", 0));

    // Over all connections: refused while others hold the total, except when
    // nothing waits anywhere.
    OutputQueue other;
    EXPECT_FALSE(QueueAnswer(other, "z", kMaxQueuedTotalBytes));
    EXPECT_TRUE(QueueAnswer(other, std::string(kMaxQueuedTotalBytes + 1, 'z'), 0));
    EXPECT_FALSE(QueueAnswer(other, "z", 0));
}

}  // namespace
}  // namespace web
