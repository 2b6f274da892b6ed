#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "alerts/alert_runner.h"
#include "run_until_idle.h"

namespace alerts {
namespace {

std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string quoted(const std::filesystem::path& path) {
    std::string text(1, '"');
    text += utf8(path);
    text += '"';
    return text;
}

std::filesystem::path ownFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(std::wstring(path, length)).parent_path();
}

// The recorder (built next to this test) is the command: it writes its
// arguments and details as one line.
class AlertRunnerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("kelvarian-alerts-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(folder);
        record = folder / "record.txt";
        // Windows' own rules: quotes keep blanks, \" is a quote.
        runner.command = quoted(ownFolder() / "kelvarian-alert-recorder.exe") +
                         " \"one arg\" say\\\"hi " + quoted(record);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    bool RunAll() { return RunUntilIdle(runner); }

    // Every run's line, in no particular order.
    std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        const std::string prefix = record.filename().string() + ".";
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().filename().string().rfind(prefix, 0) != 0) continue;
            std::ifstream in(entry.path());
            for (std::string line; std::getline(in, line);) lines.push_back(line);
        }
        return lines;
    }
    void ForgetLines() {
        const std::string prefix = record.filename().string() + ".";
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0) {
                std::filesystem::remove(entry.path());
            }
        }
    }

    std::filesystem::path folder;
    std::filesystem::path record;
    AlertRunner runner;
};

TEST_F(AlertRunnerTest, EveryAnnouncementOfABurstRunsTheCommandWithItsDetails) {
    // A few more than run at once, so some wait their turn.
    const int burst = static_cast<int>(MaxRunningCommands) * 3;
    for (int i = 0; i < burst; ++i) {
        Announcement announcement;
        announcement.sensor = {"28-" + std::to_string(i), "Котёл \"%PATH%\" & del",
                               SensorState::Alarm, 31.0625, "Котёл: вне допустимого диапазона"};
        QueueAnnouncement(runner, announcement);
    }
    ASSERT_TRUE(RunAll());
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(burst));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines[0],
              "one arg|say\"hi|Котёл \"%PATH%\" & del|28-0|alarm|ok|31.0625|"
              "Котёл: вне допустимого диапазона");
    EXPECT_FALSE(runner.failureReported);

    // The bus's announcement: no ROM code and no temperature, set but empty.
    lines.clear();
    ForgetLines();
    Announcement bus;
    bus.sensor = {"", "1-Wire", SensorState::Failing, std::nullopt, "1-Wire: нет ответа"};
    QueueAnnouncement(runner, bus);
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"one arg|say\"hi|1-Wire||failing|ok||1-Wire: нет ответа"}));
}

TEST_F(AlertRunnerTest, AMissingCommandIsReportedOnceAndNothingStops) {
    runner.command = quoted(folder / "nothing-here.exe") + " x";
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

    // A program that starts and fails is told as well, once.
    runner = AlertRunner{};
    runner.command = quoted(ownFolder() / "kelvarian-alert-recorder.exe");
    QueueAnnouncement(runner, announcement);
    QueueAnnouncement(runner, announcement);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(RunAll());
    const std::string failed = testing::internal::GetCapturedStderr();
    EXPECT_NE(failed.find("failed"), std::string::npos) << failed;
    EXPECT_EQ(failed.find("kelvarian:", 1), std::string::npos) << failed;
}

}  // namespace
}  // namespace alerts
