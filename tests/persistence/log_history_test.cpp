#include "persistence/log_history.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "persistence/event_log.h"
#include "platform/files.h"
#include "scratch_dir.h"

namespace persistence {
namespace {

// Mid-July: no zone changes its clocks within a day of it.
constexpr std::int64_t kNow = 1783857600;  // 2026-07-12 12:00:00 UTC
const std::string kRom = "28-00000B013C5A-14";

// A line exactly as the monitor has it written.
std::string logLine(std::int64_t unixSeconds, const std::string& message) {
    platform::LocalTime time;
    EXPECT_TRUE(platform::LocalTimeAt(unixSeconds, time));
    return FormatLogLine(message, time);
}

std::string reading(std::int64_t unixSeconds, const std::string& rom, const std::string& value) {
    return logLine(unixSeconds, rom + "  \u2014  " + value + " \u00B0C");
}

class LogHistory : public ScratchDir {};

TEST_F(LogHistory, ReadsTheLastDayOldestFirstAndSkipsDamagedLines) {
    std::string log = "\xEF\xBB\xBF" + reading(kNow - 30 * 3600, kRom, "5.0");
    std::vector<std::int64_t> expectedTimes;
    // Over two chunks of reading, so that lines straddle chunk ends.
    for (std::int64_t t = kNow - 23 * 3600; t < kNow - 3600; t += 30) {
        log += reading(t, kRom, t % 60 == 0 ? "21.5" : "-0.5");
        expectedTimes.push_back(t);
    }
    const std::int64_t last = kNow - 60;
    log += "garbage\r\n";
    log += "\r\n";
    log += std::string(10000, 'x') + "\r\n";              // far too long
    log += "\xFF\xFE\x80 " + reading(last, kRom, "1.0");  // junk before the stamp
    log += reading(last, "28-00000b013c5a-14", "1.0");    // lower-case ROM
    log += reading(last, kRom, "130.0");                  // beyond the sensor range
    log += reading(last, kRom, "21.35");                  // not as written
    log += reading(last, kRom, "nan.0");
    log += "[31/02/2026 10:00:00]  " + kRom + "  \u2014  2.0 \u00B0C\r\n";
    log += reading(last, kRom, "4.5").substr(0, 30) + "\r\n";  // cut short
    log += reading(kNow + 3600, kRom, "9.0");                  // clock was ahead
    std::string lfOnly = reading(last, "10-000802E4A1B2-7F", "-3.5");
    lfOnly.erase(lfOnly.size() - 2, 1);
    log += lfOnly;
    log += reading(kNow, kRom, "25.0").substr(0, 40);  // a write cut by a crash
    WriteBytes(LogFileName, log);
    const auto modified = std::filesystem::last_write_time(LogFileName);

    const std::vector<LoggedReading> readings = ReadRecentLogReadings(LogFileName, kNow);

    ASSERT_EQ(readings.size(), expectedTimes.size() + 1);
    for (std::size_t i = 0; i < expectedTimes.size(); ++i) {
        ASSERT_EQ(readings[i].unixSeconds, expectedTimes[i]) << i;
        EXPECT_EQ(readings[i].romText(), kRom);
        EXPECT_EQ(readings[i].celsius, expectedTimes[i] % 60 == 0 ? 21.5F : -0.5F);
    }
    EXPECT_EQ(readings.back().unixSeconds, last);
    EXPECT_EQ(readings.back().romText(), "10-000802E4A1B2-7F");
    EXPECT_EQ(readings.back().celsius, -3.5F);
    // Only read: the same bytes, untouched.
    EXPECT_EQ(ReadBytes(LogFileName), log);
    EXPECT_EQ(std::filesystem::last_write_time(LogFileName), modified);
}

TEST_F(LogHistory, ReadsNoFurtherBackThanItsByteBound) {
    std::string log = "\xEF\xBB\xBF";
    for (int i = 10; i >= 1; --i) log += reading(kNow - i * 60, kRom, std::to_string(i) + ".0");
    WriteBytes(LogFileName, log);
    const std::size_t lineBytes = reading(kNow, kRom, "1.0").size();

    // The bound falls inside the fourth line from the end: that line is cut and skipped.
    const std::vector<LoggedReading> readings =
        ReadRecentLogReadings(LogFileName, kNow, 24 * 3600, 3 * lineBytes + 10);
    ASSERT_EQ(readings.size(), 3u);
    EXPECT_EQ(readings[0].celsius, 3.0F);
    EXPECT_EQ(readings[2].celsius, 1.0F);
    EXPECT_EQ(ReadRecentLogReadings(LogFileName, kNow).size(), 10u);
    // The window: only what the last five minutes hold.
    EXPECT_EQ(ReadRecentLogReadings(LogFileName, kNow, 5 * 60).size(), 5u);
}

TEST_F(LogHistory, OnlyARegularFileIsRead) {
    EXPECT_TRUE(ReadRecentLogReadings(LogFileName, kNow).empty());
    std::filesystem::create_directory(LogFileName);
    EXPECT_TRUE(ReadRecentLogReadings(LogFileName, kNow).empty());
    std::filesystem::remove(LogFileName);
    WriteBytes(LogFileName, "");
    EXPECT_TRUE(ReadRecentLogReadings(LogFileName, kNow).empty());
    WriteBytes(LogFileName, reading(kNow - 5, kRom, "0.0"));  // no byte order mark
    EXPECT_EQ(ReadRecentLogReadings(LogFileName, kNow).size(), 1u);
}

}  // namespace
}  // namespace persistence
