#include <gtest/gtest.h>

#include "alerts/alert_runner.h"
#include "alerts/alert_tracker.h"
#include "platform/command.h"

namespace alerts {
namespace {

SensorSeen Seen(SensorState state) {
    return {"28-00000B013C5A-14", "Котёл", state, std::nullopt, ""};
}

TEST(AlertTracker, AChangeIsToldOnceAfterTheDelayAndSoIsTheReturnToOk) {
    AlertTracker tracker;
    tracker.delayMs = 60'000;
    EXPECT_TRUE(TrackStates(tracker, {Seen(SensorState::Ok)}, 0).empty());
    // One bad read, then fine again: nothing is told.
    EXPECT_TRUE(TrackStates(tracker, {Seen(SensorState::Fault)}, 1'000).empty());
    EXPECT_TRUE(TrackStates(tracker, {Seen(SensorState::Ok)}, 2'000).empty());
    EXPECT_TRUE(TrackStates(tracker, {Seen(SensorState::Ok)}, 200'000).empty());
    // A change of kind restarts the delay.
    EXPECT_TRUE(TrackStates(tracker, {Seen(SensorState::Fault)}, 300'000).empty());
    EXPECT_TRUE(TrackStates(tracker, {Seen(SensorState::Missing)}, 340'000).empty());
    EXPECT_TRUE(TrackStates(tracker, {Seen(SensorState::Missing)}, 399'999).empty());
    const std::vector<Announcement> missing =
        TrackStates(tracker, {Seen(SensorState::Missing)}, 400'000);
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].sensor.state, SensorState::Missing);
    EXPECT_EQ(missing[0].previous, SensorState::Ok);
    EXPECT_TRUE(TrackStates(tracker, {Seen(SensorState::Missing)}, 500'000).empty());
    EXPECT_TRUE(TrackStates(tracker, {Seen(SensorState::Ok)}, 510'000).empty());
    const std::vector<Announcement> back = TrackStates(tracker, {Seen(SensorState::Ok)}, 570'000);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].previous, SensorState::Missing);

    // With no delay the pass itself announces.
    tracker.delayMs = 0;
    EXPECT_EQ(TrackStates(tracker, {Seen(SensorState::Alarm)}, 600'000).size(), 1u);

    // Identified and not read yet (a search rebuilt the rows, or the program
    // just started): no fault is told, and the alarm told before stays told.
    SensorSeen unread = Seen(SensorState::Fault);
    unread.read = false;
    EXPECT_TRUE(TrackStates(tracker, {unread}, 601'000).empty());
    EXPECT_TRUE(TrackStates(tracker, {Seen(SensorState::Alarm)}, 602'000).empty());
    AlertTracker started;
    started.delayMs = 0;
    EXPECT_TRUE(TrackStates(started, {unread}, 0).empty());
    EXPECT_TRUE(TrackStates(started, {Seen(SensorState::Ok)}, 1'000).empty());
}

// A bus that fails turns every sensor "fault": one message tells it, not one
// per sensor, and what the sensors showed meanwhile is never told as theirs.
TEST(AlertTracker, AFailingBusIsToldOnceInsteadOfEverySensor) {
    AlertTracker tracker;
    tracker.delayMs = 60'000;
    const BusSeen working{false, "1-Wire: в норме"};
    const BusSeen failing{true, "1-Wire: Нет ответа"};
    const std::vector<SensorSeen> fine{Seen(SensorState::Ok)};
    const std::vector<SensorSeen> failed{Seen(SensorState::Fault)};
    EXPECT_TRUE(TrackStates(tracker, working, fine, 0).empty());
    // A failure shorter than the delay is no news.
    EXPECT_TRUE(TrackStates(tracker, failing, failed, 1'000).empty());
    EXPECT_TRUE(TrackStates(tracker, working, fine, 2'000).empty());

    // The pass that lost the adapter shows faults before the bus is known lost.
    EXPECT_TRUE(TrackStates(tracker, working, failed, 5'000).empty());
    EXPECT_TRUE(TrackStates(tracker, failing, failed, 10'000).empty());
    const std::vector<Announcement> down = TrackStates(tracker, failing, failed, 70'000);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0].sensor.state, SensorState::Failing);
    EXPECT_EQ(down[0].previous, SensorState::Ok);
    const platform::Environment told = EnvironmentOf(down[0]);
    const auto value = [&](const std::string& name) {
        for (const auto& [key, text] : told)
            if (key == name) return text;
        return std::string("(unset)");
    };
    EXPECT_EQ(value("KELVARIAN_NAME"), "1-Wire");
    EXPECT_EQ(value("KELVARIAN_ROM"), "");
    EXPECT_EQ(value("KELVARIAN_STATE"), "failing");
    EXPECT_EQ(value("KELVARIAN_PREVIOUS"), "ok");
    EXPECT_EQ(value("KELVARIAN_TEMPERATURE"), "");
    EXPECT_EQ(value("KELVARIAN_MESSAGE"), "1-Wire: Нет ответа");
    EXPECT_TRUE(TrackStates(tracker, failing, failed, 500'000).empty());

    // Back: the first rows may still show the failure; the sensor's fault
    // must hold a delay of its own before it is told.
    EXPECT_TRUE(TrackStates(tracker, working, failed, 600'000).empty());
    EXPECT_TRUE(TrackStates(tracker, working, fine, 601'000).empty());
    const std::vector<Announcement> up = TrackStates(tracker, working, fine, 660'000);
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].sensor.state, SensorState::Ok);
    EXPECT_EQ(up[0].previous, SensorState::Failing);
    EXPECT_EQ(up[0].sensor.message, "1-Wire: в норме");
    // A sensor that really fails on a working bus is still told.
    EXPECT_TRUE(TrackStates(tracker, working, failed, 700'000).empty());
    const std::vector<Announcement> sensor = TrackStates(tracker, working, failed, 760'000);
    ASSERT_EQ(sensor.size(), 1u);
    EXPECT_EQ(sensor[0].sensor.rom, "28-00000B013C5A-14");
}

TEST(AlertCommand, WordsAreSplitWithoutAShell) {
    using platform::SplitCommandWords;
    EXPECT_EQ(SplitCommandWords("  /bin/tell  a\tb  "),
              (std::vector<std::string>{"/bin/tell", "a", "b"}));
    EXPECT_EQ(SplitCommandWords(R"(tell "a b" 'c "d"' e\ f "g\"h" $HOME;rm)"),
              (std::vector<std::string>{"tell", "a b", "c \"d\"", "e f", "g\"h", "$HOME;rm"}));
    EXPECT_EQ(SplitCommandWords(R"(x "" '')"), (std::vector<std::string>{"x", "", ""}));
    EXPECT_TRUE(SplitCommandWords(" \t ").empty());
    EXPECT_EQ(SplitCommandWords("\"open"), (std::vector<std::string>{"open"}));
}

}  // namespace
}  // namespace alerts
