#include "persistence/event_log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>

#include "platform/files.h"
#include "scratch_dir.h"

namespace persistence {
namespace {

const std::string bom = "\xEF\xBB\xBF";

struct LineCase {
    const char* message;
    platform::LocalTime time;
    const char* expected;
};

class FormatLogLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(FormatLogLineTest, StampMessageAndLineEnd) {
    EXPECT_EQ(FormatLogLine(GetParam().message, GetParam().time), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormatLogLineTest,
    ::testing::Values(
        LineCase{"28-00000B013C5A-14 21.5",
                 {2026, 3, 7, 9, 5, 3},
                 "[07/03/2026 09:05:03]  28-00000B013C5A-14 21.5\r\n"},
        LineCase{"a\r\nb\rc\n", {2026, 12, 31, 23, 59, 59}, "[31/12/2026 23:59:59]  a  b c \r\n"},
        LineCase{"\n", {2026, 1, 1, 0, 0, 0}, "[01/01/2026 00:00:00]   \r\n"},
        LineCase{"", {2026, 3, 7, 9, 5, 3}, "\r\n"},
        LineCase{"Котёл", {2041, 7, 1, 12, 0, 0}, "[01/07/2041 12:00:00]  Котёл\r\n"},
        LineCase{"x", {999, 1, 2, 3, 4, 5}, "[02/01/0999 03:04:05]  x\r\n"}));

TEST(LocalTime, DatesAfterJanuary2038AreFormed) {
    platform::LocalTime time;
    // 1 January 2050 12:00 UTC is 1 January 2050 in every time zone.
    ASSERT_TRUE(platform::LocalTimeAt(2524651200, time));
    EXPECT_EQ(time.year, 2050);
    EXPECT_EQ(time.month, 1);
    EXPECT_EQ(time.day, 1);
    // One second past the last 32-bit second.
    ASSERT_TRUE(platform::LocalTimeAt(std::int64_t{2147483648}, time));
    EXPECT_EQ(time.year, 2038);
    EXPECT_EQ(time.month, 1);
}

class EventLogFile : public ScratchDir {
  protected:
    void TearDown() override {
        CloseLog();
        ScratchDir::TearDown();
    }
};

// "[DD/MM/YYYY HH:MM:SS]  " at the start of a line.
const std::regex stampedLine(R"(\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\]  )");

TEST_F(EventLogFile, NewFileStartsWithByteOrderMarkThenTheLine) {
    WriteLogLine("first\nline");
    const std::string text = ReadBytes(LogFileName);
    ASSERT_EQ(text.substr(0, 3), bom);
    EXPECT_TRUE(
        std::regex_search(text.substr(3, 23), stampedLine, std::regex_constants::match_continuous))
        << text;
    EXPECT_EQ(text.substr(26), "first line\r\n");
}

TEST_F(EventLogFile, SecondRunAppendsWithoutAnotherByteOrderMark) {
    WriteLogLine("one");
    WriteLogLine("");
    CloseLog();
    WriteLogLine("two");
    CloseLog();
    const std::string text = ReadBytes(LogFileName);
    EXPECT_EQ(text.rfind(bom), 0u);
    EXPECT_EQ(text.size(), 3u + 28u + 2u + 28u) << text;
    EXPECT_EQ(text.substr(3 + 23, 5), "one\r\n");
    EXPECT_EQ(text.substr(3 + 28, 2), "\r\n");  // an empty message: no stamp
    EXPECT_EQ(text.substr(text.size() - 5), "two\r\n");
}

TEST_F(EventLogFile, EmptyExistingFileGetsTheMarkAndOtherFilesAreOnlyAppendedTo) {
    WriteBytes(LogFileName, "");
    WriteLogLine("x");
    CloseLog();
    EXPECT_EQ(ReadBytes(LogFileName).substr(0, 3), bom);

    WriteBytes(LogFileName, "old text without a line end");
    WriteLogLine("y");
    const std::string text = ReadBytes(LogFileName);
    EXPECT_EQ(text.substr(0, 27), "old text without a line end");
    EXPECT_EQ(text.size(), 27u + 26u);
}

TEST_F(EventLogFile, OpenLogShutsOutOtherOpenersUntilClosed) {
    WriteLogLine("held");
    platform::AppendFile other;
    std::uint64_t size = 0;
    EXPECT_FALSE(platform::OpenLockedForAppend(LogFileName, other, size));
    EXPECT_FALSE(other.isOpen());
    CloseLog();
    EXPECT_TRUE(platform::OpenLockedForAppend(LogFileName, other, size));
    EXPECT_EQ(size, 3u + 29u);
}

TEST_F(EventLogFile, LineIsDroppedWhileAnotherHolderHasTheFileAndTheNextCallRetries) {
    platform::AppendFile holder;
    std::uint64_t size = 0;
    ASSERT_TRUE(platform::OpenLockedForAppend(LogFileName, holder, size));
    WriteLogLine("lost");
    EXPECT_EQ(ReadBytes(LogFileName), "");
    platform::CloseFile(holder);
    WriteLogLine("kept");
    const std::string text = ReadBytes(LogFileName);
    EXPECT_EQ(text.find("lost"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 6), "kept\r\n");
}

TEST_F(EventLogFile, UnwritableFolderDropsTheLineQuietly) {
    ASSERT_TRUE(std::filesystem::create_directory(LogFileName));  // cannot be opened as a file
    WriteLogLine("nowhere");
    EXPECT_TRUE(std::filesystem::is_directory(LogFileName));
}

}  // namespace
}  // namespace persistence
