#include <gtest/gtest.h>

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
