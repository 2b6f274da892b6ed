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

}  // namespace
}  // namespace onewire_test
