// When kelvarian-sim sends each echo back: wire time and adapter latency.
#include <gtest/gtest.h>

#include "sim/echo_schedule.h"

namespace onewire_test {
namespace {

using sim::EchoSchedule;

constexpr std::int64_t Ms = 1000000;

std::vector<std::uint8_t> bytes(std::initializer_list<std::uint8_t> list) {
    return std::vector<std::uint8_t>(list);
}

void send(EchoSchedule& s, std::int64_t atNs, std::uint32_t baud, int count) {
    sim::StartWrite(s, atNs);
    for (int i = 0; i < count; ++i) {
        const auto echo = bytes({static_cast<std::uint8_t>(i)});
        sim::AddByte(s, baud, echo);
    }
    sim::FinishWrite(s);
}

TEST(EchoSchedule, FramesAreTenBitTimes) {
    EXPECT_EQ(sim::FrameNs(9600), 1041667);
    EXPECT_EQ(sim::FrameNs(115200), 86806);
    EXPECT_EQ(sim::FrameNs(0), 0);
}

TEST(EchoSchedule, WithoutTimingEveryEchoIsDueOnArrival) {
    EchoSchedule s;
    send(s, 5 * Ms, 115200, 80);
    EXPECT_EQ(sim::NextDueNs(s), 5 * Ms);
    EXPECT_EQ(sim::TakeDue(s, 5 * Ms).size(), 80u);
    EXPECT_FALSE(sim::NextDueNs(s).has_value());
}

TEST(EchoSchedule, AWritesEchoesGoBackWhenItsLastByteHasLeftTheWire) {
    EchoSchedule s;
    s.wireTiming = true;
    send(s, 0, 115200, 3);
    EXPECT_TRUE(sim::TakeDue(s, 3 * 86806 - 1).empty());
    EXPECT_EQ(sim::TakeDue(s, 3 * 86806), bytes({0, 1, 2}));

    // A reset byte at 9600 baud holds the wire for 1.04 ms.
    send(s, 10 * Ms, 9600, 1);
    EXPECT_EQ(sim::NextDueNs(s), 10 * Ms + 1041667);
}

TEST(EchoSchedule, BytesQueueBehindABusyWire) {
    EchoSchedule s;
    s.wireTiming = true;
    send(s, 0, 115200, 10);  // busy until 868 us
    send(s, 100000, 115200, 1);
    EXPECT_EQ(sim::TakeDue(s, 10 * 86806).size(), 10u);
    EXPECT_EQ(sim::NextDueNs(s), 11 * 86806);
}

TEST(EchoSchedule, LatencyIsPaidOncePerWrite) {
    EchoSchedule s;
    s.wireTiming = true;
    s.latencyMs = 1;
    send(s, 0, 115200, 8);
    EXPECT_EQ(sim::NextDueNs(s), Ms + 8 * 86806);
    (void)sim::TakeDue(s, Ms + 8 * 86806);
    // The next write comes after the client saw the echoes: a round trip more.
    send(s, 2 * Ms, 115200, 1);
    EXPECT_EQ(sim::NextDueNs(s), 3 * Ms + 86806);

    EchoSchedule plain;
    plain.latencyMs = 4;
    send(plain, 0, 115200, 2);
    EXPECT_TRUE(sim::TakeDue(plain, 4 * Ms - 1).empty());
    EXPECT_EQ(sim::TakeDue(plain, 4 * Ms).size(), 2u);
}

TEST(EchoSchedule, DoubledAndMissingEchoesKeepTheirOrder) {
    EchoSchedule s;
    s.wireTiming = true;
    sim::StartWrite(s, 0);
    sim::AddByte(s, 115200, bytes({0xAA, 0xAA}));
    sim::AddByte(s, 115200, bytes({}));
    sim::AddByte(s, 115200, bytes({0xBB}));
    sim::FinishWrite(s);
    EXPECT_EQ(sim::NextDueNs(s), 3 * 86806);
    EXPECT_EQ(sim::TakeDue(s, 3 * 86806), bytes({0xAA, 0xAA, 0xBB}));

    // A write with less latency than the one before still comes after it,
    // and without wire timing at the same moment.
    s.wireTiming = false;
    s.latencyMs = 4;
    send(s, 0, 115200, 1);
    s.latencyMs = 0;
    send(s, 1 * Ms, 115200, 1);
    EXPECT_EQ(sim::NextDueNs(s), 4 * Ms);
    EXPECT_EQ(sim::TakeDue(s, 4 * Ms), bytes({0, 0}));
    send(s, 5 * Ms, 115200, 1);
    sim::DropPending(s);
    EXPECT_FALSE(sim::NextDueNs(s).has_value());
}

// Through a DS2480B: each byte is received whole, then its 1-Wire time, then
// its answer one frame back; the chip's one input byte overflows only when
// bytes come faster than its 1-Wire time.
struct ChipWrite {
    std::size_t lost = 0;
    std::int64_t dueNs = 0;
};
ChipWrite chipBurst(EchoSchedule& s, std::int64_t atNs, std::uint32_t baud, int count,
                    std::int64_t wireNs) {
    ChipWrite result;
    sim::StartWrite(s, atNs);
    for (int i = 0; i < count; ++i) {
        if (!sim::ChipReceives(s, baud)) {
            ++result.lost;
            continue;
        }
        const auto answer = bytes({static_cast<std::uint8_t>(i)});
        sim::ChipAnswers(s, baud, wireNs, answer);
    }
    sim::FinishWrite(s);
    result.dueNs = sim::NextDueNs(s).value_or(-1);
    return result;
}

TEST(EchoSchedule, AChipAnswersAfterItsBytesTheirWireTimeAndTheAnswersFrames) {
    constexpr std::int64_t Reset = 1096000;  // longer than a frame at 9600 baud
    constexpr std::int64_t DataByte = 480000;
    EchoSchedule s;
    s.wireTiming = true;
    s.chip = true;
    // One reset: in, on the wire, back.
    ChipWrite w = chipBurst(s, 0, 9600, 1, Reset);
    EXPECT_EQ(w.lost, 0u);
    EXPECT_EQ(w.dueNs, 2 * sim::FrameNs(9600) + Reset);
    (void)sim::TakeDue(s, w.dueNs);
    // Twenty data bytes at 9600 baud: the chip keeps up; the last answer
    // leaves one byte's wire time and one frame after the last byte came in.
    const std::int64_t start = 100 * Ms;
    w = chipBurst(s, start, 9600, 20, DataByte);
    EXPECT_EQ(w.lost, 0u);
    EXPECT_EQ(w.dueNs, start + 21 * sim::FrameNs(9600) + DataByte);
    EXPECT_EQ(sim::TakeDue(s, w.dueNs).size(), 20u);
    EXPECT_EQ(s.overruns, 0u);
    // At 115200 baud a burst outruns the chip: of every byte that comes while
    // another waits in its buffer, nothing is kept.
    w = chipBurst(s, 200 * Ms, 115200, 20, DataByte);
    EXPECT_GT(w.lost, 10u);
    EXPECT_EQ(s.overruns, w.lost);
    // Byte by byte, each after its answer, nothing is lost at that rate.
    std::int64_t at = 300 * Ms;
    for (int i = 0; i < 20; ++i) {
        w = chipBurst(s, at, 115200, 1, DataByte);
        EXPECT_EQ(w.lost, 0u);
        (void)sim::TakeDue(s, w.dueNs);
        at = w.dueNs;
    }
}

}  // namespace
}  // namespace onewire_test
