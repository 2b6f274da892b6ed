#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "alerts/alert_runner.h"
#include "run_until_idle.h"

namespace alerts {
namespace {

class AlertRunnerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/kelvarian-alerts-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        // Each run appends its details as one line; the sleep makes runs overlap.
        const std::string script = folder + "/record";
        std::ofstream(script) << "#!/bin/sh\nsleep 0.05\nprintf '%s|%s|%s|%s|%s|%s|%s\\n' \"$1\" "
                                 "\"$KELVARIAN_NAME\" \"$KELVARIAN_ROM\" \"$KELVARIAN_STATE\" "
                                 "\"$KELVARIAN_PREVIOUS\" \"$KELVARIAN_TEMPERATURE\" "
                                 "\"$KELVARIAN_MESSAGE\" >> \"$2\"\n";
        ASSERT_EQ(chmod(script.c_str(), 0755), 0);
        runner.command = script + " 'one arg' " + folder + "/record.txt";
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    bool RunAll() { return RunUntilIdle(runner); }

    std::vector<std::string> Lines() {
        std::ifstream in(folder + "/record.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::string folder;
    AlertRunner runner;
};

TEST_F(AlertRunnerTest, EveryAnnouncementOfABurstRunsTheCommandWithItsDetails) {
    for (int i = 0; i < 100; ++i) {
        Announcement announcement;
        announcement.sensor = {"28-" + std::to_string(i), "Котёл \"$(rm -rf /)\"",
                               SensorState::Alarm, 31.0625, "Котёл: вне допустимого диапазона"};
        announcement.previous = SensorState::Ok;
        QueueAnnouncement(runner, announcement);
    }
    ASSERT_TRUE(RunAll());
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 100u);
    EXPECT_EQ(lines[0].substr(0, lines[0].find("|28-")), "one arg|Котёл \"$(rm -rf /)\"");
    EXPECT_NE(lines[0].find("|alarm|ok|31.0625|Котёл: вне допустимого диапазона"),
              std::string::npos);
    EXPECT_FALSE(runner.failureReported);
}

TEST_F(AlertRunnerTest, AMissingCommandIsReportedOnceAndNothingStops) {
    runner.command = folder + "/nothing-here";
    Announcement announcement;
    announcement.sensor.state = SensorState::Fault;
    QueueAnnouncement(runner, announcement);
    QueueAnnouncement(runner, announcement);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(RunAll());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(runner.failureReported);
    EXPECT_EQ(said.find("kelvarian: the alert command"), 0u) << said;
    EXPECT_EQ(said.find("kelvarian:", 1), std::string::npos) << said;
    EXPECT_EQ(runner.started, 2u);
}

}  // namespace
}  // namespace alerts
